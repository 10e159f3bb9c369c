#pragma once

// What the three review screens (Customer Payments, Order Payments, Payment Allocations) share
// about their lists: column widths.
//
// The design widths were drawn for a narrower typeface and a grid that spreads spare width over
// its columns; here a short date must still show whole, and the room the window has beyond the
// design widths goes to the descriptive text column instead of leaving the last (money) column
// stranded at the right edge.

namespace tesr {

class ReportControl;

namespace reviewlists {

// The design width, or wider when the widest short date needs it.
int DateColumnWidth(ReportControl& grid, int designWidth);

// Keeps the column at position `fillColumn` as wide as the grid's width allows once the other
// columns have their current widths (never narrower than its design width), on every resize of
// the grid. The user may still resize any column; the next window resize fills again.
void FillWithColumn(ReportControl& grid, int fillColumn, int designWidth);

} // namespace reviewlists
} // namespace tesr
