#include "platform/SqlConnection.h"

#include "platform/sql/Execution.h"
#include "platform/sql/Results.h"
#include "platform/sql/Session.h"

// A SqlConnection is a session (platform/sql/Session), the statements it runs
// (platform/sql/Execution) and the recordsets it reads (platform/sql/Results).

namespace tesr {

SqlConnection::SqlConnection(std::shared_ptr<Core> core) : m_core(std::move(core)) {}

SqlConnection::~SqlConnection()
{
    Close();
}

std::unique_ptr<SqlConnection> SqlConnection::open(const DatabaseUrl& url, QString* error)
{
    return open(url, OpenMode::MustExist, error);
}

std::unique_ptr<SqlConnection> SqlConnection::open(const DatabaseUrl& url, OpenMode mode, QString* error)
{
    auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return std::unique_ptr<SqlConnection>();
    };
    auto dialect = ledger::makeDialect(url.engine);
    if (!dialect)
        return fail(QStringLiteral("Unknown database engine."));
    if (!QSqlDatabase::isDriverAvailable(dialect->qtDriver()))
        return fail(QStringLiteral("The %1 database driver (%2) is not installed.")
                        .arg(dialect->displayName(), dialect->qtDriver()));
    auto session = sql::openSession(url, mode, *dialect, error);
    if (!session)
        return nullptr;
    auto core = std::make_shared<Core>();
    core->session = std::move(session);
    core->dialect = std::move(dialect);
    return std::unique_ptr<SqlConnection>(new SqlConnection(std::move(core)));
}

bool SqlConnection::BeginTrans()
{
    Core& c = *m_core;
    c.lastError.clear();
    if (!c.usable())
        return false;
    if (c.inTransaction) {
        c.lastError = QStringLiteral("A transaction is already open on this connection.");
        return false;
    }
    if (!c.runControl(c.dialect->beginTransaction()))
        return false;
    c.inTransaction = true;
    return true;
}

bool SqlConnection::CommitTrans()
{
    m_core->lastError.clear();
    return m_core->usable() && m_core->endTransaction(m_core->dialect->commitTransaction());
}

bool SqlConnection::RollbackTrans()
{
    m_core->lastError.clear();
    return m_core->usable() && m_core->endTransaction(m_core->dialect->rollbackTransaction());
}

bool SqlConnection::InTransaction() const
{
    return m_core->inTransaction;
}

void SqlConnection::Close()
{
    Core& c = *m_core;
    if (!c.session)
        return;
    // Closing with a transaction open abandons it, as the host's connections do.
    const bool rolledBack =
        !c.inTransaction || (c.session->db.isOpen() && c.runControl(c.dialect->rollbackTransaction()));
    c.inTransaction = false;
    c.forgetTransaction();
    // Kept for the next job when nothing else holds it and it is known to be clean.
    if (rolledBack && !c.session->poolKey.isEmpty() && c.session.use_count() == 1 && c.session->db.isOpen())
        sql::keepForReuse(std::move(c.session));
    c.session.reset(); // the session ends with the last recordset still reading from it
}

bool SqlConnection::IsOpen() const
{
    return m_core->session && m_core->session->db.isOpen();
}

std::unique_ptr<Recordset> SqlConnection::OpenRecordset(const QString& statement)
{
    Core& c = *m_core;
    c.lastError.clear();
    if (!c.usable())
        return nullptr;
    if (c.dialect->engine() == ledger::Engine::PostgreSQL) {
        // Read whole, in one round trip with the savepoint that keeps a failed read inside a
        // transaction from ending the transaction's work.
        PGresult* result = nullptr;
        if (!c.sendHeldOnPostgres() || !c.runOnPostgres(statement, nullptr, nullptr, &result))
            return nullptr;
        auto recordset = sql::postgresRecordset(result, statement);
        PQclear(result);
        return recordset;
    }
    const QStringList statements = c.dialect->translate(statement);
    if (statements.size() != 1) {
        c.lastError =
            sql::failureText(statements.isEmpty() ? QStringLiteral("The statement is empty.")
                                                  : QStringLiteral("A recordset is read from one statement only."),
                             statement);
        return nullptr;
    }
    QString why;
    auto recordset = sql::openStreamingRecordset(c.session, statements.front(), &why);
    if (!recordset)
        c.lastError = sql::failureText(why, statements.front(), statement);
    return recordset;
}

void SqlConnection::DeferWrites()
{
    if (m_core->inTransaction && m_core->dialect->engine() == ledger::Engine::PostgreSQL)
        m_core->queue.wanted = true;
}

bool SqlConnection::Execute(const QString& command, int* rowsAffected)
{
    if (rowsAffected)
        *rowsAffected = 0;
    Core& c = *m_core;
    c.lastError.clear();
    return c.usable() && c.execute(command, rowsAffected, nullptr);
}

qint64 SqlConnection::ExecuteInsert(const QString& statement)
{
    Core& c = *m_core;
    c.lastError.clear();
    qint64 id = 0;
    if (!c.usable() || !c.execute(statement, nullptr, &id))
        return -1;
    if (id < 1) {
        c.lastError = sql::failureText(QStringLiteral("The statement added no row."), statement);
        return -1;
    }
    return id;
}

QString SqlConnection::LastError() const
{
    return m_core->lastError;
}

const ledger::Dialect& SqlConnection::dialect() const
{
    return *m_core->dialect;
}

QSqlDatabase SqlConnection::database() const
{
    return m_core->session ? m_core->session->db : QSqlDatabase();
}

std::unique_ptr<Connection> openCompanyConnection(const QString& url, QString* error)
{
    const std::optional<DatabaseUrl> parsed = DatabaseUrl::parse(url, error);
    if (!parsed)
        return nullptr;
    return SqlConnection::open(*parsed, SqlConnection::OpenMode::MustExist, error);
}

} // namespace tesr
