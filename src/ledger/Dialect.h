#pragma once

// Engine adaptation: the module writes every statement in T-SQL, as the host's own engine
// (SQL Server) reads it; a Dialect turns a command into what another engine accepts. Each
// engine is a short list of differences from T-SQL. SQL Server itself gets text verbatim.
//
// What T-SQL means and the other engines are told:
//   - SELECT TOP n                    -> ... LIMIT n
//   - [bracketed names]               -> plain names (quoted when they need it)
//   - dbo.PaymentDetails(x)           -> SQLite: a lookup in a view; PostgreSQL: the same
//                                        function, in the database's dbo schema
//   - table hints WITH (UPDLOCK, ...) -> SQLite: dropped (a writer holds the whole file);
//                                        PostgreSQL: SELECT ... FOR UPDATE
//   - Like (%, _, [...], every letter -> SQLite: like() replaced by one with this meaning
//     case-blind; LikePattern)            (SqliteLike); PostgreSQL: ~* 'regular expression'
//   - NULLs sort as the lowest value  -> PostgreSQL: NULLS FIRST / NULLS LAST per ORDER BY item
//   - new-row IDs                     -> the driver's last rowid / SCOPE_IDENTITY() / RETURNING
//   - one batch of several statements -> one statement per call, all-or-nothing by the caller

#include <QString>
#include <QStringList>

#include <memory>

namespace tesr::ledger {

enum class Engine { SQLite, PostgreSQL, SqlServer };

// How a connection learns the ID of the row an INSERT just added.
enum class InsertIdMethod {
    DriverLastInsertId, // the driver reports it (SQLite's last rowid)
    TrailingSelect,     // a SELECT appended to the same batch answers it (SQL Server)
    Returning           // the INSERT itself returns it (PostgreSQL)
};

class Dialect {
public:
    virtual ~Dialect() = default;

    virtual Engine engine() const = 0;
    virtual QString qtDriver() const = 0; // QSQLITE, QPSQL, QODBC
    virtual QString displayName() const = 0;

    // The command split into its statements (at ';' outside literals and brackets) and each
    // statement translated. Several statements are run all-or-nothing by the caller.
    virtual QStringList translate(const QString& command) const = 0;

    // What a connection runs for a command: the translated statements, and whether the command
    // held more than one statement (then it runs all-or-nothing even when the engine receives
    // it as one batch).
    struct Command {
        QStringList statements;
        bool compound = false;
    };
    virtual Command prepareCommand(const QString& command) const;

    // Statements that begin, commit and roll back the one level of transaction (standard SQL
    // unless the engine says otherwise).
    virtual QString beginTransaction() const { return QStringLiteral("BEGIN"); }
    virtual QString commitTransaction() const { return QStringLiteral("COMMIT"); }
    virtual QString rollbackTransaction() const { return QStringLiteral("ROLLBACK"); }
    // Savepoints around a compound command, so it is all-or-nothing inside a transaction too.
    // An empty release statement means the engine has none to run.
    virtual QString savepoint(const QString& name) const { return QStringLiteral("SAVEPOINT ") + name; }
    virtual QString releaseSavepoint(const QString& name) const { return QStringLiteral("RELEASE SAVEPOINT ") + name; }
    virtual QString rollbackToSavepoint(const QString& name) const
    {
        return QStringLiteral("ROLLBACK TO SAVEPOINT ") + name;
    }

    // Statements run once when a session opens (pragmas, session settings).
    virtual QStringList sessionSetup() const = 0;
    // How long a session waits for another session's lock before it gives up.
    virtual QString lockWaitStatement(int milliseconds) const = 0;

    virtual InsertIdMethod insertIdMethod() const = 0;
    // The (translated) INSERT as it is run so that it yields the new row's ID.
    virtual QString insertReturningId(const QString& insertStatement) const = 0;

    // The engine folds names it was not given in quotes to lower case, so a result column
    // comes back as "customername": the connection gives it the case the statement wrote.
    virtual bool foldsNamesToLowerCase() const { return false; }
    // After a failed statement the engine refuses every other one until the transaction ends
    // (PostgreSQL). T-SQL carries on with the transaction, so each statement inside one runs
    // under a savepoint of its own there.
    virtual bool failureAbortsTransaction() const { return false; }
};

std::unique_ptr<Dialect> makeDialect(Engine engine);

// Splits a T-SQL command at top-level ';' (not inside '...', "..." or [...]); empty pieces
// are dropped and each piece is trimmed.
QStringList splitStatements(const QString& command);

// The names a command writes, in order and spelled as written: words outside literals and
// comments, [bracketed] and "quoted" names without their quotes.
QStringList namesWritten(const QString& command);

} // namespace tesr::ledger
