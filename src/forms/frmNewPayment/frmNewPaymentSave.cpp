// New Payment: the checks and questions on OK, the save in one transaction, the card fields and
// the date box with its calendar.

#include "forms/frmNewPayment/frmNewPayment.h"

#include "entry/Library.h"
#include "ledger/Statements.h"
#include "platform/HelperTools.h"
#include "platform/InputTools.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/DatePicker.h"
#include "platform/controls/FlatEdit.h"
#include "platform/controls/MessageBox.h"
#include "platform/controls/PushButton.h"
#include "platform/controls/ReportControl.h"
#include "shared/modSharedDateTime.h"
#include "shared/modSharedSQL.h"
#include "shared/modSharedStrings.h"
#include "shared/modSharedWork.h"
#include "values/Regional.h"

#include <QLabel>
#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace tesr {

namespace {

// Two blanks stand between the column list and VALUES.
const QString InsertPaymentTemplate =
    QStringLiteral("INSERT INTO Payments (PaymentMethodID, CustomerID, PaymentDate, Description, CardNumber, "
                   "NameOnCard, ExpireMonth, ExpireYear, Amount) ") +
    QStringLiteral(" VALUES(<pmid>, <cid>, '<pday>', '<desc>', '<card>', '<noc>', <exm>, <exy>, <amt>)");

const QString MsgAmount = QStringLiteral("You must enter a valid payment amount. Payments cannot be negative.");
const QString MsgCardNumber = QStringLiteral("You must enter the last 4 digits of the credit card number.");
const QString MsgNameOnCard = QStringLiteral("You must enter the name printed on the card.");
const QString MsgExpiry = QStringLiteral("You must enter a valid expire date of the card.");
const QString MsgOverAllocated = QStringLiteral("You cannot allocate more than the payment amount.");
const QString MsgPaymentDate = QStringLiteral("You must enter a valid payment date.");

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

const QString CustomerActivity = QStringLiteral("A payment of {0} was applied to this customer.");
const QString OrderActivity = QStringLiteral("A payment of {0} was applied.");

// The expiry year box accepts these years; the month box 1 to 12.
constexpr double YearLow = 1900;
constexpr double YearHigh = 2075;

// The calendar opens this far (twips) below the date box.
constexpr int PickerGapTwips = 20;

// The user option that makes card details compulsory for card methods, read as the platform
// reads a number into a 16-bit integer (anything unreadable counts as 0).
int requireCardDetails(const QVariant& option)
{
    if (option.metaType().id() == QMetaType::Bool)
        return option.toBool() ? -1 : 0;
    std::optional<double> value = Regional::parsePlainNumber(option.toString());
    if (!value)
        value = Regional::parseNumber(option.toString());
    if (!value)
        return 0;
    return int(std::clamp(std::nearbyint(*value), double(std::numeric_limits<qint16>::min()),
                          double(std::numeric_limits<qint16>::max())));
}

bool isWholeNumberText(const QString& text)
{
    static const QRegularExpression whole(QStringLiteral("^-?[0-9]+$"));
    return whole.match(text).hasMatch();
}

} // namespace

// ---- OK ------------------------------------------------------------------------------------------

void frmNewPayment::cmdOK_Click()
{
    if (!EnsureCheckedNumbers())
        return;
    if (!ValidateInput())
        return;
    if (!SavePayment())
        return;
    Cancelled = false;
    Unload();
}

bool frmNewPayment::EnsureCheckedNumbers()
{
    // Every visit to a box is checked when it ends; a box left for a control that checks
    // nothing (Cancel) is the one way round that, and its text is checked here instead, since
    // these three go into the statement as they stand. An amount refused here keeps the focus.
    bool cancel = false;
    if (!Currency::parsePlain(cboAmount->Text())) {
        cboAmount_Validate(cancel);
        if (cancel) {
            cboAmount->SetFocus();
            return false;
        }
    }
    if (!isWholeNumberText(txtExpireMonth->Text()))
        txtExpireMonth_Validate(cancel);
    if (!isWholeNumberText(txtExpireYear->Text()))
        txtExpireYear_Validate(cancel);
    return true;
}

bool frmNewPayment::ValidateInput()
{
    const Currency amount = Currency::leadingNumber(cboAmount->Text());
    if (amount <= Currency()) {
        MessageBox::Show(MsgAmount, MessageBox::OkOnly | MessageBox::Exclamation);
        return false;
    }

    if (txtCardNumber->Enabled()) {
        SharedCodeLibrary* scl = host();
        const int required = scl ? requireCardDetails(scl->Options().GetUserOption(
                                       QStringLiteral("Payments"), QStringLiteral("RequireCCDetails"), 0))
                                 : 0;
        if (required > 0) {
            if (txtCardNumber->Text().isEmpty()) {
                MessageBox::Show(MsgCardNumber, MessageBox::OkOnly | MessageBox::Exclamation);
                return false;
            }
            if (txtNameOnCard->Text().isEmpty()) {
                MessageBox::Show(MsgNameOnCard, MessageBox::OkOnly | MessageBox::Exclamation);
                return false;
            }
            if (txtExpireMonth->Text().isEmpty() || txtExpireYear->Text().isEmpty()) {
                MessageBox::Show(MsgExpiry, MessageBox::OkOnly | MessageBox::Exclamation);
                return false;
            }
        }
    }

    ReportRecords& records = rptOrders->Records();
    const int count = records.Count();
    Currency allocated;
    for (int i = 0; i < count; ++i)
        allocated += MoneyOf(records.Record(i), ItemToAllocate);
    const Currency unallocated = amount - allocated;

    if (allocated > amount) {
        MessageBox::Show(MsgOverAllocated, MessageBox::OkOnly | MessageBox::Exclamation);
        return false;
    }

    // A payment date nobody can read is never replaced by one made up here.
    if (!Regional::parseDate(txtPaymentDate->Text())) {
        MessageBox::Show(MsgPaymentDate, MessageBox::OkOnly | MessageBox::Exclamation);
        return false;
    }

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
        if (MoneyOf(records.Record(i), ItemNewBalance) < Currency() && declined(NegativeBalanceHeadline, QString()))
            return false;
    }
    return true;
}

// ---- saving --------------------------------------------------------------------------------------

QString frmNewPayment::FillInsertStatement(const QString& templateText, SharedCodeLibrary& scl) const
{
    const std::optional<OleDate> paymentDate = Regional::parseDate(txtPaymentDate->Text());
    if (!paymentDate)
        return QString(); // checked before; never a made-up date
    const int methodIndex = cboPaymentMethod->ListIndex();
    const int methodID = methodIndex >= 0 ? cboPaymentMethod->ItemData(methodIndex) : 0;
    // The memo goes in last, so nothing typed into it is ever taken for a marker.
    return ledger::FillMarkers(templateText,
                               {{u"<pmid>", QString::number(methodID)},
                                {u"<cid>", QString::number(m_customerID)},
                                {u"<card>", scl.FixForSQLInsert(txtCardNumber->Text())},
                                {u"<noc>", scl.FixForSQLInsert(txtNameOnCard->Text())},
                                {u"<exm>", txtExpireMonth->Text()},
                                {u"<exy>", txtExpireYear->Text()},
                                {u"<pday>", scl.FixDateForSQLInsert(modSharedDateTime::LocalToUTC(*paymentDate))},
                                {u"<amt>", cboAmount->Text()},
                                {u"<desc>", scl.FixForSQLInsert(txtDescription->Text())}});
}

bool frmNewPayment::SavePayment()
{
    SharedCodeLibrary* scl = host();
    if (!scl)
        return false;
    std::unique_ptr<Connection> conn = scl->CurrentCompanyConn();
    if (!conn)
        return false;
    std::unique_ptr<DataTools> data = helperFactory().CreateDataTools();

    auto reportFailure = [this](const QString& detail) {
        if (SharedCodeLibrary* s = host())
            s->ShowAndLogErrorMessage(SaveFailedHeadline, SaveFailedExplanation, detail);
    };

    // Without a transaction nothing is written: the payment and its allocations go in together
    // or not at all.
    if (!conn->BeginTrans()) {
        reportFailure(conn->LastError());
        conn->Close();
        return false;
    }

    bool failed = false;
    qint64 paymentID = 0;
    const QString statement = host() ? FillInsertStatement(InsertPaymentTemplate, *host()) : QString();
    if (statement.isEmpty()) {
        failed = true;
    } else {
        paymentID = data->ExecuteInsert(statement, conn.get());
        if (paymentID < 1) {
            reportFailure(data->LastErrorText(0));
            failed = true;
        } else if (paymentID > std::numeric_limits<int>::max() ||
                   !ApplyAllocations(int(paymentID), conn.get(), *data)) {
            failed = true;
        }
    }

    if (failed) {
        conn->RollbackTrans();
    } else if (!conn->CommitTrans()) {
        const QString error = conn->LastError();
        if (conn->InTransaction())
            conn->RollbackTrans();
        reportFailure(error);
        failed = true;
    } else {
        NewPaymentID = int(paymentID);
        const QString text = modSharedStrings::FillTemplate(
            CustomerActivity, {Regional::formatCurrency(Currency::leadingNumber(cboAmount->Text()))});
        if (SharedCodeLibrary* s = host())
            s->Activity().RecordCustomerActivityEx(m_customerID, text, conn.get());
    }
    conn->Close();
    return !failed;
}

bool frmNewPayment::ApplyAllocations(int PaymentID, Connection* conn, DataTools& data)
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
        if (!data.ExecuteStatement(statement, conn))
            return false;
        const QString text = modSharedStrings::FillTemplate(OrderActivity, {Regional::formatCurrency(amount)});
        if (SharedCodeLibrary* scl = host())
            scl->Activity().RecordOrderActivityEx(record->Tag().toInt(), text, conn);
    }
    return true;
}

// ---- payment fields ------------------------------------------------------------------------------

void frmNewPayment::UpdateCardFields()
{
    bool card = false;
    const int index = cboPaymentMethod->ListIndex();
    if (index >= 0) {
        if (SharedCodeLibrary* scl = host())
            card = scl->Common().GetPaymentMethodType2(cboPaymentMethod->ItemData(index)) != 0;
    }
    // The texts stay: switching to cash and back loses nothing typed.
    for (QWidget* w : std::initializer_list<QWidget*>{lblCardNumber, txtCardNumber, lblNameOnCard, txtNameOnCard,
                                                      lblExpireDate, lblExpireDate2, txtExpireMonth, txtExpireYear})
        w->setEnabled(card);
}

void frmNewPayment::txtExpireMonth_Validate(bool&)
{
    helperFactory().CreateInputTools()->WholeNumberRangeRule(1, 12, 1, *txtExpireMonth);
}

void frmNewPayment::txtExpireYear_Validate(bool&)
{
    helperFactory().CreateInputTools()->WholeNumberRangeRule(YearLow, YearHigh, QDate::currentDate().year(),
                                                             *txtExpireYear);
}

void frmNewPayment::txtPaymentDate_Validate(bool& cancel)
{
    if (refuseEntry(dateEntryRefusal(txtPaymentDate->Text()), cancel))
        return;
    helperFactory().CreateInputTools()->DateTextRule(*txtPaymentDate);
}

void frmNewPayment::cmdPaymentDate_Click()
{
    PickDate(*txtPaymentDate, false);
}

void frmNewPayment::PickDate(FlatEdit& box, bool allowNone)
{
    const QString text = box.Text();
    DatePicker1->SetShowNoneButton(allowNone);
    const std::optional<OleDate> current = Regional::parseDate(text);
    const QDate day = current ? current->date() : QDate::currentDate();
    DatePicker1->Select(day);
    DatePicker1->EnsureVisible(day);
    DatePicker1->Move(box.Left(),
                      box.Top() + box.Height() + modSharedWork::twipsToPixels(PickerGapTwips, logicalDpiY()));
    if (!DatePicker1->ShowModal(1, 1))
        return;
    const DatePickerSelection& selection = DatePicker1->Selection();
    if (selection.BlocksCount() > 0)
        box.SetText(Regional::formatShortDate(OleDate::fromParts(selection.Blocks(0).DateBegin)));
    else if (allowNone)
        box.SetText(QStringLiteral("None"));
    box.SetFocus();
}

} // namespace tesr
