#pragma once

// PostgreSQL through libpq, on the connection of the QtSql session: the statements of one
// command, with the savepoint or transaction statements around them, go to the server in one
// message and their answers come back together (one round trip); each statement shape is
// prepared once per session (the least recently used let go beyond a bound) and run with the
// command's values bound.

#include "ledger/Literals.h"

#include <libpq-fe.h>

#include <QByteArray>
#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <list>
#include <vector>

namespace tesr::sql {

// The session's libpq connection (what the QPSQL driver documents as its handle).
PGconn* postgresHandle(const QSqlDatabase& db);

// The server's message for a failed result, or the connection's when there is no result;
// without the DETAIL line, which quotes row values (the user's data).
QString postgresError(const PGresult* result, const PGconn* connection);

class PostgresStatements {
public:
    static constexpr int MaxShapes = 96;

    explicit PostgresStatements(PGconn* connection) : m_connection(connection) {}
    ~PostgresStatements();
    PostgresStatements(const PostgresStatements&) = delete;
    PostgresStatements& operator=(const PostgresStatements&) = delete;

    // A statement of a shape as it is prepared: its text with numbered markers, and the names
    // it is prepared under, one for each set of value types it was run with.
    struct Prepared {
        QByteArray text;
        QHash<QByteArray, QByteArray> names; // by the types of its values
    };
    // A command shape as the engine reads it: its statements ('?' for each value), how many
    // values each takes and their prepared forms.
    struct Shape {
        QStringList statements;
        std::vector<int> markers;
        std::vector<Prepared> prepared;
    };
    // The shape `key`, translated by `translate` on first use. A shape let go (the least recently
    // used beyond MaxShapes) has its prepared statements deallocated with the next round trip.
    Shape& shape(const QString& key, const std::function<QStringList()>& translate);

    // One statement of a round trip: a statement of a shape with its values (prepared once), or
    // a statement sent as it stands (transaction control, statements of form only).
    struct Request {
        QString text;                                // '?' for each value
        QStringView command;                         // where the values are ...
        const ledger::LiteralSpan* values = nullptr; // ... and which
        int count = 0;
        Prepared* prepared = nullptr; // kept prepared on the session there
        bool keepResult = false;      // a query whose rows the caller reads
    };
    struct Reply {
        bool ok = false;
        int affected = 0;           // rows changed; -1 for a statement that returns rows
        QString why;                // the server's words when it failed
        PGresult* result = nullptr; // kept for keepResult, freed by the caller with PQclear
    };
    // Sends the requests in one message and reads every answer. False with *why when the
    // connection itself failed (nothing can be said of the requests then).
    bool roundTrip(const std::vector<Request>& requests, std::vector<Reply>* replies, QString* why);

    // Where the transaction stands after the last round trip: open, and failed (the server
    // refuses every statement but its end).
    bool inTransaction() const;
    bool transactionFailed() const;

    // Room a command's shape and values are worked out in, kept from one command to the next.
    QString scratchShape;
    std::vector<ledger::LiteralSpan> scratchValues;

private:
    PGconn* m_connection;
    std::list<std::pair<QString, Shape>> m_shapes; // most recently used first
    QHash<QString, std::list<std::pair<QString, Shape>>::iterator> m_shapeByKey;
    QList<QByteArray> m_unneeded; // prepared statements let go, deallocated with the next round trip
    int m_serial = 0;
};

} // namespace tesr::sql
