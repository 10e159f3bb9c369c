#include "platform/sql/Execution.h"

#include "ledger/Dialect.h"
#include "ledger/Literals.h"
#include "ledger/SqlTokens.h"

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
    if (failure.contains(QLatin1StringView("no transaction is active"), Qt::CaseInsensitive) ||
        failure.contains(QLatin1StringView("no such savepoint"), Qt::CaseInsensitive))
        inTransaction = false;
}

bool SqlConnection::Core::execute(const QString& command, int* rowsAffected, qint64* newId)
{
    if (dialect->engine() == ledger::Engine::SQLite)
        return executeOnSqlite(command, rowsAffected, newId);
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
