#include "entry/Library.h"
#include "entry/ScreenRunner.h"
#include "forms/frmPaymentAllocations/frmPaymentAllocations.h"

namespace tesr {

void Library::ShowPaymentAllocations(int PaymentID)
{
    if (!HostPresent(*this, "ShowPaymentAllocations"))
        return;
    RunScreen<frmPaymentAllocations>([](const frmPaymentAllocations&) {}, PaymentID, *this);
}

} // namespace tesr
