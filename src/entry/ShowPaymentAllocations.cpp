// Placeholder until the screen exists; replaced by the screen's own ShowPaymentAllocations.
#include "entry/Library.h"

namespace tesr {

void Library::ShowPaymentAllocations(int)
{
    return;
}

} // namespace tesr
