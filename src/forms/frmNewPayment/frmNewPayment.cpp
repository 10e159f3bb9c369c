#include "forms/frmNewPayment/frmNewPayment.h"

#include "platform/HelperTools.h"
#include "platform/HostServices.h"
#include "platform/ILibrary.h"
#include "platform/InputTools.h"
#include "platform/controls/Access.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/DatePicker.h"
#include "platform/controls/FlatEdit.h"
#include "platform/controls/GroupBox.h"
#include "platform/controls/PushButton.h"
#include "platform/controls/ReportControl.h"
#include "platform/controls/Resizer.h"
#include "shared/ReadRows.h"
#include "shared/modSharedCustomers.h"
#include "shared/modSharedReportControl.h"
#include "shared/modSharedSpread.h"
#include "shared/modSharedStrings.h"
#include "values/Regional.h"

#include <QLabel>
#include <QStyle>
#include <QTimer>

namespace tesr {

namespace {

const QString OrdersTemplate =
    QStringLiteral("SELECT * FROM vwScreen_NewPayment WHERE CustomerID = {0} AND (State = {1} OR State = {2}) AND "
                   "StatusCode <> {3} AND StatusCode <> {4}");

// The two order states that take payments, and the two status codes left out.
constexpr int StateSale = 2;
constexpr int StateOrder = 3;
constexpr int StatusExcludedA = 500;
constexpr int StatusExcludedB = 1600;

const QString CreditHeadline = QStringLiteral("This customer has a credit.");
const QString CreditExplanation =
    QStringLiteral("You should allocate the remaining amounts of past payments before recording new payments. Click "
                   "the Allocate Credit button to assign the un-used portion of past payments.");

} // namespace

// ---- construction ------------------------------------------------------------------------------

frmNewPayment::frmNewPayment(QWidget* parent) : PaymentScreen("frmNewPayment", "New Payment", 640, 528, parent)
{
    BuildControls();
    BuildLayout();
    ConnectEvents();
}

frmNewPayment::~frmNewPayment() = default;

void frmNewPayment::BuildControls()
{
    // Drawn first, so that the fields placed over it stay on top.
    MakeFrame();

    Label4 = Make<QLabel>("Label4", tr("&Customer:"));
    cboCustomer = Make<ComboBox>("cboCustomer");
    cmdCredit = MakeButton("cmdCredit", tr("Allocate Credit..."), &frmNewPayment::cmdCredit_Click);
    cmdCredit->SetVisible(false); // shown while the customer has credit

    Label5 = Make<QLabel>("Label5", tr("Orders:"));
    rptOrders = Make<ReportControl>("rptOrders");
    lblSummary = Make<QLabel>("lblSummary", QStringLiteral("{summary}"));

    lblAmount = Make<QLabel>("lblAmount", tr("&Amount:"));
    cboAmount = Make<ComboBox>("cboAmount");
    tmrSetAmount = Make<QTimer>("tmrSetAmount");
    tmrSetAmount->setInterval(100);
    tmrSetAmount->setSingleShot(false);

    MakeMethodList();
    // A down arrow in a symbol font, as on the platform's own date drop-downs.
    MakeDateFields(QChar(0x25BC));
    QFont symbol(QStringLiteral("DejaVu Sans"));
    symbol.setPointSizeF(7);
    cmdPaymentDate->setFont(symbol);
    MakeCard(); // until a card method is chosen there is no card to describe
    MakeMemo();
    MakeOkCancel(tr("Checks the entries and saves the payment (Enter)"));

    Label4->setBuddy(cboCustomer);
    Label5->setBuddy(rptOrders);
    lblAmount->setBuddy(cboAmount);

    setTabOrder(cboCustomer, cmdCredit);
    setTabOrder(cmdCredit, rptOrders);
    setTabOrder(rptOrders, cboAmount);
    setTabOrder(cboAmount, cboPaymentMethod);
    setTabOrder(cboPaymentMethod, txtPaymentDate);
    setTabOrder(txtPaymentDate, cmdPaymentDate);
    setTabOrder(cmdPaymentDate, txtCardNumber);
    setTabOrder(txtCardNumber, txtNameOnCard);
    setTabOrder(txtNameOnCard, txtExpireMonth);
    setTabOrder(txtExpireMonth, txtExpireYear);
    setTabOrder(txtExpireYear, txtDescription);
    setTabOrder(txtDescription, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    // Captions without an underlined letter are reached by these keys.
    using access::Control;
    access::Describe(
        this, {Control{"cboCustomer", tr("The customer who pays; type to find one")},
               Control{"cmdCredit", tr("Applies the customer's earlier credit to orders"), access::Alt(Qt::Key_L)},
               Control{"rptOrders",
                       tr("The customer's open orders: type an amount on a row to allocate it; Ctrl+Shift+S spreads "
                          "the payment oldest first"),
                       access::Alt(Qt::Key_O), tr("Orders")},
               Control{"cboAmount", tr("The amount paid; Alt+Down lists amounts for the focused order")}});
}

void frmNewPayment::BuildLayout()
{
    // The orders grid takes what the window grows by; the customer row stays on top, the
    // payment fields and the buttons stay on the bottom edge, the card fields on the right.
    Resizer1->Add(Label4, 12, 14, 84, 22, Resizer::TopLeft());
    Resizer1->Add(cboCustomer, 100, 13, 380, 24, Resizer::TopWide());
    Resizer1->Add(cmdCredit, 488, 12, 140, 26, Resizer::TopRight());

    Resizer1->Add(Label5, 12, 44, 200, 20, Resizer::TopLeft());
    Resizer1->Add(rptOrders, 12, 64, 616, 232, Resizer::All());
    Resizer1->Add(lblSummary, 12, 302, 616, 20, Resizer::BottomWide());

    Resizer1->Add(GroupBox1, 12, 330, 616, 146, Resizer::BottomWide());
    // Payment: left column.
    Resizer1->Add(lblAmount, 24, 344, 124, 24, Resizer::BottomLeft());
    Resizer1->Add(cboAmount, 150, 344, 164, 24, Resizer::BottomLeft());
    Resizer1->Add(Label1, 24, 374, 124, 24, Resizer::BottomLeft());
    Resizer1->Add(cboPaymentMethod, 150, 374, 164, 24, Resizer::BottomLeft());
    Resizer1->Add(lblPaymentDate, 24, 404, 124, 24, Resizer::BottomLeft());
    Resizer1->Add(txtPaymentDate, 150, 404, 136, 24, Resizer::BottomLeft());
    Resizer1->Add(cmdPaymentDate, 288, 404, 26, 24, Resizer::BottomLeft());
    // Card: right column.
    Resizer1->Add(lblCardNumber, 332, 344, 110, 24, Resizer::BottomRight());
    Resizer1->Add(txtCardNumber, 446, 344, 70, 24, Resizer::BottomRight());
    Resizer1->Add(Image1, 520, 348, 16, 16, Resizer::BottomRight());
    Resizer1->Add(lblNameOnCard, 332, 374, 110, 24, Resizer::BottomRight());
    Resizer1->Add(txtNameOnCard, 446, 374, 170, 24, Resizer::BottomRight());
    Resizer1->Add(lblExpireDate, 332, 404, 110, 24, Resizer::BottomRight());
    Resizer1->Add(txtExpireMonth, 446, 404, 40, 24, Resizer::BottomRight());
    Resizer1->Add(lblExpireDate2, 486, 404, 14, 24, Resizer::BottomRight());
    Resizer1->Add(txtExpireYear, 500, 404, 60, 24, Resizer::BottomRight());
    // Memo: the whole width.
    Resizer1->Add(Label3, 24, 438, 124, 24, Resizer::BottomLeft());
    Resizer1->Add(txtDescription, 150, 438, 466, 24, Resizer::BottomWide());

    Resizer1->Add(cmdOK, 452, 490, 84, 28, Resizer::BottomRight());
    Resizer1->Add(cmdCancel, 544, 490, 84, 28, Resizer::BottomRight());
}

void frmNewPayment::ConnectEvents()
{
    connect(cboCustomer, &ComboBox::GotFocus, this, &frmNewPayment::cboCustomer_GotFocus);
    connect(cboCustomer, &ComboBox::LostFocus, this, &frmNewPayment::cboCustomer_LostFocus);
    connect(cboCustomer, &ComboBox::Change, this, &frmNewPayment::cboCustomer_Change);
    connect(cboCustomer, &ComboBox::Click, this, &frmNewPayment::cboCustomer_Click);

    connect(cboAmount, &ComboBox::Click, this, &frmNewPayment::cboAmount_Click);
    connect(cboAmount, &ComboBox::Validate, this, &frmNewPayment::cboAmount_Validate);
    connect(tmrSetAmount, &QTimer::timeout, this, &frmNewPayment::tmrSetAmount_Timer);
    connect(rptOrders, &ReportControl::ValueChanging, this, &frmNewPayment::rptOrders_ValueChanging);
    connect(rptOrders, &ReportControl::ValueChanged, this, &frmNewPayment::rptOrders_ValueChanged);
    connect(rptOrders, &ReportControl::FocusChanging, this, &frmNewPayment::rptOrders_FocusChanging);

    m_spread = new modSharedSpread::SpreadAction(
        *rptOrders, ItemBalance, ItemToAllocate, [this] { return AmountToSpread(); }, [this] { AfterSpread(); });
}

// ---- life ----------------------------------------------------------------------------------------

void frmNewPayment::Prepare(int CustomerID, bool ForceCustomer, ILibrary& library)
{
    m_customerID = CustomerID;
    m_forceCustomer = ForceCustomer;
    AttachAndLoadMethods(library);
}

void frmNewPayment::OnLoad()
{
    BuildOrderColumns();
    Cancelled = true;
}

void frmNewPayment::OnFirstActivation()
{
    InitialLoad();
    if (m_forceCustomer)
        cboCustomer->SetEnabled(false);
}

void frmNewPayment::OnUnload()
{
    tmrSetAmount->stop();
}

// ---- loading -------------------------------------------------------------------------------------

void frmNewPayment::BuildOrderColumns()
{
    modSharedReportControl::FormatReportGrid(*rptOrders);
    rptOrders->SetCustomDraw(ReportControl::AlternateRowShading);
    rptOrders->SetAllowEdit(true);

    struct Spec {
        OrderItem item;
        QString caption;
        int width;
        bool resizable;
        bool editable;
        bool right;
        bool visible;
    };
    const Spec columns[] = {
        {ItemNumber, tr("Number"), 65, true, false, false, true},
        {ItemSidemark, tr("Sidemark"), 100, true, false, false, true},
        {ItemBalance, tr("Balance"), 85, true, false, true, true},
        {ItemDeposit, tr("Req. Deposit."), 85, true, false, true, true},
        {ItemToAllocate, tr("To Allocate"), 85, true, true, true, true},
        {ItemNewBalance, tr("New Balance"), 85, true, false, true, true},
        {ItemUniqueID, QStringLiteral("UniqueID"), 16, false, false, false, false},
    };
    for (const Spec& c : columns) {
        ReportColumn* column = rptOrders->Columns().Add(c.item, c.caption, c.width, c.resizable);
        if (c.item != ItemUniqueID)
            column->SetEditable(c.editable);
        if (c.right) {
            column->SetAlignment(Qt::AlignRight);
            column->SetHeaderAlignment(Qt::AlignRight);
        }
        if (!c.visible) {
            column->SetVisible(false);
            // Hiding keeps the width the header gave the column while it was the last one
            // (stretched over the grid); it keeps its own.
            column->SetWidth(c.width);
        }
    }
}

void frmNewPayment::InitialLoad()
{
    setWindowTitle(QStringLiteral("New Payment"));
    if (SharedCodeLibrary* scl = host())
        cboCustomer->SetText(scl->Common().GetCustomerName(m_customerID));

    m_customerBusy = true;
    modSharedCustomers::FillCustomerCombo(*cboCustomer, host(), false);
    if (SharedCodeLibrary* scl = host())
        cboCustomer->SetText(scl->Common().GetCustomerName(m_customerID));
    helperFactory().CreateInputTools()->SelectEntryByText(cboCustomer->Text(), *cboCustomer);
    m_customerBusy = false;

    cboCustomer_Click();

    txtPaymentDate->SetText(Regional::formatShortDate(OleDate::fromParts(QDate::currentDate())));

    // The leave rules turn the empty boxes into their defaults.
    bool cancel = false;
    txtExpireMonth_Validate(cancel);
    txtExpireYear_Validate(cancel);
    cboAmount_Validate(cancel);
}

void frmNewPayment::cboCustomer_GotFocus()
{
    cboCustomer->SetTag(cboCustomer->Text());
}

void frmNewPayment::cboCustomer_LostFocus()
{
    const QString text = cboCustomer->Text();
    if (text.isEmpty() || text == cboCustomer->Tag())
        return;
    m_customerBusy = true;
    helperFactory().CreateInputTools()->SelectEntryByText(text, *cboCustomer);
    m_customerBusy = false;
    if (cboCustomer->ListIndex() >= 0)
        ReloadCustomer();
    UpdateCardFields();
    DoEvents();
}

void frmNewPayment::cboCustomer_Change()
{
    if (m_customerBusy)
        return;
    m_customerBusy = true;
    modSharedCustomers::FillCustomerCombo(*cboCustomer, host(), true);
    m_customerBusy = false;
}

void frmNewPayment::cboCustomer_Click()
{
    if (cboCustomer->DroppedState() || m_customerBusy)
        return;
    if (cboCustomer->ListIndex() < 0)
        return;
    // Remembered before the reload: loading the orders puts the focus on the grid, and the box
    // losing it then must not take the same customer a second time.
    cboCustomer->SetTag(cboCustomer->Text());
    ReloadCustomer();
    UpdateCardFields();
    DoEvents();
}

void frmNewPayment::ReloadCustomer()
{
    // The customer is the chosen entry's; with no entry chosen the current one stays.
    if (cboCustomer->ListIndex() >= 0)
        m_customerID = cboCustomer->ItemData(cboCustomer->ListIndex());
    LoadOrders();
    UpdateSummary();

    std::optional<Currency> credit;
    if (SharedCodeLibrary* scl = host())
        credit = modSharedCustomers::QueryCustomerCredit(m_customerID, *scl);
    if (credit && *credit > Currency()) {
        cmdCredit->SetVisible(true);
        if (SharedCodeLibrary* scl = host())
            scl->ShowMessageStyle1(CreditHeadline, CreditExplanation);
    } else {
        cmdCredit->SetVisible(false);
    }
}

void frmNewPayment::LoadOrders()
{
    rptOrders->Records().RemoveAll();
    m_spread->Reset();
    const QString statement = modSharedStrings::FillTemplate(
        OrdersTemplate, {QString::number(m_customerID), StateSale, StateOrder, StatusExcludedA, StatusExcludedB});
    enum { fID, fNumber, fSidemark, fBalance, fDeposit, fUniqueID };
    ReportRecords& records = rptOrders->Records();
    rows::ForEach(host(), statement,
                  {QStringLiteral("ID"), QStringLiteral("OrderNumber"), QStringLiteral("Sidemark"),
                   QStringLiteral("Balance"), QStringLiteral("DepositAmount"), QStringLiteral("uniqueID")},
                  [&](const Recordset& rs, const FieldIndex& fields) {
                      ReportRecord* record = records.Add();
                      record->SetTag(QString::number(fields.Value(rs, fID).toLongLong()));
                      record->AddItem(fields.Value(rs, fNumber).toString().trimmed());
                      record->AddItem(fields.Value(rs, fSidemark).toString().trimmed());
                      const Currency balance = Currency::fromVariantOrZero(fields.Value(rs, fBalance));
                      SetMoneyItem(record->AddItem(QVariant()), balance);
                      SetMoneyItem(record->AddItem(QVariant()),
                                   Currency::fromVariantOrZero(fields.Value(rs, fDeposit)));
                      SetMoneyItem(record->AddItem(QVariant()), Currency());
                      SetMoneyItem(record->AddItem(QVariant()), balance);
                      record->AddItem(fields.Value(rs, fUniqueID).toString());
                  });
    // As loaded, nothing is allocated and every new balance is its order's balance.
    m_newBalancesAt = m_allocatedAt = rptOrders->ValuesSerial();
    m_allocated = Currency();
    rptOrders->Populate();
    modSharedReportControl::FocusRowByIndex(0, *rptOrders, true);
    BuildAmountPresets(rptOrders->FocusedRow());
}

void frmNewPayment::cmdCredit_Click()
{
    if (!library())
        return;
    if (library()->ShowAllocateCredit(m_customerID))
        ReloadCustomer();
}

} // namespace tesr
