#include "host/DatabaseCheck.h"

#include "host/DemoData.h"
#include "ledger/Schema.h"
#include "platform/SqlConnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tesr::host {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// The first 16 bytes of every SQLite database file.
bool looksLikeSqlite(const QString& path, bool* readable)
{
    QFile file(path);
    *readable = file.open(QIODevice::ReadOnly);
    if (!*readable)
        return false;
    // An empty file would be an empty database to SQLite, but no company database is empty.
    return file.read(16) == QByteArray("SQLite format 3\0", 16);
}

QString displayName(const QString& url)
{
    const auto parsed = DatabaseUrl::parse(url);
    if (!parsed)
        return url;
    return parsed->engine == ledger::Engine::SQLite ? QDir::toNativeSeparators(parsed->path) : parsed->toString();
}

} // namespace

DatabaseStatus inspectDatabase(const QString& url)
{
    QString error;
    const auto parsed = DatabaseUrl::parse(url, &error);
    if (!parsed)
        return {DatabaseState::CannotOpen, error};
    if (parsed->engine == ledger::Engine::SQLite) {
        const QFileInfo info(parsed->path);
        if (!info.exists())
            return {DatabaseState::Missing, QString()};
        if (!info.isFile() || !info.isReadable())
            return {DatabaseState::Unreadable, QStringLiteral("Not a readable file.")};
        bool readable = false;
        if (!looksLikeSqlite(parsed->path, &readable)) {
            return readable ? DatabaseStatus{DatabaseState::NotADatabase,
                                             info.size() == 0 ? QStringLiteral("The file is empty.")
                                                              : QStringLiteral("The file has no SQLite header.")}
                            : DatabaseStatus{DatabaseState::Unreadable, QStringLiteral("The file cannot be opened.")};
        }
    }
    auto conn = SqlConnection::open(*parsed, &error);
    if (!conn)
        return {DatabaseState::CannotOpen, error};
    const bool ready = ledger::hasSchema(conn->database(), parsed->engine);
    conn->Close();
    return {ready ? DatabaseState::Ready : DatabaseState::NoSchema, QString()};
}

bool createCompanySchema(const QString& url, QString* error)
{
    const auto parsed = DatabaseUrl::parse(url, error);
    if (!parsed)
        return false;
    auto conn = SqlConnection::open(*parsed, error);
    if (!conn)
        return false;
    bool ok = false;
    {
        QSqlDatabase db = conn->database(); // let go of before the session closes
        ok = ledger::createSchema(db, parsed->engine, error);
    }
    conn->Close();
    return ok;
}

bool recreateDemoDatabase(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        setError(error, QStringLiteral("%1 is a folder.").arg(path));
        return false;
    }
    for (const QString& suffix :
         {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")})
        QFile::remove(path + suffix);
    if (QFileInfo::exists(path)) {
        setError(error, QStringLiteral("%1 could not be replaced.").arg(path));
        return false;
    }
    if (!QDir().mkpath(info.absolutePath())) {
        setError(error, QStringLiteral("The folder %1 could not be created.").arg(info.absolutePath()));
        return false;
    }
    return createDemoDatabase(path, error);
}

bool prepareCompanyDatabase(const QString& url, bool isDefaultDatabase, Prompter& prompter, Logger* logger)
{
    const DatabaseStatus status = inspectDatabase(url);
    const QString name = displayName(url);
    auto fail = [&](const QString& headline, const QString& explanation, const QString& detail) {
        if (logger)
            logger->error(headline, explanation, detail);
        prompter.showError(headline, explanation, detail);
        return false;
    };

    switch (status.state) {
    case DatabaseState::Ready:
        return true;
    case DatabaseState::Missing: {
        if (!isDefaultDatabase)
            return fail(QStringLiteral("The company database was not found."),
                        QStringLiteral("There is no file at %1. Open a company database with File > Open Database, "
                                       "or start the program with --database and the path of one.")
                            .arg(name),
                        QString());
        QString error;
        if (!recreateDemoDatabase(DatabaseUrl::parse(url)->path, &error))
            return fail(QStringLiteral("The demo database could not be created."),
                        QStringLiteral("The program tried to create a demo company database at %1.").arg(name), error);
        if (logger)
            logger->info(QStringLiteral("Created the demo database."), name);
        return inspectDatabase(url).state == DatabaseState::Ready;
    }
    case DatabaseState::Unreadable:
        return fail(QStringLiteral("The company database cannot be read."),
                    QStringLiteral("%1 could not be opened for reading. Check that it is a file and that you may "
                                   "read and write it.")
                        .arg(name),
                    status.detail);
    case DatabaseState::NotADatabase:
        return fail(QStringLiteral("The file is not a company database."),
                    QStringLiteral("%1 is not a SQLite database. Open a company database with File > Open Database, "
                                   "or start the program with --database and the path of one.")
                        .arg(name),
                    status.detail);
    case DatabaseState::NoSchema: {
        const int answer = prompter.ask(
            QStringLiteral("The database has no payment tables. Create them now?"),
            QStringLiteral("%1 is a database, but it does not hold the tables the payments module works with. "
                           "Creating them adds empty tables and views and changes nothing that is already there.")
                .arg(name),
            6, 2);
        if (answer != 2)
            return false;
        QString error;
        if (!createCompanySchema(url, &error))
            return fail(QStringLiteral("The payment tables could not be created."),
                        QStringLiteral("Nothing was changed in %1.").arg(name), error);
        if (logger)
            logger->info(QStringLiteral("Created the payment tables."), name);
        return true;
    }
    case DatabaseState::CannotOpen:
        break;
    }
    return fail(QStringLiteral("The company database could not be opened."), name, status.detail);
}

} // namespace tesr::host
