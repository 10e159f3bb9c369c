#pragma once

// Recordsets over an engine session, and how each engine's values are read: SQLite through the
// QtSql session as the reader moves; PostgreSQL through libpq, whole, with its numbers exact,
// its timestamps as the wall-clock text they hold and its names spelled as the statement (or
// the schema) writes them rather than folded to lower case.

#include "platform/Ado.h"
#include "platform/sql/Session.h"

#include <QString>

#include <memory>

namespace tesr::sql {

// Reads the statement's rows as the reader moves through them; nullptr with the engine's words
// in *why when it fails.
std::unique_ptr<Recordset> openStreamingRecordset(std::shared_ptr<Session> session, const QString& statement,
                                                  QString* why);

// Reads the whole result of a PostgreSQL statement at once, so the session is free for the next
// one; `written` is the statement as the module wrote it (for the names' spelling).
std::unique_ptr<Recordset> openPostgresRecordset(const Session& session, const QString& statement,
                                                 const QString& written, QString* why);

// Money read exactly from engines with a decimal type is handed out as Currency; readers that
// ask such a value for a number or a text get what a double or text would give.
void registerMoneyConversions();

} // namespace tesr::sql
