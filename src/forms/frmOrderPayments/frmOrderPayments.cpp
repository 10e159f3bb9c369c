#include "forms/frmOrderPayments/frmOrderPayments.h"

#include "ledger/Statements.h"
#include "platform/HelperTools.h"
#include "platform/HostServices.h"
#include "platform/ILibrary.h"
#include "platform/InputTools.h"
#include "platform/controls/Access.h"
#include "platform/controls/GroupBox.h"
#include "platform/controls/PushButton.h"
#include "platform/controls/ReportControl.h"
#include "platform/controls/Resizer.h"
#include "platform/controls/TaskDialog.h"
#include "shared/PaymentRemoval.h"
#include "shared/ReadRows.h"
#include "shared/ReviewLists.h"
#include "shared/modSharedDateTime.h"
#include "shared/modSharedReportControl.h"
#include "shared/modSharedSQL.h"
#include "shared/modSharedStrings.h"
#include "shared/modSharedXML.h"
#include "values/Regional.h"

#include <QLabel>

namespace tesr {

namespace {

using namespace modSharedReportControl;
using modSharedStrings::FillTemplate;

enum Column { ColDate = 0, ColDetails = 1, ColAmount = 2 };

const QString OrderTemplate = QStringLiteral("SELECT CustomerID, UniqueID FROM Orders WHERE ID = {0}");

constexpr QStringView ListStatement =
    u"SELECT PaymentAllocations.ID, PaymentAllocations.Amount, Payments.PaymentDate, Payments.Description, "
    u"Payments.CardNumber, PaymentMethods.PaymentMethod, dbo.PaymentDetails(Payments.ID) AS theDetails "
    u"FROM PaymentAllocations INNER JOIN Payments ON PaymentAllocations.PaymentID = Payments.ID "
    u"INNER JOIN PaymentMethods ON Payments.PaymentMethodID = PaymentMethods.ID "
    u"WHERE (PaymentAllocations.OrderUniqueID = '<ouid>')";

const QString PaymentTemplate = QStringLiteral(
    "SELECT Payments.ID AS PaymentID, Payments.PaymentDate, Payments.CustomerID, Payments.Amount, "
    "PaymentAllocations.ID FROM PaymentAllocations INNER JOIN Payments ON PaymentAllocations.PaymentID = Payments.ID "
    "WHERE (PaymentAllocations.ID = {0})");
const QString RecordPath = QStringLiteral("Records/Record");

constexpr int RightRecordFromOrder = 8;

// The first record of a host record document, or a null element.
QDomElement firstRecord(const QDomDocument& doc)
{
    return doc.isNull() ? QDomElement() : modSharedXML::SelectSingleNode(doc, RecordPath);
}

} // namespace

frmOrderPayments::frmOrderPayments(QWidget* parent)
    : ReviewScreen("frmOrderPayments", "Order Payments", 606, 442, parent)
{
    rptPayments = MakeList("rptPayments", 590, 364, tr("The payments applied to this order"), tr("Payments"));
    lblSummary = Make<QLabel>("lblSummary", QStringLiteral("{summary}"));
    lblSummary->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    GroupBox1 = Make<GroupBox>("GroupBox1");
    cmdNewPayment = MakeButton("cmdNewPayment", tr("New Payment..."), &frmOrderPayments::cmdNewPayment_Click);
    cmdDelete = MakeButton("cmdDelete", tr("Remove"), &frmOrderPayments::cmdDelete_Click);
    MakeCloseButton(519, 410);

    // The total, the divider and the buttons stay below the list.
    Resizer1->Add(lblSummary, 8, 379, 590, 19, Resizer::BottomWide());
    Resizer1->Add(GroupBox1, 8, 396, 588, 12, Resizer::BottomWide());
    Resizer1->Add(cmdNewPayment, 8, 410, 130, 24, Resizer::BottomLeft());
    Resizer1->Add(cmdDelete, 143, 410, 80, 24, Resizer::BottomLeft());

    // The captions are fixed words: these keys reach the buttons without an underlined letter.
    using access::Control;
    access::Describe(
        this, {Control{"cmdNewPayment", tr("Records a new payment for this order's customer"), access::Alt(Qt::Key_N)},
               Control{"cmdDelete", tr("Removes the selected payment from this order"), access::Alt(Qt::Key_R)}});
}

frmOrderPayments::~frmOrderPayments() = default;

void frmOrderPayments::Prepare(int OrderID, ILibrary& library)
{
    m_orderID = OrderID;
    Attach(library);
    m_orderDoc = QDomDocument();
    m_orderRecord = QDomElement();
    if (SharedCodeLibrary* scl = host()) {
        m_orderDoc = scl->Database().ExecuteRead(FillTemplate(OrderTemplate, {OrderID}));
        m_orderRecord = firstRecord(m_orderDoc);
    }
}

void frmOrderPayments::OnFirstActivation()
{
    LoadPayments();
    UpdateButtons();
    // Nothing paid yet: go straight to recording a payment, when the user may.
    if (rptPayments->Records().Count() < 1 && cmdNewPayment->Enabled())
        cmdNewPayment_Click();
}

void frmOrderPayments::OnUnload()
{
    m_orderRecord = QDomElement();
    m_orderDoc = QDomDocument();
}

void frmOrderPayments::SetupGrid()
{
    reviewlists::StartList(*rptPayments, tr("Date"));
    rptPayments->Columns().Add(ColDetails, tr("Details"), 85, true);
    reviewlists::AddMoneyColumn(*rptPayments, ColAmount, tr("Amount"), 85);
    reviewlists::FillWithColumn(*rptPayments, ColDetails, 85);
}

void frmOrderPayments::LoadPayments()
{
    rptPayments->Records().RemoveAll();
    CurrencyTotal total;
    // A UniqueID is the database's own text, but it still must not break the statement.
    const QString uniqueID = modSharedXML::GetNodeText(QStringLiteral("UniqueID"), m_orderRecord);
    enum { fID, fDate, fDetails, fAmount };
    rows::ForEach(
        host(), ledger::FillMarkers(ListStatement, {{u"<ouid>", modSharedSQL::FixSQLQuotes(uniqueID)}}),
        {QStringLiteral("ID"), QStringLiteral("PaymentDate"), QStringLiteral("theDetails"), QStringLiteral("Amount")},
        [&](const Recordset& rs, const FieldIndex& fields) {
            ReportRecord* record =
                reviewlists::AddDatedRecord(*rptPayments, fields.Value(rs, fID), fields.Value(rs, fDate));
            record->AddItem(paymentDetailsShown(fields.Value(rs, fDetails).toString().trimmed()));
            const Currency amount = Currency::fromVariantOrZero(fields.Value(rs, fAmount));
            record->AddItem(QVariant::fromValue(amount))->SetCurrencyCaption();
            total.add(amount);
        });
    rptPayments->Populate();
    lblSummary->setText(Regional::formatCurrency(total.value()));
}

void frmOrderPayments::UpdateButtons()
{
    SharedCodeLibrary* scl = host();
    if (cmdNewPayment->Enabled())
        cmdNewPayment->SetEnabled(scl && scl->Security().CanDo(removal::PermissionPayments, RightRecordFromOrder));
    HoldToRemoveRight(*cmdDelete);
}

void frmOrderPayments::cmdNewPayment_Click()
{
    if (!library())
        return;
    const int customerID = modSharedXML::GetNodeLong(QStringLiteral("CustomerID"), m_orderRecord, 0);
    if (library()->ShowNewPayment(customerID, true) > 0)
        LoadPayments();
}

void frmOrderPayments::cmdDelete_Click()
{
    const int allocationID = ConfirmedSelection(
        *cmdDelete, *rptPayments,
        tr("Are you sure you want to remove the selected payment? This process cannot be undone."),
        tr("Removing a payment will remove the amount from the sale/order and apply it back to the original payment "
           "as 'unallocated'."));
    SharedCodeLibrary* scl = allocationID > 0 ? host() : nullptr;
    if (!scl)
        return;

    // The payment behind the allocation, read before the allocation goes.
    QDomDocument paymentDoc = scl->Database().ExecuteRead(FillTemplate(PaymentTemplate, {allocationID}));
    const QDomElement payment = firstRecord(paymentDoc);

    // Removed under a lock, with the amount the database holds now.
    removal::Allocation removed;
    if (!Settle(removal::RemoveAllocation(*scl, allocationID, &removed), allocationID, *rptPayments,
                removal::What::Allocation, tr("The payment allocation could not be removed.")))
        return;

    // A payment left without allocations is offered for deletion; otherwise it is credit.
    const int paidBy = removed.paymentID;
    if (removed.remaining != 0 || !AskDeletePayment())
        return;
    scl = host(); // the question ran an event loop: ask for the host again
    if (!scl)
        return;
    // Deleted only if it still has no allocation at the moment of the delete (another
    // workstation may have applied its credit meanwhile), with its activity line.
    const Currency whole = modSharedXML::GetNodeCurrency(QStringLiteral("Amount"), payment, Currency());
    const OleDate recorded = modSharedXML::GetNodeDate(QStringLiteral("PaymentDate"), payment, OleDate::absent());
    const QString text =
        FillTemplate(removal::DeletedActivity, {Regional::formatCurrency(whole),
                                                Regional::formatGeneralDate(modSharedDateTime::UTCToLocal(recorded))});
    const int customerID = modSharedXML::GetNodeLong(QStringLiteral("CustomerID"), payment, 0);
    const removal::Result deleted = removal::DeletePayment(*scl, paidBy, customerID, text);
    if (SharedCodeLibrary* s = host())
        removal::TellNotDone(*s, deleted, removal::What::Payment, tr("The payment could not be deleted."));
}

bool frmOrderPayments::AskDeletePayment()
{
    TaskDialog TaskDialog1(this);
    TaskDialog1.SetOption(24, true);
    TaskDialog1.SetWindowTitle(tr("Delete Payment"));
    TaskDialog1.SetMainInstructionText(tr("The selected payment has been removed and it has no further allocations. "
                                          "Do you want to delete this payment also?"));
    TaskDialog1.SetContent(tr("<TextBlock TextWrapping='Wrap'>If you choose to delete the payment then it will be "
                              "permanently deleted. If you choose keep the payment then it will remain on the "
                              "customer's account as a credit and can be applied to future sales.</TextBlock>"));
    TaskDialog1.SetOption(11, false);
    TaskDialog1.SetOption(22, 8);
    TaskDialog1.AddButton(tr("Yes, delete the payment."), ButtonDeletePayment);
    TaskDialog1.AddButton(tr("No, keep the payment as a credit for this customer."), ButtonKeepPayment);
    TaskDialog1.SetOption(25, 3);
    TaskDialog1.SetOption(16, true);
    TaskDialog1.SetOption(30, true);
    TaskDialog1.SetOption(50, true);
    return TaskDialog1.ShowDialog() == ButtonDeletePayment;
}

} // namespace tesr
