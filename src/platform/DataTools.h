#pragma once

// The DataTools the module uses unless a host installs its own: statements on a job's
// connection, with the text of the last failure kept for the caller's message.

#include "platform/HelperTools.h"

#include <memory>

namespace tesr {

std::unique_ptr<DataTools> makeDefaultDataTools();

} // namespace tesr
