// Placeholder until the screen exists; replaced by the screen's own ShowOrderPayments.
#include "entry/Library.h"

namespace tesr {

void Library::ShowOrderPayments(int)
{
    return;
}

} // namespace tesr
