#pragma once

// The two writes of the review screens that take money back: removing an allocation (Order
// Payments, Payment Allocations) and deleting a payment (Customer Payments, and Order Payments
// after the payment's last allocation went). Each is one job on a connection of its own, all or
// nothing, and decides on what the database holds at that moment, under a lock, rather than on
// what the list showed: another workstation may have got there first.

#include "values/Currency.h"

#include <QString>

#include <functional>

namespace tesr {

class Connection;
class SharedCodeLibrary;

namespace removal {

// The payments permission and its right to delete payments and remove allocations.
inline constexpr int PermissionPayments = 803;
inline constexpr int RightDelete = 32;
// The customer's activity line for a deleted payment: {0} its amount, {1} the day it was
// recorded on, both as the user saw them.
inline const QString DeletedActivity =
    QStringLiteral("A payment of {0}, recorded on {1}, was deleted from this customer.");

// Whether the host's user may delete and remove here; false without a host.
bool MayRemove(SharedCodeLibrary* scl);

enum class Outcome {
    Done,           // written and committed
    Gone,           // the row is no longer there (removed on another workstation): nothing changed
    HasAllocations, // deletion only: the payment has an allocation now: nothing changed
    Failed          // the database refused or could not be reached: nothing changed, error says why
};

struct Result {
    Outcome outcome = Outcome::Failed;
    QString error; // the engine's words when Failed
};

// Locks the payment's row, counts its allocations, and deletes it only when it has none, with
// `activity` (which writes the activity line on the same connection; false when it could not)
// inside the same transaction.
Result DeletePayment(Connection& connection, int paymentID, const std::function<bool(Connection&)>& activity);

// The allocation a removal moved back, and how many allocations its payment has left.
struct Allocation {
    int paymentID = 0;
    QString orderUniqueID;
    Currency amount;
    qint64 remaining = 0;
};

// Reads the allocation under a lock inside the job's transaction and runs the remove-allocation
// command with what it read: the payment's Allocated and the order's Payments and Balance move
// back by exactly the stored amount, and the allocation row goes. The payment's allocations
// left are counted in the same transaction, so a failed count fails the removal too.
Result RemoveAllocation(Connection& connection, int allocationID, Allocation* removed = nullptr);

// The same two jobs on a connection the host hands out for them and closes after (none to be had
// is Failed, with the host's reason). The deletion records "customerID"'s activity line
// `activityText` on the job's connection, in its transaction.
Result DeletePayment(SharedCodeLibrary& scl, int paymentID, int customerID, const QString& activityText);
Result RemoveAllocation(SharedCodeLibrary& scl, int allocationID, Allocation* removed = nullptr);

// Tells the user, through the host, why a deletion or removal left everything as it was: the
// row is gone (deleted or removed elsewhere), the payment has allocations, or the screen's own
// failure headline with the engine's words as the detail (which the host logs). Nothing for Done.
enum class What { Payment, Allocation };
void TellNotDone(SharedCodeLibrary& scl, const Result& result, What what, const QString& failedHeadline);

} // namespace removal
} // namespace tesr
