#pragma once

// Engine adaptation: the module writes every statement in T-SQL, as the host's own engine
// (SQL Server) reads it; a Dialect turns a command into what another engine accepts. Each
// engine is a short list of differences from T-SQL. SQL Server itself gets text verbatim.

#include <QString>
#include <QStringList>

#include <memory>

namespace tesr::ledger {

enum class Engine { SQLite, PostgreSQL, SqlServer };

class Dialect {
public:
    virtual ~Dialect() = default;

    virtual Engine engine() const = 0;
    virtual QString qtDriver() const = 0; // QSQLITE, QPSQL, QODBC

    // The command split into its statements (at ';' outside literals and brackets) and each
    // statement translated. Several statements are run all-or-nothing by the caller.
    virtual QStringList translate(const QString& command) const = 0;

    // Statements that begin, commit and roll back the one level of transaction.
    virtual QString beginTransaction() const = 0;
    virtual QString commitTransaction() const = 0;
    virtual QString rollbackTransaction() const = 0;
    // Savepoints around a compound command, so it is all-or-nothing inside a transaction too.
    virtual QString savepoint(const QString& name) const = 0;
    virtual QString releaseSavepoint(const QString& name) const = 0;
    virtual QString rollbackToSavepoint(const QString& name) const = 0;

    // Statements run once when a session opens (pragmas, session settings).
    virtual QStringList sessionSetup() const = 0;
};

std::unique_ptr<Dialect> makeDialect(Engine engine);

// Splits a T-SQL command at top-level ';' (not inside '...', "..." or [...]); empty pieces
// are dropped and each piece is trimmed.
QStringList splitStatements(const QString& command);

} // namespace tesr::ledger
