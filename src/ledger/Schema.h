#pragma once

// The company database as the module relies on it: the tables Payments, PaymentAllocations,
// Orders, Customers, PaymentMethods and ActivityHistory, the views vwScreen_NewPayment and
// vwScreen_EditPayment, and the payment details text (dbo.PaymentDetails). Described once,
// created per engine.

#include "ledger/Dialect.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace tesr::ledger {

// The DDL that creates the whole schema on an engine, in order.
QStringList schemaStatements(Engine engine);

// Creates the schema in an empty database, all-or-nothing.
bool createSchema(QSqlDatabase& db, Engine engine, QString* error = nullptr);

// True when every table and view the module uses is there.
bool hasSchema(const QSqlDatabase& db, Engine engine);

// The whole schema as one script for the engine's own tools: for SQL Server a T-SQL script
// whose batches are separated by GO lines (CREATE VIEW and CREATE FUNCTION each need a batch
// of their own), elsewhere statements ending in ';' in one transaction.
QString schemaScript(Engine engine);

// A column of the schema's tables and views spelled as the schema writes it ("CustomerName"
// for "customername"); empty for a name the schema does not have.
QString canonicalColumnName(const QString& name);

// True for a date-time column of the schema (PaymentDate, AddedOn, LastUsed), by name without
// regard to case: engines that keep dates as text give no other sign of them.
bool isDateColumn(const QString& name);

} // namespace tesr::ledger
