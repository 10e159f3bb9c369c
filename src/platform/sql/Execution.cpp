#include "platform/sql/Execution.h"

#include "ledger/Dialect.h"

#include <QRegularExpression>
#include <QSqlQuery>

namespace tesr {

namespace sql {

// The engine's words about a failure. PostgreSQL adds a DETAIL line that quotes the row or key
// values ("Failing row contains (...)"): those are the user's data, never repeated here.
QString engineText(const QSqlError& error)
{
    QStringList lines = error.databaseText().split(u'\n');
    lines.removeIf([](const QString& line) { return line.trimmed().startsWith(QLatin1StringView("DETAIL:")); });
    const QString db = lines.join(u'\n').trimmed();
    const QString driver = error.driverText().trimmed();
    if (db.isEmpty())
        return driver.isEmpty() ? QStringLiteral("Unknown database error") : driver;
    return driver.isEmpty() ? db : db + QStringLiteral(" (") + driver + u')';
}

namespace {

StatementHook& statementHook()
{
    static StatementHook hook;
    return hook;
}

} // namespace

bool hookAllows(const QString& statement, QString* why)
{
    if (const StatementHook& hook = statementHook(); hook && !hook(statement)) {
        *why = QStringLiteral("The statement was refused by the test hook (injected failure).");
        return false;
    }
    return true;
}

bool send(QSqlQuery& query, const QString& statement, QString* why)
{
    if (!hookAllows(statement, why))
        return false;
    if (query.exec(statement))
        return true;
    *why = engineText(query.lastError());
    return false;
}

QString failureText(const QString& why, const QString& statement, const QString& command)
{
    const QString shape = statementShape(statement);
    QString text = why + QStringLiteral("\nStatement: ") + shape;
    if (!command.isEmpty() && command.trimmed() != statement)
        text += QStringLiteral("\nCommand: ") + statementShape(command);
    return text;
}

bool startsWithWord(const QString& text, QLatin1StringView word)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    return QStringView(text).mid(i).startsWith(word, Qt::CaseInsensitive);
}

namespace {

// Statements that change rows and answer how many (a batch reports one count for each).
bool changesRows(const QString& statement)
{
    return startsWithWord(statement, QLatin1StringView("INSERT")) ||
           startsWithWord(statement, QLatin1StringView("UPDATE")) ||
           startsWithWord(statement, QLatin1StringView("DELETE")) ||
           startsWithWord(statement, QLatin1StringView("MERGE"));
}

// In a command of several statements, a DELETE, and an UPDATE that names its row by key
// (WHERE ID = n), must find a row: the figures the command moves belong to that row, and one
// another session removed meanwhile must not take them with it.
bool mustFindItsRow(const QString& statement)
{
    if (startsWithWord(statement, QLatin1StringView("DELETE")))
        return true;
    static const QRegularExpression byKey(QStringLiteral("\\bWHERE\\s+(?:\\w+\\.)?ID\\s*=\\s*\\d+\\s*;?\\s*$"),
                                          QRegularExpression::CaseInsensitiveOption);
    return startsWithWord(statement, QLatin1StringView("UPDATE")) && byKey.match(statement).hasMatch();
}

const QString rowGone =
    QStringLiteral("Nothing was changed: a row this command changes is no longer there (another user may have "
                   "removed it in the meantime).");

// Money read exactly (as text) from engines with a decimal type is handed out as Currency;

} // namespace

} // namespace sql

using namespace sql;

bool SqlConnection::Core::usable()
{
    if (session && session->db.isOpen())
        return true;
    lastError = QStringLiteral("The database connection is closed.");
    return false;
}

bool SqlConnection::Core::endTransaction(const QString& statement)
{
    if (!inTransaction) {
        lastError = QStringLiteral("No transaction is open on this connection.");
        return false;
    }
    if (!runControl(statement)) {
        resyncTransaction(lastError);
        return false;
    }
    inTransaction = false;
    return true;
}

bool SqlConnection::Core::runControl(const QString& statement)
{
    if (statement.isEmpty())
        return true;
    QSqlQuery query(session->db);
    QString why;
    if (send(query, statement, &why))
        return true;
    lastError = failureText(why, statement);
    return false;
}

void SqlConnection::Core::resyncTransaction(const QString& failure)
{
    if (!inTransaction)
        return;
    if (dialect->engine() == ledger::Engine::SQLite) {
        // BEGIN is refused only inside a transaction; one that starts is ended at once.
        QSqlQuery probe(session->db);
        if (probe.exec(QStringLiteral("BEGIN"))) {
            probe.exec(QStringLiteral("ROLLBACK"));
            inTransaction = false;
        }
        return;
    }
    if (failure.contains(QLatin1StringView("no transaction is active"), Qt::CaseInsensitive) ||
        failure.contains(QLatin1StringView("no such savepoint"), Qt::CaseInsensitive))
        inTransaction = false;
}

bool SqlConnection::Core::run(const ledger::Dialect::Command& prepared, const QString& command, int* rowsAffected,
                              qint64* newId)
{
    // A compound command is all-or-nothing: inside the caller's transaction through a
    // savepoint, outside in a transaction of its own (taken IMMEDIATE on SQLite, so it waits
    // for another writer instead of failing half-way). Where a failed statement would end the
    // caller's transaction (PostgreSQL), every statement inside one gets a savepoint.
    const bool guarded = prepared.compound || (inTransaction && dialect->failureAbortsTransaction());
    const bool ownTransaction = prepared.compound && !inTransaction;
    if (guarded) {
        const QString open = ownTransaction ? dialect->beginTransaction() : dialect->savepoint(commandSavepoint);
        if (!runControl(open))
            return false;
    }
    auto undo = [&](const QString& why) {
        QString text = why;
        if (guarded) {
            // A transaction the engine already ended on its own is as undone as it gets.
            const bool undone = ownTransaction ? runControl(dialect->rollbackTransaction()) ||
                                                     lastError.contains(QLatin1StringView("no transaction is active"))
                                               : runControl(dialect->rollbackToSavepoint(commandSavepoint)) &&
                                                     runControl(dialect->releaseSavepoint(commandSavepoint));
            if (!undone) {
                const bool wasOpen = inTransaction;
                resyncTransaction(lastError);
                if (wasOpen && !inTransaction)
                    text += QStringLiteral("\nThe database ended the open transaction; none of its changes were kept.");
                else
                    text += QStringLiteral("\nThe command could not be undone cleanly: ") + lastError;
            }
        } else {
            const bool wasOpen = inTransaction;
            resyncTransaction(text);
            if (wasOpen && !inTransaction)
                text += QStringLiteral("\nThe database ended the open transaction; none of its changes were kept.");
        }
        lastError = text;
        return false;
    };

    const bool returnsId = newId && dialect->insertIdMethod() != ledger::InsertIdMethod::DriverLastInsertId;
    // SQL Server receives the command as one batch: its statements are known from the text.
    const bool oneBatch = prepared.compound && prepared.statements.size() == 1;
    QSqlQuery query(session->db);
    query.setForwardOnly(true);
    int affected = 0;
    for (const QString& statement : prepared.statements) {
        if (QString why; !send(query, statement, &why)) {
            query.finish();
            return undo(failureText(why, statement, command));
        }
        affected = query.isSelect() ? -1 : query.numRowsAffected();
        if (prepared.compound && !newId) {
            if (oneBatch) {
                // One row count per statement that changes rows, in order; when the batch
                // reports them all, the DELETEs among them are checked like single statements.
                const QStringList written = ledger::splitStatements(command);
                QList<int> counts;
                do {
                    if (!query.isSelect())
                        counts << query.numRowsAffected();
                } while (query.nextResult());
                QStringList changing;
                for (const QString& w : written)
                    if (changesRows(w))
                        changing << w;
                if (!counts.isEmpty())
                    affected = counts.back();
                if (counts.size() == changing.size()) {
                    for (qsizetype k = 0; k < counts.size(); ++k)
                        if (counts[k] == 0 && mustFindItsRow(changing[k])) {
                            query.finish();
                            return undo(failureText(rowGone, changing[k], command));
                        }
                }
            } else if (affected == 0 && mustFindItsRow(statement)) {
                query.finish();
                return undo(failureText(rowGone, statement, command));
            }
        }
        if (newId && *newId <= 0) {
            if (returnsId) {
                while (!query.isSelect() && query.nextResult()) {
                }
                if (query.isSelect() && query.next())
                    *newId = query.value(0).toLongLong();
                else if (query.isSelect())
                    *newId = -1; // the INSERT ran and added nothing: later statements do not answer for it
            } else if (affected > 0 && startsWithWord(statement, QLatin1StringView("INSERT"))) {
                *newId = query.lastInsertId().toLongLong();
            }
        }
        query.finish();
    }
    if (guarded) {
        const QString close =
            ownTransaction ? dialect->commitTransaction() : dialect->releaseSavepoint(commandSavepoint);
        if (!runControl(close))
            return undo(lastError);
    }
    if (rowsAffected)
        *rowsAffected = affected;
    return true;
}

QString statementShape(const QString& statement)
{
    QString shape;
    shape.reserve(statement.size());
    const qsizetype n = statement.size();
    auto wordChar = [](QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'@' || c == u'#' || c == u'$'; };
    for (qsizetype i = 0; i < n;) {
        const QChar c = statement[i];
        if (c == u'\'') {
            // A quoted text, its doubled quotes included; one left open runs to the end.
            ++i;
            while (i < n) {
                if (statement[i] == u'\'' && (i + 1 >= n || statement[i + 1] != u'\''))
                    break;
                i += statement[i] == u'\'' ? 2 : 1;
            }
            ++i;
            shape += QStringLiteral("'?'");
        } else if (c.isDigit() && (shape.isEmpty() || !wordChar(shape.back()))) {
            while (i < n && (statement[i].isDigit() || statement[i] == u'.'))
                ++i;
            shape += u'?';
        } else {
            shape += c;
            ++i;
        }
    }
    return shape;
}

void setStatementHook(StatementHook hook)
{
    statementHook() = std::move(hook);
}

} // namespace tesr
