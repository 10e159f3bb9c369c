// The report grid against a plain QTreeWidget holding the same texts, measured in the same run:
// filling 100,000 records of 5 items and laying them out, then sorting by a money column.
// Reports grid/tree time ratios (target: at most 1.0) and heap bytes per record for both.

#include "platform/controls/ReportControl.h"
#include "support/BenchSupport.h"
#include "values/Currency.h"
#include "values/Regional.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTreeWidget>

#include <malloc.h>

#include <array>
#include <cstdio>
#include <vector>

using namespace tesr;
using namespace tesr::bench;

namespace {

constexpr int kRecords = 100000;
constexpr double kTarget = 1.0;

struct Rows {
    std::vector<QString> tags;
    std::vector<std::array<QString, 5>> texts;  // what both widgets show
    std::vector<std::array<Currency, 3>> money; // what the grid sorts by
};

const Rows& rows()
{
    static const Rows r = [] {
        Rows out;
        out.tags.reserve(kRecords);
        out.texts.reserve(kRecords);
        out.money.reserve(kRecords);
        std::uint32_t seed = 12345;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        for (int i = 0; i < kRecords; ++i) {
            std::array<Currency, 3> m{Currency::fromRaw(std::int64_t(next() % 100000000)),
                                      Currency::fromRaw(std::int64_t(next() % 10000000)), Currency()};
            m[2] = m[0].minus(m[1]).value();
            out.tags.push_back(QString::number(i + 1));
            out.texts.push_back({QStringLiteral("SO-%1").arg(next() % 900000 + 100000),
                                 QStringLiteral("Sidemark %1").arg(next() % 5000), Regional::formatCurrency(m[0]),
                                 Regional::formatCurrency(m[1]), Regional::formatCurrency(m[2])});
            out.money.push_back(m);
        }
        return out;
    }();
    return r;
}

std::size_t heapInUse()
{
    const struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

void settle()
{
    // Both views lay out lazily; let them do it inside the measured time.
    QCoreApplication::processEvents();
}

void fillGrid(ReportControl& grid)
{
    const Rows& r = rows();
    for (int i = 0; i < kRecords; ++i) {
        ReportRecord* record = grid.Records().Add();
        record->SetTag(r.tags[std::size_t(i)]);
        const auto& t = r.texts[std::size_t(i)];
        const auto& m = r.money[std::size_t(i)];
        record->AddItem(t[0]);
        record->AddItem(t[1]);
        for (int k = 0; k < 3; ++k)
            record->AddItem(QVariant::fromValue(m[std::size_t(k)]))->SetCaption(t[std::size_t(2 + k)]);
    }
    grid.Populate();
}

void fillTree(QTreeWidget& tree)
{
    const Rows& r = rows();
    QList<QTreeWidgetItem*> items;
    items.reserve(kRecords);
    for (int i = 0; i < kRecords; ++i) {
        const auto& t = r.texts[std::size_t(i)];
        items.append(new QTreeWidgetItem(QStringList{t[0], t[1], t[2], t[3], t[4]}));
    }
    tree.addTopLevelItems(items);
}

struct Widgets {
    ReportControl grid;
    QTreeWidget tree;
    Widgets()
    {
        const char* captions[] = {"Number", "Sidemark", "Amount", "Allocated", "Unallocated"};
        for (int c = 0; c < 5; ++c)
            grid.Columns().Add(c, QString::fromLatin1(captions[c]), c < 2 ? 100 : 85, true);
        grid.SetCustomDraw(ReportControl::AlternateRowShading);
        tree.setColumnCount(5);
        tree.setHeaderLabels({"Number", "Sidemark", "Amount", "Allocated", "Unallocated"});
        tree.setUniformRowHeights(true); // the tree's fastest layout: a strict baseline
        tree.setRootIsDecorated(false);
        for (QWidget* w : {static_cast<QWidget*>(&grid), static_cast<QWidget*>(&tree)}) {
            w->resize(700, 500);
            w->show();
        }
        settle();
    }
};

void report(benchmark::State& state, double gridTime, double treeTime, const char* what)
{
    const double ratio = treeTime > 0 ? gridTime / treeTime : 0;
    state.counters["ratio"] = ratio;
    state.counters["target"] = kTarget;
    state.counters["grid_ms"] = benchmark::Counter(gridTime * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["tree_ms"] = benchmark::Counter(treeTime * 1e3, benchmark::Counter::kAvgIterations);
    char label[96];
    std::snprintf(label, sizeof label, "%s grid/tree %.2f (target <= %.1f)%s", what, ratio, kTarget,
                  ratio <= kTarget ? "" : " MISSED");
    state.SetLabel(label);
}

void BM_PopulateVsTreeWidget(benchmark::State& state)
{
    rows();
    Widgets w;
    double gridTime = 0;
    double treeTime = 0;
    std::size_t gridBytes = 0;
    std::size_t treeBytes = 0;
    for (auto _ : state) {
        w.grid.Records().RemoveAll();
        w.tree.clear();
        settle();

        std::size_t before = heapInUse();
        auto t0 = Clock::now();
        fillTree(w.tree);
        settle();
        const double tree = since(t0);
        treeBytes = heapInUse() - before;

        before = heapInUse();
        t0 = Clock::now();
        fillGrid(w.grid);
        settle();
        const double grid = since(t0);
        gridBytes = heapInUse() - before;

        treeTime += tree;
        gridTime += grid;
        state.SetIterationTime(grid);
        benchmark::DoNotOptimize(w.grid.Rows().Count());
    }
    report(state, gridTime, treeTime, "populate");
    state.counters["grid_bytes_per_record"] = double(gridBytes) / kRecords;
    state.counters["tree_bytes_per_record"] = double(treeBytes) / kRecords;
    if (w.grid.Rows().Count() != kRecords || w.tree.topLevelItemCount() != kRecords)
        state.SkipWithError("a widget lost rows");
}

void BM_SortByMoneyVsTreeWidget(benchmark::State& state)
{
    rows();
    Widgets w;
    fillTree(w.tree);
    fillGrid(w.grid);
    settle();
    double gridTime = 0;
    double treeTime = 0;
    bool descending = false;
    for (auto _ : state) {
        descending = !descending;
        const Qt::SortOrder order = descending ? Qt::DescendingOrder : Qt::AscendingOrder;
        auto t0 = Clock::now();
        w.tree.sortItems(2, order);
        settle();
        const double tree = since(t0);
        t0 = Clock::now();
        w.grid.SortBy(w.grid.Columns().Column(2), order);
        settle();
        const double grid = since(t0);
        treeTime += tree;
        gridTime += grid;
        state.SetIterationTime(grid);
    }
    report(state, gridTime, treeTime, "sort");
    // The grid sorts by amount; the tree by text. Check the grid's order is the amounts'.
    const ReportRow* a = w.grid.Rows().Row(0);
    const ReportRow* b = w.grid.Rows().Row(kRecords - 1);
    const Currency first = a->Record()->Item(2)->Value().value<Currency>();
    const Currency last = b->Record()->Item(2)->Value().value<Currency>();
    if (descending ? first < last : first > last)
        state.SkipWithError("the grid's rows are not in amount order");
}

} // namespace

BENCHMARK(BM_PopulateVsTreeWidget)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SortByMoneyVsTreeWidget)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);
