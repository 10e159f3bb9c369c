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
    : Screen("frmPaymentAllocations", "Payment Allocations", 440, 320, parent)
{
    rptAllocations = Make<ReportControl>("rptAllocations");
    cmdDelete = MakeButton("cmdDelete", tr("Delete"), &frmPaymentAllocations::cmdDelete_Click);
    cmdClose = MakeButton("cmdClose", tr("Close"), &frmPaymentAllocations::cmdClose_Click);

    // The list grows with the window; Delete stays bottom left, Close bottom right.
    Resizer1->Add(rptAllocations, 8, 8, 424, 272, Resizer::All());
    Resizer1->Add(cmdDelete, 8, 288, 80, 24, Resizer::BottomLeft());
    Resizer1->Add(cmdClose, 352, 288, 80, 24, Resizer::BottomRight());

    // The captions are fixed words: these keys reach the buttons without an underlined letter.
    using access::Control;
    access::Describe(this,
                     {Control{"rptAllocations", tr("The orders this payment was applied to"), {}, tr("Allocations")},
                      Control{"cmdDelete", tr("Removes the selected allocation"), access::Alt(Qt::Key_D)},
                      Control{"cmdClose", tr("Closes the list (Escape)"), access::Alt(Qt::Key_C)}});
    connect(rptAllocations, &ReportControl::SelectionChanged, this, &frmPaymentAllocations::UpdateButtons);
}

frmPaymentAllocations::~frmPaymentAllocations() = default;

void frmPaymentAllocations::Prepare(int PaymentID, ILibrary& library)
{
    m_paymentID = PaymentID;
    Attach(library);
}

void frmPaymentAllocations::OnLoad()
{
    SetupGrid();
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
    FormatReportGrid(*rptAllocations);
    rptAllocations->SetCustomDraw(ReportControl::AlternateRowShading);
    ReportColumns& columns = rptAllocations->Columns();
    columns.Add(ColDate, tr("Date"), reviewlists::DateColumnWidth(*rptAllocations, 65), true);
    columns.Add(ColOrderNumber, tr("Order Number"), 100, true);
    columns.Add(ColSidemark, tr("Sidemark"), 85, true);
    ReportColumn* amount = columns.Add(ColAmount, tr("Amount"), 85, true);
    amount->SetAlignment(Qt::AlignRight);
    amount->SetHeaderAlignment(Qt::AlignRight);
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
        std::unique_ptr<DataTools> tools = helperFactory().CreateDataTools();
        int missing = 0;
        const QString countStatement = modSharedStrings::FillTemplate(MissingOrdersTemplate, {m_paymentID});
        if (std::unique_ptr<Recordset> rs = tools ? tools->OpenRecordset(countStatement, conn.get(), 0, -1) : nullptr) {
            if (rs->State() == Recordset::adStateOpen) {
                if (!rs->Bof() && !rs->Eof())
                    missing = rs->Field(QStringLiteral("theCount")).toInt();
                rs->Close();
            }
        }
        if (missing > 0) {
            scl->ShowMessageStyle1(tr("Payment allocations cannot be viewed on this computer becauase of unknown "
                                      "sale/order references."),
                                   tr("This payment contains references to one or more sales or orders that do not "
                                      "exist on this computer. Viewing or deleting of the allocations for this "
                                      "payment must be done on the main system."),
                                   SharedCodeLibrary::ButtonsOk, IconWarning);
        } else {
            const QString statement = ledger::FillMarkers(ListStatement, {{u"<pid>", QString::number(m_paymentID)}});
            std::unique_ptr<Recordset> rs = tools ? tools->OpenRecordset(statement, conn.get(), 0, -1) : nullptr;
            if (rs && rs->State() == Recordset::adStateOpen) {
                enum { fID, fAddedOn, fNumber, fSidemark, fAmount };
                const FieldIndex fields(*rs,
                                        {QStringLiteral("ID"), QStringLiteral("AddedOn"), QStringLiteral("OrderNumber"),
                                         QStringLiteral("Sidemark"), QStringLiteral("Amount")});
                while (!rs->Eof()) {
                    ReportRecord* record = rptAllocations->Records().Add();
                    record->SetTag(fields.Value(*rs, fID).toString());
                    const OleDate date = OleDate::fromVariant(fields.Value(*rs, fAddedOn)).value_or(OleDate::absent());
                    SetShortDateItem(*record->AddItem(0), date);
                    record->AddItem(fields.Value(*rs, fNumber).toString());
                    record->AddItem(fields.Value(*rs, fSidemark).toString().trimmed());
                    const Currency amount = Currency::fromVariantOrZero(fields.Value(*rs, fAmount));
                    record->AddItem(QVariant::fromValue(amount))->SetCurrencyCaption();
                    rs->MoveNext();
                }
                rs->Close();
            }
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
    if (cmdDelete->Enabled())
        cmdDelete->SetEnabled(removal::MayRemove(host()));
}

void frmPaymentAllocations::cmdDelete_Click()
{
    if (!cmdDelete->Enabled())
        return;
    const int allocationID = GetSelectedRecordID(*rptAllocations);
    if (allocationID <= 0)
        return;
    SharedCodeLibrary* scl = host();
    if (!scl)
        return;
    if (scl->ShowMessageStyle1(tr("Are you sure you want to delete the selected payment allocation? This process "
                                  "cannot be undone."),
                               tr("Deleting a payment allocation will remove the amount from the order and apply it "
                                  "back to the original payment as 'unallocated'."),
                               SharedCodeLibrary::ButtonsYesNo) != SharedCodeLibrary::AnswerYes)
        return;

    const removal::Result result = removal::RemoveAllocation(*scl, allocationID);
    if (result.outcome == removal::Outcome::Done || result.outcome == removal::Outcome::Gone)
        RemoveRecordByID(allocationID, *rptAllocations);
    if (SharedCodeLibrary* s = host())
        removal::TellNotDone(*s, result, removal::What::Allocation, tr("The payment allocation could not be deleted."));
}

void frmPaymentAllocations::cmdClose_Click()
{
    Unload();
}

} // namespace tesr
