#include "entry/Library.h"
#include "entry/ScreenRunner.h"
#include "forms/frmCustomerPayments/frmCustomerPayments.h"

namespace tesr {

void Library::ShowCustomerPayments(int CustomerID)
{
    if (!HostPresent(*this, "ShowCustomerPayments"))
        return;
    RunScreen<frmCustomerPayments>([](const frmCustomerPayments&) {}, CustomerID, *this, *this);
}

} // namespace tesr
