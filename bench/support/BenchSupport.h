// What the benchmarks share: the clock, taking turns, the counters and labels they report, the
// cached databases under the build folder, raw QtSql reads and the reference host.
#pragma once

#include "host/Prompter.h"
#include "host/ReferenceHost.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QString>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <utility>

namespace tesr::bench {

using Clock = std::chrono::steady_clock;

// Seconds from `t0` until now.
double since(Clock::time_point t0);

// The processor time this thread has used, in seconds: unlike the clock, it does not count the
// time other programs had the processor (the machine is shared) or the disk was waited for.
double threadCpuSeconds();

// Clock and processor seconds spent on one side of a comparison.
struct Spent {
    double wall = 0;
    double cpu = 0;
};

// `work` wrapped so that each call adds its clock and processor time to `spent`.
template <class Work> std::function<void()> timed(Spent& spent, Work work)
{
    return [&spent, work] {
        const auto t0 = Clock::now();
        const double c0 = threadCpuSeconds();
        work();
        spent.cpu += threadCpuSeconds() - c0;
        spent.wall += since(t0);
    };
}

// `work` wrapped so that each call adds its run time, in seconds, to `total`.
template <class Work> std::function<void()> timed(double& total, Work work)
{
    return [&total, work] {
        const auto t0 = Clock::now();
        work();
        total += since(t0);
    };
}

// Runs every side once, starting with side `turn` modulo their number, and moves on to the next
// turn: no side always runs on a cache another warmed.
void takeTurns(int& turn, std::initializer_list<std::function<void()>> sides);

// A total of seconds over the run as the mean per iteration, in milliseconds or microseconds.
double msEach(const benchmark::State& state, double seconds);
double usEach(const benchmark::State& state, double seconds);

// How a measure keeps to its target.
enum class Bound {
    Below,   // strictly under it (shown with three decimals against two)
    AtMost,  // not over it (shown with two decimals against one)
    AtLeast, // not under it (shown with two decimals against one)
};

// "MET" when `value` keeps to `target`, else "MISSED".
QString verdict(double value, double target, Bound bound);

// "<ratio>x (target <= <target>x) MET", or with "<" for a target to stay under.
QString ratioVerdict(double ratio, double target, Bound bound);

// Sets the "ratio" (ours/raw, 0 without a raw time) and "target" counters and the label
// "<lead> <ratioVerdict><more>"; returns the ratio.
double reportRatio(benchmark::State& state, const QString& lead, double ours, double raw, double target, Bound bound,
                   const QString& more = {});

// The folder under the build folder where built databases are kept between runs.
QString cacheFolder();

// The file `name` in the cache folder, made by `build` (given a scratch path it fills) on first
// use; empty with `*error` set when the build fails.
QString cachedFile(const QString& name, const std::function<bool(const QString& building)>& build, QString* error);

// Runs `statement` forward-only on `db` and reads `columns` values of every row (every column
// when negative); returns the rows read.
int readForward(const QSqlDatabase& db, const QString& statement, int columns = -1);

// The same read stepped through SQLite's own interface on the session's connection, each of the
// `columns` values fetched as the engine holds it (no conversion): the engine's own limit.
int readForwardOnEngine(const QSqlDatabase& db, const QString& statement, int columns);

// Gives a fresh session the two settings the host's connections make.
void openedAsTheHostDoes(QSqlDatabase& db);

// A fresh QtSql session on `path` with the host's settings, handed to `work` and closed again
// (as the module takes one connection per job); a default result when it does not open.
template <class Work> auto onFreshSession(const QString& path, Work work)
{
    static int serial = 0;
    const QString name = QStringLiteral("job-%1").arg(++serial);
    decltype(work(std::declval<QSqlDatabase&>())) result{};
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            openedAsTheHostDoes(db);
            result = work(db);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

// A QtSql session of its own on one database file, for the raw side; gone with this object.
class RawSession {
public:
    explicit RawSession(const QString& path);
    ~RawSession();
    RawSession(const RawSession&) = delete;
    RawSession& operator=(const RawSession&) = delete;

    QSqlDatabase db() const { return QSqlDatabase::database(m_name); }
    QString error() const { return m_error; }

private:
    QString m_name;
    QString m_error;
};

// A PostgreSQL server for the benchmarks: the one TESR_TEST_PG_URL names, else a throwaway
// cluster started for this run with scripts/pg-cluster.sh (and removed when the run ends); its
// URL, or empty with *error saying why there is none.
QString postgresServer(QString* error);

// A new database with the company schema on that server, dropped when the run ends; its URL, or
// empty with *error.
QString newPostgresCompany(const QString& name, QString* error);

// The reference host over the database file `path`, logging into `logFolder`; a null prompter
// leaves the host its own dialogs.
std::shared_ptr<host::ReferenceHost>
referenceHost(const QString& path, const QString& logFolder,
              std::shared_ptr<host::Prompter> prompter = std::make_shared<host::ConsolePrompter>());

// The fixture for `key`, made by `make` on first use and kept until the application object goes
// (its windows and sessions need it).
template <class T, class Key, class Make> T& keptUntilQuit(const Key& key, Make make)
{
    static std::map<Key, std::unique_ptr<T>> all;
    auto& kept = all[key];
    if (!kept) {
        if (all.size() == 1)
            qAddPostRoutine([] { all.clear(); });
        kept = make();
    }
    return *kept;
}

// The fixture at `scale` times its sizes, one at a time: asking for another scale lets the last
// one go first (large databases do not pile up).
template <class F> F& oneScaleAtATime(int scale)
{
    static std::unique_ptr<F> f;
    static int made = 0;
    if (made != scale) {
        f.reset();
        f = std::make_unique<F>(scale);
        made = scale;
    }
    return *f;
}

} // namespace tesr::bench
