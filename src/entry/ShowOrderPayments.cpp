#include "entry/Library.h"
#include "entry/ScreenRunner.h"
#include "forms/frmOrderPayments/frmOrderPayments.h"

namespace tesr {

void Library::ShowOrderPayments(int OrderID)
{
    RunScreen<frmOrderPayments>([](const frmOrderPayments&) {}, OrderID, *this);
}

} // namespace tesr
