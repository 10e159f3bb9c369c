// The Allocate Credit dialog's OK: the checks on the amounts, and the save that applies the
// selected payment's credit to the orders in one transaction.

#include "forms/frmAllocateCredit/frmAllocateCredit.h"

#include "entry/Library.h"
#include "ledger/Statements.h"
#include "platform/HelperTools.h"
#include "platform/controls/MessageBox.h"
#include "platform/controls/ReportControl.h"
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

Currency money(const QVariant& value)
{
    return Currency::fromVariant(value).value_or(Currency());
}

void refuse(const QString& text)
{
    MessageBox::Show(text, MessageBox::OkOnly | MessageBox::Exclamation);
}

} // namespace

void frmAllocateCredit::cmdOK_Click()
{
    if (!ValidateAllocations())
        return;
    if (!SaveAllocations())
        return;
    Cancelled = false;
    Unload();
}

bool frmAllocateCredit::ValidateAllocations()
{
    const Currency total = AllocatedTotal();
    if (m_customerCredit < total) {
        refuse(MoreThanCredit);
        return false;
    }
    ReportRecord* payment = SelectedPayment();
    if (total > Currency()) {
        const ReportRecordItem* unallocated = payment ? payment->Item(PayUnallocated) : nullptr;
        if (!unallocated || total > money(unallocated->Value())) {
            refuse(MoreThanUnallocated);
            return false;
        }
    }
    // Amounts above 0 are written against the selected payment: without one there is nothing
    // to write them against, whatever the total.
    if (!payment && TotalToApply() > Currency()) {
        refuse(MoreThanUnallocated);
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

std::optional<Currency> frmAllocateCredit::UnallocatedNow(int paymentID, Connection& connection) const
{
    const QString statement = ledger::FillMarkers(RecheckPaymentStatement, {{u"<pid>", QString::number(paymentID)}});
    std::unique_ptr<DataTools> tools = helperFactory().CreateDataTools();
    std::unique_ptr<Recordset> rs = tools ? tools->OpenRecordset(statement, &connection, 0, -1) : nullptr;
    if (!rs || rs->State() != Recordset::adStateOpen)
        return std::nullopt;
    std::optional<Currency> unallocated;
    if (!rs->Eof()) {
        const std::optional<Currency> amount = Currency::fromVariant(rs->Field(QStringLiteral("Amount")));
        const std::optional<Currency> allocated = Currency::fromVariant(rs->Field(QStringLiteral("Allocated")));
        if (amount && allocated)
            unallocated = *amount - *allocated;
    }
    rs->Close();
    return unallocated;
}

bool frmAllocateCredit::SaveAllocations()
{
    SharedCodeLibrary* scl = host();
    std::unique_ptr<Connection> conn = scl ? scl->CurrentCompanyConn() : nullptr;
    if (!conn)
        return false;
    if (!conn->BeginTrans()) {
        conn->Close();
        return false;
    }
    const int paymentID = modSharedReportControl::GetSelectedRecordID(*rptPayments);

    // Another workstation may have applied this payment's credit since the list was read. The
    // transaction already holds the write lock, so the figures read now stay true until commit.
    const Currency toApply = TotalToApply();
    bool changed = false;
    bool overShown = false;
    if (toApply > Currency()) {
        const std::optional<Currency> now = paymentID != 0 ? UnallocatedNow(paymentID, *conn) : std::nullopt;
        changed = !now || toApply > *now;
        if (changed && now) {
            // Nothing moved: the amounts themselves (negative ones offsetting the total) ask for
            // more than the payment holds, which is the plain over-allocation message.
            const ReportRecord* payment = SelectedPayment();
            const ReportRecordItem* shown = payment ? payment->Item(PayUnallocated) : nullptr;
            overShown = shown && money(shown->Value()) == *now;
        }
    }

    bool saved = !changed && ApplyAllocations(paymentID, conn.get());
    if (saved)
        saved = conn->CommitTrans();
    if (conn->InTransaction())
        conn->RollbackTrans();
    conn->Close();
    conn.reset();
    // Told only once the connection is gone, so no lock is held while the user reads.
    if (changed)
        refuse(overShown ? MoreThanUnallocated : CreditChanged);
    return saved;
}

bool frmAllocateCredit::ApplyAllocations(int paymentID, Connection* connection)
{
    std::unique_ptr<DataTools> tools = helperFactory().CreateDataTools();
    if (!tools)
        return false;
    ReportRecords& records = rptOrders->Records();
    for (int i = 0; i < records.Count(); ++i) {
        ReportRecord* record = records.Record(i);
        const Currency amount = money(record->Item(OrdAllocate)->Value());
        if (!(amount > Currency()))
            continue;
        const QString uniqueID = record->Item(OrdUniqueID) ? record->Item(OrdUniqueID)->Value().toString() : QString();
        const QString statement =
            ledger::FillMarkers(ledger::ApplyAllocationByID, {{u"<pid>", QString::number(paymentID)},
                                                              {u"<oid>", record->Tag()},
                                                              {u"<ouid>", modSharedSQL::FixSQLQuotes(uniqueID)},
                                                              {u"<a>", amount.toPlainString()}});
        if (!tools->ExecuteStatement(statement, connection))
            return false;
        const QString text = modSharedStrings::FillTemplate(ActivityTemplate, {Regional::formatCurrency(amount)});
        if (SharedCodeLibrary* scl = host())
            scl->Activity().RecordOrderActivityEx(record->Tag().toInt(), text, connection);
    }
    return true;
}

} // namespace tesr
