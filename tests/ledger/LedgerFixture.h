#pragma once

// A company database for the ledger tests on the test program's engine (see
// support/TestDatabase.h): a real SQLite file or PostgreSQL database with the schema that
// createSchema makes, one SqlConnection on it, and small readers for assertions.

#include "ledger/Schema.h"
#include "platform/SqlConnection.h"
#include "support/TestDatabase.h"
#include "values/Currency.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

namespace ledgertest {

using tesrtest::onPostgres;

inline tesr::DatabaseUrl sqliteUrl(const QString& path, int busyTimeoutMs = 5000)
{
    tesr::DatabaseUrl url;
    url.engine = tesr::ledger::Engine::SQLite;
    url.path = path;
    url.busyTimeoutMs = busyTimeoutMs;
    return url;
}

// Single quotes doubled: how every typed value reaches a quoted marker.
inline QString quoted(const QString& text)
{
    QString copy = text;
    return copy.replace(u'\'', QStringLiteral("''"));
}

class LedgerFile {
public:
    LedgerFile() : scratch(tesrtest::ScratchDatabase::Contents::Schema)
    {
        engine = scratch.engine();
        path = scratch.url();
        connection = tesr::SqlConnection::open(scratch.databaseUrl(), &error);
    }

    bool ok() const { return connection != nullptr; }

    std::unique_ptr<tesr::SqlConnection> openAnother(int busyTimeoutMs = 5000) const
    {
        QString why;
        return tesr::SqlConnection::open(scratch.databaseUrl(busyTimeoutMs), &why);
    }

    // Runs a command through the connection; false (with the reason in `error`) on failure.
    bool exec(const QString& command)
    {
        if (connection->Execute(command))
            return true;
        error = connection->LastError();
        return false;
    }

    // Runs engine-native SQL on the session underneath (triggers, catalogue questions).
    bool native(const QString& sql)
    {
        QSqlQuery query(connection->database());
        if (query.exec(sql))
            return true;
        error = query.lastError().text();
        return false;
    }

    qint64 insert(const QString& statement)
    {
        const qint64 id = connection->ExecuteInsert(statement);
        if (id < 1)
            error = connection->LastError();
        return id;
    }

    // The first value of the first row; an invalid QVariant when there is none.
    QVariant scalar(const QString& statement)
    {
        auto rs = connection->OpenRecordset(statement);
        if (!rs) {
            error = connection->LastError();
            return QVariant();
        }
        return rs->Eof() ? QVariant() : rs->FieldValue(0);
    }
    int count(const QString& statement) { return scalar(statement).toInt(); }
    tesr::Currency money(const QString& statement)
    {
        return tesr::Currency::fromVariant(scalar(statement)).value_or(tesr::Currency::fromRaw(-999999999));
    }

    tesrtest::ScratchDatabase scratch;
    tesr::ledger::Engine engine = tesr::ledger::Engine::SQLite;
    QString path; // the file (SQLite) or the URL (PostgreSQL)
    QString error;
    std::unique_ptr<tesr::SqlConnection> connection;
};

} // namespace ledgertest
