#include "forms/frmPaymentAllocations/frmPaymentAllocations.h"

#include "ledger/Statements.h"
#include "platform/HelperTools.h"
#include "platform/HostServices.h"
#include "platform/ILibrary.h"
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

namespace tesr {

namespace {

using namespace modSharedReportControl;

enum Column { ColDate = 0, ColOrderNumber = 1, ColSidemark = 2, ColAmount = 3 };

const QString MissingOrdersTemplate =
    QStringLiteral("SELECT COUNT(*) as theCount FROM PaymentAllocations WHERE PaymentAllocations.PaymentID = {0} AND "
                   "PaymentAllocations.OrderUniqueID NOT IN (SELECT UniqueID FROM Orders)");

constexpr QStringView ListStatement =
    u"SELECT PaymentAllocations.ID, PaymentAllocations.AddedOn, Orders.OrderNumber, Orders.Sidemark, "
    u"PaymentAllocations.Amount FROM PaymentAllocations INNER JOIN Orders ON PaymentAllocations.OrderUniqueID = "
    u"Orders.UniqueID WHERE (PaymentAllocations.PaymentID = <pid>)";

constexpr int IconWarning = 3;

} // namespace

frmPaymentAllocations::frmPaymentAllocations(QWidget* parent)
    : ReviewScreen("frmPaymentAllocations", "Payment Allocations", 440, 320, parent)
{
    rptAllocations =
        MakeList("rptAllocations", 424, 272, tr("The orders this payment was applied to"), tr("Allocations"));
    cmdDelete = MakeButton("cmdDelete", tr("Delete"), &frmPaymentAllocations::cmdDelete_Click);
    MakeCloseButton(352, 288);

    // Delete stays bottom left.
    Resizer1->Add(cmdDelete, 8, 288, 80, 24, Resizer::BottomLeft());

    // The captions are fixed words: these keys reach the buttons without an underlined letter.
    using access::Control;
    access::Describe(this, {Control{"cmdDelete", tr("Removes the selected allocation"), access::Alt(Qt::Key_D)}});
}

frmPaymentAllocations::~frmPaymentAllocations() = default;

void frmPaymentAllocations::Prepare(int PaymentID, ILibrary& library)
{
    m_paymentID = PaymentID;
    Attach(library);
}

void frmPaymentAllocations::OnFirstActivation()
{
    if (LoadAllocations())
        UpdateButtons();
    else
        Unload();
}

void frmPaymentAllocations::SetupGrid()
{
    reviewlists::StartList(*rptAllocations, tr("Date"));
    ReportColumns& columns = rptAllocations->Columns();
    columns.Add(ColOrderNumber, tr("Order Number"), 100, true);
    columns.Add(ColSidemark, tr("Sidemark"), 85, true);
    reviewlists::AddMoneyColumn(*rptAllocations, ColAmount, tr("Amount"), 85);
    for (int i = 0; i < columns.Count(); ++i)
        columns.Column(i)->SetEditable(false);
    reviewlists::FillWithColumn(*rptAllocations, ColSidemark, 85);
}

bool frmPaymentAllocations::LoadAllocations()
{
    bool result = false;
    rptAllocations->Records().RemoveAll();
    SharedCodeLibrary* scl = host();
    std::unique_ptr<Connection> conn = scl ? scl->CurrentCompanyConn() : nullptr;
    if (conn) {
        int missing = 0;
        rows::ForEach(
            *conn, modSharedStrings::FillTemplate(MissingOrdersTemplate, {m_paymentID}), {QStringLiteral("theCount")},
            [&missing](const Recordset& rs, const FieldIndex& fields) { missing = fields.Value(rs, 0).toInt(); });
        if (missing > 0) {
            scl->ShowMessageStyle1(tr("Payment allocations cannot be viewed on this computer becauase of unknown "
                                      "sale/order references."),
                                   tr("This payment contains references to one or more sales or orders that do not "
                                      "exist on this computer. Viewing or deleting of the allocations for this "
                                      "payment must be done on the main system."),
                                   SharedCodeLibrary::ButtonsOk, IconWarning);
        } else {
            enum { fID, fAddedOn, fNumber, fSidemark, fAmount };
            rows::ForEach(*conn, ledger::FillMarkers(ListStatement, {{u"<pid>", QString::number(m_paymentID)}}),
                          {QStringLiteral("ID"), QStringLiteral("AddedOn"), QStringLiteral("OrderNumber"),
                           QStringLiteral("Sidemark"), QStringLiteral("Amount")},
                          [this](const Recordset& rs, const FieldIndex& fields) {
                              ReportRecord* record = reviewlists::AddDatedRecord(*rptAllocations, fields.Value(rs, fID),
                                                                                 fields.Value(rs, fAddedOn));
                              record->AddItem(fields.Value(rs, fNumber).toString());
                              record->AddItem(fields.Value(rs, fSidemark).toString().trimmed());
                              const Currency amount = Currency::fromVariantOrZero(fields.Value(rs, fAmount));
                              record->AddItem(QVariant::fromValue(amount))->SetCurrencyCaption();
                          });
            result = true;
        }
        conn->Close();
        conn.reset();
    }
    rptAllocations->Populate();
    return result;
}

void frmPaymentAllocations::UpdateButtons()
{
    HoldToRemoveRight(*cmdDelete);
}

void frmPaymentAllocations::cmdDelete_Click()
{
    const int allocationID = ConfirmedSelection(
        *cmdDelete, *rptAllocations,
        tr("Are you sure you want to delete the selected payment allocation? This process cannot be undone."),
        tr("Deleting a payment allocation will remove the amount from the order and apply it back to the original "
           "payment as 'unallocated'."));
    SharedCodeLibrary* scl = allocationID > 0 ? host() : nullptr;
    if (!scl)
        return;
    Settle(removal::RemoveAllocation(*scl, allocationID), allocationID, *rptAllocations, removal::What::Allocation,
           tr("The payment allocation could not be deleted."));
}

} // namespace tesr
