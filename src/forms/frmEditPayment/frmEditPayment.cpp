#include "forms/frmEditPayment/frmEditPayment.h"

#include "ledger/Statements.h"
#include "platform/HelperTools.h"
#include "platform/HostServices.h"
#include "platform/ILibrary.h"
#include "platform/InputTools.h"
#include "platform/controls/Access.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/DatePicker.h"
#include "platform/controls/FlatEdit.h"
#include "platform/controls/GroupBox.h"
#include "platform/controls/MessageBox.h"
#include "platform/controls/PushButton.h"
#include "platform/controls/Resizer.h"
#include "shared/modSharedDateTime.h"
#include "shared/modSharedSQL.h"
#include "shared/modSharedStrings.h"
#include "shared/modSharedXML.h"
#include "values/Regional.h"

#include <QDate>
#include <QLabel>
#include <QStyle>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <utility>

namespace tesr {

namespace {

const QString LoadTemplate = QStringLiteral("SELECT * FROM vwScreen_EditPayment WHERE ID = {0}");

constexpr QStringView UpdateStatement =
    u"UPDATE Payments SET PaymentMethodID = <pmid>, PaymentDate = '<pday>', Description = '<desc>', "
    u"CardNumber = '<card>', NameOnCard = '<noc>', ExpireMonth = <exm>, ExpireYear = <exy> WHERE ID = <id>";

const QString SaveFailed = QStringLiteral("Unable to edit the payment.");

QLabel* makeLabel(QWidget* form, const char* name, const QString& caption, QWidget* buddy)
{
    auto* label = new QLabel(caption, form);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    if (buddy)
        label->setBuddy(buddy);
    return label;
}

ComboBox* makeCombo(QWidget* form, const char* name, ComboBox::Style style)
{
    auto* combo = new ComboBox(form, style);
    combo->setObjectName(QString::fromLatin1(name));
    return combo;
}

} // namespace

frmEditPayment::frmEditPayment(QWidget* parent) : PaymentScreen("frmEditPayment", "Edit Payment", 440, 306, parent)
{
    // The frame first, so that it lies behind the fields it surrounds.
    MakeFrame();
    GroupBox1->setFrameShape(QFrame::Box); // an etched line every style draws

    cboCustomer = makeCombo(this, "cboCustomer", ComboBox::DropDownCombo);
    cboCustomer->SetEnabled(false); // shown, never changed here
    Label4 = makeLabel(this, "Label4", tr("&Customer:"), cboCustomer);
    MakeMethodList();
    cboAmount = makeCombo(this, "cboAmount", ComboBox::DropDownCombo);
    cboAmount->SetEnabled(false);
    cboAmount->setAlignment(Qt::AlignRight);
    lblAmount = makeLabel(this, "lblAmount", tr("&Amount:"), cboAmount);
    MakeDateFields(QChar(0x25BE)); // a drop-down glyph
    cmdPaymentDate->setFocusPolicy(Qt::NoFocus);
    MakeMemo();
    MakeCard(); // no method chosen yet: no card details
    MakeOkCancel(tr("Checks the entries and saves the changes (Enter)"));

    setTabOrder(cboPaymentMethod, txtPaymentDate);
    setTabOrder(txtPaymentDate, txtDescription);
    setTabOrder(txtDescription, txtCardNumber);
    setTabOrder(txtCardNumber, txtNameOnCard);
    setTabOrder(txtNameOnCard, txtExpireMonth);
    setTabOrder(txtExpireMonth, txtExpireYear);
    setTabOrder(txtExpireYear, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    // Enter is OK, Escape Cancel; the calendar opens with F4 from the date box (its button
    // takes no focus).
    using access::Control;
    access::Describe(this, {Control{"cboCustomer", tr("The customer who paid; not changed here")},
                            Control{"cboAmount", tr("The amount paid; not changed here")}});

    // The fields widen with the window; short fields, the glyph button and the picture stay put.
    const Resizer::Anchors fixed = Resizer::TopLeft();
    constexpr int labelX = 20, labelW = 128, fieldX = 152, fieldW = 268, rowH = 24, step = 30;
    auto row = [](int n) { return 18 + n * step; };
    Resizer1->Add(GroupBox1, 8, 6, 424, 256, Resizer::All());
    Resizer1->Add(Label4, labelX, row(0) + 3, labelW, 18, fixed);
    Resizer1->Add(cboCustomer, fieldX, row(0), fieldW, rowH, Resizer::TopWide());
    Resizer1->Add(Label1, labelX, row(1) + 3, labelW, 18, fixed);
    Resizer1->Add(cboPaymentMethod, fieldX, row(1), fieldW, rowH, Resizer::TopWide());
    Resizer1->Add(lblAmount, labelX, row(2) + 3, labelW, 18, fixed);
    Resizer1->Add(cboAmount, fieldX, row(2), 120, rowH, fixed);
    Resizer1->Add(lblPaymentDate, labelX, row(3) + 3, labelW, 18, fixed);
    Resizer1->Add(txtPaymentDate, fieldX, row(3), 96, rowH, fixed);
    Resizer1->Add(cmdPaymentDate, fieldX + 98, row(3), 24, rowH, fixed);
    Resizer1->Add(Label3, labelX, row(4) + 3, labelW, 18, fixed);
    Resizer1->Add(txtDescription, fieldX, row(4), fieldW, rowH, Resizer::TopWide());
    Resizer1->Add(lblCardNumber, labelX, row(5) + 3, labelW, 18, fixed);
    Resizer1->Add(txtCardNumber, fieldX, row(5), 64, rowH, fixed);
    Resizer1->Add(Image1, fieldX + 70, row(5) + 4, 16, 16, fixed);
    Resizer1->Add(lblNameOnCard, labelX, row(6) + 3, labelW, 18, fixed);
    Resizer1->Add(txtNameOnCard, fieldX, row(6), fieldW, rowH, Resizer::TopWide());
    Resizer1->Add(lblExpireDate, labelX, row(7) + 3, labelW, 18, fixed);
    Resizer1->Add(txtExpireMonth, fieldX, row(7), 36, rowH, fixed);
    Resizer1->Add(lblExpireDate2, fieldX + 36, row(7) + 3, 14, 18, fixed);
    Resizer1->Add(txtExpireYear, fieldX + 50, row(7), 52, rowH, fixed);
    Resizer1->Add(cmdOK, 256, 272, 84, 26, Resizer::BottomRight());
    Resizer1->Add(cmdCancel, 348, 272, 84, 26, Resizer::BottomRight());
}

frmEditPayment::~frmEditPayment() = default;

void frmEditPayment::Prepare(int ID, ILibrary& library)
{
    m_paymentID = ID;
    AttachAndLoadMethods(library);
}

void frmEditPayment::OnLoad()
{
    Cancelled = true;
}

void frmEditPayment::OnFirstActivation()
{
    LoadPayment();
    m_dataLoaded = true;
}

void frmEditPayment::LoadPayment()
{
    using namespace modSharedXML;
    SharedCodeLibrary* scl = host();
    if (!scl)
        return;
    const QDomDocument doc = scl->Database().ExecuteRead(modSharedStrings::FillTemplate(LoadTemplate, {m_paymentID}));
    if (doc.isNull())
        return;
    const QDomElement record = SelectSingleNode(doc, QStringLiteral("Records/Record"));
    if (record.isNull())
        return;

    m_paymentFound = true;
    cboCustomer->SetText(GetNodeText(QStringLiteral("CustomerName"), record));
    m_loadedMethodID = GetNodeLong(QStringLiteral("PaymentMethodID"), record, 0);
    if (std::unique_ptr<InputTools> tools = helperFactory().CreateInputTools())
        tools->SelectEntryByItemData(m_loadedMethodID, *cboPaymentMethod);
    // The card fields follow the stored method whether or not choosing it raised a click.
    UpdateCardFields();
    txtDescription->SetText(GetNodeText(QStringLiteral("Description"), record));
    // A row stored with a whole card number shows, and is saved back with, its last four digits.
    txtCardNumber->SetText(cardNumberLastFour(GetNodeText(QStringLiteral("CardNumber"), record)));
    txtNameOnCard->SetText(GetNodeText(QStringLiteral("NameOnCard"), record));
    m_loadedMonth = GetNodeText(QStringLiteral("ExpireMonth"), record);
    m_loadedYear = GetNodeText(QStringLiteral("ExpireYear"), record);
    txtExpireMonth->SetText(m_loadedMonth);
    txtExpireYear->SetText(m_loadedYear);
    // Long texts show from their beginning.
    for (FlatEdit* edit : {txtDescription, txtCardNumber, txtNameOnCard})
        edit->setCursorPosition(0);
    const OleDate stored = GetNodeDate(QStringLiteral("PaymentDate"), record, OleDate::absent());
    txtPaymentDate->SetText(Regional::formatShortDate(modSharedDateTime::UTCToLocal(stored)));
    cboAmount->SetText(Regional::formatCurrency(GetNodeCurrency(QStringLiteral("Amount"), record, Currency())));
}

bool frmEditPayment::CheckCardDetails()
{
    if (!txtCardNumber->isEnabled())
        return true;
    if (UserOptionAsShort(QStringLiteral("Payments"), QStringLiteral("RequireCCDetails")) == 0)
        return true;
    const QString* message = MissingCardDetail();
    if (!message)
        return true;
    return Refuse(*message);
}

bool frmEditPayment::SavePayment()
{
    // A payment that was not there to load (another workstation deleted it, or no such ID) is
    // not there to update either: its failure, not a complaint about the empty fields.
    if (!m_paymentFound)
        return ShowFailure(SaveFailed, QStringLiteral("There is no payment with the ID %1.").arg(m_paymentID));
    // The date is read, never guessed: a field that holds no date stops the save.
    const std::optional<OleDate> local = Regional::parseDate(txtPaymentDate->Text());
    if (!local) {
        Refuse(NeedPaymentDate);
        txtPaymentDate->SetFocus();
        return false;
    }
    // The expiry boxes go into the statement unquoted, so each must hold a number checked here
    // (a month, a year in the boxes' ranges; an empty box is NULL), whatever way the focus left
    // it. A figure the payment already held stays as it is while the user leaves it alone (an
    // older payment may hold 0); one that is not a whole number is refused in words.
    auto expiry = [](const FlatEdit* box, int low, int high, const QString& loaded) -> std::optional<QString> {
        if (std::optional<QString> number = modSharedSQL::SQLWholeNumber(box->Text(), low, high))
            return number;
        if (box->Text() == loaded)
            return modSharedSQL::SQLWholeNumber(loaded, std::numeric_limits<int>::min() + 1,
                                                std::numeric_limits<int>::max());
        return std::nullopt;
    };
    const std::optional<QString> month = expiry(txtExpireMonth, MonthLow, MonthHigh, m_loadedMonth);
    const std::optional<QString> year = expiry(txtExpireYear, YearLow, YearHigh, m_loadedYear);
    if (!month || !year) {
        Refuse(NeedExpireDate);
        (month ? txtExpireYear : txtExpireMonth)->SetFocus();
        return false;
    }
    const int index = cboPaymentMethod->ListIndex();
    const int methodID = index >= 0 ? cboPaymentMethod->ItemData(index) : m_loadedMethodID;
    using modSharedSQL::FixSQLQuotes;
    const QString statement =
        ledger::FillMarkers(UpdateStatement,
                            {{u"<pmid>", QString::number(methodID)},
                             {u"<card>", FixSQLQuotes(txtCardNumber->Text())},
                             {u"<noc>", FixSQLQuotes(txtNameOnCard->Text())},
                             {u"<exm>", *month},
                             {u"<exy>", *year},
                             {u"<pday>", modSharedSQL::FormatSQLDate(modSharedDateTime::LocalToUTC(*local), false)},
                             {u"<desc>", FixSQLQuotes(txtDescription->Text())},
                             {u"<id>", QString::number(m_paymentID)}},
                            ledger::MarkerScan::Once);

    SharedCodeLibrary* scl = host();
    if (!scl)
        return false;
    if (scl->Database().ExecuteNonQuery(statement) == 1)
        return true;
    scl = host();
    return ShowFailure(SaveFailed, scl ? scl->Database().LastSQLErrorDescription() : QString());
}

void frmEditPayment::cmdOK_Click()
{
    if (CheckCardDetails() && SavePayment()) {
        Cancelled = false;
        Unload();
    }
}

} // namespace tesr
