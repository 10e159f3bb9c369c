#pragma once

// The libpq connection under a QtSql PostgreSQL session, and libpq's words for a failure.

#include <libpq-fe.h>

#include <QSqlDatabase>
#include <QString>

namespace tesr::sql {

// The session's libpq connection (what the QPSQL driver documents as its handle).
PGconn* postgresHandle(const QSqlDatabase& db);

// The server's message for a failed result, or the connection's when there is no result.
QString postgresError(const PGresult* result, const PGconn* connection);

} // namespace tesr::sql
