// Placeholder until the screen exists; replaced by the screen's own ShowEditPayment.
#include "entry/Library.h"

namespace tesr {

bool Library::ShowEditPayment(int)
{
    return false;
}

} // namespace tesr
