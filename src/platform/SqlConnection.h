#pragma once

// The Connection the reference host hands out: QtSql underneath, with the engine adaptation
// layer between the module's T-SQL and the engine. One SqlConnection is one database session.

#include "ledger/Dialect.h"
#include "platform/Ado.h"
#include "platform/DatabaseUrl.h"

#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <memory>

namespace tesr {

class SqlConnection final : public Connection {
public:
    ~SqlConnection() override;

    // A company database must already exist; only tools that build one (demo data, tests)
    // ask for a missing SQLite file to be created.
    enum class OpenMode { MustExist, CreateIfMissing };

    // Opens a new session; nullptr with the reason in *error when the database cannot be
    // opened (missing, unreadable or foreign file, refused login...).
    static std::unique_ptr<SqlConnection> open(const DatabaseUrl& url, QString* error = nullptr);
    static std::unique_ptr<SqlConnection> open(const DatabaseUrl& url, OpenMode mode, QString* error = nullptr);

    bool BeginTrans() override;
    bool CommitTrans() override;
    bool RollbackTrans() override;
    bool InTransaction() const override;
    void Close() override;
    bool IsOpen() const override;
    std::unique_ptr<Recordset> OpenRecordset(const QString& statement) override;
    // A compound command runs all-or-nothing: in a transaction of its own, or inside the
    // caller's transaction through a savepoint. rowsAffected is its last statement's count.
    // A compound command whose DELETE finds no row to delete, or whose UPDATE of a row named by
    // key (WHERE ID = n) finds none, changes nothing and fails: the figures it moves belong to a
    // row another session has already removed.
    bool Execute(const QString& command, int* rowsAffected = nullptr) override;
    qint64 ExecuteInsert(const QString& statement) override;
    QString LastError() const override;
    // On PostgreSQL, where each answer costs a round trip to the server.
    void DeferWrites() override;

    const ledger::Dialect& dialect() const;
    // The session underneath, for code that runs engine-native SQL (schema, demo data).
    QSqlDatabase database() const;

    struct Core;

private:
    explicit SqlConnection(std::shared_ptr<Core> core);
    std::shared_ptr<Core> m_core;
};

// A statement as logs and messages may show it: every literal (quoted text, number) replaced by
// a placeholder, so that card details, names, memos and amounts stay out of them.
QString statementShape(const QString& statement);

// Test hook for fault injection. When set, it is asked before each statement a connection sends
// to the engine on behalf of a job: transaction control and savepoints, every statement of a
// command (each one of a compound command, as the engine receives it) and every query. A false
// answer fails that statement as if the engine had refused it; nothing is sent. Opening a
// session (login, settings) and the connection's own health probes are not offered to it.
// Process-wide; set and cleared by tests on the thread that runs the statements; an empty
// function removes it.
using StatementHook = std::function<bool(const QString& statement)>;
void setStatementHook(StatementHook hook);

// Opens a company database connection from a URL (see DatabaseUrl).
std::unique_ptr<Connection> openCompanyConnection(const QString& url, QString* error = nullptr);

} // namespace tesr
