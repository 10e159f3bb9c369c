#pragma once

// What the three review screens (Customer Payments, Order Payments, Payment Allocations) share
// about their lists: column widths, and making the cells of a long list quickly.
//
// The design widths were drawn for a narrower typeface and a grid that spreads spare width over
// its columns; here a short date must still show whole, and the room the window has beyond the
// design widths goes to the descriptive text column instead of leaving the last (money) column
// stranded at the right edge.

#include "values/OleDate.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace tesr {

class ReportControl;
class ReportRecordItem;
class Recordset;

namespace reviewgrid {

// The design width, or wider when the widest short date needs it.
int DateColumnWidth(ReportControl& grid, int designWidth);

// Keeps the column at position `fillColumn` as wide as the grid's width allows once the other
// columns have their current widths (never narrower than its design width), on every resize of
// the grid. The user may still resize any column; the next window resize fills again.
void FillWithColumn(ReportControl& grid, int fillColumn, int designWidth);

// The date cells of one list load, made once per day. Lists of thousands of payments repeat
// days (and, for payments entered as a day, whole timestamps); formatting every date afresh
// would cost several times the database read. The cells come out exactly as SetDateGroupItem
// ("Short Date", no group prefix) makes them: the first date of each day goes through
// SetDateGroupItem itself, later ones of that day reuse its texts, adding the time of day the
// way the general date form does.
class CellFormatter {
public:
    void Date(ReportRecordItem& item, const OleDate& date);

private:
    QHash<qint64, QString> m_days;  // day number -> short date
    QHash<qint64, QString> m_times; // second of the day -> long time
};

// A date column's value as OleDate::fromVariant reads it, with the engine's own text form
// ("yyyy-MM-dd HH:mm:ss") read directly; the absent date when there is none.
OleDate ReadDate(const QVariant& value);

// A recordset's columns looked up by name once, then read by position row after row.
class FieldIndex {
public:
    FieldIndex(const Recordset& rs, const QStringList& names);
    // The current row's value of the n-th name; invalid when the recordset has no such column.
    QVariant Value(const Recordset& rs, int n) const;

private:
    std::vector<int> m_index;
};

} // namespace reviewgrid
} // namespace tesr
