#pragma once

// What the three review screens (Customer Payments, Order Payments, Payment Allocations) share
// about their lists: column widths, and reading a long recordset's columns by position.
//
// The design widths were drawn for a narrower typeface and a grid that spreads spare width over
// its columns; here a short date must still show whole, and the room the window has beyond the
// design widths goes to the descriptive text column instead of leaving the last (money) column
// stranded at the right edge.

#include <QStringList>
#include <QVariant>

#include <vector>

namespace tesr {

class ReportControl;
class Recordset;

namespace reviewlists {

// The design width, or wider when the widest short date needs it.
int DateColumnWidth(ReportControl& grid, int designWidth);

// Keeps the column at position `fillColumn` as wide as the grid's width allows once the other
// columns have their current widths (never narrower than its design width), on every resize of
// the grid. The user may still resize any column; the next window resize fills again.
void FillWithColumn(ReportControl& grid, int fillColumn, int designWidth);

// A recordset's columns looked up by name once, then read by position row after row.
class FieldIndex {
public:
    FieldIndex(const Recordset& rs, const QStringList& names);
    // The current row's value of the n-th name; invalid when the recordset has no such column.
    QVariant Value(const Recordset& rs, int n) const;

private:
    std::vector<int> m_index;
};

} // namespace reviewlists
} // namespace tesr
