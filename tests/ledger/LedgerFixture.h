#pragma once

// Shared by the ledger tests, over a tesrtest::TestDatabase (a real SQLite file or PostgreSQL
// database of the test program's engine, with the company schema).

#include "ledger/Statements.h"
#include "platform/SqlConnection.h"
#include "support/TestDatabase.h"

#include <QString>

#include <memory>

namespace ledgertest {

using tesrtest::onPostgres;

// What each engine says in its own words.
inline QString says(const char* sqlite, const char* postgres)
{
    return QString::fromUtf8(onPostgres() ? postgres : sqlite);
}

// The engine session under a fixture's connection.
inline tesr::SqlConnection& session(tesrtest::TestDatabase& db)
{
    return static_cast<tesr::SqlConnection&>(db.connection());
}

// Another session on the same database, waiting at most busyTimeoutMs for another's lock.
inline std::unique_ptr<tesr::SqlConnection> openAnother(const tesrtest::TestDatabase& db, int busyTimeoutMs = 5000)
{
    auto url = tesr::DatabaseUrl::parse(db.url());
    url->busyTimeoutMs = busyTimeoutMs;
    return tesr::SqlConnection::open(*url);
}

// The shared allocation statements, filled as the screens fill them (by ID when orderId > 0).
inline QString applyCommand(qint64 payment, const QString& uniqueId, const QString& amount, int orderId = 0)
{
    return tesr::ledger::FillMarkers(orderId > 0 ? tesr::ledger::ApplyAllocationByID
                                                 : tesr::ledger::ApplyAllocationByUniqueID,
                                     {{u"<pid>", QString::number(payment)},
                                      {u"<oid>", QString::number(orderId)},
                                      {u"<ouid>", uniqueId},
                                      {u"<a>", amount}});
}
inline QString removeCommand(qint64 allocation, qint64 payment, const QString& uniqueId, const QString& amount)
{
    return tesr::ledger::FillMarkers(tesr::ledger::RemoveAllocation, {{u"<aid>", QString::number(allocation)},
                                                                      {u"<pid>", QString::number(payment)},
                                                                      {u"<ouid>", uniqueId},
                                                                      {u"<a>", amount}});
}

// Rows whose figures disagree with the allocations or the order's total (to the fourth
// decimal), and payments allocated beyond their amount: 0 when the ledger is in step.
inline const char* const OutOfStep =
    "SELECT (SELECT COUNT(*) FROM Payments p WHERE p.Allocated > p.Amount OR p.Allocated <> round((SELECT "
    "COALESCE(SUM(a.Amount), 0) FROM PaymentAllocations a WHERE a.PaymentID = p.ID), 4)) + (SELECT COUNT(*) FROM "
    "Orders o WHERE o.Payments <> round((SELECT COALESCE(SUM(a.Amount), 0) FROM PaymentAllocations a WHERE "
    "a.OrderUniqueID = o.UniqueID), 4)) + (SELECT COUNT(*) FROM Orders WHERE Balance <> round(Total - Payments, 4))";

} // namespace ledgertest
