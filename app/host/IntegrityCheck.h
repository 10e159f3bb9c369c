#pragma once

// The ledger's three figures checked against the allocation rows, for the whole database:
//   - a payment's Allocated is the sum of its allocations;
//   - an order's Payments is the sum of the allocations naming its UniqueID;
//   - an order's Balance is its Total less those payments.
// Every figure out of step is listed; a repair sets each one to what the allocation rows say,
// all inside one transaction, with an activity line for every row it corrects. Allocations are
// never changed: they are the record the figures are rebuilt from.

#include "platform/Ado.h"
#include "values/Currency.h"

#include <QList>
#include <QString>

namespace tesr::host {

struct Drift {
    enum class Figure { PaymentAllocated, OrderPayments, OrderBalance };
    Figure figure = Figure::PaymentAllocated;
    int id = 0;          // the payment's or the order's ID
    int customerId = 0;  // whose row it is (0 when the row names none)
    QString orderNumber; // orders only
    Currency recorded;   // what the row holds
    Currency expected;   // what the allocation rows say it should hold

    // "Payment 12", "Order 1001 (ID 5)".
    QString row() const;
    // "Allocated", "Payments", "Balance".
    QString figureName() const;
    // One line for a person or a log, amounts as plain decimals:
    // "Payment 12 (customer 3): Allocated is 100, its allocations add up to 90".
    QString describe() const;
};

struct IntegrityReport {
    bool ran = false; // false: the check could not be made (error says why)
    QString error;
    int paymentsChecked = 0;
    int ordersChecked = 0;
    QList<Drift> drifts;

    bool clean() const { return ran && drifts.isEmpty(); }
    // "Checked 120 payments and 80 orders: every figure is in step." / "...: 3 figures are out of step."
    QString summary() const;
};

// Reads the whole database on the connection; changes nothing.
IntegrityReport checkIntegrity(Connection& connection);

struct RepairResult {
    bool ok = false;
    QString error;         // why nothing was repaired
    QList<Drift> repaired; // the figures set right
    int rowsCorrected = 0; // payment and order rows updated (one activity line each)
};

// Checks again inside one transaction and sets every figure out of step to what the
// allocation rows say, each row only if it still holds the figure the check read (another
// workstation saving meanwhile makes the repair stop, and nothing is kept). Each corrected row
// gets an activity line recorded as `userId`. All or nothing.
RepairResult repairIntegrity(Connection& connection, int userId);

} // namespace tesr::host
