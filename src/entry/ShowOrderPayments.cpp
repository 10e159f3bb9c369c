#include "entry/Library.h"
#include "entry/ScreenRunner.h"
#include "forms/frmOrderPayments/frmOrderPayments.h"

namespace tesr {

void Library::ShowOrderPayments(int OrderID)
{
    if (!HostPresent(*this, "ShowOrderPayments"))
        return;
    RunScreen<frmOrderPayments>([](const frmOrderPayments&) {}, OrderID, *this);
}

} // namespace tesr
