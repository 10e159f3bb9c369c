#pragma once

// Engine sessions: opening one (the checks before a SQLite file is opened, the settings every
// session gets) and keeping closed ones for the next job.

#include "platform/SqlConnection.h"
#include "platform/sql/Postgres.h"
#include "platform/sql/Sqlite.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

#include <memory>

namespace tesr::sql {

// One engine session. Shared by the SqlConnection and every recordset it opened, so that a
// recordset read after its connection was closed still has the session underneath it.
struct Session {
    QString name;
    QSqlDatabase db;
    QString poolKey;         // set when the session may be kept for reuse after it is closed
    QString filePath;        // SQLite: the file the session has open ...
    QByteArray fileIdentity; // ... and its device and inode when it was opened

    ~Session();

    // SQLite: the session's compiled statements.
    SqliteStatements& sqlite();
    // PostgreSQL: the session's prepared statements and round trips.
    PostgresStatements& postgres();

private:
    // Both go before the session is closed.
    std::unique_ptr<SqliteStatements> m_sqlite;
    std::unique_ptr<PostgresStatements> m_postgres;
};

// A session on the database: one kept from an earlier job when there is one, else a new one
// with the engine's settings; nullptr with the reason in *error when it cannot be opened.
std::shared_ptr<Session> openSession(const DatabaseUrl& url, SqlConnection::OpenMode mode,
                                     const ledger::Dialect& dialect, QString* error);

// Keeps a closed session with no transaction for the next job of this thread on the same
// database.
void keepForReuse(std::shared_ptr<Session> session);

} // namespace tesr::sql
