#include "platform/sql/Execution.h"

#include "ledger/Dialect.h"
#include "ledger/Literals.h"
#include "ledger/SqlTokens.h"

#include <QRegularExpression>
#include <QSqlQuery>

namespace tesr {

namespace sql {

// PostgreSQL's DETAIL line quotes the row or key values ("Failing row contains (...)") and its
// LINE line the statement's text (with a caret under the place): names, card digits and memos,
// never repeated in logs and messages.
QString withoutQuotedValues(const QString& engineWords)
{
    QStringList lines = engineWords.split(u'\n');
    lines.removeIf([](const QString& line) {
        const QString t = line.trimmed();
        return t.startsWith(QLatin1StringView("DETAIL:")) || t.startsWith(QLatin1StringView("LINE ")) || t == u"^";
    });
    return lines.join(u'\n').trimmed();
}

QString engineText(const QSqlError& error)
{
    const QString db = withoutQuotedValues(error.databaseText());
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

bool hookActive()
{
    return bool(statementHook());
}

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

} // namespace

} // namespace sql

using namespace sql;

// The statements of one command as a session runs them, one after another.
struct SqlConnection::Core::Plan {
    // What one statement did.
    struct Step {
        int affected = 0;   // rows changed; -1 for a query
        qint64 newId = 0;   // the row an INSERT added (-1: it added none); 0 when it says nothing
        QString missingRow; // a statement that had to find its row and found none (see mustFindItsRow)
        QString why;        // the engine's words when it failed
    };

    virtual ~Plan() = default;
    virtual int size() const = 0;
    // The statement as the engine receives it, values included.
    virtual QString text(int index) const = 0;
    // Runs the statement (unless the test hook refuses it).
    virtual bool step(int index, Step& step) = 0;
};

namespace {

// Statements sent as text through QtSql (SQL Server; PostgreSQL's single statements).
class TextPlan final : public SqlConnection::Core::Plan {
public:
    TextPlan(const QSqlDatabase& db, const ledger::Dialect& dialect, const ledger::Dialect::Command& prepared,
             const QString& command, bool wantsId)
        : m_query(db), m_dialect(dialect), m_prepared(prepared), m_command(command), m_wantsId(wantsId)
    {
        m_query.setForwardOnly(true);
    }

    int size() const override { return int(m_prepared.statements.size()); }
    QString text(int index) const override { return m_prepared.statements[index]; }

    bool step(int index, Step& step) override
    {
        const QString& statement = m_prepared.statements[index];
        if (!send(m_query, statement, &step.why)) {
            m_query.finish();
            return false;
        }
        step.affected = m_query.isSelect() ? -1 : m_query.numRowsAffected();
        if (m_prepared.compound && m_prepared.statements.size() == 1) {
            // SQL Server receives the command as one batch: one row count per statement that
            // changes rows, in order; when the batch reports them all, the DELETEs among them
            // are checked like single statements.
            QList<int> counts;
            do {
                if (!m_query.isSelect())
                    counts << m_query.numRowsAffected();
            } while (!m_wantsId && m_query.nextResult());
            QStringList changing;
            for (const QString& w : ledger::splitStatements(m_command))
                if (changesRows(w))
                    changing << w;
            if (!counts.isEmpty())
                step.affected = counts.back();
            if (counts.size() == changing.size()) {
                for (qsizetype k = 0; k < counts.size() && step.missingRow.isEmpty(); ++k)
                    if (counts[k] == 0 && mustFindItsRow(changing[k]))
                        step.missingRow = changing[k];
            }
        } else if (step.affected == 0 && mustFindItsRow(statement)) {
            step.missingRow = statement;
        }
        if (m_wantsId) {
            if (m_dialect.insertIdMethod() != ledger::InsertIdMethod::DriverLastInsertId) {
                while (!m_query.isSelect() && m_query.nextResult()) {
                }
                if (m_query.isSelect() && m_query.next())
                    step.newId = m_query.value(0).toLongLong();
                else if (m_query.isSelect())
                    step.newId = -1; // the INSERT ran and added nothing: later statements do not answer for it
            } else if (step.affected > 0 && startsWithWord(statement, QLatin1StringView("INSERT"))) {
                step.newId = m_query.lastInsertId().toLongLong();
            }
        }
        m_query.finish();
        return true;
    }

private:
    QSqlQuery m_query;
    const ledger::Dialect& m_dialect;
    const ledger::Dialect::Command& m_prepared;
    const QString& m_command;
    bool m_wantsId;
};

// A command shape compiled on SQLite, run with the command's values bound.
class SqlitePlan final : public SqlConnection::Core::Plan {
public:
    SqlitePlan(SqliteStatements& statements, const SqliteStatements::Shape& shape, QStringView command,
               const std::vector<ledger::LiteralSpan>& values)
        : m_statements(statements), m_shape(shape), m_command(command), m_values(values)
    {
        int offset = 0;
        for (int markers : shape.markers) {
            m_offsets.push_back(offset);
            offset += markers;
        }
    }

    int size() const override { return int(m_shape.compiled.size()); }
    QString text(int index) const override
    {
        ledger::LiftedCommand lifted{m_shape.statements[index], {}};
        for (int k = 0; k < m_shape.markers[size_t(index)]; ++k)
            lifted.literals.append(m_values[size_t(m_offsets[size_t(index)] + k)].literal(m_command));
        return ledger::restoreLiterals(lifted);
    }

    bool step(int index, Step& step) override
    {
        const size_t i = size_t(index);
        if (hookActive() && !hookAllows(text(index), &step.why))
            return false;
        if (!m_statements.run(m_shape.compiled[i], m_command, m_values.data() + m_offsets[i], m_shape.markers[i],
                              &step.affected, &step.why))
            return false;
        if (step.affected == 0 && mustFindItsRow(text(index)))
            step.missingRow = text(index);
        if (step.affected > 0 && startsWithWord(m_shape.statements[index], QLatin1StringView("INSERT")))
            step.newId = m_statements.lastInsertId();
        return true;
    }

private:
    SqliteStatements& m_statements;
    const SqliteStatements::Shape& m_shape;
    QStringView m_command;
    const std::vector<ledger::LiteralSpan>& m_values;
    std::vector<int> m_offsets;
};

} // namespace

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
    // What was held back goes before the commit; a rollback drops it unsent.
    if (dialect->engine() == ledger::Engine::PostgreSQL && statement == dialect->commitTransaction() &&
        !sendHeldOnPostgres())
        return false;
    queue.clear();
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
    QString why;
    if (dialect->engine() == ledger::Engine::SQLite) {
        if (hookAllows(statement, &why) && session->sqlite().control(statement, &why))
            return true;
    } else if (dialect->engine() == ledger::Engine::PostgreSQL) {
        // Ending the transaction ends the savepoint still open with it.
        PostgresStatements::Request request;
        request.text = statement;
        std::vector<PostgresStatements::Reply> replies;
        if (!hookAllows(statement, &why))
            ;
        else if (statement == dialect->commitTransaction() && session->postgres().transactionFailed()) {
            // The server would answer COMMIT with a rollback and call it done: a save must
            // never be reported kept when it was not.
            request.text = dialect->rollbackTransaction();
            session->postgres().roundTrip({request}, &replies, &why);
            why = QStringLiteral("A statement of the transaction had failed, so the database ended it; none of its "
                                 "changes were kept.");
        } else if (!session->postgres().roundTrip({request}, &replies, &why))
            ;
        else if (!replies.front().ok)
            why = replies.front().why;
        else {
            // Beginning or ending the transaction: no savepoint of an earlier command is left.
            forgetTransaction();
            return true;
        }
    } else {
        QSqlQuery query(session->db);
        if (send(query, statement, &why))
            return true;
    }
    lastError = failureText(why, statement);
    return false;
}

void SqlConnection::Core::resyncTransaction(const QString& failure)
{
    if (!inTransaction)
        return;
    if (dialect->engine() == ledger::Engine::SQLite) {
        inTransaction = session->sqlite().inTransaction();
        return;
    }
    if (dialect->engine() == ledger::Engine::PostgreSQL) {
        inTransaction = session->postgres().inTransaction();
        if (!inTransaction)
            forgetTransaction();
        return;
    }
    if (failure.contains(QLatin1StringView("no transaction is active"), Qt::CaseInsensitive) ||
        failure.contains(QLatin1StringView("no such savepoint"), Qt::CaseInsensitive))
        inTransaction = false;
}

bool SqlConnection::Core::execute(const QString& command, int* rowsAffected, qint64* newId)
{
    if (dialect->engine() == ledger::Engine::SQLite)
        return executeOnSqlite(command, rowsAffected, newId);
    if (dialect->engine() == ledger::Engine::PostgreSQL) {
        if (queue.wanted && inTransaction && !rowsAffected && !newId) {
            switch (holdOnPostgres(command)) {
            case Held::Yes:
                return true;
            case Held::Refused:
                return false;
            case Held::No:
                break;
            }
        }
        return sendHeldOnPostgres() && runOnPostgres(command, rowsAffected, newId, nullptr);
    }
    ledger::Dialect::Command prepared = dialect->prepareCommand(command);
    if (newId) {
        switch (dialect->insertIdMethod()) {
        case ledger::InsertIdMethod::DriverLastInsertId:
            break;
        case ledger::InsertIdMethod::TrailingSelect:
            // The whole batch, with the question after it.
            if (prepared.statements.size() != 1) {
                lastError = failureText(QStringLiteral("An insert that answers its new ID is one batch."), command);
                return false;
            }
            prepared.statements.front() = dialect->insertReturningId(prepared.statements.front());
            break;
        case ledger::InsertIdMethod::Returning:
            // The first INSERT answers; a command without one added no row.
            for (QString& s : prepared.statements) {
                if (startsWithWord(s, QLatin1StringView("INSERT"))) {
                    s = dialect->insertReturningId(s);
                    break;
                }
            }
            break;
        }
    }
    TextPlan plan(session->db, *dialect, prepared, command, newId != nullptr);
    return run(plan, prepared.compound, command, rowsAffected, newId);
}

bool SqlConnection::Core::executeOnSqlite(const QString& command, int* rowsAffected, qint64* newId)
{
    SqliteStatements& statements = session->sqlite();
    QString& key = statements.scratchShape;
    std::vector<ledger::LiteralSpan>& values = statements.scratchValues;
    ledger::liftLiteralSpans(command, &key, &values);
    QString why;
    int failed = -1;
    SqliteStatements::Shape* shape = statements.shape(
        key, [&] { return dialect->translate(key); }, &why, &failed);
    if (shape) {
        size_t markers = 0;
        for (int m : shape->markers)
            markers += size_t(m);
        if (markers != values.size()) {
            // The translation moved a value where a marker cannot stand: the command as written.
            values.clear();
            shape = statements.shape(
                command, [&] { return dialect->translate(command); }, &why, &failed);
        }
    }
    if (!shape) {
        const QStringList written = dialect->translate(command);
        lastError = failureText(why, written.value(failed), command);
        return false;
    }
    SqlitePlan plan(statements, *shape, command, values);
    return run(plan, shape->compiled.size() > 1, command, rowsAffected, newId);
}

namespace {

// Statements whose shapes are worth keeping prepared: those that carry values.
bool carriesValues(const QString& statement)
{
    for (const char* word : {"SELECT", "INSERT", "UPDATE", "DELETE", "WITH", "VALUES", "MERGE"})
        if (startsWithWord(statement, QLatin1StringView(word)))
            return true;
    return false;
}

// One request for each statement of a command, each with its share of the command's values
// (statement i takes markers[i] of them, in order).
std::vector<PostgresStatements::Request> statementRequests(const QStringList& statements,
                                                           const std::vector<int>& markers, QStringView command,
                                                           const ledger::LiteralSpan* values)
{
    std::vector<PostgresStatements::Request> requests;
    int offset = 0;
    for (qsizetype i = 0; i < statements.size(); ++i) {
        PostgresStatements::Request request;
        request.text = statements[i];
        request.command = command;
        request.values = values + offset;
        request.count = markers[size_t(i)];
        offset += request.count;
        requests.push_back(request);
    }
    return requests;
}

// A statement as the engine receives it, its values put back in (for the test hook and failures).
QString withValues(const PostgresStatements::Request& request)
{
    ledger::LiftedCommand lifted{request.text, {}};
    for (int i = 0; i < request.count; ++i)
        lifted.literals.append(request.values[i].literal(request.command));
    return ledger::restoreLiterals(lifted);
}

// Statements none of which answers rows.
bool onlyChangesRows(const QStringList& statements)
{
    for (const QString& statement : statements)
        if (startsWithWord(statement, QLatin1StringView("SELECT")) ||
            startsWithWord(statement, QLatin1StringView("WITH")) ||
            startsWithWord(statement, QLatin1StringView("VALUES")))
            return false;
    return true;
}

// A statement shape that, in a command of several, may have to find its row (see mustFindItsRow):
// its values are markers still, so a marker counts as the key's number.
bool mayHaveToFindItsRow(const QString& shape)
{
    static const QRegularExpression byKey(QStringLiteral("\\bWHERE\\s+(?:\\w+\\.)?ID\\s*=\\s*(?:\\d+|\\?)\\s*;?\\s*$"),
                                          QRegularExpression::CaseInsensitiveOption);
    return startsWithWord(shape, QLatin1StringView("DELETE")) ||
           (startsWithWord(shape, QLatin1StringView("UPDATE")) && byKey.match(shape).hasMatch());
}

} // namespace

bool SqlConnection::Core::sendOnPostgres(const std::vector<PostgresStatements::Request>& requests,
                                         std::vector<PostgresStatements::Reply>* replies, const QString& command)
{
    QString why;
    if (session->postgres().roundTrip(requests, replies, &why))
        return true;
    lastError = failureText(why, command);
    resyncTransaction(why);
    return false;
}

bool SqlConnection::Core::undoOnPostgres(const QString& why, bool ownTransaction, bool savepointTaken)
{
    QString text = why;
    std::vector<PostgresStatements::Request> requests;
    auto control = [&](const QString& statement) {
        PostgresStatements::Request request;
        request.text = statement;
        requests.push_back(request);
    };
    if (ownTransaction) {
        control(dialect->rollbackTransaction());
    } else if (savepointTaken) {
        control(dialect->rollbackToSavepoint(commandSavepoint));
        control(dialect->releaseSavepoint(commandSavepoint));
    }
    bool undone = true;
    QString refused;
    for (const auto& request : requests)
        undone = undone && hookAllows(request.text, &refused);
    std::vector<PostgresStatements::Reply> replies;
    if (undone && !requests.empty()) {
        undone = session->postgres().roundTrip(requests, &replies, &refused);
        for (const auto& reply : replies)
            if (undone && !reply.ok) {
                undone = false;
                refused = reply.why;
            }
    }
    pendingRelease = false;
    const bool wasOpen = inTransaction;
    if (ownTransaction)
        inTransaction = false;
    // A transaction that cannot go on (its command's own savepoint was never taken, or could not
    // be gone back to) is ended here: the server refuses every later statement in it anyway.
    if (session->postgres().inTransaction() && (!undone || !savepointTaken)) {
        PostgresStatements::Request rollback;
        rollback.text = dialect->rollbackTransaction();
        session->postgres().roundTrip({rollback}, &replies, &refused);
    }
    resyncTransaction(text);
    if (wasOpen && !ownTransaction && !inTransaction)
        text += QStringLiteral("\nThe database ended the open transaction; none of its changes were kept.");
    else if (!undone)
        text += QStringLiteral("\nThe command could not be undone cleanly: ") + refused;
    lastError = text;
    return false;
}

bool SqlConnection::Core::endTransactionAfter(const QString& why)
{
    PostgresStatements::Request rollback;
    rollback.text = dialect->rollbackTransaction();
    std::vector<PostgresStatements::Reply> replies;
    QString ignored;
    session->postgres().roundTrip({rollback}, &replies, &ignored);
    resyncTransaction(why);
    if (inTransaction) { // the server still has it: ours no longer
        inTransaction = false;
        forgetTransaction();
    }
    lastError = why + QStringLiteral("\nThe database ended the open transaction; none of its changes were kept.");
    return false;
}

bool SqlConnection::Core::recoverGroup(const QString& why)
{
    // Back to the group's savepoint, then its earlier commands again, in one round trip; each
    // must change what it changed the first time, or the transaction cannot be trusted to hold
    // what its caller saw done, and it ends.
    std::vector<PostgresStatements::Request> requests(1);
    requests.front().text = dialect->rollbackToSavepoint(groupSavepoint);
    QString refused;
    if (!hookAllows(requests.front().text, &refused))
        return endTransactionAfter(why);
    for (const PostgresGroup::Command& done : group.commands)
        for (const PostgresStatements::Request& request :
             statementRequests(done.statements, done.markers, done.text, done.values.data()))
            requests.push_back(request);
    std::vector<PostgresStatements::Reply> replies;
    if (!session->postgres().roundTrip(requests, &replies, &refused))
        return endTransactionAfter(why);
    bool same = replies.front().ok;
    size_t k = 1;
    for (const PostgresGroup::Command& done : group.commands)
        for (int affected : done.affected) {
            same = same && replies[k].ok && replies[k].affected == affected;
            ++k;
        }
    for (auto& reply : replies)
        PQclear(reply.result);
    if (!same)
        return endTransactionAfter(why);
    lastError = why;
    return false;
}

PostgresStatements::Shape& SqlConnection::Core::shapeOnPostgres(const QString& command, bool newId, bool* asWritten)
{
    PostgresStatements& pg = session->postgres();
    QString& key = pg.scratchShape;
    std::vector<ledger::LiteralSpan>& values = pg.scratchValues;
    ledger::liftLiteralSpans(command, &key, &values);
    // An insert that answers its new ID is a shape of its own: its first INSERT returns the ID.
    auto translated = [&](const QString& text) {
        QStringList statements = dialect->translate(text);
        if (newId) {
            for (QString& statement : statements) {
                if (startsWithWord(statement, QLatin1StringView("INSERT"))) {
                    statement = dialect->insertReturningId(statement);
                    break;
                }
            }
        }
        return statements;
    };
    if (newId)
        key += QChar(0x1f) + QStringLiteral("new ID");
    PostgresStatements::Shape* shape = &pg.shape(key, [&] { return translated(ledger::liftLiterals(command).shape); });
    size_t markers = 0;
    for (int m : shape->markers)
        markers += size_t(m);
    *asWritten = markers != values.size();
    if (*asWritten) {
        // The translation moved a value where a marker cannot stand: the command as written.
        values.clear();
        shape = &pg.shape(command + (newId ? QStringLiteral("\x1fnew ID") : QString()),
                          [&] { return translated(command); });
    }
    return *shape;
}

bool SqlConnection::Core::runOnPostgres(const QString& command, int* rowsAffected, qint64* newId, PGresult** query)
{
    bool asWritten = false;
    PostgresStatements::Shape* shape = &shapeOnPostgres(command, newId, &asWritten);
    std::vector<ledger::LiteralSpan>& values = session->postgres().scratchValues;
    const QStringList& statements = shape->statements;
    if (statements.isEmpty() || (query && statements.size() != 1)) {
        lastError = failureText(statements.isEmpty() ? QStringLiteral("The command is empty.")
                                                     : QStringLiteral("A recordset is read from one statement only."),
                                command);
        return false;
    }
    // A command of several statements is all-or-nothing: a transaction of its own, or, inside
    // the caller's, a savepoint (a failed statement would otherwise end the caller's transaction,
    // so single statements get one there too). Commands that only change rows share their
    // group's savepoint; one that answers a new ID or rows, which could not be run again
    // unnoticed, has a savepoint of its own, released with the next round trip.
    const bool compound = statements.size() > 1;
    const bool grouped = inTransaction && onlyChangesRows(statements) && !newId && !query;
    const bool ownSavepoint = inTransaction && !grouped;
    const bool ownTransaction = compound && !inTransaction;

    std::vector<PostgresStatements::Request> requests;
    auto control = [&](const QString& statement) {
        PostgresStatements::Request request;
        request.text = statement;
        requests.push_back(request);
        return requests.size() - 1;
    };
    const size_t none = size_t(-1);
    const size_t released = pendingRelease ? control(dialect->releaseSavepoint(commandSavepoint)) : none;
    size_t groupEnds = none, groupBegins = none;
    if (grouped && group.open && group.commands.size() >= size_t(PostgresGroup::MaxCommands))
        groupEnds = control(dialect->releaseSavepoint(groupSavepoint));
    else if (!grouped && inTransaction && group.open)
        groupEnds = control(dialect->releaseSavepoint(groupSavepoint));
    if (grouped && (!group.open || groupEnds != none))
        groupBegins = control(dialect->savepoint(groupSavepoint));
    if (ownSavepoint)
        control(dialect->savepoint(commandSavepoint));
    if (ownTransaction)
        control(dialect->beginTransaction());
    const size_t first = requests.size();
    // Rows that must be found are counted before the command is kept: outside a transaction the
    // commit waits for the count.
    bool checked = false;
    int offset = 0;
    size_t returning = none;
    for (qsizetype i = 0; i < statements.size(); ++i) {
        PostgresStatements::Request request;
        request.text = statements[i];
        if (newId && returning == none && startsWithWord(request.text, QLatin1StringView("INSERT"))) {
            request.keepResult = true;
            returning = requests.size();
        }
        request.command = command;
        request.values = values.data() + offset;
        request.count = shape->markers[size_t(i)];
        offset += request.count;
        request.prepared = carriesValues(request.text) ? &shape->prepared[size_t(i)] : nullptr;
        request.keepResult = request.keepResult || query;
        checked = checked || (compound && !newId && mayHaveToFindItsRow(request.text));
        requests.push_back(request);
    }
    if (ownTransaction && !checked)
        control(dialect->commitTransaction());

    // Every statement is offered to the test hook before any is sent.
    if (hookActive()) {
        for (const auto& request : requests) {
            QString why;
            if (!hookAllows(withValues(request), &why)) {
                lastError = failureText(why, withValues(request), command);
                return false;
            }
        }
    }
    std::vector<PostgresStatements::Reply> replies;
    if (!sendOnPostgres(requests, &replies, command))
        return false;
    // Answers kept for the caller are let go on every way out.
    struct Results {
        std::vector<PostgresStatements::Reply>& replies;
        ~Results()
        {
            for (auto& reply : replies)
                PQclear(reply.result);
        }
    } keep{replies};
    if (released != none && replies[released].ok)
        pendingRelease = false;
    if (groupEnds != none && replies[groupEnds].ok)
        group.clear();
    if (groupBegins != none && replies[groupBegins].ok)
        group.open = true;

    auto fail = [&](const QString& why) {
        if (grouped)
            return recoverGroup(why);
        return undoOnPostgres(why, ownTransaction, ownSavepoint);
    };
    for (size_t k = 0; k < replies.size(); ++k) {
        if (replies[k].ok)
            continue;
        const QString why = failureText(replies[k].why, withValues(requests[k]), command);
        if (k < first && inTransaction) // closing or opening a savepoint failed: nothing is certain
            return endTransactionAfter(why);
        return fail(why);
    }
    const size_t last = first + size_t(statements.size()) - 1;
    if (checked) {
        for (size_t k = first; k <= last; ++k) {
            if (replies[k].affected == 0 && mustFindItsRow(withValues(requests[k])))
                return fail(failureText(rowGone, withValues(requests[k]), command));
        }
        if (ownTransaction) {
            PostgresStatements::Request commit;
            commit.text = dialect->commitTransaction();
            QString why;
            std::vector<PostgresStatements::Reply> committed;
            if (!hookAllows(commit.text, &why))
                return undoOnPostgres(failureText(why, commit.text, command), true, false);
            if (!sendOnPostgres({commit}, &committed, command))
                return false;
            if (!committed.front().ok)
                return undoOnPostgres(failureText(committed.front().why, commit.text, command), true, false);
        }
    }
    if (grouped) {
        PostgresGroup::Command done{command, statements, shape->markers, values, {}};
        for (size_t k = first; k <= last; ++k)
            done.affected.push_back(replies[k].affected);
        group.commands.push_back(std::move(done));
    }
    if (ownSavepoint)
        pendingRelease = true;
    if (rowsAffected)
        *rowsAffected = replies[last].affected;
    if (newId && returning != none) {
        const PGresult* inserted = replies[returning].result;
        *newId = inserted && PQntuples(inserted) > 0 ? QByteArray(PQgetvalue(inserted, 0, 0)).toLongLong() : -1;
    }
    if (query) {
        *query = replies[first].result;
        replies[first].result = nullptr;
    }
    return true;
}

SqlConnection::Core::Held SqlConnection::Core::holdOnPostgres(const QString& command)
{
    bool asWritten = false;
    const PostgresStatements::Shape& shape = shapeOnPostgres(command, false, &asWritten);
    if (shape.statements.isEmpty() || !onlyChangesRows(shape.statements))
        return Held::No;
    const QString& key = asWritten ? command : session->postgres().scratchShape;
    if (queue.statements + shape.statements.size() > PostgresQueue::MaxStatements ||
        (!queue.keys.contains(key) && queue.keys.size() >= PostgresQueue::MaxShapes)) {
        if (!sendHeldOnPostgres())
            return Held::Refused;
        return holdOnPostgres(command); // its shape again: the round trip used the scratch room
    }
    const std::vector<ledger::LiteralSpan>& values = session->postgres().scratchValues;
    // Every statement is offered to the test hook now, where the caller sees it fail.
    if (hookActive()) {
        for (const PostgresStatements::Request& request :
             statementRequests(shape.statements, shape.markers, command, values.data())) {
            QString why;
            if (!hookAllows(withValues(request), &why)) {
                lastError = failureText(why, withValues(request), command);
                return Held::Refused;
            }
        }
    }
    queue.statements += int(shape.statements.size());
    queue.keys.insert(key);
    queue.commands.push_back({command, key, asWritten, values});
    return Held::Yes;
}

bool SqlConnection::Core::sendHeldOnPostgres()
{
    if (queue.commands.empty())
        return true;
    PostgresStatements& pg = session->postgres();
    std::vector<PostgresStatements::Request> requests;
    auto control = [&](const QString& statement) {
        PostgresStatements::Request request;
        request.text = statement;
        requests.push_back(request);
    };
    // Savepoints of earlier commands are let go first: nothing held back is undone alone.
    if (pendingRelease)
        control(dialect->releaseSavepoint(commandSavepoint));
    if (group.open)
        control(dialect->releaseSavepoint(groupSavepoint));
    const size_t controls = requests.size();
    // The held statements were offered to the test hook as they were held; these not yet.
    for (const auto& request : requests) {
        QString refused;
        if (!hookAllows(request.text, &refused))
            return endTransactionAfter(failureText(refused, request.text));
    }
    struct Of {
        size_t command; // its command's place in the queue
        bool compound;  // one of several statements
    };
    std::vector<Of> of; // for each statement request
    for (size_t c = 0; c < queue.commands.size(); ++c) {
        const PostgresQueue::Command& held = queue.commands[c];
        PostgresStatements::Shape& shape = pg.shape(held.key, [&] {
            return dialect->translate(held.asWritten ? held.text : ledger::liftLiterals(held.text).shape);
        });
        std::vector<PostgresStatements::Request> parts =
            statementRequests(shape.statements, shape.markers, held.text, held.values.data());
        for (size_t i = 0; i < parts.size(); ++i) {
            parts[i].prepared = carriesValues(parts[i].text) ? &shape.prepared[i] : nullptr;
            requests.push_back(parts[i]);
            of.push_back({c, parts.size() > 1});
        }
    }
    std::vector<PostgresStatements::Reply> replies;
    QString why;
    const bool sent = pg.roundTrip(requests, &replies, &why);
    // The first failure, or a statement of a compound command that did not find its row.
    for (size_t k = 0; sent && why.isEmpty() && k < requests.size(); ++k) {
        const QString command = k < controls ? QString() : queue.commands[of[k - controls].command].text;
        if (!replies[k].ok)
            why = failureText(replies[k].why, withValues(requests[k]), command);
        else if (k >= controls && of[k - controls].compound && replies[k].affected == 0 &&
                 mustFindItsRow(withValues(requests[k])))
            why = failureText(rowGone, withValues(requests[k]), command);
    }
    for (auto& reply : replies)
        PQclear(reply.result);
    if (sent && why.isEmpty()) {
        pendingRelease = false;
        group.clear();
        const bool wanted = queue.wanted;
        queue.clear();
        queue.wanted = wanted;
        return true;
    }
    if (!sent)
        why = failureText(why, queue.commands.front().text);
    return endTransactionAfter(why);
}

void SqlConnection::Core::forgetTransaction()
{
    pendingRelease = false;
    group.clear();
    queue.clear();
}

bool SqlConnection::Core::run(Plan& plan, bool compound, const QString& command, int* rowsAffected, qint64* newId)
{
    if (plan.size() == 0) {
        lastError = failureText(QStringLiteral("The command is empty."), command);
        return false;
    }
    // A compound command is all-or-nothing: inside the caller's transaction through a
    // savepoint, outside in a transaction of its own (taken IMMEDIATE on SQLite, so it waits
    // for another writer instead of failing half-way). Where a failed statement would end the
    // caller's transaction (PostgreSQL), every statement inside one gets a savepoint.
    const bool guarded = compound || (inTransaction && dialect->failureAbortsTransaction());
    const bool ownTransaction = compound && !inTransaction;
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

    int affected = 0;
    for (int i = 0; i < plan.size(); ++i) {
        Plan::Step step;
        if (!plan.step(i, step))
            return undo(failureText(step.why, plan.text(i), command));
        affected = step.affected;
        if (compound && !newId && !step.missingRow.isEmpty())
            return undo(failureText(rowGone, step.missingRow, command));
        if (newId && *newId <= 0 && step.newId != 0)
            *newId = step.newId;
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
    // The lifter's shape, with the texts it leaves in place as part of a statement's form (LIKE
    // patterns, prefixed strings, select-list texts) masked too: a search pattern holds a name.
    const QString lifted = ledger::liftLiterals(statement).shape;
    namespace tk = ledger::detail::tokens;
    const auto* s = reinterpret_cast<const char16_t*>(lifted.utf16());
    const qsizetype n = lifted.size();
    QString shape;
    shape.reserve(n);
    for (tk::Token t = tk::scan(s, n, 0); t.kind != tk::Kind::End; t = tk::scan(s, n, t.end)) {
        if (t.kind == tk::Kind::String)
            shape += QStringLiteral("'?'");
        else
            shape += QStringView(lifted).mid(t.begin, t.end - t.begin);
    }
    return shape;
}

void setStatementHook(StatementHook hook)
{
    statementHook() = std::move(hook);
}

} // namespace tesr
