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

} // namespace tesr::ledger
