#include "entry/Library.h"
#include "entry/ScreenRunner.h"
#include "forms/frmCustomerPayments/frmCustomerPayments.h"

namespace tesr {

void Library::ShowCustomerPayments(int CustomerID)
{
    RunScreen<frmCustomerPayments>([](const frmCustomerPayments&) {}, CustomerID, *this, *this);
}

} // namespace tesr
