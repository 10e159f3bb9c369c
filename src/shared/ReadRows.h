#pragma once

// Reading a statement's rows into a list: every screen that fills a list from the database
// opens the rows the same way, looks their columns up once by name and reads row after row.
// Also the words for a database that cannot be reached at all.

#include <QString>
#include <QStringList>

#include <functional>

namespace tesr {

class Connection;
class FieldIndex;
class Recordset;
class SharedCodeLibrary;

namespace rows {

// What the user is told when there is no connection to read or write with and the host gave no
// reason.
inline const QString NoDatabase = QStringLiteral("The company database could not be reached.");

// What is done with each row: the recordset on that row, and its columns by the position of
// their names.
using RowReader = std::function<void(const Recordset& rs, const FieldIndex& fields)>;

// Hands each row `statement` reads on `conn` to `read`, its columns looked up once by `names`;
// false when the rows could not be read (no helper, or the statement did not open).
bool ForEach(Connection& conn, const QString& statement, const QStringList& names, const RowReader& read);

// The same on a connection of the host's, closed after; false without a host or a connection.
bool ForEach(SharedCodeLibrary* scl, const QString& statement, const QStringList& names, const RowReader& read);

} // namespace rows
} // namespace tesr
