// The Allocate Credit dialog's OK: the checks on the amounts, and the save that applies the
// selected payment's credit to the orders in one transaction.

#include "forms/frmAllocateCredit/frmAllocateCredit.h"

#include "ledger/Statements.h"
#include "platform/HelperTools.h"
#include "platform/HostServices.h"
#include "platform/ILibrary.h"
#include "platform/controls/MessageBox.h"
#include "platform/controls/ReportControl.h"
#include "shared/ReadRows.h"
#include "shared/modSharedReportControl.h"
#include "shared/modSharedSQL.h"
#include "shared/modSharedStrings.h"
#include "values/Regional.h"

namespace tesr {

namespace {

const QString MoreThanCredit = QStringLiteral("You cannot allocate more than the customers current credit.");
const QString MoreThanUnallocated = QStringLiteral("You cannot allocate more than the selected unallocated amount.");
const QString CreditChanged = QStringLiteral(
    "The credit of the selected payment has changed since this list was opened (it may have been applied on "
    "another workstation). Nothing was saved.\n\nClose this dialog and open it again to see the payment's "
    "current credit.");
const QString NothingAppliedQuestion =
    QStringLiteral("You have not applied any amounts to the sales/orders. Are you sure you want to continue?");
const QString NothingAppliedExplanation =
    QStringLiteral("The customers credit of {0} will remain unchanged; No sales/orders will be affected.");
const QString ActivityTemplate = QStringLiteral("A credit of {0} was applied.");
const QString SaveFailed = QStringLiteral("The credit could not be applied.");
const QString TooLarge =
    QStringLiteral("The amounts to allocate are too large: their total is beyond any amount the ledger can hold. "
                   "Correct the amounts and try again.");

} // namespace

void frmAllocateCredit::cmdOK_Click()
{
    if (ValidateAllocations() && SaveAllocations()) {
        Cancelled = false;
        Unload();
    }
}

bool frmAllocateCredit::ValidateAllocations()
{
    // Totals money cannot hold refuse the save rather than turning into some other amount.
    const std::optional<Currency> checkedTotal = AllocateTotal(Amounts::All);
    const std::optional<Currency> toApply = AllocateTotal(Amounts::AboveZero);
    if (!checkedTotal || !toApply) {
        Refuse(TooLarge);
        return false;
    }
    const Currency total = *checkedTotal;
    if (m_customerCredit < total) {
        Refuse(MoreThanCredit);
        return false;
    }
    ReportRecord* payment = SelectedPayment();
    if (total > Currency()) {
        const ReportRecordItem* unallocated = payment ? payment->Item(PayUnallocated) : nullptr;
        if (!unallocated || total > Currency::fromVariantOrZero(unallocated->Value())) {
            Refuse(MoreThanUnallocated);
            return false;
        }
    }
    // Amounts above 0 are written against the selected payment: without one there is nothing
    // to write them against, whatever the total.
    if (!payment && *toApply > Currency()) {
        Refuse(MoreThanUnallocated);
        return false;
    }
    if (!total.isZero())
        return true;
    SharedCodeLibrary* scl = host();
    if (!scl)
        return true;
    const QString explanation =
        scl->Common().BuildString(NothingAppliedExplanation, {Regional::formatCurrency(m_customerCredit)});
    scl = host();
    const int answer =
        scl ? scl->ShowMessageStyle1(NothingAppliedQuestion, explanation, SharedCodeLibrary::ButtonsYesNo) : 0;
    return answer != SharedCodeLibrary::AnswerNo;
}

bool frmAllocateCredit::ReadUnallocated(int paymentID, Connection& connection, std::optional<Currency>* now,
                                        QString* error) const
{
    const QString statement = ledger::FillMarkers(RecheckPaymentStatement, {{u"<pid>", QString::number(paymentID)}});
    std::unique_ptr<DataTools> tools = helperFactory().CreateDataTools();
    std::unique_ptr<Recordset> rs = tools ? tools->OpenRecordset(statement, &connection, 0, -1) : nullptr;
    if (!rs || rs->State() != Recordset::adStateOpen) {
        *error = tools ? tools->LastErrorText(0) : QString();
        return false;
    }
    now->reset();
    if (!rs->Eof()) {
        const std::optional<Currency> amount = Currency::fromVariant(rs->Field(QStringLiteral("Amount")));
        const std::optional<Currency> allocated = Currency::fromVariant(rs->Field(QStringLiteral("Allocated")));
        if (amount && allocated)
            *now = amount->minus(*allocated);
    }
    rs->Close();
    return true;
}

bool frmAllocateCredit::SaveAllocations()
{
    std::unique_ptr<Connection> conn = ConnectionForSave(SaveFailed);
    if (!conn)
        return false;
    const int paymentID = modSharedReportControl::GetSelectedRecordID(*rptPayments);
    QString error;
    const QString* refusal = nullptr;
    const bool saved = WriteAllocations(*conn, paymentID, &error, &refusal);
    conn->Close();
    conn.reset();
    // Told only once the connection is gone, so no lock is held while the user reads.
    if (refusal)
        Refuse(*refusal);
    else if (!saved)
        ShowFailure(SaveFailed, error);
    return saved;
}

bool frmAllocateCredit::WriteAllocations(Connection& conn, int paymentID, QString* error, const QString** refusal)
{
    auto fail = [&](const QString& why) { return RollBack(conn, error, why); };
    if (!conn.BeginTrans())
        return fail(conn.LastError());
    // Any failure rolls the whole save back, so its writes need not be answered one by one.
    conn.DeferWrites();
    // Another workstation may have applied this payment's credit since the list was read. The
    // update lock holds the payment's row until the save ends, so the figures read now stay
    // true until commit.
    const Currency toApply =
        AllocateTotal(Amounts::AboveZero).value_or(Currency::max()); // checked before: never out of range
    if (toApply > Currency()) {
        std::optional<Currency> now;
        if (paymentID != 0 && !ReadUnallocated(paymentID, conn, &now, error))
            return fail(*error);
        if (!now || toApply > *now) {
            // Nothing moved: the amounts themselves (negative ones offsetting the total) ask for
            // more than the payment holds, which is the plain over-allocation message.
            const ReportRecord* payment = SelectedPayment();
            const ReportRecordItem* shown = payment ? payment->Item(PayUnallocated) : nullptr;
            *refusal = now && shown && Currency::fromVariantOrZero(shown->Value()) == *now ? &MoreThanUnallocated
                                                                                           : &CreditChanged;
            return fail(QString());
        }
    }
    if (!ApplyAllocations(paymentID, &conn, error))
        return fail(*error);
    if (!conn.CommitTrans())
        return fail(conn.LastError());
    return true;
}

bool frmAllocateCredit::ApplyAllocations(int paymentID, Connection* connection, QString* error)
{
    std::unique_ptr<DataTools> tools = helperFactory().CreateDataTools();
    if (!tools) {
        *error = rows::NoDatabase;
        return false;
    }
    ReportRecords& records = rptOrders->Records();
    for (int i = 0; i < records.Count(); ++i) {
        ReportRecord* record = records.Record(i);
        const Currency amount = Currency::fromVariantOrZero(record->Item(OrdAllocate)->Value());
        if (!(amount > Currency()))
            continue;
        const QString uniqueID = record->Item(OrdUniqueID) ? record->Item(OrdUniqueID)->Value().toString() : QString();
        // The order's ID goes in unquoted: the tag as a number, never as the text it holds.
        bool isNumber = false;
        const int orderID = record->Tag().toInt(&isNumber);
        if (!isNumber) {
            *error = QStringLiteral("An order of the list has no ID.");
            return false;
        }
        const QString statement =
            ledger::FillMarkers(ledger::ApplyAllocationByID, {{u"<pid>", QString::number(paymentID)},
                                                              {u"<oid>", QString::number(orderID)},
                                                              {u"<ouid>", modSharedSQL::FixSQLQuotes(uniqueID)},
                                                              {u"<a>", amount.toPlainString()}});
        if (!tools->ExecuteStatement(statement, connection)) {
            *error = tools->LastErrorText(0);
            return false;
        }
        // The activity line is part of the save: one the host could not write fails it.
        const QString text = modSharedStrings::FillTemplate(ActivityTemplate, {Regional::formatCurrency(amount)});
        if (SharedCodeLibrary* scl = host())
            scl->Activity().RecordOrderActivityEx(orderID, text, connection);
        if (!connection->LastError().isEmpty()) {
            *error = connection->LastError();
            return false;
        }
    }
    return true;
}

} // namespace tesr
