// The Allocate Credit dialog: its controls, its two lists and what it shows while the user works.
// The OK checks and the save are in frmAllocateCreditSave.cpp.

#include "forms/frmAllocateCredit/frmAllocateCredit.h"

#include "ledger/Statements.h"
#include "platform/HelperTools.h"
#include "platform/HostServices.h"
#include "platform/ILibrary.h"
#include "platform/InputTools.h"
#include "platform/controls/Access.h"
#include "platform/controls/GroupBox.h"
#include "platform/controls/MessageBox.h"
#include "platform/controls/PushButton.h"
#include "platform/controls/ReportControl.h"
#include "platform/controls/Resizer.h"
#include "shared/ReadRows.h"
#include "shared/ReviewLists.h"
#include "shared/modSharedReportControl.h"
#include "shared/modSharedSpread.h"
#include "values/OleDate.h"
#include "values/Regional.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QStyle>

#include <cmath>
#include <iterator>
#include <vector>

namespace tesr {

namespace {

using namespace modSharedReportControl;

constexpr QStringView PaymentsStatement =
    u"SELECT Payments.ID, Payments.PaymentMethodID, Payments.CustomerID, Payments.PaymentDate, "
    u"dbo.PaymentDetails(Payments.ID) AS theDetails, Payments.Amount, Payments.Allocated, Payments.AddedOn, "
    u"PaymentMethods.PaymentMethod FROM Payments INNER JOIN PaymentMethods ON Payments.PaymentMethodID = "
    u"PaymentMethods.ID WHERE (Payments.CustomerID = <cid>) AND (Payments.Allocated <> Payments.Amount)";

constexpr QStringView OrdersStatement = u"SELECT ID, OrderNumber, Sidemark, Balance, UniqueID FROM Orders WHERE "
                                        u"CustomerID = <cid> AND Balance <> 0 AND (State = <s> OR State = <o>)";

// The two order states whose records take payments: sale and order.
const QString StateSale = QStringLiteral("2");
const QString StateOrder = QStringLiteral("3");

// Column widths as designed, pixels at 96 dpi, by item index.
constexpr int PaymentWidths[] = {65, 85, 85, 85, 85};
constexpr int OrderWidths[] = {65, 100, 85, 85, 85, 16};

const QString SummaryTemplate = QStringLiteral("Allocated: {0}, Unallocated: {1}");
const QString NoPaymentToSpread =
    QStringLiteral("Select the payment to apply first: Spread Oldest First fills the Allocate cells from its credit.");
const QString NoCreditToSpread = QStringLiteral("The selected payment has no credit to spread.");

// A money cell: sorted by the amount, shown in the user's currency format.
ReportRecordItem* addMoney(ReportRecord* record, const std::optional<Currency>& amount)
{
    ReportRecordItem* item = record->AddItem(QVariant());
    item->SetMoney(amount);
    return item;
}

ReportColumn* addColumn(ReportControl* grid, int index, const QString& caption, int width, bool resizable,
                        bool rightAligned)
{
    ReportColumn* column = grid->Columns().Add(index, caption, width, resizable);
    if (rightAligned) {
        column->SetAlignment(Qt::AlignRight);
        column->SetHeaderAlignment(Qt::AlignRight);
    }
    return column;
}

} // namespace

frmAllocateCredit::frmAllocateCredit(QWidget* parent) : Screen("frmAllocateCredit", "Allocate Credit", 560, 470, parent)
{
    Label4 = Make<QLabel>("Label4", tr("&Customer:"));
    lblCustomer = Make<QLabel>("lblCustomer", QStringLiteral("Label3"));
    QFont bold = font();
    bold.setBold(true);
    lblCustomer->setFont(bold);
    lblCredit = Make<QLabel>("lblCredit", QStringLiteral("{credit}"));
    lblCredit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblCredit->setFont(bold);
    Label2 = Make<QLabel>("Label2", tr("Payments not fully allocated"));
    rptPayments = Make<ReportControl>("rptPayments");
    // Only one payment's credit is applied at a time.
    rptPayments->setSelectionMode(QAbstractItemView::SingleSelection);
    Label1 = Make<QLabel>("Label1", tr("Apply the selected payment to:"));
    rptOrders = Make<ReportControl>("rptOrders");
    lblSummary = Make<QLabel>("lblSummary", QStringLiteral("{summary}"));
    GroupBox1 = Make<GroupBox>("GroupBox1");
    GroupBox1->SetAppearance(GroupBox::Divider);
    cmdOK = MakeButton("cmdOK", tr("OK"), &frmAllocateCredit::cmdOK_Click);
    cmdOK->setDefault(true); // Enter once no cell is being edited (Enter in a cell commits it)
    cmdCancel = MakeButton("cmdCancel", tr("Cancel"), &frmAllocateCredit::cmdCancel_Click);
    cmdCancel->SetCausesValidation(false);

    Label4->setBuddy(rptPayments);
    Label2->setBuddy(rptPayments);
    Label1->setBuddy(rptOrders);
    setTabOrder(rptPayments, rptOrders);
    setTabOrder(rptOrders, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    // Alt+C reaches the payments ("&Customer:"), Alt+O the orders; Enter is OK, Escape Cancel.
    using access::Control;
    access::Describe(this,
                     {Control{"rptPayments",
                              tr("The customer's payments with credit left: select the one to apply"),
                              {},
                              tr("Payments not fully allocated")},
                      Control{"rptOrders",
                              tr("The customer's open orders: type the amount each gets; Ctrl+Shift+S spreads the "
                                 "selected payment oldest first"),
                              access::Alt(Qt::Key_O), tr("Apply the selected payment to")},
                      Control{"cmdOK", tr("Checks the amounts and applies them (Enter)")},
                      Control{"cmdCancel", tr("Closes without applying anything (Escape)")}});

    // The orders list takes the height the window gains; every list and line takes its width.
    Resizer1->Add(Label4, 12, 12, 84, 20, Resizer::TopLeft());
    Resizer1->Add(lblCustomer, 98, 12, 260, 20, Resizer::TopWide());
    Resizer1->Add(lblCredit, 362, 12, 186, 20, Resizer::TopRight());
    Resizer1->Add(Label2, 12, 42, 300, 20, Resizer::TopLeft());
    Resizer1->Add(rptPayments, 12, 64, 536, 136, Resizer::TopWide());
    Resizer1->Add(Label1, 12, 210, 300, 20, Resizer::TopLeft());
    Resizer1->Add(rptOrders, 12, 232, 536, 160, Resizer::All());
    Resizer1->Add(lblSummary, 12, 398, 536, 20, Resizer::BottomWide());
    Resizer1->Add(GroupBox1, 12, 424, 536, 2, Resizer::BottomWide());
    Resizer1->Add(cmdOK, 372, 434, 84, 26, Resizer::BottomRight());
    Resizer1->Add(cmdCancel, 464, 434, 84, 26, Resizer::BottomRight());

    // The design widths are proportions: the columns share whatever width the lists have.
    rptPayments->viewport()->installEventFilter(this);
    rptOrders->viewport()->installEventFilter(this);

    connect(rptOrders, &ReportControl::ValueChanging, this, &frmAllocateCredit::rptOrders_ValueChanging);
    connect(rptOrders, &ReportControl::ValueChanged, this, &frmAllocateCredit::rptOrders_ValueChanged);

    m_spread = new modSharedSpread::SpreadAction(
        *rptOrders, OrdBalance, OrdAllocate, [this] { return CreditToSpread(); },
        [this] {
            RecalcNewBalances();
            UpdateSummary();
        });
}

frmAllocateCredit::~frmAllocateCredit() = default;

void frmAllocateCredit::Prepare(int CustomerID, ILibrary& library)
{
    m_customerID = CustomerID;
    Attach(library);
}

bool frmAllocateCredit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == rptPayments->viewport())
            FitColumns(*rptPayments, PaymentWidths, int(std::size(PaymentWidths)), PayDate);
        else if (watched == rptOrders->viewport())
            FitColumns(*rptOrders, OrderWidths, int(std::size(OrderWidths)), -1);
    }
    return Form::eventFilter(watched, event);
}

void frmAllocateCredit::FitColumns(ReportControl& grid, const int* designWidths, int count, int dateItem)
{
    QHeaderView* header = grid.header();
    const int available = grid.viewport()->width();
    if (available <= 0)
        return;
    const int padding = 2 * grid.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 8;
    const QFontMetrics heading(grid.PaintManager().CaptionFont());
    // A date column is as wide as the widest short date.
    const int dateWidth = QFontMetrics(grid.PaintManager().TextFont())
                              .horizontalAdvance(Regional::formatShortDate(*OleDate::fromYmdHms(2028, 12, 28))) +
                          padding;
    struct Share {
        int position;
        int design;
        int least;
    };
    std::vector<Share> shares;
    int designTotal = 0;
    int leastTotal = 0;
    for (int i = 0; i < grid.Columns().Count(); ++i) {
        const ReportColumn* column = grid.Columns().Column(i);
        if (!column->Visible() || column->ItemIndex() >= count)
            continue;
        const int design = int(std::lround(designWidths[column->ItemIndex()] * grid.logicalDpiX() / 96.0));
        int least = std::max(design, heading.horizontalAdvance(column->Caption()) + padding);
        if (column->ItemIndex() == dateItem)
            least = std::max(least, dateWidth);
        shares.push_back({column->Index(), design, least});
        designTotal += design;
        leastTotal += least;
    }
    if (shares.empty() || designTotal <= 0)
        return;
    int extra = std::max(0, available - leastTotal);
    int given = 0;
    for (std::size_t k = 0; k < shares.size(); ++k) {
        int width = shares[k].least;
        if (k + 1 == shares.size())
            width += extra - given; // the rounding remainder goes to the last column
        else {
            const int part = int(qint64(extra) * shares[k].design / designTotal);
            width += part;
            given += part;
        }
        header->resizeSection(shares[k].position, width);
    }
}

void frmAllocateCredit::OnLoad()
{
    SetupPaymentsGrid();
    SetupOrdersGrid();
    Cancelled = true;
}

void frmAllocateCredit::OnFirstActivation()
{
    InitialLoad();
    m_dataLoaded = true;
}

void frmAllocateCredit::SetupPaymentsGrid()
{
    FormatReportGrid(*rptPayments);
    rptPayments->SetCustomDraw(ReportControl::AlternateRowShading);
    addColumn(rptPayments, PayDate, tr("Date"), PaymentWidths[PayDate], true, false);
    addColumn(rptPayments, PayDetails, tr("Details"), PaymentWidths[PayDetails], true, false);
    addColumn(rptPayments, PayAmount, tr("Amount"), PaymentWidths[PayAmount], true, true);
    addColumn(rptPayments, PayAllocated, tr("Allocated"), PaymentWidths[PayAllocated], true, true);
    addColumn(rptPayments, PayUnallocated, tr("Unallocated"), PaymentWidths[PayUnallocated], true, true);
    // Rows are selected here, never edited.
    rptPayments->SetAllowEdit(false);
}

void frmAllocateCredit::SetupOrdersGrid()
{
    FormatReportGrid(*rptOrders);
    rptOrders->SetCustomDraw(ReportControl::AlternateRowShading);
    addColumn(rptOrders, OrdNumber, tr("Order Number"), OrderWidths[OrdNumber], true, false)->SetEditable(false);
    addColumn(rptOrders, OrdSidemark, tr("Sidemark"), OrderWidths[OrdSidemark], true, false)->SetEditable(false);
    addColumn(rptOrders, OrdBalance, tr("Balance"), OrderWidths[OrdBalance], true, true)->SetEditable(false);
    addColumn(rptOrders, OrdAllocate, tr("Allocate"), OrderWidths[OrdAllocate], true, true)->SetEditable(true);
    addColumn(rptOrders, OrdNewBalance, tr("New Balance"), OrderWidths[OrdNewBalance], true, true)->SetEditable(false);
    addColumn(rptOrders, OrdUniqueID, tr("UniqueID"), OrderWidths[OrdUniqueID], false, false)->SetVisible(false);
    // Only the Allocate cells take edits.
    rptOrders->SetAllowEdit(true);
}

void frmAllocateCredit::InitialLoad()
{
    LoadPayments();
    LoadOrders();
    if (SharedCodeLibrary* scl = host())
        lblCustomer->setText(scl->Common().GetCustomerName(m_customerID));
    if (SharedCodeLibrary* scl = host())
        lblCredit->setText(tr("Credit: ") + Regional::formatCurrency(scl->Common().GetCustomerCredit(m_customerID)));
    if (SharedCodeLibrary* scl = host())
        m_customerCredit = scl->Common().GetCustomerCredit(m_customerID);
    UpdateSummary();
}

void frmAllocateCredit::LoadPayments()
{
    rptPayments->Records().RemoveAll();
    enum { fID, fDate };
    rows::ForEach(host(), ledger::FillMarkers(PaymentsStatement, {{u"<cid>", QString::number(m_customerID)}}),
                  reviewlists::PaymentFields, [this](const Recordset& rs, const FieldIndex& fields) {
                      ReportRecord* record = rptPayments->Records().Add();
                      record->SetTag(QString::number(fields.Value(rs, fID).toLongLong()));
                      SetShortDateItem(*record->AddItem(0),
                                       OleDate::fromVariant(fields.Value(rs, fDate)).value_or(OleDate()));
                      reviewlists::AddPaymentItems(*record, rs, fields);
                  });
    rptPayments->Populate();
}

void frmAllocateCredit::LoadOrders()
{
    rptOrders->Records().RemoveAll();
    m_spread->Reset();
    enum { fID, fNumber, fSidemark, fBalance, fUniqueID };
    rows::ForEach(
        host(),
        ledger::FillMarkers(OrdersStatement,
                            {{u"<cid>", QString::number(m_customerID)}, {u"<s>", StateSale}, {u"<o>", StateOrder}}),
        {QStringLiteral("ID"), QStringLiteral("OrderNumber"), QStringLiteral("Sidemark"), QStringLiteral("Balance"),
         QStringLiteral("UniqueID")},
        [this](const Recordset& rs, const FieldIndex& fields) {
            ReportRecord* record = rptOrders->Records().Add();
            record->SetTag(QString::number(fields.Value(rs, fID).toLongLong()));
            record->AddItem(fields.Value(rs, fNumber).toString().trimmed());
            record->AddItem(fields.Value(rs, fSidemark).toString().trimmed());
            const Currency balance = Currency::fromVariantOrZero(fields.Value(rs, fBalance));
            addMoney(record, balance);
            addMoney(record, Currency());
            addMoney(record, balance); // nothing allocated yet
            record->AddItem(fields.Value(rs, fUniqueID).toString().trimmed());
        });
    rptOrders->Populate();
}

void frmAllocateCredit::UpdateSummary()
{
    const std::optional<Currency> allocated = AllocateTotal(Amounts::All);
    const std::optional<Currency> unallocated = allocated ? m_customerCredit.minus(*allocated) : std::nullopt;
    if (SharedCodeLibrary* scl = host())
        lblSummary->setText(scl->Common().BuildString(
            SummaryTemplate, {Regional::formatCurrency(allocated), Regional::formatCurrency(unallocated)}));
}

void frmAllocateCredit::RecalcNewBalances()
{
    ReportRecords& records = rptOrders->Records();
    for (int i = 0; i < records.Count(); ++i) {
        ReportRecord* record = records.Record(i);
        ReportRecordItem* newBalance = record->Item(OrdNewBalance);
        if (!newBalance)
            continue;
        const std::optional<Currency> value =
            Currency::fromVariantOrZero(record->Item(OrdBalance)->Value())
                .minus(Currency::fromVariantOrZero(record->Item(OrdAllocate)->Value()));
        newBalance->SetMoney(value);
    }
    rptOrders->Populate();
}

void frmAllocateCredit::rptOrders_ValueChanging(ReportValueChange& change)
{
    // Users type amounts the way they see them: the currency symbol and the user's own number
    // format (grouping included) are read. The accepted amount is kept as money, so a statement
    // never sees the typed text.
    const std::optional<Currency> amount = Regional::parseMoneyEntry(change.NewValue.toString());
    if (!amount) {
        change.Cancel = true;
        return;
    }
    change.NewValue = QVariant::fromValue(*amount);
}

void frmAllocateCredit::rptOrders_ValueChanged(ReportRow*, ReportColumn*, ReportRecordItem* item)
{
    if (item)
        item->SetCurrencyCaption();
    RecalcNewBalances();
    UpdateSummary();
}

std::optional<Currency> frmAllocateCredit::CreditToSpread()
{
    const ReportRecord* payment = SelectedPayment();
    if (!payment) {
        MessageBox::Show(NoPaymentToSpread, MessageBox::OkOnly | MessageBox::Exclamation);
        rptPayments->setFocus(Qt::OtherFocusReason);
        return std::nullopt;
    }
    // The checks on OK hold the total to both, so a spread never fills more than OK accepts.
    const ReportRecordItem* unallocated = payment->Item(PayUnallocated);
    const Currency credit =
        std::min(unallocated ? Currency::fromVariantOrZero(unallocated->Value()) : Currency(), m_customerCredit);
    if (credit <= Currency()) {
        MessageBox::Show(NoCreditToSpread, MessageBox::OkOnly | MessageBox::Exclamation);
        return std::nullopt;
    }
    return credit;
}

void frmAllocateCredit::cmdCancel_Click()
{
    Cancelled = true;
    Unload();
}

std::optional<Currency> frmAllocateCredit::AllocateTotal(Amounts which) const
{
    CurrencyTotal total;
    ReportRecords& records = rptOrders->Records();
    for (int i = 0; i < records.Count(); ++i)
        if (ReportRecordItem* item = records.Record(i)->Item(OrdAllocate))
            if (const Currency amount = Currency::fromVariantOrZero(item->Value());
                which == Amounts::All || amount > Currency())
                total.add(amount);
    return total.value();
}

ReportRecord* frmAllocateCredit::SelectedPayment() const
{
    const int id = GetSelectedRecordID(*rptPayments);
    if (id == 0)
        return nullptr;
    const ReportSelectedRows selected = rptPayments->SelectedRows();
    return selected.Count() == 1 ? selected.Row(0)->Record() : nullptr;
}

} // namespace tesr
