// New Payment against raw SQL, each pair measured in the same iterations (the company file is
// the reference host's demo database with one customer added; built once and kept under the
// build folder in bench-cache/):
//
//   BM_OpenNewPayment/N: Library::ShowNewPayment for a customer with N open orders (2,000, and
//     ten times that), from the call until the orders grid holds all N rows and the dialog has
//     finished loading, against the view's SELECT of the same rows read raw through QtSql
//     (target: at most 2x at 2,000, 1.5x at 20,000). The dialog's own part is also shown alone
//     (LoadOrders' share: the grid filled from the recordset), next to the time to bring up the
//     empty window, and the ratio to the same read through SQLite's own interface (the engine's
//     limit).
//   BM_ReloadOrders2000: the same 2,000 orders loaded again in the open dialog (the customer
//     chosen again), against the SELECT raw on a fresh session and on an open one.
// The dialog's save is measured in bench_saves.

#include "entry/Library.h"
#include "host/DemoData.h"
#include "host/ReferenceHost.h"
#include "ledger/Dialect.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/ReportControl.h"
#include "support/BenchSupport.h"
#include "values/Regional.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

using namespace tesr::bench;

// The demo database with a customer of `orders` open orders (and no credit), built once; the
// customer's ID is kept next to it.
QString companyFile(int orders, int* customer, QString* error)
{
    const QString name = QStringLiteral("newpayment-%1.db").arg(orders);
    const QString idFile = cacheFolder() + QLatin1Char('/') + name + QStringLiteral(".customer");
    if (!QFile::exists(idFile))
        QFile::remove(cacheFolder() + QLatin1Char('/') + name);
    const QString path = cachedFile(
        name,
        [&](const QString& building) {
            if (!tesr::host::createDemoDatabase(building, error))
                return false;
            const int id = tesr::host::addCustomerWithOpenOrders(building, orders, 0, error);
            QFile f(idFile);
            return id > 0 && f.open(QIODevice::WriteOnly) && f.write(QByteArray::number(id)) > 0;
        },
        error);
    QFile f(idFile);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        return {};
    *customer = f.readAll().toInt();
    return path;
}

// A working copy of a company file (saves change it), the reference host over it and the
// module's Library, and a QtSql session of its own for the raw side.
struct Shop {
    QTemporaryDir dir;
    QString path;
    int customer = 0;
    QString error;
    std::shared_ptr<tesr::host::ReferenceHost> host;
    tesr::Library library;
    std::unique_ptr<RawSession> rawSession;

    explicit Shop(int orders)
    {
        const QString cached = companyFile(orders, &customer, &error);
        if (cached.isEmpty())
            return;
        path = dir.filePath(QStringLiteral("company.db"));
        if (!QFile::copy(cached, path)) {
            error = QStringLiteral("cannot copy %1").arg(cached);
            return;
        }
        host = referenceHost(path, dir.filePath(QStringLiteral("logs")));
        library.Initialize(host);
        rawSession = std::make_unique<RawSession>(path);
        error = rawSession->error();
        QSqlQuery(raw()).exec(QStringLiteral("PRAGMA busy_timeout = 5000"));
    }
    ~Shop() { library.PreTerminate(); }
    QSqlDatabase raw() const { return rawSession->db(); }
    bool ready(benchmark::State& state) const
    {
        if (error.isEmpty() && host)
            return true;
        state.SkipWithError(qPrintable(error.isEmpty() ? QStringLiteral("no host") : error));
        return false;
    }
};

Shop& shop(int orders)
{
    return keptUntilQuit<Shop>(orders, [orders] { return std::make_unique<Shop>(orders); });
}

const auto& dialect()
{
    static const auto d = tesr::ledger::makeDialect(tesr::ledger::Engine::SQLite);
    return *d;
}

// Runs `onScreen` on the New Payment dialog once it has loaded (every event-loop turn looks).
struct Watcher {
    QTimer timer;
    std::function<bool(QWidget*)> onScreen; // true when done
    explicit Watcher(std::function<bool(QWidget*)> f) : onScreen(std::move(f))
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (w && w->objectName() == QLatin1String("frmNewPayment") && onScreen(w))
                timer.stop();
        });
        timer.start();
    }
};

bool loaded(QWidget* w, int orders)
{
    auto* grid = w->findChild<tesr::ReportControl*>(QStringLiteral("rptOrders"));
    auto* amount = w->findChild<tesr::ComboBox*>(QStringLiteral("cboAmount"));
    return grid && amount && grid->Records().Count() == orders && !amount->Text().isEmpty();
}

// The view's rows, read raw: every column, as the dialog reads them.
int readOrdersRaw(const QSqlDatabase& db, const QString& statement)
{
    return readForward(db, statement, 9);
}

// The dialog's orders statement for the shop's customer, as the engine receives it.
QString ordersStatement(const Shop& shop)
{
    return dialect()
        .translate(QStringLiteral("SELECT * FROM vwScreen_NewPayment WHERE CustomerID = %1 AND (State = 2 OR State "
                                  "= 3) AND StatusCode <> 500 AND StatusCode <> 1600")
                       .arg(shop.customer))
        .front();
}

// ---- opening ------------------------------------------------------------------------------------

// From Library::ShowNewPayment until the dialog has loaded with `orders` rows; then closed.
double openUntilLoaded(Shop& shop, int customer, int orders)
{
    Clock::time_point t0;
    double seen = 0;
    Watcher watch([&](QWidget* w) {
        if (!loaded(w, orders))
            return false;
        seen = since(t0);
        static_cast<QDialog*>(w)->reject();
        return true;
    });
    t0 = Clock::now();
    shop.library.ShowNewPayment(customer);
    return seen;
}

void BM_OpenNewPayment(benchmark::State& state)
{
    const int Orders = int(state.range(0));
    Shop& shop = ::shop(Orders);
    if (!shop.ready(state))
        return;
    const QString statement = ordersStatement(shop);
    if (readOrdersRaw(shop.raw(), statement) != Orders) {
        state.SkipWithError("the customer does not have the open orders asked for");
        return;
    }
    // A customer ID with no row opens the same way and loads an empty grid: the window's own
    // cost, every host call included, without the orders.
    constexpr int NoCustomer = 999999;
    double full = 0, empty = 0, raw = 0, engine = 0;
    int turn = 0;
    for (auto _ : state) {
        takeTurns(turn,
                  {timed(raw, [&] { benchmark::DoNotOptimize(readOrdersRaw(shop.raw(), statement)); }),
                   timed(engine, [&] { benchmark::DoNotOptimize(readForwardOnEngine(shop.raw(), statement, 9)); }),
                   [&] { full += openUntilLoaded(shop, shop.customer, Orders); },
                   [&] { empty += openUntilLoaded(shop, NoCustomer, 0); }});
    }
    const double target = Orders > 2000 ? 1.5 : 2.0;
    const double gridRatio = (full - empty) / raw;
    state.counters["open_ms"] = msEach(state, full);
    state.counters["open_empty_ms"] = msEach(state, empty);
    state.counters["raw_ms"] = msEach(state, raw);
    state.counters["raw_engine_ms"] = msEach(state, engine);
    state.counters["ratio_orders"] = gridRatio;
    reportRatio(state, QStringLiteral("open until %L1 orders shown vs the view's SELECT:").arg(Orders), full, raw,
                target, Bound::AtMost,
                QStringLiteral("; the orders' share alone: %1x %2; vs the read through the engine's own interface: %3x")
                    .arg(gridRatio, 0, 'f', 2)
                    .arg(verdict(gridRatio, target, Bound::AtMost))
                    .arg(full / engine, 0, 'f', 2));
}
BENCHMARK(BM_OpenNewPayment)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The orders loaded again in the open dialog, the way choosing the customer in the customer
// box does it (the orders' statement on a connection of its own, the grid filled, the summary
// and the credit check), against the same SELECT raw: on a fresh session with the settings
// the host's connections make ("raw_job") and on a session already open ("raw_stmt").
void BM_ReloadOrders2000(benchmark::State& state)
{
    constexpr int Orders = 2000;
    Shop& shop = ::shop(Orders);
    if (!shop.ready(state))
        return;
    const QString statement = ordersStatement(shop);
    auto rawJob = [&] {
        return onFreshSession(shop.path, [&](const QSqlDatabase& db) { return readOrdersRaw(db, statement); });
    };
    double ours = 0, job = 0, stmt = 0;
    bool ran = false;
    Watcher watch([&](QWidget* w) {
        if (!loaded(w, Orders))
            return false;
        auto* customer = w->findChild<tesr::ComboBox*>(QStringLiteral("cboCustomer"));
        auto* grid = w->findChild<tesr::ReportControl*>(QStringLiteral("rptOrders"));
        const int index = customer->ListIndex();
        int turn = 0;
        for (auto _ : state) {
            takeTurns(turn, {timed(ours, [&] { customer->SetListIndex(index); }), // the user picks it again
                             timed(job, [&] { benchmark::DoNotOptimize(rawJob()); }),
                             timed(stmt, [&] { benchmark::DoNotOptimize(readOrdersRaw(shop.raw(), statement)); })});
        }
        ran = index >= 0 && grid->Records().Count() == Orders;
        static_cast<QDialog*>(w)->reject();
        return true;
    });
    shop.library.ShowNewPayment(shop.customer);
    if (!ran) {
        state.SkipWithError("the orders were not loaded again");
        return;
    }
    constexpr double target = 1.5;
    state.counters["ours_ms"] = msEach(state, ours);
    state.counters["raw_job_ms"] = msEach(state, job);
    state.counters["raw_stmt_ms"] = msEach(state, stmt);
    state.counters["ratio_stmt"] = ours / stmt;
    reportRatio(state, QStringLiteral("2,000 orders loaded again vs the SELECT on a fresh session:"), ours, job, target,
                Bound::AtMost, QStringLiteral("; vs the SELECT alone: %1x").arg(ours / stmt, 0, 'f', 2));
}
BENCHMARK(BM_ReloadOrders2000)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// What one money cell's caption costs: the platform's currency formatting, which the grid
// needs for the four money cells of every order (a share of the opening above).
void BM_CurrencyCaption(benchmark::State& state)
{
    qint64 k = 0;
    for (auto _ : state) {
        QString text = tesr::Regional::formatCurrency(tesr::Currency::fromRaw(12345678 + (k++ % 4000) * 137));
        benchmark::DoNotOptimize(text);
    }
    state.SetLabel("one amount in the user's currency format");
}
BENCHMARK(BM_CurrencyCaption)->Unit(benchmark::kMicrosecond);

} // namespace
