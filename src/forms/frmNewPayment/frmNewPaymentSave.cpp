// New Payment: the checks and questions on OK and the save in one transaction.

#include "forms/frmNewPayment/frmNewPayment.h"

#include "ledger/Statements.h"
#include "platform/HelperTools.h"
#include "platform/HostServices.h"
#include "platform/ILibrary.h"
#include "platform/InputTools.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/DatePicker.h"
#include "platform/controls/FlatEdit.h"
#include "platform/controls/MessageBox.h"
#include "platform/controls/PushButton.h"
#include "platform/controls/ReportControl.h"
#include "shared/ReadRows.h"
#include "shared/modSharedDateTime.h"
#include "shared/modSharedSQL.h"
#include "shared/modSharedStrings.h"
#include "values/Regional.h"

#include <QHash>
#include <QLabel>

#include <algorithm>
#include <limits>

namespace tesr {

namespace {

// Two blanks stand between the column list and VALUES.
const QString InsertPaymentTemplate =
    QStringLiteral("INSERT INTO Payments (PaymentMethodID, CustomerID, PaymentDate, Description, CardNumber, "
                   "NameOnCard, ExpireMonth, ExpireYear, Amount) ") +
    QStringLiteral(" VALUES(<pmid>, <cid>, '<pday>', '<desc>', '<card>', '<noc>', <exm>, <exy>, <amt>)");

const QString PartialHeadline =
    QStringLiteral("You have not fully allocated the payment amount. Are you sure you want to continue?");
const QString PartialDetail =
    QStringLiteral("You are recording a payment of {0} for this customer but only {1} will be applied to one or more "
                   "sales/orders. {2} will be applied as a credit to this customer.");
const QString CreditOnlyHeadline = QStringLiteral(
    "You are recording a payment but not applying it to any sales/orders. Are you sure you want to continue?");
const QString CreditOnlyDetail =
    QStringLiteral("You are recording a payment of {0} for this customer which will be applied as a credit. No "
                   "sales/orders will be affected by this payment.");
const QString NegativeAllocationHeadline = QStringLiteral("You cannot record negative payments for sales or orders.");
const QString NegativeBalanceHeadline = QStringLiteral(
    "One or more sales/orders will have a negative balance as a result of this payment. Are you sure you want to "
    "continue?");

const QString SaveFailedHeadline = QStringLiteral("The payment could not be added.");
const QString SaveFailedExplanation =
    QStringLiteral("This typically happens if the database is in use by another user or program. Try saving again. "
                   "If the problem persists, close the program, restart and try again.");

const QString OrdersChanged = QStringLiteral(
    "One or more of these sales/orders has changed since this dialog was opened (another workstation may have "
    "recorded a payment for it or removed it): the payment would now take its balance below zero, or it is gone. "
    "Nothing was saved.\n\nClose this dialog and open it again to see the current balances.");

const QString CustomerActivity = QStringLiteral("A payment of {0} was applied to this customer.");
const QString OrderActivity = QStringLiteral("A payment of {0} was applied.");

// The customer's orders as the database holds them now, read under an update lock inside the
// save: marker <cid>. Ordered, so that two saves lock them in the same order.
constexpr QStringView RecheckOrdersStatement =
    u"SELECT UniqueID, Balance FROM Orders WITH (UPDLOCK, ROWLOCK) WHERE CustomerID = <cid> ORDER BY ID";

} // namespace

// ---- OK ------------------------------------------------------------------------------------------

void frmNewPayment::cmdOK_Click()
{
    if (EnsureCheckedNumbers() && ValidateInput() && SavePayment()) {
        Cancelled = false;
        Unload();
    }
}

bool frmNewPayment::EnsureCheckedNumbers()
{
    // Every visit to a box is checked when it ends; a box left for a control that checks
    // nothing (Cancel) is the one way round that, and its text is checked here instead, since
    // the amount goes into the statement. An amount refused here keeps the focus; the expiry
    // boxes are checked on OK itself.
    bool cancel = false;
    if (!Currency::parsePlain(cboAmount->Text())) {
        cboAmount_Validate(cancel);
        if (cancel) {
            cboAmount->SetFocus();
            return false;
        }
    }
    return true;
}

bool frmNewPayment::ValidateInput()
{
    const Currency amount = Currency::leadingNumber(cboAmount->Text());
    if (amount <= Currency())
        return Refuse(QStringLiteral("You must enter a valid payment amount. Payments cannot be negative."));
    // A payment is recorded with one of the shop's methods, never with none (ID 0).
    if (cboPaymentMethod->ListIndex() < 0) {
        Refuse(QStringLiteral("You must choose a payment method."));
        cboPaymentMethod->SetFocus();
        return false;
    }

    if (txtCardNumber->Enabled() &&
        UserOptionAsShort(QStringLiteral("Payments"), QStringLiteral("RequireCCDetails")) > 0) {
        if (const QString* missing = MissingCardDetail())
            return Refuse(*missing);
    }

    // The expiry boxes go into the statement unquoted: whatever way the focus left them, each
    // must hold a month or a year checked here, or stay empty. Anything else is refused in
    // words, never corrected behind the user's back.
    for (auto [box, low, high] :
         {std::tuple{txtExpireMonth, MonthLow, MonthHigh}, {txtExpireYear, YearLow, YearHigh}}) {
        if (!modSharedSQL::SQLWholeNumber(box->Text(), low, high)) {
            Refuse(NeedExpireDate);
            box->SetFocus();
            return false;
        }
    }

    // Every figure the checks below compare is worked out exactly; one that money cannot hold
    // refuses the save rather than turning into some other amount.
    ReportRecords& records = rptOrders->Records();
    const int count = records.Count();
    const std::optional<Currency> allocatedTotal = AllocatedTotal();
    const std::optional<Currency> unallocatedTotal =
        allocatedTotal ? amount.minus(*allocatedTotal) : std::optional<Currency>();
    bool balancesHeld = true;
    for (int i = 0; i < count && balancesHeld; ++i)
        balancesHeld = NewBalanceOf(records.Record(i)).has_value();
    if (!unallocatedTotal || !balancesHeld)
        return Refuse(QStringLiteral("The amounts to allocate are too large: their total, or an order's new balance, "
                                     "is beyond any amount the ledger can hold. Correct the amounts and try again."));
    const Currency allocated = *allocatedTotal;
    const Currency unallocated = *unallocatedTotal;

    if (allocated > amount)
        return Refuse(QStringLiteral("You cannot allocate more than the payment amount."));

    // A payment date nobody can read is never replaced by one made up here.
    if (!Regional::parseDate(txtPaymentDate->Text()))
        return Refuse(NeedPaymentDate);

    // The host's yes/no question; 4 is the user declining. Without a host nothing is asked.
    auto declined = [this](const QString& headline, const QString& detail) {
        SharedCodeLibrary* scl = host();
        return scl &&
               scl->ShowMessageStyle1(headline, detail, SharedCodeLibrary::ButtonsYesNo) == SharedCodeLibrary::AnswerNo;
    };
    auto buildString = [this](const QString& templateText, const QVariantList& values) {
        SharedCodeLibrary* scl = host();
        return scl ? scl->Common().BuildString(templateText, values) : QString();
    };

    if (allocated > Currency() && unallocated > Currency()) {
        const QString detail =
            buildString(PartialDetail, {Regional::formatCurrency(amount), Regional::formatCurrency(allocated),
                                        Regional::formatCurrency(unallocated)});
        if (declined(PartialHeadline, detail))
            return false;
    }
    if (allocated.isZero() && unallocated > Currency()) {
        if (declined(CreditOnlyHeadline, buildString(CreditOnlyDetail, {Regional::formatCurrency(amount)})))
            return false;
    }

    for (int i = 0; i < count; ++i) {
        if (MoneyOf(records.Record(i), ItemToAllocate) < Currency()) {
            if (SharedCodeLibrary* scl = host())
                scl->ShowMessageStyle1(NegativeAllocationHeadline, QString(), SharedCodeLibrary::ButtonsOk);
            return false;
        }
    }

    // Asked once for every order the payment takes below zero.
    for (int i = 0; i < count; ++i) {
        if (*NewBalanceOf(records.Record(i)) < Currency() && declined(NegativeBalanceHeadline, QString()))
            return false;
    }
    return true;
}

// ---- saving --------------------------------------------------------------------------------------

QString frmNewPayment::FillInsertStatement(const QString& templateText, SharedCodeLibrary& scl) const
{
    // Every value that goes in unquoted is a number checked here: the amount as the module's own
    // money (so every engine stores exactly what was allocated, never its own rounding of the
    // typed text), the expiry month and year as whole numbers in their ranges.
    const std::optional<OleDate> paymentDate = Regional::parseDate(txtPaymentDate->Text());
    const std::optional<Currency> amount = Currency::parsePlain(cboAmount->Text());
    const std::optional<QString> month = modSharedSQL::SQLWholeNumber(txtExpireMonth->Text(), MonthLow, MonthHigh);
    const std::optional<QString> year = modSharedSQL::SQLWholeNumber(txtExpireYear->Text(), YearLow, YearHigh);
    if (!paymentDate || !amount || !month || !year)
        return QString(); // checked before; never a made-up value
    const int methodIndex = cboPaymentMethod->ListIndex();
    const int methodID = methodIndex >= 0 ? cboPaymentMethod->ItemData(methodIndex) : 0;
    // The memo goes in last, so nothing typed into it is ever taken for a marker.
    return ledger::FillMarkers(templateText,
                               {{u"<pmid>", QString::number(methodID)},
                                {u"<cid>", QString::number(m_customerID)},
                                {u"<card>", scl.FixForSQLInsert(txtCardNumber->Text())},
                                {u"<noc>", scl.FixForSQLInsert(txtNameOnCard->Text())},
                                {u"<exm>", *month},
                                {u"<exy>", *year},
                                {u"<pday>", scl.FixDateForSQLInsert(modSharedDateTime::LocalToUTC(*paymentDate))},
                                {u"<amt>", amount->toPlainString()},
                                {u"<desc>", scl.FixForSQLInsert(txtDescription->Text())}});
}

bool frmNewPayment::SavePayment()
{
    std::unique_ptr<Connection> conn = ConnectionForSave(SaveFailedHeadline, SaveFailedExplanation);
    if (!conn)
        return false;
    QString error;
    bool ordersChanged = false;
    const qint64 paymentID = WritePayment(*conn, &error, &ordersChanged);
    conn->Close();
    conn.reset();
    // Told once the connection is gone, so no lock is held while the user reads.
    if (ordersChanged)
        return Refuse(OrdersChanged);
    if (paymentID < 1)
        return ShowFailure(SaveFailedHeadline, error, SaveFailedExplanation);
    NewPaymentID = int(paymentID);
    return true;
}

qint64 frmNewPayment::WritePayment(Connection& conn, QString* error, bool* ordersChanged)
{
    std::unique_ptr<DataTools> data = helperFactory().CreateDataTools();
    SharedCodeLibrary* scl = host();
    // Nothing is written unless everything is: one transaction, rolled back on the first failure.
    auto fail = [&](const QString& why) { return qint64(RollBack(conn, error, why)); };
    if (!scl || !data)
        return fail(rows::NoDatabase);
    if (!conn.BeginTrans())
        return fail(conn.LastError());
    // Any failure rolls the whole save back, so its writes need not be answered one by one.
    conn.DeferWrites();
    const QString statement = FillInsertStatement(InsertPaymentTemplate, *scl);
    if (statement.isEmpty())
        return fail(QStringLiteral("The payment's entries could not be read."));
    const qint64 paymentID = data->ExecuteInsert(statement, &conn);
    if (paymentID < 1)
        return fail(data->LastErrorText(0));
    if (paymentID > std::numeric_limits<int>::max())
        return fail(QStringLiteral("The new payment's ID is beyond the range of payment IDs."));
    if (!OrdersStillTakeThePayment(conn, error, ordersChanged))
        return fail(*error);
    if (!ApplyAllocations(int(paymentID), &conn, *data, error))
        return fail(*error);
    // The customer's line belongs to the save: written in its transaction, a payment is never
    // kept without it. A line the host could not write fails the save like any statement.
    const QString text = modSharedStrings::FillTemplate(
        CustomerActivity, {Regional::formatCurrency(Currency::leadingNumber(cboAmount->Text()))});
    scl->Activity().RecordCustomerActivityEx(m_customerID, text, &conn);
    if (!conn.LastError().isEmpty())
        return fail(conn.LastError());
    if (!conn.CommitTrans())
        return fail(conn.LastError());
    return paymentID;
}

bool frmNewPayment::OrdersStillTakeThePayment(Connection& conn, QString* error, bool* changed)
{
    // Only orders that get an amount matter. The user was asked about every order the payment
    // takes below zero with the balances read at opening; another workstation may have paid
    // some of it since. A balance that would now go below zero unasked, or an order that is
    // gone, stops the save: the user sees the current balances first.
    ReportRecords& records = rptOrders->Records();
    QHash<QString, const ReportRecord*> applied;
    for (int i = 0; i < records.Count(); ++i) {
        const ReportRecord* record = records.Record(i);
        const ReportRecordItem* unique = record->Item(ItemUniqueID);
        if (unique && MoneyOf(record, ItemToAllocate) > Currency())
            applied.insert(unique->Value().toString().toCaseFolded(), record);
    }
    if (applied.isEmpty())
        return true;
    const QString statement = ledger::FillMarkers(RecheckOrdersStatement, {{u"<cid>", QString::number(m_customerID)}});
    std::unique_ptr<DataTools> data = helperFactory().CreateDataTools();
    std::unique_ptr<Recordset> rs = data ? data->OpenRecordset(statement, &conn, 0, -1) : nullptr;
    if (!rs || rs->State() != Recordset::adStateOpen) {
        *error = data ? data->LastErrorText(0) : rows::NoDatabase;
        return false;
    }
    QHash<QString, Currency> balances;
    for (; !rs->Eof(); rs->MoveNext())
        balances.insert(rs->Field(QStringLiteral("UniqueID")).toString().toCaseFolded(),
                        Currency::fromVariantOrZero(rs->Field(QStringLiteral("Balance"))));
    rs->Close();
    for (auto it = applied.cbegin(); it != applied.cend(); ++it) {
        const auto now = balances.constFind(it.key());
        const Currency amount = MoneyOf(it.value(), ItemToAllocate);
        const bool asked = NewBalanceOf(it.value()).value_or(Currency()) < Currency();
        const std::optional<Currency> after = now == balances.cend() ? std::nullopt : now->minus(amount);
        if (!after || (*after < Currency() && !asked)) {
            *changed = true;
            *error = OrdersChanged;
            return false;
        }
    }
    return true;
}

bool frmNewPayment::ApplyAllocations(int PaymentID, Connection* conn, DataTools& data, QString* error)
{
    // Record order: the order in which the orders were loaded, whatever order the grid shows.
    ReportRecords& records = rptOrders->Records();
    const int count = records.Count();
    for (int i = 0; i < count; ++i) {
        const ReportRecord* record = records.Record(i);
        const Currency amount = MoneyOf(record, ItemToAllocate);
        if (amount <= Currency())
            continue;
        const ReportRecordItem* uniqueItem = record->Item(ItemUniqueID);
        const QString uniqueID = uniqueItem ? uniqueItem->Value().toString() : QString();
        const QString statement =
            ledger::FillMarkers(ledger::ApplyAllocationByUniqueID, {{u"<pid>", QString::number(PaymentID)},
                                                                    {u"<ouid>", modSharedSQL::FixSQLQuotes(uniqueID)},
                                                                    {u"<a>", amount.toPlainString()}});
        if (!data.ExecuteStatement(statement, conn)) {
            *error = data.LastErrorText(0);
            return false;
        }
        const QString text = modSharedStrings::FillTemplate(OrderActivity, {Regional::formatCurrency(amount)});
        if (SharedCodeLibrary* scl = host())
            scl->Activity().RecordOrderActivityEx(record->Tag().toInt(), text, conn);
        if (!conn->LastError().isEmpty()) {
            *error = conn->LastError();
            return false;
        }
    }
    return true;
}

} // namespace tesr
