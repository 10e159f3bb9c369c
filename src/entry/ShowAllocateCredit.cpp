// Placeholder until the screen exists; replaced by the screen's own ShowAllocateCredit.
#include "entry/Library.h"

namespace tesr {

bool Library::ShowAllocateCredit(int)
{
    return false;
}

} // namespace tesr
