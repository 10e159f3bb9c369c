#pragma once

// What the three review screens (Customer Payments, Order Payments, Payment Allocations) share
// about their lists: their format, column widths, money columns and dated rows.
//
// The design widths were drawn for a narrower typeface and a grid that spreads spare width over
// its columns; here a short date must still show whole, and the room the window has beyond the
// design widths goes to the descriptive text column instead of leaving the last (money) column
// stranded at the right edge.

#include <QStringList>

class QVariant;

namespace tesr {

class FieldIndex;
class Recordset;
class ReportColumn;
class ReportControl;
class ReportRecord;

namespace reviewlists {

// The design width, or wider when the widest short date needs it.
int DateColumnWidth(ReportControl& grid, int designWidth);

// Formats `grid` as a review list (every other row shaded) and adds its first column: the date,
// item 0, under `dateCaption`.
void StartList(ReportControl& grid, const QString& dateCaption);

// A resizable column of amounts: right-aligned, its heading too.
ReportColumn* AddMoneyColumn(ReportControl& grid, int item, const QString& caption, int width);

// The columns a customer's payment is listed from (ID, date, details, amount, allocated), and
// its row's items after the date: the details, the amount, the allocated and the unallocated
// part.
extern const QStringList PaymentFields;
void AddPaymentItems(ReportRecord& record, const Recordset& rs, const FieldIndex& fields);

// A new row tagged with `id`, its first item the short date of `date` (none when it holds none).
ReportRecord* AddDatedRecord(ReportControl& grid, const QVariant& id, const QVariant& date);

// Keeps the column at position `fillColumn` as wide as the grid's width allows once the other
// columns have their current widths (never narrower than its design width), on every resize of
// the grid. The user may still resize any column; the next window resize fills again.
void FillWithColumn(ReportControl& grid, int fillColumn, int designWidth);

} // namespace reviewlists
} // namespace tesr
