#pragma once

// Recordsets over an engine session, and how each engine's values are read: SQLite through the
// engine's own interface on the session's connection, as the reader moves (other QtSql drivers
// through QtSql); PostgreSQL through libpq, whole, with its numbers exact, its timestamps as the
// wall-clock text they hold and its names spelled as the statement (or the schema) writes them
// rather than folded to lower case.

#include "platform/Ado.h"
#include "platform/sql/Session.h"

#include <libpq-fe.h>

#include <QString>

#include <memory>

namespace tesr::sql {

// Reads the statement's rows as the reader moves through them; nullptr with the engine's words
// in *why when it fails.
std::unique_ptr<Recordset> openStreamingRecordset(std::shared_ptr<Session> session, const QString& statement,
                                                  QString* why);

// The whole result of a PostgreSQL query, read at once so the session is free for the next
// statement; `written` is the statement as the module wrote it (for the names' spelling).
std::unique_ptr<Recordset> postgresRecordset(const PGresult* result, const QString& written);

// Money read exactly from engines with a decimal type is handed out as Currency; readers that
// ask such a value for a number or a text get what a double or text would give.
void registerMoneyConversions();

} // namespace tesr::sql
