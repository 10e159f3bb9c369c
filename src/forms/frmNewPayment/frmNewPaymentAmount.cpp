// New Payment: the amount box with its presets, the "To Allocate" column and the figures that
// follow from them. Nothing here touches the database.

#include "forms/frmNewPayment/frmNewPayment.h"

#include "platform/HelperTools.h"
#include "platform/HostServices.h"
#include "platform/ILibrary.h"
#include "platform/InputTools.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/MessageBox.h"
#include "platform/controls/ReportControl.h"
#include "shared/modSharedStrings.h"
#include "values/Regional.h"

#include <QLabel>
#include <QTimer>

#include <limits>

namespace tesr {

namespace {

// The presets offered for the focused order, in per cent of its balance.
constexpr int PresetPercents[] = {10, 15, 20, 25, 30, 50, 65, 75, 80, 90};

// The amount box accepts this range; an empty box becomes 0, anything else is refused.
constexpr double AmountLow = -100000000.0;
constexpr double AmountHigh = 100000000.0;
constexpr double AmountFallback = 0.0;
constexpr Currency AmountLowest = Currency::fromUnits(-100000000);
constexpr Currency AmountHighest = Currency::fromUnits(100000000);

const QString NothingToSpread =
    QStringLiteral("Enter the payment amount first: Spread Oldest First fills the To Allocate cells from it.");

const QString SummaryTemplate = QStringLiteral("Allocated: {0}, Unallocated: {1}");
const QString PresetTemplate = QStringLiteral("{0} ({1}%)");

} // namespace

void frmNewPayment::SetMoneyItem(ReportRecordItem* item, const std::optional<Currency>& value)
{
    if (item)
        item->SetMoney(value);
}

std::optional<Currency> frmNewPayment::AllocatedTotal() const
{
    const std::uint64_t serial = rptOrders->ValuesSerial();
    if (m_allocatedAt == serial)
        return m_allocated;
    CurrencyTotal total;
    ReportRecords& records = rptOrders->Records();
    const int count = records.Count();
    for (int i = 0; i < count; ++i)
        total.add(MoneyOf(records.Record(i), ItemToAllocate));
    m_allocated = total.value();
    m_allocatedAt = serial;
    return m_allocated;
}

std::optional<Currency> frmNewPayment::NewBalanceOf(const ReportRecord* record)
{
    return MoneyOf(record, ItemBalance).minus(MoneyOf(record, ItemToAllocate));
}

Currency frmNewPayment::MoneyOf(const ReportRecordItem* item)
{
    return item ? Currency::fromVariantOrZero(item->Value()) : Currency();
}

Currency frmNewPayment::MoneyOf(const ReportRecord* record, int item)
{
    return record ? MoneyOf(record->Item(item)) : Currency();
}

// ---- presets -------------------------------------------------------------------------------------

void frmNewPayment::BuildAmountPresets(ReportRow* row)
{
    const QString amountText = cboAmount->Text();
    cboAmount->Clear();
    if (row && row->Record()) {
        const Currency total = MoneyOf(row->Record(), ItemBalance);
        for (int percent : PresetPercents)
            AddAmountPreset(total, percent);
    }
    cboAmount->SetText(amountText);
}

void frmNewPayment::AddAmountPreset(Currency total, int percent)
{
    // total x percent / 100 rounded to whole units (halves to even) in one exact step: the raw
    // ten-thousandths divided by 100 x 10,000 give the whole units.
    const std::int64_t units = total.mulDiv(percent, 100 * Currency::Scale).value_or(Currency()).raw();
    const Currency amount = Currency::fromWholeUnits(units).value_or(Currency()); // |units| < |total|
    cboAmount->AddItem(modSharedStrings::FillTemplate(PresetTemplate, {Regional::formatCurrency(amount), percent}));
    const std::int64_t clamped =
        std::clamp<std::int64_t>(units, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    cboAmount->SetItemData(cboAmount->NewIndex(), int(clamped));
}

void frmNewPayment::cboAmount_Click()
{
    const int index = cboAmount->ListIndex();
    if (index < 0 || !rptOrders->FocusedRow())
        return;
    // Written by the timer, once the box has finished putting the entry's own text in place.
    m_pendingAmount = QString::number(cboAmount->ItemData(index));
    tmrSetAmount->start();
}

void frmNewPayment::tmrSetAmount_Timer()
{
    cboAmount->SetText(m_pendingAmount);
    tmrSetAmount->stop();
}

// ---- the amount box ------------------------------------------------------------------------------

void frmNewPayment::cboAmount_Validate(bool& cancel)
{
    // "$500" is 500, as in the "To Allocate" cells; what cannot be read stays, with a message.
    if (refuseEntry(amountEntryRefusal(cboAmount->Text(), AmountLowest, AmountHighest), cancel))
        return;
    cboAmount->SetText(plainAmountText(cboAmount->Text()));
    helperFactory().CreateInputTools()->NumberRangeRule(AmountLow, AmountHigh, AmountFallback, *cboAmount);

    // With a single order the amount goes to it, up to its balance.
    ReportRecords& records = rptOrders->Records();
    if (records.Count() == 1) {
        ReportRecord* record = records.Record(0);
        const Currency amount = Currency::parsePlain(cboAmount->Text()).value_or(Currency());
        const Currency balance = MoneyOf(record, ItemBalance);
        SetMoneyItem(record->Item(ItemToAllocate), amount <= balance ? amount : balance);
        rptOrders->Populate();
    }
    RecalcNewBalances();
    UpdateSummary();
}

// ---- the "To Allocate" column --------------------------------------------------------------------

void frmNewPayment::rptOrders_ValueChanging(ReportValueChange& change)
{
    if (!change.Column || change.Column->ItemIndex() != ItemToAllocate)
        return;
    // A pasted "$150" is taken as 150, read as the amount box reads it.
    const std::optional<Currency> value =
        Regional::parseMoneyEntry(Regional::defaultText(change.NewValue).value_or(QString()));
    if (!value) {
        change.Cancel = true;
        return;
    }
    change.NewValue = QVariant::fromValue(*value);
}

void frmNewPayment::rptOrders_ValueChanged(ReportRow*, ReportColumn* column, ReportRecordItem* item)
{
    if (!column || column->ItemIndex() != ItemToAllocate)
        return;
    SetMoneyItem(item, MoneyOf(item));
    RecalcNewBalances();
    UpdateSummary();
}

void frmNewPayment::rptOrders_FocusChanging(ReportRow* newRow, ReportColumn*, ReportRecordItem*, bool&)
{
    BuildAmountPresets(newRow);
}

// ---- spread oldest first ------------------------------------------------------------------------

std::optional<Currency> frmNewPayment::AmountToSpread()
{
    // The box may hold an entry nobody checked yet (left for Cancel): checked as OK checks it.
    if (!EnsureCheckedNumbers())
        return std::nullopt;
    const Currency amount = Currency::parsePlain(cboAmount->Text()).value_or(Currency());
    if (amount <= Currency()) {
        MessageBox::Show(NothingToSpread, MessageBox::OkOnly | MessageBox::Exclamation);
        cboAmount->SetFocus();
        return std::nullopt;
    }
    return amount;
}

void frmNewPayment::AfterSpread()
{
    // What a typed amount brings: the New Balance column and the summary follow.
    RecalcNewBalances();
    UpdateSummary();
}

// ---- figures -------------------------------------------------------------------------------------

void frmNewPayment::RecalcNewBalances()
{
    if (m_newBalancesAt == rptOrders->ValuesSerial())
        return;
    ReportRecords& records = rptOrders->Records();
    const int count = records.Count();
    bool changed = false;
    for (int i = 0; i < count; ++i) {
        ReportRecord* record = records.Record(i);
        ReportRecordItem* item = record->Item(ItemNewBalance);
        const std::optional<Currency> newBalance = NewBalanceOf(record);
        // A figure that stays what it is needs no new layout.
        if (!item || (newBalance && item->Value().isValid() && MoneyOf(item) == *newBalance))
            continue;
        SetMoneyItem(item, newBalance);
        changed = true;
    }
    if (changed)
        rptOrders->Populate();
    m_newBalancesAt = rptOrders->ValuesSerial();
}

void frmNewPayment::UpdateSummary()
{
    const std::optional<Currency> allocated = AllocatedTotal();
    const std::optional<Currency> unallocated =
        allocated ? Currency::leadingNumber(cboAmount->Text()).minus(*allocated) : std::nullopt;
    if (SharedCodeLibrary* scl = host())
        lblSummary->setText(scl->Common().BuildString(
            SummaryTemplate, {Regional::formatCurrency(allocated), Regional::formatCurrency(unallocated)}));
}

} // namespace tesr
