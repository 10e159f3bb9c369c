#include "platform/DataTools.h"

namespace tesr {

namespace {

class DefaultDataTools final : public DataTools {
public:
    // The cursor and lock arguments are the ADO ones the screens pass (forward-only,
    // read-only); every recordset here reads forward only.
    std::unique_ptr<Recordset> OpenRecordset(const QString& statement, Connection* connection, int, int) override
    {
        if (!ready(connection))
            return nullptr;
        auto recordset = connection->OpenRecordset(statement);
        if (!recordset)
            m_lastError = connection->LastError();
        return recordset;
    }

    qint64 ExecuteInsert(const QString& statement, Connection* connection) override
    {
        if (!ready(connection))
            return -1;
        const qint64 id = connection->ExecuteInsert(statement);
        if (id < 1)
            m_lastError = connection->LastError();
        return id;
    }

    bool ExecuteStatement(const QString& statement, Connection* connection) override
    {
        if (!ready(connection))
            return false;
        if (connection->Execute(statement))
            return true;
        m_lastError = connection->LastError();
        return false;
    }

    QString LastErrorText(int) const override { return m_lastError; }

private:
    bool ready(Connection* connection)
    {
        if (!connection) {
            m_lastError = QStringLiteral("There is no connection to the company database.");
            return false;
        }
        if (!connection->IsOpen()) {
            m_lastError = QStringLiteral("The connection to the company database is closed.");
            return false;
        }
        return true;
    }

    QString m_lastError;
};

} // namespace

std::unique_ptr<DataTools> makeDefaultDataTools()
{
    return std::make_unique<DefaultDataTools>();
}

} // namespace tesr
