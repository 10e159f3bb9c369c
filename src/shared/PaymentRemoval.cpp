#include "shared/PaymentRemoval.h"

#include "ledger/Statements.h"
#include "platform/Ado.h"
#include "platform/HostServices.h"
#include "shared/ReadRows.h"
#include "shared/modSharedSQL.h"

namespace tesr::removal {

namespace {

// Marker <pid>. The update lock makes a second job on the same payment (another workstation's
// Allocate Credit or deletion) wait for this one, and this one for it.
constexpr QStringView LockPayment = u"SELECT ID FROM Payments WITH (UPDLOCK, ROWLOCK) WHERE ID = <pid>";
constexpr QStringView CountAllocations = u"SELECT COUNT(*) AS theCount FROM PaymentAllocations WHERE PaymentID = <pid>";
// The delete checks again itself, for a writer that adds an allocation without locking the
// payment first.
constexpr QStringView DeletePaymentStatement =
    u"DELETE FROM Payments WHERE ID = <pid> AND NOT EXISTS (SELECT 1 FROM PaymentAllocations WHERE "
    u"PaymentAllocations.PaymentID = <pid>)";
// Marker <aid>.
constexpr QStringView LockAllocation =
    u"SELECT PaymentID, OrderUniqueID, Amount FROM PaymentAllocations WITH (UPDLOCK, ROWLOCK) WHERE ID = <aid>";

// One job's transaction: ended (rolled back unless committed) when it goes out of scope.
class Job {
public:
    explicit Job(Connection& connection) : m_connection(connection) {}
    ~Job()
    {
        if (m_connection.InTransaction())
            m_connection.RollbackTrans();
    }
    Result failed() const { return {Outcome::Failed, m_connection.LastError()}; }
    Result failed(const QString& why) const { return {Outcome::Failed, why}; }

private:
    Connection& m_connection;
};

} // namespace

Result DeletePayment(Connection& connection, int paymentID, const std::function<bool(Connection&)>& activity)
{
    Job job(connection);
    const QString pid = QString::number(paymentID);
    if (!connection.BeginTrans())
        return job.failed();
    std::unique_ptr<Recordset> rs = connection.OpenRecordset(ledger::FillMarkers(LockPayment, {{u"<pid>", pid}}));
    if (!rs)
        return job.failed();
    const bool exists = !rs->Eof();
    rs->Close();
    if (!exists)
        return {Outcome::Gone, {}};
    rs = connection.OpenRecordset(ledger::FillMarkers(CountAllocations, {{u"<pid>", pid}}));
    if (!rs)
        return job.failed();
    const bool allocated = rs->Eof() || rs->FieldValue(0).toLongLong() != 0;
    rs->Close();
    if (allocated)
        return {Outcome::HasAllocations, {}};
    int rows = 0;
    if (!connection.Execute(ledger::FillMarkers(DeletePaymentStatement, {{u"<pid>", pid}}), &rows))
        return job.failed();
    if (rows != 1)
        return {Outcome::HasAllocations, {}};
    if (activity && !activity(connection))
        return job.failed();
    if (!connection.CommitTrans())
        return job.failed();
    return {Outcome::Done, {}};
}

Result RemoveAllocation(Connection& connection, int allocationID, Allocation* removed)
{
    Job job(connection);
    if (!connection.BeginTrans())
        return job.failed();
    std::unique_ptr<Recordset> rs =
        connection.OpenRecordset(ledger::FillMarkers(LockAllocation, {{u"<aid>", QString::number(allocationID)}}));
    if (!rs)
        return job.failed();
    if (rs->Eof()) {
        rs->Close();
        return {Outcome::Gone, {}};
    }
    bool isNumber = false;
    Allocation a;
    a.paymentID = rs->Field(QStringLiteral("PaymentID")).toInt(&isNumber);
    a.orderUniqueID = rs->Field(QStringLiteral("OrderUniqueID")).toString();
    const std::optional<Currency> amount = Currency::fromVariant(rs->Field(QStringLiteral("Amount")));
    rs->Close();
    // Only numbers read here go into the statement unquoted.
    if (!isNumber || !amount)
        return job.failed(QStringLiteral("The allocation's payment or amount is not a number; the integrity check "
                                         "names such rows."));
    a.amount = *amount;
    const QString remove =
        ledger::FillMarkers(ledger::RemoveAllocation, {{u"<aid>", QString::number(allocationID)},
                                                       {u"<pid>", QString::number(a.paymentID)},
                                                       {u"<ouid>", modSharedSQL::FixSQLQuotes(a.orderUniqueID)},
                                                       {u"<a>", a.amount.toPlainString()}});
    if (!connection.Execute(remove))
        return job.failed();
    rs = connection.OpenRecordset(ledger::FillMarkers(CountAllocations, {{u"<pid>", QString::number(a.paymentID)}}));
    if (!rs)
        return job.failed();
    a.remaining = rs->Eof() ? -1 : rs->FieldValue(0).toLongLong();
    rs->Close();
    if (!connection.CommitTrans())
        return job.failed();
    if (removed)
        *removed = a;
    return {Outcome::Done, {}};
}

namespace {

// Runs a job on a connection of its own from the host.
Result onHostConnection(SharedCodeLibrary& scl, const std::function<Result(Connection&)>& job)
{
    std::unique_ptr<Connection> connection = scl.CurrentCompanyConn();
    if (!connection) {
        const QString why = scl.Database().LastSQLErrorDescription();
        return {Outcome::Failed, why.isEmpty() ? rows::NoDatabase : why};
    }
    const Result result = job(*connection);
    connection->Close();
    return result;
}

} // namespace

bool MayRemove(SharedCodeLibrary* scl)
{
    return scl && scl->Security().CanDo(PermissionPayments, RightDelete);
}

Result DeletePayment(SharedCodeLibrary& scl, int paymentID, int customerID, const QString& activityText)
{
    return onHostConnection(scl, [&](Connection& connection) {
        return DeletePayment(connection, paymentID, [&](Connection& c) {
            // A line the host could not write fails the deletion like any statement.
            scl.Activity().RecordCustomerActivityEx(customerID, activityText, &c);
            return c.LastError().isEmpty();
        });
    });
}

Result RemoveAllocation(SharedCodeLibrary& scl, int allocationID, Allocation* removed)
{
    return onHostConnection(
        scl, [&](Connection& connection) { return RemoveAllocation(connection, allocationID, removed); });
}

void TellNotDone(SharedCodeLibrary& scl, const Result& result, What what, const QString& failedHeadline)
{
    const QString elsewhere =
        QStringLiteral("Another workstation got there first, after this list was shown. Nothing was changed.");
    switch (result.outcome) {
    case Outcome::Done:
        return;
    case Outcome::Gone:
        scl.ShowMessageStyle1(what == What::Payment ? QStringLiteral("The selected payment has already been deleted.")
                                                    : QStringLiteral("The selected payment allocation has already "
                                                                     "been removed."),
                              elsewhere);
        return;
    case Outcome::HasAllocations:
        scl.ShowMessageStyle1(QStringLiteral("The selected payment cannot be deleted because it is attached to one or "
                                             "more quotes/sales/orders."),
                              QStringLiteral("In order to delete a payment you must first delete all allocations for "
                                             "it."));
        return;
    case Outcome::Failed:
        scl.ShowAndLogErrorMessage(failedHeadline, QStringLiteral("Check the event log for details."), result.error);
        return;
    }
}

} // namespace tesr::removal
