// The review screens at their heaviest, against the database work they cannot avoid, measured in
// the same run and alternated inside every iteration:
//   - Customer Payments for a customer with 10,000 payments;
//   - Order Payments for an order paid by 2,000 payments;
// each opened through the real Library (form, first activation, list load, grid layout) up to
// the first paint of the grid with the list filled, against the screen's SELECT run raw through
// QtSql (the statement as the engine receives it, forward-only, every column read by index).
// Target: the screen within 1.5x of its raw SELECT.

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
constexpr double kTarget = 1.5;
constexpr int kCustomerPayments = 10000;
constexpr int kOrderAllocations = 2000;

struct Fixture {
    QTemporaryDir dir;
    QString path;
    QString error;
    int customer = 0;
    int order = 0;
    QString orderUniqueID;
    std::shared_ptr<tesr::host::ReferenceHost> host;
    std::unique_ptr<tesr::Library> library;
    QString connectionName;

    Fixture()
    {
        path = dir.filePath(QStringLiteral("bench.db"));
        if (!tesr::host::createDemoDatabase(path, &error))
            return;
        customer = tesr::host::addCustomerWithPayments(path, kCustomerPayments, &error);
        order = tesr::host::addOrderWithAllocations(path, kOrderAllocations, &error);
        if (customer < 1 || order < 1)
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

Fixture& fixture()
{
    static Fixture f;
    return f;
}

// The statement as the engine receives it, run forward-only with every column read.
int readRaw(const QString& statement, int columns)
{
    static const auto dialect = tesr::ledger::makeDialect(tesr::ledger::Engine::SQLite);
    return readForward(QSqlDatabase::database(fixture().connectionName), dialect->translate(statement).front(),
                       columns);
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

void report(benchmark::State& state, double screen, double raw, const char* what)
{
    state.counters["screen_ms"] = msEach(state, screen);
    state.counters["raw_ms"] = msEach(state, raw);
    reportRatio(state, QStringLiteral("%1: screen/raw").arg(QLatin1StringView(what)), screen, raw, kTarget,
                Bound::AtMost);
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

// The screen `open` shows, `records` rows long, against its list's `statement` read raw.
template <class Open>
void screenVsRaw(benchmark::State& state, const QString& statement, int columns, int records, Open open,
                 const char* notThere, const char* what)
{
    if (!fixture().ready()) {
        state.SkipWithError(qPrintable(QStringLiteral("no database: ") + fixture().error));
        return;
    }
    if (readRaw(statement, columns) != records) {
        state.SkipWithError(notThere);
        return;
    }
    double screen = 0;
    double raw = 0;
    bool ok = true;
    for (auto _ : state) {
        const double s = openScreen(records, open, ok);
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(readRaw(statement, columns));
        raw += since(t0);
        screen += s;
        state.SetIterationTime(s);
    }
    if (!ok)
        state.SkipWithError("the screen never painted its whole list");
    report(state, screen, raw, what);
}

void BM_CustomerPayments10000(benchmark::State& state)
{
    Fixture& f = fixture();
    screenVsRaw(
        state, kCustomerPaymentsList.arg(f.customer), 8, kCustomerPayments,
        [&f] { f.library->ShowCustomerPayments(f.customer); }, "the customer does not have 10,000 payments",
        "Customer Payments, 10,000 payments");
}

void BM_OrderPayments2000(benchmark::State& state)
{
    Fixture& f = fixture();
    screenVsRaw(
        state, kOrderPaymentsList.arg(f.orderUniqueID), 7, kOrderAllocations,
        [&f] { f.library->ShowOrderPayments(f.order); }, "the order does not have 2,000 allocations",
        "Order Payments, 2,000 allocations");
}

} // namespace

BENCHMARK(BM_CustomerPayments10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_OrderPayments2000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
