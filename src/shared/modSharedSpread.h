#pragma once

// "Spread Oldest First" on an orders grid with an editable amount column (New Payment's "To
// Allocate", Allocate Credit's "Allocate"): one stroke fills the amount cells from a total, the
// usual rule for applying a payment over many open documents.
//
// Orders the user gave an amount keep it. The rest of the total goes to the other orders, oldest
// first (lowest order ID first, the order they were entered in), each up to its balance; what is
// left stays unallocated. Cells an earlier spread filled are the spread's, not the user's: a
// second spread (after the amount changed) fills them again. The action only fills cells, as
// typing would; the screen's checks on OK and its save are untouched.

#include "values/Currency.h"

#include <QObject>
#include <QSet>

#include <functional>
#include <optional>
#include <vector>

class QAction;

namespace tesr {
class ReportControl;
class ReportRecord;
} // namespace tesr

namespace tesr::modSharedSpread {

struct Line {
    qint64 orderID = 0;
    Currency balance;
    Currency amount;
    bool open = false; // false: the user's amount, kept
};

// The amounts after spreading `total`, one per line in the lines' order. Kept lines keep theirs;
// the open ones share total less what the kept ones hold, by ascending order ID (lines of one ID
// in their own order), each up to its balance, nothing to a balance of 0 or less. A rest of 0 or
// less leaves every open line at 0. Exact: no sum can overflow.
std::vector<Currency> SpreadOldestFirst(const std::vector<Line>& lines, Currency total);

// The action on one orders grid: in its context menu and on Ctrl+Shift+S while its window is
// active. Record tags hold the order IDs.
class SpreadAction : public QObject {
    Q_OBJECT
public:
    // total: asked on every spread, after the grid's open edit was committed and the focused
    // field checked; nothing (having told the user why) stops the spread. filled: runs once after
    // the cells were filled, to do what the screen does after a typed amount.
    SpreadAction(ReportControl& grid, int balanceItem, int amountItem, std::function<std::optional<Currency>()> total,
                 std::function<void()> filled);

    QAction* Action() const { return m_action; }
    // The grid's records were loaded again.
    void Reset() { m_filled.clear(); }
    // What the action does; false when it stopped before filling anything.
    bool Spread();

private:
    ReportControl& m_grid;
    int m_balanceItem;
    int m_amountItem;
    std::function<std::optional<Currency>()> m_total;
    std::function<void()> m_afterFill;
    QAction* m_action;
    QSet<const ReportRecord*> m_filled; // cells the last spread gave an amount
};

} // namespace tesr::modSharedSpread
