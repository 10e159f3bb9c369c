#include "entry/Library.h"
#include "entry/ScreenRunner.h"
#include "forms/frmEditPayment/frmEditPayment.h"

namespace tesr {

bool Library::ShowEditPayment(int ID)
{
    if (!HostPresent(*this, "ShowEditPayment"))
        return false;
    return RunScreen<frmEditPayment>([](const frmEditPayment& form) { return !form.Cancelled; }, ID, *this);
}

} // namespace tesr
