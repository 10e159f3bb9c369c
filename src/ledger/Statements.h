#pragma once

// The compound allocation statements more than one screen runs. Each keeps the three figures
// in step in one command: the payment's Allocated, the order's Payments and Balance.
// Markers: <pid> payment ID, <ouid> order UniqueID (inside the quotes), <oid> order ID,
// <aid> allocation ID, <a> the amount as plain decimal text. Every occurrence is replaced.

#include <QString>
#include <QStringView>

#include <initializer_list>
#include <utility>

namespace tesr::ledger {

// Apply an amount to an order found by its UniqueID (New Payment).
inline constexpr QStringView ApplyAllocationByUniqueID =
    u"INSERT INTO PaymentAllocations (PaymentID, OrderUniqueID, Amount) VALUES(<pid>, '<ouid>', <a>); "
    u"UPDATE Payments SET Allocated = Allocated + <a> WHERE ID = <pid>; "
    u"UPDATE Orders SET Payments = Payments + <a>, Balance = Balance - <a> WHERE UniqueID = '<ouid>'";

// Apply an amount to an order found by its ID (Allocate Credit).
inline constexpr QStringView ApplyAllocationByID =
    u"INSERT INTO PaymentAllocations (PaymentID, OrderUniqueID, Amount) VALUES(<pid>, '<ouid>', <a>); "
    u"UPDATE Payments SET Allocated = Allocated + <a> WHERE ID = <pid>; "
    u"UPDATE Orders SET Payments = Payments + <a>, Balance = Balance - <a> WHERE ID = <oid>";

// Move an allocation back and delete it (Order Payments, Payment Allocations).
inline constexpr QStringView RemoveAllocation =
    u"UPDATE Payments SET Allocated = Allocated - <a> WHERE ID = <pid>; "
    u"UPDATE Orders SET Payments = Payments - <a>, Balance = Balance + <a> WHERE UniqueID = '<ouid>'; "
    u"DELETE FROM PaymentAllocations WHERE ID = <aid>";

// Replaces the markers one after another, in the order given, each over the whole current
// text; matching is exact and case-sensitive.
inline QString FillMarkers(QStringView templateText, std::initializer_list<std::pair<QStringView, QString>> markers)
{
    QString text = templateText.toString();
    for (const auto& [marker, value] : markers)
        text.replace(marker.toString(), value, Qt::CaseSensitive);
    return text;
}

} // namespace tesr::ledger
