#pragma once

// Running statements on a session: the test hook asked before each one, compound commands
// all-or-nothing (a transaction of their own, or a savepoint inside the caller's), the failure
// texts LastError holds.

#include "ledger/Literals.h"
#include "platform/SqlConnection.h"
#include "platform/sql/Session.h"

#include <QSet>
#include <QSqlError>
#include <QString>

#include <deque>
#include <memory>

class QSqlQuery;

namespace tesr {

namespace sql {

// The savepoint that makes a command all-or-nothing inside the caller's transaction.
inline const QString commandSavepoint = QStringLiteral("tesr_command");

// PostgreSQL: the commands that changed rows inside the caller's transaction since the savepoint
// their group began with. A savepoint of each command's own would make every row a save updates
// again (the payment's Allocated, once per allocation) a chain of versions from as many
// subtransactions, which the server walks ever more slowly; a group shares one. When a command of
// the group fails, the group is taken back to its savepoint and the commands before it run
// again, so that the failed command alone is undone, as T-SQL does.
struct PostgresGroup {
    static constexpr int MaxCommands = 64; // then the next command begins a new group

    struct Command {
        QString text;
        QStringList statements; // '?' for each value
        std::vector<int> markers;
        std::vector<ledger::LiteralSpan> values;
        std::vector<int> affected; // what each statement changed, to be the same when run again
    };
    bool open = false;
    std::vector<Command> commands;

    void clear()
    {
        open = false;
        commands.clear();
    }
};
inline const QString groupSavepoint = QStringLiteral("tesr_group");

// PostgreSQL, in a transaction whose caller rolls it back on any failure (DeferWrites): the
// commands that only change rows, held until something must be answered (a read, an ID, a row
// count, the commit) and then sent together, one round trip for many instead of one each. They
// need no savepoint: a failure among them ends the whole transaction.
struct PostgresQueue {
    // Bounds of one round trip: few enough answers that neither side waits on the other while
    // the message is still being sent, and few enough shapes that none is let go meanwhile.
    static constexpr int MaxStatements = 500;
    static constexpr int MaxShapes = 32;

    struct Command {
        QString text;
        QString key;    // its shape's key (the text itself when it is run as written)
        bool asWritten; // values stay in the text (see runOnPostgres)
        std::vector<ledger::LiteralSpan> values;
    };
    bool wanted = false;          // the caller asked for it in this transaction
    std::deque<Command> commands; // a deque: a command's text stays where its requests point
    QSet<QString> keys;
    int statements = 0;

    void clear()
    {
        wanted = false;
        commands.clear();
        keys.clear();
        statements = 0;
    }
};

// An engine's words without the lines that quote the statement or the row's values.
QString withoutQuotedValues(const QString& engineWords);
// The engine's words for a failure.
QString engineText(const QSqlError& error);

// What LastError holds after a failure: the engine's words, then the statement as it ran and,
// when the dialect changed it, the command as it was sent.
QString failureText(const QString& why, const QString& statement, const QString& command = QString());

// Runs a job's statement on the query, unless the test hook refuses it. On failure *why holds
// the engine's words (or the hook's).
bool send(QSqlQuery& query, const QString& statement, QString* why);

// True when the test hook lets the statement go to the engine; else *why says it did not.
bool hookAllows(const QString& statement, QString* why);
// True when a test hook is set (statement texts are then worked out for it).
bool hookActive();

bool startsWithWord(const QString& text, QLatin1StringView word);

} // namespace sql

struct SqlConnection::Core {
    std::shared_ptr<sql::Session> session;
    std::unique_ptr<ledger::Dialect> dialect;
    bool inTransaction = false;
    QString lastError;

    // False, with LastError saying so, when the session is closed.
    bool usable();
    // Commits or rolls back the open transaction (the statement says which).
    bool endTransaction(const QString& statement);
    // A statement the connection itself runs (transaction control).
    bool runControl(const QString& statement);
    // Some failures end the open transaction inside the engine (SQLite does so for RAISE(ROLLBACK),
    // a full disk, an interrupted statement): after a failure our record of it is checked.
    void resyncTransaction(const QString& failure);
    // Runs a command as the module wrote it: rowsAffected gets its last statement's count; with
    // newId, the ID of the row its first INSERT added (less than 1 when it added none).
    bool execute(const QString& command, int* rowsAffected, qint64* newId);

    // PostgreSQL: the savepoint of the last command run inside the transaction, released with the
    // next round trip (its statements had to be seen to find their rows first).
    bool pendingRelease = false;
    // PostgreSQL: the commands of the open group (see PostgresGroup).
    sql::PostgresGroup group;
    // PostgreSQL: runs a command in one round trip; with `query`, one statement whose result
    // comes back there (the caller frees it).
    bool runOnPostgres(const QString& command, int* rowsAffected, qint64* newId, PGresult** query);
    // PostgreSQL: the commands held back (see PostgresQueue).
    sql::PostgresQueue queue;
    enum class Held { Yes, Refused, No };
    // Holds back a command that only changes rows; No when it must run now.
    Held holdOnPostgres(const QString& command);
    // Sends what is held back; false (the transaction ended) when any of it failed.
    bool sendHeldOnPostgres();
    // What a transaction kept on our side, let go with it.
    void forgetTransaction();

    struct Plan;
    bool run(Plan& plan, bool compound, const QString& command, int* rowsAffected, qint64* newId);
    bool executeOnSqlite(const QString& command, int* rowsAffected, qint64* newId);

private:
    // The command's shape on the session, its values in the session's scratch room; *asWritten
    // when its translation moved a value where a marker cannot stand, so it runs as written.
    sql::PostgresStatements::Shape& shapeOnPostgres(const QString& command, bool newId, bool* asWritten);
    bool undoOnPostgres(const QString& why, bool ownTransaction, bool savepointTaken);
    bool recoverGroup(const QString& why);
    bool endTransactionAfter(const QString& why);
    bool sendOnPostgres(const std::vector<sql::PostgresStatements::Request>& requests,
                        std::vector<sql::PostgresStatements::Reply>* replies, const QString& command);
};

} // namespace tesr
