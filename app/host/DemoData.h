#pragma once

// Company databases to try the module on, and to measure it against: a small realistic one
// for the desktop host and the tests, a large one for benchmarks, and helpers that add the
// extreme cases the screens must stay quick with. Every figure written keeps the ledger's
// rules: a payment's Allocated is the sum of its allocations, an order's Payments the sum of
// the allocations naming it, and its Balance is Total - Payments.

#include <QString>
#include <QtGlobal>

namespace tesr::host {

// A new SQLite file with the schema and about 200 customers, 1,000 orders in states 1 to 4
// (status codes including 500 and 1600), the payment methods Cash and Check (type 0), Visa,
// MasterCard and American Express (type 1), payments fully and partly allocated, customers
// with credit, and one allocation that names an order kept on another system (no Orders
// row). The same seed gives the same data. Refuses to overwrite an existing file; the file
// appears only once it is complete.
bool createDemoDatabase(const QString& sqlitePath, QString* error, quint32 seed = 5);

// A new SQLite file of the given size for benchmarks, built in one transaction: every payment
// is allocated in full to an order of its customer (orders at state 3, owing what is left).
bool createScaleDatabase(const QString& sqlitePath, int customers, int orders, int payments, QString* error);

// Additions to an existing company database, each in one transaction, for the screens'
// heaviest cases. Each answers the ID of the row it was made for, 0 on failure (reason in
// *error).

// A new customer with `openOrders` open orders (state 3, nothing paid yet) and
// `unallocatedPayments` payments not applied to anything (all of them credit).
int addCustomerWithOpenOrders(const QString& sqlitePath, int openOrders, int unallocatedPayments, QString* error);

// A new customer with `payments` payments, each applied in full to an order of the customer.
int addCustomerWithPayments(const QString& sqlitePath, int payments, QString* error);

// A new order (of a new customer) paid by `allocations` payments, one allocation each.
int addOrderWithAllocations(const QString& sqlitePath, int allocations, QString* error);

// A new payment of a new customer, spread over `allocations` new orders, one allocation each.
int addPaymentWithAllocations(const QString& sqlitePath, int allocations, QString* error);

} // namespace tesr::host
