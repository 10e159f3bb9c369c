#include "platform/sql/Session.h"

#include "platform/SqliteLike.h"
#include "platform/sql/Execution.h"
#include "platform/sql/Results.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimeZone>
#include <QUrl>

#include <sys/stat.h>

#include <atomic>
#include <vector>

namespace tesr::sql {

namespace {

std::atomic<quint64> sessionCounter{0};

// The first bytes of every SQLite 3 database file.
constexpr char sqliteMagic[] = "SQLite format 3";

// Checks a SQLite file before it is opened, so that the user reads why it cannot be used
// instead of an engine message, and so that a mistyped path never leaves an empty file behind.
bool checkSqliteFile(const QString& path, SqlConnection::OpenMode mode, QString* error)
{
    auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (path.trimmed().isEmpty())
        return fail(QStringLiteral("No company database file was given."));
    const QFileInfo info(path);
    if (!info.exists()) {
        if (mode == SqlConnection::OpenMode::MustExist)
            return fail(QStringLiteral("The company database file \"%1\" does not exist.").arg(path));
        if (!QDir().mkpath(info.absolutePath()))
            return fail(QStringLiteral("The folder \"%1\" for the company database could not be created.")
                            .arg(info.absolutePath()));
        // A new database (and the journals the engine gives the same permissions) is readable
        // by the user alone; an empty file is a new database to the engine.
        QFile created(path);
        if (!created.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
            !created.exists())
            return fail(QStringLiteral("The company database file \"%1\" could not be created: %2.")
                            .arg(path, created.errorString()));
        return true;
    }
    if (info.isDir())
        return fail(QStringLiteral("\"%1\" is a folder, not a company database file.").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) // 16 bytes: no read-ahead buffer
        return fail(
            QStringLiteral("The company database file \"%1\" cannot be read: %2.").arg(path, file.errorString()));
    const QByteArray header = file.read(16);
    file.close();
    if (header.isEmpty()) {
        if (mode == SqlConnection::OpenMode::MustExist)
            return fail(QStringLiteral("The file \"%1\" is empty; it is not a company database.").arg(path));
        return true;
    }
    if (header.size() < 16 || !header.startsWith(sqliteMagic) || header[15] != '\0')
        return fail(QStringLiteral("The file \"%1\" is not a SQLite database.").arg(path));
    if (!info.isWritable())
        return fail(QStringLiteral("The company database file \"%1\" is read-only; payments could not be saved to it.")
                        .arg(path));
    return true;
}

// Device and inode of a file, empty when it cannot be read.
QByteArray fileIdentity(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QByteArray();
    return QByteArray::number(qulonglong(st.st_dev)) + ':' + QByteArray::number(qulonglong(st.st_ino));
}

// Every job of the module opens a session of its own, and starting one is costly: a server
// session needs a server process, a login and the settings (some 20 ms); a SQLite session reads
// the whole schema again on its first statement (1-2 ms, several times per screen). A closed
// session with no transaction is kept a short while for the next job of the same thread on the
// same database, and checked before it is used again; a SQLite session only while its file is
// still the one it opened (a file replaced under the same name must not be read through the
// old one).
class SessionPool {
public:
    static constexpr int MaxIdle = 4;
    static constexpr qint64 IdleMs = 30000;

    // The thread's pool; nullptr once it is gone (a connection closed while the thread or the
    // program ends keeps no session, it lets it go).
    static SessionPool* local()
    {
        thread_local SessionPool pool;
        return alive() ? &pool : nullptr;
    }
    ~SessionPool() { alive() = false; }

    std::shared_ptr<Session> take(const QString& key)
    {
        expire();
        for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
            if (it->session->poolKey != key)
                continue;
            std::shared_ptr<Session> session = std::move(it->session);
            m_idle.erase(it);
            if (!session->filePath.isEmpty() && fileIdentity(session->filePath) != session->fileIdentity)
                return nullptr; // the file was replaced or removed: its old session goes
            QSqlQuery probe(session->db);
            if (session->db.isOpen() && probe.exec(QStringLiteral("SELECT 1")))
                return session;
            return nullptr; // ended by the server meanwhile: dropped, a new one is opened
        }
        return nullptr;
    }

    void give(std::shared_ptr<Session> session)
    {
        expire();
        m_idle.push_back({std::move(session), {}});
        m_idle.back().since.start();
        while (int(m_idle.size()) > MaxIdle)
            m_idle.erase(m_idle.begin());
    }

    void clear() { m_idle.clear(); }

private:
    SessionPool()
    {
        // The main thread's pool goes before QtSql's drivers do.
        if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread())
            qAddPostRoutine([] {
                if (SessionPool* pool = SessionPool::local())
                    pool->clear();
            });
    }

    // Trivially destructible, so it can still be read after the pool itself is destroyed.
    static bool& alive()
    {
        thread_local bool pool = true;
        return pool;
    }

    void expire()
    {
        std::erase_if(m_idle, [](const Idle& idle) { return idle.since.elapsed() > IdleMs; });
    }

    struct Idle {
        std::shared_ptr<Session> session;
        QElapsedTimer since;
    };
    std::vector<Idle> m_idle;
};

// What makes two sessions interchangeable: the same server, database, login, settings and
// workstation time zone.
QString poolKey(const DatabaseUrl& url)
{
    return QStringList{url.toString(), url.password, url.connectOptions, QString::number(url.busyTimeoutMs),
                       QString::fromLatin1(QTimeZone::systemTimeZoneId())}
        .join(QChar(0x1f));
}

} // namespace

Session::~Session()
{
    m_sqlite.reset();
    m_postgres.reset();
    if (db.isOpen())
        db.close();
    db = QSqlDatabase();
    if (!name.isEmpty())
        QSqlDatabase::removeDatabase(name);
}

SqliteStatements& Session::sqlite()
{
    if (!m_sqlite) {
        // The QSQLITE driver's handle is the sqlite3 connection it opened.
        const QVariant handle = db.driver()->handle();
        m_sqlite = std::make_unique<SqliteStatements>(*static_cast<sqlite3* const*>(handle.constData()));
    }
    return *m_sqlite;
}

PostgresStatements& Session::postgres()
{
    if (!m_postgres)
        m_postgres = std::make_unique<PostgresStatements>(postgresHandle(db));
    return *m_postgres;
}

std::shared_ptr<Session> openSession(const DatabaseUrl& url, SqlConnection::OpenMode mode,
                                     const ledger::Dialect& dialect, QString* error)
{
    auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return std::shared_ptr<Session>();
    };

    QString where = url.toString();
    if (url.engine == ledger::Engine::SQLite) {
        QString why;
        if (!checkSqliteFile(url.path, mode, &why))
            return fail(why);
        where = QStringLiteral("\"%1\"").arg(url.path);
    }

    if (url.engine == ledger::Engine::PostgreSQL || url.engine == ledger::Engine::SQLite) {
        SessionPool* pool = SessionPool::local();
        if (auto pooled = pool ? pool->take(poolKey(url) + QString::number(int(mode))) : nullptr)
            return pooled;
    }

    auto session = std::make_shared<Session>();
    session->name = QStringLiteral("tesr-session-%1").arg(++sessionCounter);
    session->db = QSqlDatabase::addDatabase(dialect.qtDriver(), session->name);
    QSqlDatabase& db = session->db;
    switch (url.engine) {
    case ledger::Engine::SQLite: {
        const QString absolute = QFileInfo(url.path).absoluteFilePath();
        if (mode == SqlConnection::OpenMode::MustExist) {
            // mode=rw: the engine itself refuses to create a file that vanished meanwhile.
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
            db.setDatabaseName(QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=rw"));
        } else {
            db.setDatabaseName(absolute);
        }
        break;
    }
    case ledger::Engine::PostgreSQL:
        registerMoneyConversions();
        db.setHostName(url.host);
        db.setPort(url.port);
        db.setUserName(url.user);
        db.setPassword(url.password);
        db.setDatabaseName(url.database);
        // A server that does not answer is reported rather than waited for.
        db.setConnectOptions(url.connectOptions.contains(QLatin1StringView("connect_timeout"))
                                 ? url.connectOptions
                                 : QStringLiteral("connect_timeout=10") +
                                       (url.connectOptions.isEmpty() ? QString() : u';' + url.connectOptions));
        break;
    case ledger::Engine::SqlServer:
        db.setDatabaseName(url.odbc);
        break;
    }
    if (!db.open())
        return fail(
            QStringLiteral("The company database %1 could not be opened: %2").arg(where, engineText(db.lastError())));
    // LIKE as the shop's SQL Server reads it ([...] classes, every letter case-blind).
    if (url.engine == ledger::Engine::SQLite) {
        if (QString why; !installTsqlLike(db, &why))
            return fail(QStringLiteral("The company database %1 could not be opened: %2").arg(where, why));
    }

    QStringList setup;
    setup << dialect.lockWaitStatement(url.busyTimeoutMs) << dialect.sessionSetup();
    if (url.engine == ledger::Engine::SQLite) {
        // Reading the catalogue is the first real read of the file: a damaged or encrypted
        // file fails here rather than in the middle of a screen.
        setup.prepend(QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
    }
    for (const QString& statement : setup) {
        if (statement.isEmpty())
            continue;
        QSqlQuery query(db);
        if (!query.exec(statement)) {
            const QString why = engineText(query.lastError());
            if (url.engine == ledger::Engine::SQLite && why.contains(QLatin1StringView("not a database")))
                return fail(QStringLiteral("The file %1 is not a SQLite database (or it is damaged).").arg(where));
            return fail(QStringLiteral("The company database %1 could not be opened: %2\nStatement: %3")
                            .arg(where, why, statement));
        }
    }

    if (url.engine == ledger::Engine::PostgreSQL) {
        // Columns the database fills with "now" (AddedOn) read the workstation's wall clock,
        // as they do on SQLite. A zone the server does not know leaves its own.
        const QByteArray zone = QTimeZone::systemTimeZoneId();
        bool plain = !zone.isEmpty();
        for (char ch : zone)
            plain = plain && (QChar::isLetterOrNumber(uchar(ch)) || ch == '/' || ch == '_' || ch == '-' || ch == '+');
        if (plain)
            QSqlQuery(db).exec(QStringLiteral("SET TIME ZONE '%1'").arg(QString::fromLatin1(zone)));
    }

    if (url.engine == ledger::Engine::PostgreSQL)
        session->poolKey = poolKey(url) + QString::number(int(mode));
    if (url.engine == ledger::Engine::SQLite) {
        session->filePath = QFileInfo(url.path).absoluteFilePath();
        session->fileIdentity = fileIdentity(session->filePath);
        if (!session->fileIdentity.isEmpty())
            session->poolKey = poolKey(url) + QString::number(int(mode));
    }
    return session;
}

void keepForReuse(std::shared_ptr<Session> session)
{
    if (SessionPool* pool = SessionPool::local())
        pool->give(std::move(session));
}

} // namespace tesr::sql
