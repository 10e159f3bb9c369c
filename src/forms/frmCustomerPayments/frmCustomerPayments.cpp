#include "forms/frmCustomerPayments/frmCustomerPayments.h"

#include "ledger/Statements.h"
#include "platform/HelperTools.h"
#include "platform/HostServices.h"
#include "platform/ILibrary.h"
#include "platform/InputTools.h"
#include "platform/controls/Access.h"
#include "platform/controls/PushButton.h"
#include "platform/controls/ReportControl.h"
#include "platform/controls/Resizer.h"
#include "shared/PaymentRemoval.h"
#include "shared/ReadRows.h"
#include "shared/ReviewLists.h"
#include "shared/modSharedReportControl.h"
#include "shared/modSharedStrings.h"
#include "values/Regional.h"

#include <QAction>

namespace tesr {

namespace {

using namespace modSharedReportControl;

enum Column { ColDate = 0, ColDetails = 1, ColAmount = 2, ColAllocated = 3, ColUnallocated = 4 };

constexpr QStringView ListStatement =
    u"SELECT Payments.ID, Payments.PaymentMethodID, Payments.CustomerID, Payments.PaymentDate, "
    u"dbo.PaymentDetails(Payments.ID) AS theDetails, Payments.Amount, Payments.Allocated, Payments.AddedOn "
    u"FROM Payments WHERE (Payments.CustomerID = <cid>)";

// Delete and remove rights (permission 803).

} // namespace

frmCustomerPayments::frmCustomerPayments(QWidget* parent)
    : ReviewScreen("frmCustomerPayments", "Customer Payments", 591, 435, parent)
{
    rptPayments = MakeList("rptPayments", 575, 389,
                           tr("The customer's payments; Ctrl+P prints the selected one's receipt"), tr("Payments"));
    cmdAllocations =
        MakeButton("cmdAllocations", tr("Show Payment Allocations"), &frmCustomerPayments::cmdAllocations_Click);
    cmdNew = MakeButton("cmdNew", tr("New..."), &frmCustomerPayments::cmdNew_Click);
    cmdEdit = MakeButton("cmdEdit", tr("Edit..."), &frmCustomerPayments::cmdEdit_Click);
    cmdDelete = MakeButton("cmdDelete", tr("Delete"), &frmCustomerPayments::cmdDelete_Click);
    MakeCloseButton(504, 404);

    // The buttons stay on the bottom edge below the list.
    Resizer1->Add(cmdAllocations, 8, 404, 199, 24, Resizer::BottomLeft());
    Resizer1->Add(cmdNew, 213, 404, 80, 24, Resizer::BottomLeft());
    Resizer1->Add(cmdEdit, 299, 404, 80, 24, Resizer::BottomLeft());
    Resizer1->Add(cmdDelete, 385, 404, 80, 24, Resizer::BottomLeft());

    // The captions are fixed words: these keys reach the buttons without an underlined letter.
    using access::Control;
    access::Describe(
        this,
        {Control{"cmdAllocations", tr("Lists the orders the selected payment was applied to"), access::Alt(Qt::Key_A)},
         Control{"cmdNew", tr("Records a new payment from this customer"), access::Alt(Qt::Key_N)},
         Control{"cmdEdit", tr("Corrects the selected payment's method, date, memo or card"), access::Alt(Qt::Key_E)},
         Control{"cmdDelete", tr("Deletes the selected payment"), access::Alt(Qt::Key_D)}});

    // Receipts are offered beside the screen's buttons, not on them: in the list's context menu
    // and on Ctrl+P, for one selected payment.
    actPrintReceipt = new QAction(tr("Print Receipt..."), this);
    actPrintReceipt->setObjectName(QStringLiteral("actionPrintReceipt"));
    actPrintReceipt->setShortcut(QKeySequence::Print);
    actPrintReceipt->setShortcutContext(Qt::WindowShortcut);
    actPrintReceipt->setEnabled(false);
    rptPayments->AddContextAction(actPrintReceipt);
    connect(actPrintReceipt, &QAction::triggered, this, &frmCustomerPayments::PrintReceipt);
    connect(rptPayments, &ReportControl::SelectionChanged, this,
            [this] { actPrintReceipt->setEnabled(IsSingleRowSelected(*rptPayments)); });
}

frmCustomerPayments::~frmCustomerPayments() = default;

void frmCustomerPayments::Prepare(int CustomerID, ILibrary& library, IReceipts& receipts)
{
    m_customerID = CustomerID;
    Attach(library);
    m_receipts = &receipts;
}

void frmCustomerPayments::OnFirstActivation()
{
    LoadPayments(0);
    UpdateButtons();
}

void frmCustomerPayments::SetupGrid()
{
    reviewlists::StartList(*rptPayments, tr("Date"));
    rptPayments->Columns().Add(ColDetails, tr("Details"), 175, true);
    for (auto [index, caption] : {std::pair{ColAmount, tr("Amount")}, std::pair{ColAllocated, tr("Allocated")},
                                  std::pair{ColUnallocated, tr("Unallocated")}})
        reviewlists::AddMoneyColumn(*rptPayments, index, caption, 80);
    reviewlists::FillWithColumn(*rptPayments, ColDetails, 175);
}

void frmCustomerPayments::LoadPayments(int SelectID)
{
    rptPayments->Records().RemoveAll();
    enum { fID, fDate };
    rows::ForEach(host(), ledger::FillMarkers(ListStatement, {{u"<cid>", QString::number(m_customerID)}}),
                  reviewlists::PaymentFields, [this](const Recordset& rs, const FieldIndex& fields) {
                      ReportRecord* record =
                          reviewlists::AddDatedRecord(*rptPayments, fields.Value(rs, fID), fields.Value(rs, fDate));
                      reviewlists::AddPaymentItems(*record, rs, fields);
                  });
    rptPayments->Populate();
    if (SelectID > 0)
        FocusRecordByID(SelectID, *rptPayments, true);
}

void frmCustomerPayments::UpdateButtons()
{
    const bool single = IsSingleRowSelected(*rptPayments);
    cmdAllocations->SetEnabled(single);
    cmdEdit->SetEnabled(single);
    cmdDelete->SetEnabled(single);
    HoldToRemoveRight(*cmdDelete);
}

void frmCustomerPayments::cmdNew_Click()
{
    if (!library())
        return;
    const int newID = library()->ShowNewPayment(m_customerID);
    if (newID > 0) {
        LoadPayments(newID);
        UpdateButtons();
    }
}

void frmCustomerPayments::cmdEdit_Click()
{
    if (!library())
        return;
    if (library()->ShowEditPayment(GetSelectedRecordID(*rptPayments))) {
        LoadPayments(GetSelectedRecordID(*rptPayments));
        UpdateButtons();
    }
}

void frmCustomerPayments::cmdAllocations_Click()
{
    if (!library())
        return;
    library()->ShowPaymentAllocations(GetSelectedRecordID(*rptPayments));
    LoadPayments(0);
}

void frmCustomerPayments::cmdDelete_Click()
{
    SharedCodeLibrary* scl = host();
    if (!scl)
        return;
    // The first selected row; a heading or no row means there is nothing to delete.
    const ReportSelectedRows selected = rptPayments->SelectedRows();
    const ReportRecord* record = selected.Count() > 0 ? selected.Row(0)->Record() : nullptr;
    bool ok = false;
    const int paymentID = record ? record->Tag().toInt(&ok) : 0;
    if (!record || !ok)
        return;
    // What the row shows, taken now: the row goes once the payment is gone.
    const QString amountShown = record->Item(ColAmount) ? record->Item(ColAmount)->Caption() : QString();
    const QString dateShown = record->Item(ColDate) ? record->Item(ColDate)->Caption() : QString();
    const QString failed = tr("The payment could not be deleted.");

    // Whether the payment has allocations is decided by the delete itself, under a lock, with
    // its activity line in the same transaction.
    const removal::Result result =
        removal::DeletePayment(*scl, paymentID, m_customerID,
                               modSharedStrings::FillTemplate(removal::DeletedActivity, {amountShown, dateShown}));
    Settle(result, paymentID, *rptPayments, removal::What::Payment, failed);
}

void frmCustomerPayments::PrintReceipt()
{
    const int paymentID = GetSelectedRecordID(*rptPayments);
    if (library() && m_receipts && paymentID > 0)
        m_receipts->ShowReceipt(paymentID);
}

} // namespace tesr
