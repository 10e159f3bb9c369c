#include "shared/modSharedSpread.h"

#include "platform/controls/ReportControl.h"
#include "platform/controls/ValidatingField.h"

#include <QAction>

#include <algorithm>

namespace tesr::modSharedSpread {

std::vector<Currency> SpreadOldestFirst(const std::vector<Line>& lines, Currency total)
{
    // 128 bits: a rest of the largest total less many negative kept amounts still fits.
    detail::Int128 rest = total.raw();
    std::vector<Currency> out;
    out.reserve(lines.size());
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].open) {
            open.push_back(i);
            out.push_back(Currency());
        } else {
            rest -= lines[i].amount.raw();
            out.push_back(lines[i].amount);
        }
    }
    std::stable_sort(open.begin(), open.end(),
                     [&](std::size_t a, std::size_t b) { return lines[a].orderID < lines[b].orderID; });
    for (std::size_t i : open) {
        if (rest <= 0)
            break;
        const std::int64_t owed = lines[i].balance.raw();
        if (owed <= 0)
            continue;
        const std::int64_t share = rest < owed ? std::int64_t(rest) : owed;
        out[i] = Currency::fromRaw(share);
        rest -= share;
    }
    return out;
}

SpreadAction::SpreadAction(ReportControl& grid, int balanceItem, int amountItem,
                           std::function<std::optional<Currency>()> total, std::function<void()> filled)
    : QObject(&grid), m_grid(grid), m_balanceItem(balanceItem), m_amountItem(amountItem), m_total(std::move(total)),
      m_afterFill(std::move(filled))
{
    m_action = new QAction(tr("Spread Oldest First"), this);
    m_action->setObjectName(QStringLiteral("actionSpreadOldestFirst"));
    m_action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    m_action->setShortcutContext(Qt::WindowShortcut);
    m_action->setToolTip(tr("Fill the amounts from the total, oldest order first (Ctrl+Shift+S)"));
    grid.AddContextAction(m_action);
    connect(m_action, &QAction::triggered, this, [this] { Spread(); });
    // An amount the user typed is the user's, whoever filled the cell before.
    connect(&grid, &ReportControl::ValueChanged, this, [this](ReportRow*, ReportColumn*, ReportRecordItem* item) {
        m_filled.remove(item ? item->Record() : nullptr);
    });
}

bool SpreadAction::Spread()
{
    // An amount still being typed counts, as does the field being left (the amount box).
    m_grid.FinishEdit();
    if (!ValidatingField::ValidateFocusedField(m_grid.window()))
        return false;
    const std::optional<Currency> total = m_total ? m_total() : std::nullopt;
    if (!total)
        return false;

    ReportRecords& records = m_grid.Records();
    std::vector<Line> lines;
    lines.reserve(std::size_t(records.Count()));
    auto money = [](const ReportRecordItem* item) {
        return item ? Currency::fromVariant(item->Value()).value_or(Currency()) : Currency();
    };
    for (int i = 0; i < records.Count(); ++i) {
        const ReportRecord* record = records.Record(i);
        const Currency amount = money(record->Item(m_amountItem));
        lines.push_back({record->Tag().toLongLong(), money(record->Item(m_balanceItem)), amount,
                         amount.isZero() || m_filled.contains(record)});
    }
    const std::vector<Currency> spread = SpreadOldestFirst(lines, *total);
    m_filled.clear();
    for (int i = 0; i < records.Count(); ++i) {
        ReportRecord* record = records.Record(i);
        const Line& line = lines[std::size_t(i)];
        const Currency amount = spread[std::size_t(i)];
        if (line.open && !amount.isZero())
            m_filled.insert(record);
        ReportRecordItem* item = record->Item(m_amountItem);
        if (!item || amount == line.amount)
            continue;
        item->SetValue(QVariant::fromValue(amount));
        item->SetCurrencyCaption();
    }
    if (m_afterFill)
        m_afterFill();
    return true;
}

} // namespace tesr::modSharedSpread
