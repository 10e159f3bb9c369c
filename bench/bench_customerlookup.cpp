// The customer box's type-ahead over large customer tables (100,000 and 1,000,000 customers,
// built once by the reference host's scale generator and kept under the build folder in
// bench-cache/; delete that folder to build them again).
//
//   BM_FillVsRaw: one FillCustomerCombo (a connection of its own, the host's checks and
//     quoting, the recordset, 32 entries into a real combo box) against its own SELECT run raw
//     through QtSql, both measured in the same iterations. Two baselines: the raw job on a
//     fresh QtSql session with the settings the host's connections make, as the module takes
//     one connection per job ("raw_job", the target's baseline: module overhead under 20%),
//     and the statement alone on a session already open ("raw_stmt").
//   BM_Keystroke: one key typed into a shown customer box that refills itself on every edit,
//     as New Payment's is: milliseconds per keystroke for the empty box (the most recently
//     used), a common text, a rare one and one nothing matches.
//   BM_KeystrokeCoveringIndex: the slow cases again with an index that holds what the search
//     filters on (CustomerName, Active, SalesRepID), on a copy of the 1,000,000-customer file.

#include "host/DemoData.h"
#include "host/ReferenceHost.h"
#include "ledger/Dialect.h"
#include "platform/controls/ComboBox.h"
#include "shared/modSharedCustomers.h"
#include "support/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QKeyEvent>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <memory>

namespace {

using namespace tesr::bench;

// What the user has typed before the measured key, the key, and what the box then holds.
struct Case {
    const char* name;
    const char* before;
    int key;
    const char* typed;
};
const Case kCases[] = {
    {"empty box (most recently used)", "x", Qt::Key_Backspace, ""},
    {"common text 'Ma'", "M", Qt::Key_A, "Ma"},
    // One customer of 100,000, eleven of 1,000,000; the quote goes through the host's quoting.
    {"rare text 'Kevin O'Neil 49'", "Kevin O'Neil 4", Qt::Key_9, "Kevin O'Neil 49"},
    {"text nothing matches 'Qz'", "Q", Qt::Key_Z, "Qz"},
};

// A company database of that many customers, built on first use and kept.
QString scaleDatabase(int customers, bool coveringIndex, QString* error)
{
    const QString name = QStringLiteral("customers-%1%2.db").arg(customers).arg(coveringIndex ? "-covering" : "");
    if (!coveringIndex) {
        return cachedFile(
            name,
            [&](const QString& building) {
                return tesr::host::createScaleDatabase(building, customers, 10000, 10000, error);
            },
            error);
    }
    return cachedFile(
        name,
        [&](const QString& building) {
            const QString plain = scaleDatabase(customers, false, error);
            if (plain.isEmpty())
                return false;
            if (!QFile::copy(plain, building)) {
                *error = QStringLiteral("cannot copy %1").arg(plain);
                return false;
            }
            const QString connection = QUuid::createUuid().toString();
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(building);
            QSqlQuery q(db);
            const bool indexed =
                db.open() && q.exec(QStringLiteral(
                                 "CREATE INDEX ixCustomersSearch ON Customers (CustomerName, Active, SalesRepID)"));
            if (!indexed)
                *error = q.lastError().text();
            q.finish();
            db.close();
            return indexed;
        },
        error);
}

// The reference host over one database file, a shown dialog with the customer box, and a
// QtSql session of its own for the raw baseline.
struct Setup {
    QString path;
    QString error;
    std::unique_ptr<QTemporaryDir> logs;
    std::shared_ptr<tesr::host::ReferenceHost> host;
    std::unique_ptr<QDialog> window;
    tesr::ComboBox* box = nullptr;
    std::unique_ptr<RawSession> raw;

    Setup(int customers, bool coveringIndex)
    {
        path = scaleDatabase(customers, coveringIndex, &error);
        if (path.isEmpty())
            return;
        logs = std::make_unique<QTemporaryDir>();
        host = referenceHost(path, logs->path());
        window = std::make_unique<QDialog>();
        window->resize(420, 80);
        box = new tesr::ComboBox(window.get());
        box->setGeometry(10, 10, 380, 24);
        QObject::connect(box, &tesr::ComboBox::Change, box,
                         [this] { tesr::modSharedCustomers::FillCustomerCombo(*box, host.get(), true); });
        window->show();
        box->setFocus();
        QApplication::processEvents();
        raw = std::make_unique<RawSession>(path);
        error = raw->error();
    }
};

Setup& setup(int customers, bool coveringIndex = false)
{
    return keptUntilQuit<Setup>(std::pair{customers, coveringIndex},
                                [&] { return std::make_unique<Setup>(customers, coveringIndex); });
}

// The statement as the engine receives it (the module writes T-SQL).
QString translated(Setup& s, const QString& typed)
{
    static const auto dialect = tesr::ledger::makeDialect(tesr::ledger::Engine::SQLite);
    return dialect->translate(tesr::modSharedCustomers::CustomerSearchStatement(typed, true, 1, *s.host)).front();
}

// The entries' ID and name, as the box reads them.
int readRaw(const QSqlDatabase& db, const QString& statement)
{
    return readForward(db, statement, 2);
}

// The same job raw: a fresh session, the statement, the rows, closed again.
int rawJob(const QString& path, const QString& statement)
{
    return onFreshSession(path, [&](const QSqlDatabase& db) { return readRaw(db, statement); });
}

void BM_FillVsRaw(benchmark::State& state)
{
    const int customers = int(state.range(0));
    const Case& c = kCases[state.range(1)];
    Setup& s = setup(customers);
    if (!s.error.isEmpty() || !s.host) {
        state.SkipWithError(qPrintable(s.error));
        return;
    }
    const QString typed = QString::fromUtf8(c.typed);
    const QString statement = translated(s, typed);
    const QSqlDatabase raw = s.raw->db();
    s.box->SetText(typed);
    tesr::modSharedCustomers::FillCustomerCombo(*s.box, s.host.get(), false);
    const int expected = s.box->ListCount();
    if (rawJob(s.path, statement) != expected || readRaw(raw, statement) != expected) {
        state.SkipWithError("the module and the raw statement disagree");
        return;
    }
    double ours = 0, job = 0, stmt = 0;
    int turn = 0;
    for (auto _ : state) {
        takeTurns(turn, {timed(ours, [&] { tesr::modSharedCustomers::FillCustomerCombo(*s.box, s.host.get(), false); }),
                         timed(job, [&] { benchmark::DoNotOptimize(rawJob(s.path, statement)); }),
                         timed(stmt, [&] { benchmark::DoNotOptimize(readRaw(raw, statement)); })});
    }
    constexpr double target = 1.20;
    state.counters["entries"] = expected;
    state.counters["ours_ms"] = msEach(state, ours);
    state.counters["raw_job_ms"] = msEach(state, job);
    state.counters["raw_stmt_ms"] = msEach(state, stmt);
    state.counters["ratio_stmt"] = ours / stmt;
    reportRatio(state, QStringLiteral("%1:").arg(QLatin1StringView(c.name)), ours, job, target, Bound::Below);
}

// One key into the shown box, until the refilled list has been laid out.
double keystroke(Setup& s, const Case& c)
{
    s.box->SetText(QString::fromUtf8(c.before));
    s.box->SetSelStart(int(s.box->Text().size()));
    const QString text = c.key == Qt::Key_Backspace ? QString() : QString(QChar(c.key).toLower());
    const auto t0 = Clock::now();
    QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier, text);
    QApplication::sendEvent(s.box, &press);
    QKeyEvent release(QEvent::KeyRelease, c.key, Qt::NoModifier, text);
    QApplication::sendEvent(s.box, &release);
    QApplication::processEvents();
    return since(t0);
}

void keystrokeBench(benchmark::State& state, bool coveringIndex)
{
    const int customers = int(state.range(0));
    const Case& c = kCases[state.range(1)];
    Setup& s = setup(customers, coveringIndex);
    if (!s.error.isEmpty() || !s.host) {
        state.SkipWithError(qPrintable(s.error));
        return;
    }
    keystroke(s, c);
    if (s.box->Text() != QString::fromUtf8(c.typed)) {
        state.SkipWithError(qPrintable(QStringLiteral("the box holds \"%1\"").arg(s.box->Text())));
        return;
    }
    double total = 0;
    for (auto _ : state)
        total += keystroke(s, c);
    const double ms = total / double(state.iterations()) * 1e3;
    state.counters["ms_per_key"] = ms;
    state.counters["entries"] = s.box->ListCount();
    state.SetLabel(QStringLiteral("%1 customers, %2: %3 ms per keystroke (%4 entries)")
                       .arg(customers)
                       .arg(QLatin1StringView(c.name))
                       .arg(ms, 0, 'f', 2)
                       .arg(s.box->ListCount())
                       .toStdString());
}

void BM_Keystroke(benchmark::State& state)
{
    keystrokeBench(state, false);
}

void BM_KeystrokeCoveringIndex(benchmark::State& state)
{
    keystrokeBench(state, true);
}

void allCases(benchmark::internal::Benchmark* b)
{
    for (int customers : {100000, 1000000})
        for (int k = 0; k < int(std::size(kCases)); ++k)
            b->Args({customers, k});
}

} // namespace

BENCHMARK(BM_FillVsRaw)->Apply(allCases)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Keystroke)->Apply(allCases)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_KeystrokeCoveringIndex)
    ->Args({1000000, 2})
    ->Args({1000000, 3})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);
