#include "support/BenchSupport.h"

#include "host/HostConfig.h"
#include "host/Logger.h"
#include "ledger/Schema.h"
#include "platform/SqlConnection.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUuid>

#include <vector>

#include <sqlite3.h>

#include <time.h>

namespace tesr::bench {

double since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
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
    const bool met = bound == Bound::Below    ? value < target
                     : bound == Bound::AtMost ? value <= target
                                              : value >= target;
    return met ? QStringLiteral("MET") : QStringLiteral("MISSED");
}

QString ratioVerdict(double ratio, double target, Bound bound)
{
    const bool below = bound == Bound::Below;
    return QStringLiteral("%1x (target %2 %3x) %4")
        .arg(ratio, 0, 'f', below ? 3 : 2)
        .arg(below                    ? QStringLiteral("<")
             : bound == Bound::AtMost ? QStringLiteral("<=")
                                      : QStringLiteral(">="))
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

int readForwardOnEngine(const QSqlDatabase& db, const QString& statement, int columns)
{
    sqlite3* handle = *static_cast<sqlite3* const*>(db.driver()->handle().constData());
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare16_v2(handle, statement.utf16(), int(statement.size() * sizeof(QChar)), &stmt, nullptr) !=
        SQLITE_OK)
        return -1;
    int rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int i = 0; i < columns; ++i) {
            switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_INTEGER:
                benchmark::DoNotOptimize(sqlite3_column_int64(stmt, i));
                break;
            case SQLITE_FLOAT:
                benchmark::DoNotOptimize(sqlite3_column_double(stmt, i));
                break;
            case SQLITE_NULL:
                break;
            default:
                benchmark::DoNotOptimize(sqlite3_column_text(stmt, i));
                benchmark::DoNotOptimize(sqlite3_column_bytes(stmt, i));
            }
        }
        ++rows;
    }
    sqlite3_finalize(stmt);
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

namespace {

// Runs statements on the server's maintenance database, on a session of its own.
bool onServer(const QString& serverUrl, const QStringList& statements, QString* error)
{
    const auto url = DatabaseUrl::parse(serverUrl, error);
    if (!url)
        return false;
    const QString name = QStringLiteral("admin-") + QUuid::createUuid().toString();
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(url->host);
        db.setPort(url->port);
        db.setUserName(url->user);
        db.setPassword(url->password);
        db.setDatabaseName(url->database);
        ok = db.open();
        if (!ok)
            *error = db.lastError().text();
        for (const QString& statement : statements) {
            QSqlQuery query(db);
            if (ok && !query.exec(statement)) {
                ok = false;
                *error = query.lastError().text();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

} // namespace

QString postgresServer(QString* error)
{
    static QString url = qEnvironmentVariable("TESR_TEST_PG_URL");
    static QString why;
    static bool tried = false;
    if (url.isEmpty() && !tried) {
        tried = true;
        static QTemporaryDir folder;
        const QString script = QStringLiteral(TESR_SOURCE_DIR "/scripts/pg-cluster.sh");
        QProcess start;
        start.start(script, {QStringLiteral("start"), folder.filePath(QStringLiteral("pg"))});
        start.waitForFinished(120000);
        url = QString::fromUtf8(start.readAllStandardOutput()).trimmed();
        if (start.exitCode() != 0 || url.isEmpty()) {
            url.clear();
            why = QStringLiteral("no PostgreSQL server (set TESR_TEST_PG_URL, or install PostgreSQL): ") +
                  QString::fromUtf8(start.readAllStandardError()).trimmed();
        } else {
            const QString dir = folder.filePath(QStringLiteral("pg"));
            qAddPostRoutine([] {
                QProcess::execute(QStringLiteral(TESR_SOURCE_DIR "/scripts/pg-cluster.sh"),
                                  {QStringLiteral("stop"), folder.filePath(QStringLiteral("pg"))});
            });
        }
    }
    if (url.isEmpty())
        *error = why;
    return url;
}

QString newPostgresCompany(const QString& name, QString* error)
{
    const QString server = postgresServer(error);
    if (server.isEmpty())
        return {};
    const QString database = QStringLiteral("tesr_bench_%1_%2").arg(name).arg(QCoreApplication::applicationPid());
    if (!onServer(server,
                  {QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(database),
                   QStringLiteral("CREATE DATABASE %1").arg(database)},
                  error))
        return {};
    static QStringList made;
    if (made.isEmpty())
        qAddPostRoutine([] {
            QString ignored;
            const QString server = postgresServer(&ignored);
            for (const QString& db : std::as_const(made))
                onServer(server, {QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(db)}, &ignored);
        });
    made << database;
    auto url = *DatabaseUrl::parse(server);
    url.database = database;
    auto connection = SqlConnection::open(url, error);
    if (!connection)
        return {};
    QSqlDatabase db = connection->database();
    if (!ledger::createSchema(db, ledger::Engine::PostgreSQL, error))
        return {};
    const QString login = url.password.isEmpty() ? url.user : url.user + u':' + url.password;
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(login, url.host).arg(url.port).arg(database);
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
