// What the connection layer costs on top of QtSql. Each ratio is measured in one run against
// the same work done raw, alternating the two inside every iteration so that both see the
// same machine:
//   - a 100-row list (the Customer Payments statement, details text included) read through
//     SqlConnection::OpenRecordset with every field read by name, against the translated
//     statement run through a forward-only QSqlQuery read by index; target under 1.10x;
//   - one UPDATE through SqlConnection::Execute against the same UPDATE through QSqlQuery,
//     inside a transaction (pure overhead) and on its own (as the screens run it).
// And the time to build the benchmarks' large database (1,000,000 customers, 100,000 orders,
// 100,000 payments); target well under a minute.

#include "host/DemoData.h"
#include "platform/SqlConnection.h"
#include "support/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <memory>

namespace {

using namespace tesr::bench;

struct Fixture {
    QTemporaryDir dir;
    QString path;
    int customer = 0;
    std::unique_ptr<tesr::SqlConnection> connection;
    QString listStatement;
    QString error;

    Fixture()
    {
        path = dir.filePath(QStringLiteral("bench.db"));
        if (!tesr::host::createDemoDatabase(path, &error))
            return;
        customer = tesr::host::addCustomerWithPayments(path, 100, &error);
        if (customer < 1)
            return;
        tesr::DatabaseUrl url;
        url.path = path;
        connection = tesr::SqlConnection::open(url, &error);
        listStatement = QStringLiteral("SELECT Payments.ID, Payments.PaymentMethodID, Payments.CustomerID, "
                                       "Payments.PaymentDate, dbo.PaymentDetails(Payments.ID) AS theDetails, "
                                       "Payments.Amount, Payments.Allocated, Payments.AddedOn FROM Payments WHERE "
                                       "(Payments.CustomerID = %1)")
                            .arg(customer);
    }
};

// Kept until the application object goes: its session must close before QtSql does.
Fixture& fixture()
{
    return keptUntilQuit<Fixture>(0, [] { return std::make_unique<Fixture>(); });
}

bool ready(benchmark::State& state)
{
    if (fixture().connection)
        return true;
    state.SkipWithError(qPrintable(QStringLiteral("no database: ") + fixture().error));
    return false;
}

// The screen's way: by column name, through the connection.
int readThroughRecordset(tesr::SqlConnection& c, const QString& statement)
{
    static const QString names[] = {QStringLiteral("ID"),         QStringLiteral("PaymentMethodID"),
                                    QStringLiteral("CustomerID"), QStringLiteral("PaymentDate"),
                                    QStringLiteral("theDetails"), QStringLiteral("Amount"),
                                    QStringLiteral("Allocated"),  QStringLiteral("AddedOn")};
    auto rs = c.OpenRecordset(statement);
    int rows = 0;
    for (; !rs->Eof(); rs->MoveNext()) {
        for (const QString& name : names) {
            QVariant v = rs->Field(name);
            benchmark::DoNotOptimize(v);
        }
        ++rows;
    }
    rs->Close();
    return rows;
}

// The floor: the already translated statement, forward-only, by index.
int readRaw(const QSqlDatabase& db, const QString& translated)
{
    return readForward(db, translated, 8);
}

void BM_List100_RecordsetVsRaw(benchmark::State& state)
{
    if (!ready(state))
        return;
    Fixture& f = fixture();
    const QSqlDatabase db = f.connection->database();
    const QString translated = f.connection->dialect().translate(f.listStatement).front();
    if (readRaw(db, translated) != 100 || readThroughRecordset(*f.connection, f.listStatement) != 100) {
        state.SkipWithError("the list does not hold 100 rows");
        return;
    }
    double raw = 0, ours = 0;
    int turn = 0;
    for (auto _ : state) {
        takeTurns(turn, {timed(raw, [&] { benchmark::DoNotOptimize(readRaw(db, translated)); }), timed(ours, [&] {
                             benchmark::DoNotOptimize(readThroughRecordset(*f.connection, f.listStatement));
                         })});
    }
    state.counters["raw_us"] = usEach(state, raw);
    state.counters["ours_us"] = usEach(state, ours);
    reportRatio(state, QStringLiteral("recordset by name vs raw QSqlQuery by index, 100 rows:"), ours, raw, 1.10,
                Bound::Below);
}
BENCHMARK(BM_List100_RecordsetVsRaw)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void updateBench(benchmark::State& state, bool inTransaction)
{
    if (!ready(state))
        return;
    Fixture& f = fixture();
    const QSqlDatabase db = f.connection->database();
    if (inTransaction && !f.connection->BeginTrans()) {
        state.SkipWithError("no transaction");
        return;
    }
    // The edit screen's kind of statement: one row by its key.
    const QString update = QStringLiteral("UPDATE Payments SET Description = 'Deposit', ExpireMonth = %1 WHERE ID = 5");
    double raw = 0, ours = 0;
    int k = 0;
    int turn = 0;
    for (auto _ : state) {
        const QString a = update.arg(++k % 12);
        const QString b = update.arg(++k % 12);
        takeTurns(turn, {timed(raw,
                               [&] {
                                   QSqlQuery q(db);
                                   benchmark::DoNotOptimize(q.exec(a));
                                   q.finish();
                               }),
                         timed(ours, [&] { benchmark::DoNotOptimize(f.connection->Execute(b)); })});
    }
    if (inTransaction)
        f.connection->RollbackTrans();
    // No target: the overhead is only shown.
    state.counters["raw_us"] = usEach(state, raw);
    state.counters["ours_us"] = usEach(state, ours);
    state.counters["ratio"] = ours / raw;
    state.SetLabel(QStringLiteral("Execute vs raw QSqlQuery, one UPDATE: %1x, %2 us over")
                       .arg(ours / raw, 0, 'f', 3)
                       .arg(usEach(state, ours - raw), 0, 'f', 2)
                       .toStdString());
}

void BM_Update_InTransaction(benchmark::State& state)
{
    updateBench(state, true);
}
BENCHMARK(BM_Update_InTransaction)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void BM_Update_OnItsOwn(benchmark::State& state)
{
    updateBench(state, false);
}
BENCHMARK(BM_Update_OnItsOwn)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

// The translation alone, for the list statement (the largest the screens send).
void BM_TranslateList(benchmark::State& state)
{
    if (!ready(state))
        return;
    Fixture& f = fixture();
    const auto& dialect = f.connection->dialect();
    for (auto _ : state)
        benchmark::DoNotOptimize(dialect.translate(f.listStatement));
}
BENCHMARK(BM_TranslateList)->Unit(benchmark::kMicrosecond);

void BM_CreateScaleDatabase(benchmark::State& state)
{
    QTemporaryDir dir;
    double seconds = 0;
    int run = 0;
    for (auto _ : state) {
        QString error;
        const QString path = dir.filePath(QStringLiteral("scale%1.db").arg(++run));
        const auto t0 = Clock::now();
        const bool built = tesr::host::createScaleDatabase(path, 1000000, 100000, 100000, &error);
        seconds += since(t0);
        if (!built) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        QFile::remove(path);
    }
    seconds /= double(state.iterations());
    constexpr double target = 60;
    state.counters["seconds"] = seconds;
    state.counters["target_s"] = target;
    state.SetLabel(QStringLiteral("1,000,000 customers, 100,000 orders, 100,000 payments: %1 s (target < %2 s) %3")
                       .arg(seconds, 0, 'f', 1)
                       .arg(target, 0, 'f', 0)
                       .arg(verdict(seconds, target, Bound::Below))
                       .toStdString());
}
BENCHMARK(BM_CreateScaleDatabase)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
