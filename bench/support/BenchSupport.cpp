#include "support/BenchSupport.h"

#include "host/HostConfig.h"
#include "host/Logger.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <vector>

namespace tesr::bench {

double since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void takeTurns(int& turn, std::initializer_list<std::function<void()>> sides)
{
    const std::vector<std::function<void()>> all(sides);
    const std::size_t first = std::size_t(turn++) % all.size();
    for (std::size_t k = 0; k < all.size(); ++k)
        all[(first + k) % all.size()]();
}

double msEach(const benchmark::State& state, double seconds)
{
    return seconds / double(state.iterations()) * 1e3;
}

double usEach(const benchmark::State& state, double seconds)
{
    return seconds / double(state.iterations()) * 1e6;
}

QString verdict(double value, double target, Bound bound)
{
    const bool met = bound == Bound::Below ? value < target : value <= target;
    return met ? QStringLiteral("MET") : QStringLiteral("MISSED");
}

QString ratioVerdict(double ratio, double target, Bound bound)
{
    const bool below = bound == Bound::Below;
    return QStringLiteral("%1x (target %2 %3x) %4")
        .arg(ratio, 0, 'f', below ? 3 : 2)
        .arg(below ? QStringLiteral("<") : QStringLiteral("<="))
        .arg(target, 0, 'f', below ? 2 : 1)
        .arg(verdict(ratio, target, bound));
}

double reportRatio(benchmark::State& state, const QString& lead, double ours, double raw, double target, Bound bound,
                   const QString& more)
{
    const double ratio = raw > 0 ? ours / raw : 0;
    state.counters["ratio"] = ratio;
    state.counters["target"] = target;
    state.SetLabel((lead + QLatin1Char(' ') + ratioVerdict(ratio, target, bound) + more).toStdString());
    return ratio;
}

QString cacheFolder()
{
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-cache");
    QDir().mkpath(folder);
    return folder;
}

QString cachedFile(const QString& name, const std::function<bool(const QString& building)>& build, QString* error)
{
    const QString path = cacheFolder() + QLatin1Char('/') + name;
    if (QFile::exists(path))
        return path;
    // Built aside and renamed when complete: a run cut short leaves no half-built file behind.
    const QString building = path + QStringLiteral(".building");
    QFile::remove(building);
    if (!build(building))
        return {};
    // The host may keep its session to the file open, its last writes still in the write-ahead
    // log; a checkpoint puts them into the file itself before it is renamed.
    const QString session = QStringLiteral("checkpoint-") + QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), session);
        db.setDatabaseName(building);
        if (db.open())
            QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        db.close();
    }
    QSqlDatabase::removeDatabase(session);
    if (!QFile::rename(building, path)) {
        *error = QStringLiteral("cannot rename %1").arg(building);
        return {};
    }
    return path;
}

int readForward(const QSqlDatabase& db, const QString& statement, int columns)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.exec(statement);
    if (columns < 0)
        columns = q.record().count();
    int rows = 0;
    while (q.next()) {
        for (int i = 0; i < columns; ++i) {
            QVariant v = q.value(i);
            benchmark::DoNotOptimize(v);
        }
        ++rows;
    }
    return rows;
}

void openedAsTheHostDoes(QSqlDatabase& db)
{
    QSqlQuery q(db);
    q.exec(QStringLiteral("PRAGMA busy_timeout = 5000"));
    q.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    q.finish();
}

RawSession::RawSession(const QString& path) : m_name(QStringLiteral("raw-") + QUuid::createUuid().toString())
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(path);
    if (!db.open())
        m_error = db.lastError().text();
}

RawSession::~RawSession()
{
    QSqlDatabase::database(m_name).close();
    QSqlDatabase::removeDatabase(m_name);
}

std::shared_ptr<host::ReferenceHost> referenceHost(const QString& path, const QString& logFolder,
                                                   std::shared_ptr<host::Prompter> prompter)
{
    host::HostConfig config;
    config.setDatabaseUrl(path);
    config.setLogFolder(logFolder);
    return std::make_shared<host::ReferenceHost>(config, std::move(prompter),
                                                 std::make_shared<host::Logger>(logFolder));
}

} // namespace tesr::bench
