#include "shared/modSharedReportControl.h"

#include "values/Regional.h"

#include <cmath>
#include <limits>
#include <optional>

namespace tesr::modSharedReportControl {

namespace {

// The tag as a number in the user's format (as the platform compares text with a number).
std::optional<double> tagNumber(const ReportRecord* record)
{
    if (!record)
        return std::nullopt;
    const QString tag = record->Tag().trimmed();
    if (tag.isEmpty())
        return std::nullopt;
    if (auto d = Regional::parseNumber(tag))
        return d;
    return Regional::parsePlainNumber(tag);
}

// The tag converted to a 32-bit integer: rounded, halves to even; nothing when it does not fit.
std::optional<int> tagKey(const ReportRecord* record)
{
    const std::optional<double> d = tagNumber(record);
    if (!d || !std::isfinite(*d))
        return std::nullopt;
    const double r = std::nearbyint(*d); // the default rounding mode: halves to even
    if (r < double(std::numeric_limits<int>::min()) || r > double(std::numeric_limits<int>::max()))
        return std::nullopt;
    return int(r);
}

bool matches(const ReportRecord* record, int id)
{
    const std::optional<double> d = tagNumber(record);
    return d && *d == double(id);
}

} // namespace

void FormatReportGrid(ReportControl& grid)
{
    ReportPaintManager& painter = grid.PaintManager();
    QFont caption = painter.CaptionFont();
    caption.setPointSizeF(10);
    painter.SetCaptionFont(caption);
    QFont text = painter.TextFont();
    text.setPointSizeF(10);
    painter.SetTextFont(text);
    // The grid's own defaults already give the rest of the standard look (no group box above
    // the header, plain column style, no focus sub-items).
}

bool IsSingleRowSelected(ReportControl& grid)
{
    const ReportSelectedRows selected = grid.SelectedRows();
    return selected.Count() == 1 && !selected.Row(0)->GroupRow();
}

int GetSelectedRecordID(ReportControl& grid)
{
    const ReportSelectedRows selected = grid.SelectedRows();
    if (selected.Count() != 1 || selected.Row(0)->GroupRow())
        return 0;
    return tagKey(selected.Row(0)->Record()).value_or(0);
}

void FocusRowByIndex(int rowIndex, ReportControl& grid, bool takeFocus)
{
    if (rowIndex < 0 || rowIndex >= grid.Rows().Count())
        return;
    grid.SetFocusedRow(grid.Rows().Row(rowIndex));
    if (takeFocus)
        grid.setFocus(Qt::OtherFocusReason);
}

ReportRecord* FindRecordByID(int id, ReportControl& grid)
{
    ReportRecords& records = grid.Records();
    const int count = records.Count();
    for (int i = 0; i < count; ++i) {
        ReportRecord* record = records.Record(i);
        if (matches(record, id))
            return record;
    }
    return nullptr;
}

void FocusRecordByID(int id, ReportControl& grid, bool takeFocus)
{
    ReportRecord* record = FindRecordByID(id, grid);
    if (!record)
        return;
    ReportRow* row = grid.Rows().FindRow(record);
    if (!row)
        return;
    grid.SetFocusedRow(row);
    if (takeFocus)
        grid.setFocus(Qt::OtherFocusReason);
}

void RemoveRecordByID(int id, ReportControl& grid)
{
    ReportRecords& records = grid.Records();
    const int count = std::min(records.Count(), RemoveRecordPositionLimit);
    int position = -1;
    for (int i = 0; i < count; ++i) {
        if (matches(records.Record(i), id)) {
            position = i;
            break;
        }
    }
    if (position < 0)
        return;
    grid.RemoveRecord(records.Record(position));
    // The neighbour is focused by its key, like any record the screens focus.
    ReportRecord* neighbour = nullptr;
    if (position < records.Count())
        neighbour = records.Record(position);
    else if (records.Count() > 0)
        neighbour = records.Record(records.Count() - 1);
    if (!neighbour)
        return;
    if (const std::optional<int> key = tagKey(neighbour))
        FocusRecordByID(*key, grid, true);
}

void SetDateGroupItem(ReportRecordItem& item, const OleDate& date, const QString& displayFormat,
                      const QString& groupPrefix)
{
    if (!date.isAbsent()) {
        item.SetGroupCaption(groupPrefix + Regional::formatShortDate(date));
        item.SetGroupPriority(int(date.seconds() / OleDate::SecondsPerDay));
        item.SetValue(QVariant::fromValue(date));
        item.SetCaption(Regional::formatDate(date, displayFormat));
        item.SetToolTip(Regional::formatGeneralDate(date));
    } else {
        item.SetGroupCaption(groupPrefix + QStringLiteral("None"));
        item.SetGroupPriority(AbsentDatePriority);
        item.SetValue(QString());
        item.SetCaption(QString());
        item.SetToolTip(QString());
    }
}

void SetShortDateItem(ReportRecordItem& item, const OleDate& date)
{
    if (date.isAbsent())
        SetDateGroupItem(item, date, QStringLiteral("Short Date"), QString());
    else
        item.SetShortDate(date);
}

} // namespace tesr::modSharedReportControl
