#pragma once

// The compound allocation statements more than one screen runs. Each keeps the three figures
// in step in one command: the payment's Allocated, the order's Payments and Balance.
// Markers: <pid> payment ID, <ouid> order UniqueID (inside the quotes), <oid> order ID,
// <aid> allocation ID, <a> the amount as plain decimal text. Every occurrence is replaced.

#include <QString>
#include <QStringView>

#include <algorithm>
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

// How FillMarkers goes through a template.
enum class MarkerScan {
    // The markers one after another, in the order given, each over the whole current text;
    // matching is exact and case-sensitive.
    EachOverAll,
    // One pass over the template: at each '<' the first marker given that starts there. A value
    // put in is never scanned again, so text the user typed ("<id>" in a description) stays as
    // typed whatever markers follow it.
    Once,
};

inline QString FillMarkers(QStringView templateText, std::initializer_list<std::pair<QStringView, QString>> markers,
                           MarkerScan scan = MarkerScan::EachOverAll)
{
    if (scan == MarkerScan::EachOverAll) {
        QString text = templateText.toString();
        for (const auto& [marker, value] : markers)
            text.replace(marker.toString(), value, Qt::CaseSensitive);
        return text;
    }
    QString out;
    out.reserve(templateText.size() + 64);
    qsizetype i = 0;
    while (i < templateText.size()) {
        const auto found =
            templateText[i] != u'<' ? markers.end() : std::find_if(markers.begin(), markers.end(), [&](const auto& m) {
                return templateText.mid(i).startsWith(m.first);
            });
        if (found == markers.end()) {
            out += templateText[i++];
        } else {
            out += found->second;
            i += found->first.size();
        }
    }
    return out;
}

} // namespace tesr::ledger
