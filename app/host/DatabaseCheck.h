#pragma once

// Before the host hands a company database to the module it makes sure the database is one:
// the file is there, readable, a SQLite database, and carries the payment tables. Each way it
// can fail gets its own message; a database without the tables can be given them.

#include "host/Logger.h"
#include "host/Prompter.h"

#include <QString>

namespace tesr::host {

enum class DatabaseState {
    Ready,        // opens and has the schema
    Missing,      // no file at the path
    Unreadable,   // a file that cannot be read (rights, a folder...)
    NotADatabase, // a file that is not a SQLite database
    NoSchema,     // a database without the payment tables
    CannotOpen,   // any other failure (bad URL, server refused...)
};

struct DatabaseStatus {
    DatabaseState state = DatabaseState::CannotOpen;
    QString detail; // the engine's words, for the log and the message's detail
};

// Looks at the database without changing it.
DatabaseStatus inspectDatabase(const QString& url);

// Gives a database without the payment tables its schema, all-or-nothing.
bool createCompanySchema(const QString& url, QString* error);

// Makes the database ready for the module, telling the user what is wrong through the
// prompter: a missing default database is created with demo data; a database without the
// schema gets one if the user agrees. True when the database can be used.
bool prepareCompanyDatabase(const QString& url, bool isDefaultDatabase, Prompter& prompter, Logger* logger);

// Creates (or replaces) the demo database at a SQLite path.
bool recreateDemoDatabase(const QString& path, QString* error);

} // namespace tesr::host
