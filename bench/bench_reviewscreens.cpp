// The review screens at their heaviest, and at ten times that, against the database work they
// cannot avoid, measured in the same run and alternated inside every iteration:
//   - Customer Payments for a customer with 10,000 payments (and 100,000);
//   - Order Payments for an order paid by 2,000 payments (and 20,000);
//   - Payment Allocations for a payment spread over 2,000 orders (and 20,000);
// each opened through the real Library (form, first activation, list load, grid layout) up to
// the first paint of the grid with the list filled, against the screen's SELECT run raw through
// QtSql (the statement as the engine receives it, forward-only, every column read by index);
// the same read through SQLite's own interface is shown beside it (the engine's limit).
// Target: the screen within 2x of its raw SELECT at the first sizes, 1.5x at ten times them.

#include "entry/Library.h"
#include "host/DemoData.h"
#include "host/ReferenceHost.h"
#include "ledger/Dialect.h"
#include "platform/controls/ReportControl.h"
#include "support/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>

#include <chrono>
#include <memory>

namespace {

using namespace tesr::bench;
constexpr int kCustomerPayments = 10000;
constexpr int kOrderAllocations = 2000;
constexpr int kPaymentAllocations = 2000;

struct Fixture {
    QTemporaryDir dir;
    QString path;
    QString error;
    int customer = 0;
    int order = 0;
    int payment = 0;
    QString orderUniqueID;
    std::shared_ptr<tesr::host::ReferenceHost> host;
    std::unique_ptr<tesr::Library> library;
    QString connectionName;

    explicit Fixture(int scale)
    {
        path = dir.filePath(QStringLiteral("bench.db"));
        if (!tesr::host::createDemoDatabase(path, &error))
            return;
        customer = tesr::host::addCustomerWithPayments(path, kCustomerPayments * scale, &error);
        order = tesr::host::addOrderWithAllocations(path, kOrderAllocations * scale, &error);
        payment = tesr::host::addPaymentWithAllocations(path, kPaymentAllocations * scale, &error);
        if (customer < 1 || order < 1 || payment < 1)
            return;
        connectionName = QStringLiteral("bench-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(path);
        if (!db.open()) {
            error = QStringLiteral("cannot open the database raw");
            return;
        }
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT UniqueID FROM Orders WHERE ID = %1").arg(order));
        if (q.next())
            orderUniqueID = q.value(0).toString();

        host = referenceHost(path, dir.filePath(QStringLiteral("logs"))); // every right granted by default
        library = std::make_unique<tesr::Library>();
        library->Initialize(host);
    }

    bool ready() const { return library && !orderUniqueID.isEmpty(); }
};

// The database of `scale` times the sizes above; one at a time (the last asked for).
Fixture& fixture(int scale)
{
    return oneScaleAtATime<Fixture>(scale);
}
int g_scale = 1; // the scale of the benchmark running

// The statement as the engine receives it, run forward-only with every column read.
int readRaw(const QString& statement, int columns)
{
    static const auto dialect = tesr::ledger::makeDialect(tesr::ledger::Engine::SQLite);
    return readForward(QSqlDatabase::database(fixture(g_scale).connectionName), dialect->translate(statement).front(),
                       columns);
}

// The same through SQLite's own interface, values as the engine holds them: the engine's limit.
int readOnEngine(const QString& statement, int columns)
{
    static const auto dialect = tesr::ledger::makeDialect(tesr::ledger::Engine::SQLite);
    return readForwardOnEngine(QSqlDatabase::database(fixture(g_scale).connectionName),
                               dialect->translate(statement).front(), columns);
}

// Stops the clock at the first paint of a grid that holds the whole list, then closes the
// screen (its Close button's work: unload).
class FirstFilledPaint final : public QObject {
public:
    explicit FirstFilledPaint(int records) : m_records(records) { qApp->installEventFilter(this); }
    ~FirstFilledPaint() override { qApp->removeEventFilter(this); }
    Clock::time_point at() const { return m_at; }
    bool seen() const { return m_seen; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_seen && event->type() == QEvent::Paint) {
            auto* grid = qobject_cast<tesr::ReportControl*>(watched->parent());
            if (grid && watched == grid->viewport() && grid->Records().Count() >= m_records) {
                m_seen = true;
                m_at = Clock::now();
                QWidget* screen = grid->window();
                QTimer::singleShot(0, screen, [screen] { screen->close(); });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    int m_records;
    bool m_seen = false;
    Clock::time_point m_at;
};

template <class Open> double openScreen(int records, Open open, bool& ok)
{
    FirstFilledPaint probe(records);
    // A screen that never shows its list must not hold the run: close whatever is open.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    watchdog.start(60000);
    const auto t0 = Clock::now();
    open();
    ok = ok && probe.seen();
    return probe.seen() ? std::chrono::duration<double>(probe.at() - t0).count() : 0;
}

void report(benchmark::State& state, double screen, double raw, double engine, const QString& what)
{
    state.counters["screen_ms"] = msEach(state, screen);
    state.counters["raw_ms"] = msEach(state, raw);
    state.counters["raw_engine_ms"] = msEach(state, engine);
    reportRatio(
        state, what + QStringLiteral(": screen/raw"), screen, raw, g_scale > 1 ? 1.5 : 2.0, Bound::AtMost,
        QStringLiteral("; vs the read through the engine's own interface: %1x").arg(screen / engine, 0, 'f', 2));
}

const QString kCustomerPaymentsList =
    QStringLiteral("SELECT Payments.ID, Payments.PaymentMethodID, Payments.CustomerID, Payments.PaymentDate, "
                   "dbo.PaymentDetails(Payments.ID) AS theDetails, Payments.Amount, Payments.Allocated, "
                   "Payments.AddedOn FROM Payments WHERE (Payments.CustomerID = %1)");

const QString kOrderPaymentsList = QStringLiteral(
    "SELECT PaymentAllocations.ID, PaymentAllocations.Amount, Payments.PaymentDate, Payments.Description, "
    "Payments.CardNumber, PaymentMethods.PaymentMethod, dbo.PaymentDetails(Payments.ID) AS theDetails FROM "
    "PaymentAllocations INNER JOIN Payments ON PaymentAllocations.PaymentID = Payments.ID INNER JOIN PaymentMethods "
    "ON Payments.PaymentMethodID = PaymentMethods.ID WHERE (PaymentAllocations.OrderUniqueID = '%1')");

const QString kPaymentAllocationsList =
    QStringLiteral("SELECT PaymentAllocations.ID, PaymentAllocations.AddedOn, Orders.OrderNumber, Orders.Sidemark, "
                   "PaymentAllocations.Amount FROM PaymentAllocations INNER JOIN Orders ON "
                   "PaymentAllocations.OrderUniqueID = Orders.UniqueID WHERE (PaymentAllocations.PaymentID = %1)");

// The screen `open` shows, `records` rows long, against its list's `statement` read raw.
template <class Open>
void screenVsRaw(benchmark::State& state, const QString& statement, int columns, int records, Open open,
                 const char* notThere, const QString& what)
{
    if (!fixture(g_scale).ready()) {
        state.SkipWithError(qPrintable(QStringLiteral("no database: ") + fixture(g_scale).error));
        return;
    }
    if (readRaw(statement, columns) != records) {
        state.SkipWithError(notThere);
        return;
    }
    double screen = 0;
    double raw = 0;
    double engine = 0;
    bool ok = true;
    for (auto _ : state) {
        const double s = openScreen(records, open, ok);
        auto t0 = Clock::now();
        benchmark::DoNotOptimize(readRaw(statement, columns));
        raw += since(t0);
        t0 = Clock::now();
        benchmark::DoNotOptimize(readOnEngine(statement, columns));
        engine += since(t0);
        screen += s;
        state.SetIterationTime(s);
    }
    if (!ok)
        state.SkipWithError("the screen never painted its whole list");
    report(state, screen, raw, engine, what);
}

void BM_CustomerPayments(benchmark::State& state)
{
    g_scale = int(state.range(0)) / kCustomerPayments;
    Fixture& f = fixture(g_scale);
    const int payments = kCustomerPayments * g_scale;
    screenVsRaw(
        state, kCustomerPaymentsList.arg(f.customer), 8, payments,
        [&f] { f.library->ShowCustomerPayments(f.customer); }, "the customer does not have the payments asked for",
        QStringLiteral("Customer Payments, %L1 payments").arg(payments));
}

void BM_OrderPayments(benchmark::State& state)
{
    g_scale = int(state.range(0)) / kOrderAllocations;
    Fixture& f = fixture(g_scale);
    const int allocations = kOrderAllocations * g_scale;
    screenVsRaw(
        state, kOrderPaymentsList.arg(f.orderUniqueID), 7, allocations, [&f] { f.library->ShowOrderPayments(f.order); },
        "the order does not have the allocations asked for",
        QStringLiteral("Order Payments, %L1 allocations").arg(allocations));
}

void BM_PaymentAllocations(benchmark::State& state)
{
    g_scale = int(state.range(0)) / kPaymentAllocations;
    Fixture& f = fixture(g_scale);
    const int allocations = kPaymentAllocations * g_scale;
    screenVsRaw(
        state, kPaymentAllocationsList.arg(f.payment), 5, allocations,
        [&f] { f.library->ShowPaymentAllocations(f.payment); }, "the payment does not have the allocations asked for",
        QStringLiteral("Payment Allocations, %L1 allocations").arg(allocations));
}

} // namespace

// Each size's database is built once, the three screens measured on it, before the next size's.
BENCHMARK(BM_CustomerPayments)->Arg(kCustomerPayments)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_OrderPayments)->Arg(kOrderAllocations)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PaymentAllocations)
    ->Arg(kPaymentAllocations)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_CustomerPayments)
    ->Arg(kCustomerPayments * 10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_OrderPayments)->Arg(kOrderAllocations * 10)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_PaymentAllocations)
    ->Arg(kPaymentAllocations * 10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6);
