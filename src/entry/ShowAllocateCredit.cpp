#include "entry/Library.h"
#include "entry/ScreenRunner.h"
#include "forms/frmAllocateCredit/frmAllocateCredit.h"

namespace tesr {

bool Library::ShowAllocateCredit(int CustomerID)
{
    if (!HostPresent(*this, "ShowAllocateCredit"))
        return false;
    return RunScreen<frmAllocateCredit>([](const frmAllocateCredit& form) { return !form.Cancelled; }, CustomerID,
                                        *this);
}

} // namespace tesr
