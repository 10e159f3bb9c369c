// Placeholder until the screen exists; replaced by the screen's own ShowCustomerPayments.
#include "entry/Library.h"

namespace tesr {

void Library::ShowCustomerPayments(int)
{
    return;
}

} // namespace tesr
