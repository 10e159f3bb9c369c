#pragma once

// Universal <-> local time, with the offset in force at the moment of the call (not at the
// date converted), as the operating system reports it.

#include "values/OleDate.h"

#include <functional>

namespace tesr::modSharedDateTime {

// The time-zone information the conversions use, in the operating system's terms: minutes
// to add to local time to get universal time.
struct TimeZoneInfo {
    int bias = 0;
    int standardBias = 0;
    int daylightBias = 0;
    bool daylightInEffect = false;
    bool valid = true; // false: the call failed; the standard offset is used
};

OleDate UTCToLocal(const OleDate& utc);
OleDate LocalToUTC(const OleDate& local);

// The seam tests use to set bias and daylight state; an empty function restores the system's.
void setTimeZoneSource(std::function<TimeZoneInfo()> source);
TimeZoneInfo currentTimeZoneInfo();

} // namespace tesr::modSharedDateTime
