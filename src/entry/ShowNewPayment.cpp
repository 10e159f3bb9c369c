// Placeholder until the screen exists; replaced by the screen's own ShowNewPayment.
#include "entry/Library.h"

namespace tesr {

int Library::ShowNewPayment(int, bool)
{
    return 0;
}

} // namespace tesr
