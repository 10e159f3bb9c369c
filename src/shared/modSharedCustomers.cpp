#include "shared/modSharedCustomers.h"

#include "platform/HelperTools.h"
#include "platform/controls/ComboBox.h"
#include "shared/modSharedStrings.h"

namespace tesr::modSharedCustomers {

namespace {

// Permission 303, right 4: the user may pick any customer, not only their own.
constexpr int AllCustomersPermission = 303;
constexpr int AllCustomersRight = 4;

} // namespace

std::optional<int> OwnCustomersOnly(HostSecurity& security)
{
    if (security.CanDo(AllCustomersPermission, AllCustomersRight))
        return std::nullopt;
    return security.UserId();
}

QString CustomerSearchStatement(const QString& searchText, bool allCustomers, int userId, SharedCodeLibrary& host)
{
    const bool recent = searchText.isEmpty();
    QString statement = recent ? QStringLiteral("SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0 ")
                               : QStringLiteral("SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0 AND "
                                                "CustomerName Like '%<filter>%' ");
    if (!allCustomers)
        statement += QStringLiteral(" AND SalesRepID = ") + QString::number(userId);
    statement += recent ? QStringLiteral(" ORDER BY LastUsed DESC") : QStringLiteral(" ORDER BY CustomerName");
    if (!recent)
        statement.replace(QStringLiteral("<filter>"), host.FixForSQLInsert(searchText));
    return statement;
}

void FillCustomerCombo(ComboBox& combo, SharedCodeLibrary* host, bool droppedDown)
{
    const QString searchText = combo.Text();
    combo.Clear();

    if (host) {
        if (std::unique_ptr<Connection> conn = host->CurrentCompanyConn()) {
            // The user's ID is asked for only when the list is narrowed to their customers.
            const std::optional<int> own = OwnCustomersOnly(host->Security());
            const QString statement = CustomerSearchStatement(searchText, !own, own.value_or(0), *host);
            std::unique_ptr<Recordset> rs =
                helperFactory().CreateDataTools()->OpenRecordset(statement, conn.get(), 0, -1);
            if (rs && rs->State() == Recordset::adStateOpen) {
                const QString nameColumn = QStringLiteral("CustomerName");
                const QString idColumn = QStringLiteral("ID");
                while (!rs->Eof()) {
                    combo.AddItem(rs->Field(nameColumn).toString().trimmed());
                    combo.SetItemData(combo.NewIndex(), rs->Field(idColumn).toInt());
                    rs->MoveNext();
                }
                rs->Close();
            }
            conn->Close();
        }
    }

    // Whatever happened above, the user keeps typing where they were.
    combo.SetDroppedState(droppedDown);
    combo.SetText(searchText);
    combo.SetSelStart(int(searchText.size()));
    combo.SetListIndex(-1);
}

QString CustomerCreditStatement(int customerId)
{
    return modSharedStrings::FillTemplate(
        QStringLiteral("WITH x AS (SELECT SUM(Amount - Allocated) AS Credit, Amount, Allocated, CustomerID FROM "
                       "Payments GROUP BY Amount, Allocated, CustomerID HAVING (CustomerID = {0}) AND (Allocated <> "
                       "Amount)) SELECT SUM(Credit) AS theSum FROM x"),
        {customerId});
}

std::optional<Currency> QueryCustomerCredit(int customerId, SharedCodeLibrary& host)
{
    const QVariant answer =
        host.Database().ExecuteScaler(CustomerCreditStatement(customerId), QString(), QStringLiteral("0"));
    return Currency::fromVariant(answer);
}

} // namespace tesr::modSharedCustomers
