#pragma once

// The ledger's figures checked against the allocation rows, for the whole database:
//   - a payment's Allocated is the sum of its allocations, and that sum lies between 0 and the
//     payment's Amount;
//   - an order's Payments is the sum of the allocations naming its UniqueID;
//   - an order's Balance is its Total less those payments;
//   - every allocation names a payment that exists;
//   - every figure holds an amount of at most four decimals (not NULL, not text, not NaN).
// Every finding is listed; a repair sets each figure it can to what the allocation rows say,
// all inside one transaction, with an activity line for every row it corrects. Allocations are
// never changed: they are the record the figures are rebuilt from, so what is wrong in them
// (more allocated than paid, an allocation of a payment that is gone) is named for a person.

#include "platform/Ado.h"
#include "values/Currency.h"

#include <QList>
#include <QString>

namespace tesr::host {

struct Drift {
    enum class Figure {
        PaymentAllocated, // Allocated against the sum of the payment's allocations
        OrderPayments,    // Payments against the sum of the allocations naming the order
        OrderBalance,     // Balance against Total less those payments
        PaymentAmount,    // the payment's allocations add up to more than its Amount (or below 0)
        AllocationPayment // the allocation names a payment that does not exist
    };
    Figure figure = Figure::PaymentAllocated;
    int id = 0;          // the payment's, the order's or (AllocationPayment) the allocation's ID
    int customerId = 0;  // whose row it is (0 when the row names none)
    QString orderNumber; // orders, and the order an allocation names
    int paymentId = 0;   // AllocationPayment: the payment it names
    Currency recorded;   // what the row holds (an allocation's amount)
    // What the row holds when that is no amount of at most four decimals ("NULL", "50.00001",
    // "NaN", a text); empty when `recorded` is exactly it.
    QString stored;
    Currency expected; // what the allocation rows say it should hold
    // Why the repair leaves it for a person; empty when the repair sets it right.
    QString unrepairable;

    // "Payment 12", "Order 1001 (ID 5)", "Allocation 7".
    QString row() const;
    // "Allocated", "Payments", "Balance", "Amount", "PaymentID".
    QString figureName() const;
    // The recorded and expected figures as a person reads them ("$1,200.00", "NULL", "50.00001").
    QString recordedText() const;
    QString expectedText() const;
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
    // "Checked 120 payments and 80 orders: every figure is in step." / "...: 3 figures are out of
    // step." / "...: 3 figures are out of step, 1 of them for a person to correct."
    QString summary() const;
};

// Reads the whole database on the connection; changes nothing.
IntegrityReport checkIntegrity(Connection& connection);

struct RepairResult {
    bool ok = false;
    QString error;         // why nothing was repaired
    QList<Drift> repaired; // the figures set right
    QList<Drift> left;     // what only a person can set right (each says why)
    int rowsCorrected = 0; // payment and order rows updated (one activity line each)
};

// Checks again inside one transaction and sets every figure it can to what the allocation rows
// say, each row only if it still holds the figure the check read (another workstation saving
// meanwhile makes the repair stop, and nothing is kept). Each corrected row gets an activity
// line recorded as `userId`. All or nothing; what it cannot repair is returned in `left`.
RepairResult repairIntegrity(Connection& connection, int userId);

} // namespace tesr::host
