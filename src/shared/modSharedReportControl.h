#pragma once

// What every list screen does with its report grid: the module's standard look, which record
// the user selected, moving the focus to a record, removing a record and focusing its
// neighbour, and filling a date cell so that rows group by day.
//
// A record's key is its tag: the ID of the database row it shows, as text. Keys are compared as
// numbers, so a tag that is not a number matches no key.

#include "platform/controls/ReportControl.h"
#include "values/OleDate.h"

#include <QString>

namespace tesr::modSharedReportControl {

// Both fonts of the grid's painter (column headers and cells) become 10 points.
void FormatReportGrid(ReportControl& grid);

// Exactly one row is selected and it is a record row.
bool IsSingleRowSelected(ReportControl& grid);

// The key of the one selected record row, or 0 when nothing usable is selected.
int GetSelectedRecordID(ReportControl& grid);

// Focuses the row at that position (from 0) when there is one; takeFocus also gives the grid
// the keyboard focus. A position at or past the end, or a negative one, does nothing.
void FocusRowByIndex(int rowIndex, ReportControl& grid, bool takeFocus);

// The first record, in record order, whose key equals id; nullptr when none does.
ReportRecord* FindRecordByID(int id, ReportControl& grid);

// Focuses the row of the first record with that key (and the grid, with takeFocus). Nothing
// changes when there is none or its row is not shown.
void FocusRecordByID(int id, ReportControl& grid, bool takeFocus);

// Removes the first record with that key and focuses its neighbour in record order: the record
// that moved into its position, or the last record when it was the last; the grid takes the
// keyboard focus. The walk counts positions in 16 bits: a record at position 32,768 or later is
// never found, and nothing changes.
void RemoveRecordByID(int id, ReportControl& grid);
inline constexpr int RemoveRecordPositionLimit = 32768;

// Fills a date cell. A present date: value the date, caption the date in displayFormat ("Short
// Date" and the other named forms, or a pattern), tool tip the general date and time, group
// heading groupPrefix + the short date, group priority the date's day count. An absent date
// (1900-01-01 00:00:00 or earlier): empty value, caption and tool tip, heading groupPrefix +
// "None", priority 9999 (so that group comes before every date after 17 May 1927).
void SetDateGroupItem(ReportRecordItem& item, const OleDate& date, const QString& displayFormat,
                      const QString& groupPrefix);
inline constexpr int AbsentDatePriority = 9999;

// SetDateGroupItem with "Short Date" and no group prefix, for the date cells of a list: a
// present date's texts are worked out when the cell is drawn (ReportRecordItem::SetShortDate),
// so a list of thousands of payments pays only for the rows shown.
void SetShortDateItem(ReportRecordItem& item, const OleDate& date);

} // namespace tesr::modSharedReportControl
