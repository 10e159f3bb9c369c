#pragma once

// The New Payment dialog's customer box and credit check: a type-ahead list of customers read
// from the company database while the user types, and the total a customer has paid but not
// yet applied to any sale or order.

#include "platform/HostServices.h"
#include "values/Currency.h"

#include <QString>

#include <optional>

namespace tesr {
class ComboBox;
}

namespace tesr::modSharedCustomers {

// At most this many customers are offered at a time.
inline constexpr int CustomerListLimit = 32;

// Whose customers the user may pick: nothing when every customer (permission 303, right 4),
// otherwise the user's ID, to narrow the list to the customers they are the sales rep of.
std::optional<int> OwnCustomersOnly(HostSecurity& security);

// The statement FillCustomerCombo runs for a search text, for a user who may see every
// customer (allCustomers) or only those whose sales rep they are (userId). The search text goes
// through the host's FixForSQLInsert: quotes are made safe, LIKE wildcards keep their meaning.
QString CustomerSearchStatement(const QString& searchText, bool allCustomers, int userId, SharedCodeLibrary& host);

// Refills the box's list from the Customers table: with an empty box the most recently used
// customers, otherwise those whose name contains the typed text. Each entry is the trimmed name
// with the customer's ID as item data. Whatever happens on the way (no host, no connection, a
// statement the database refuses), the box ends with the user's text, the caret after it, no
// entry selected and the list open when droppedDown is true.
void FillCustomerCombo(ComboBox& combo, SharedCodeLibrary* host, bool droppedDown);

// The credit statement for a customer: the sum of Amount - Allocated over the customer's
// payments that are not fully allocated.
QString CustomerCreditStatement(int customerId);

// The customer's credit (0 when every payment is fully allocated); nothing when the host's
// answer is no amount.
std::optional<Currency> QueryCustomerCredit(int customerId, SharedCodeLibrary& host);

} // namespace tesr::modSharedCustomers
