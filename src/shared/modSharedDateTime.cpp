#include "shared/modSharedDateTime.h"

#include <QDateTime>
#include <QTimeZone>

namespace tesr::modSharedDateTime {

namespace {

std::function<TimeZoneInfo()>& source()
{
    static std::function<TimeZoneInfo()> s;
    return s;
}

// The system's zone at this moment, in the operating system's terms: minutes to add to local
// time to get universal time, split into the standard part and the daylight part.
TimeZoneInfo systemTimeZoneInfo()
{
    TimeZoneInfo info;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QTimeZone zone = QTimeZone::systemTimeZone();
    if (!zone.isValid()) {
        // No zone data: the offset the C library applies now is all there is.
        info.bias = -QDateTime::currentDateTime().offsetFromUtc() / 60;
        info.valid = false;
        return info;
    }
    info.bias = -zone.standardTimeOffset(now) / 60;
    info.daylightInEffect = zone.isDaylightTime(now);
    int daylightSeconds = zone.daylightTimeOffset(now);
    if (!info.daylightInEffect && zone.hasTransitions()) {
        // Outside summer the zone still has a daylight bias; take it from the next change.
        const QTimeZone::OffsetData next = zone.nextTransition(now);
        if (next.atUtc.isValid())
            daylightSeconds = next.daylightTimeOffset;
    }
    info.daylightBias = -daylightSeconds / 60;
    if (info.daylightInEffect) {
        // Keep bias + daylightBias equal to the offset in force, whatever the zone data says
        // about its parts.
        info.daylightBias = -zone.offsetFromUtc(now) / 60 - info.bias;
    }
    return info;
}

int totalBias(const TimeZoneInfo& info)
{
    if (info.valid && info.daylightInEffect)
        return info.bias + info.daylightBias;
    return info.bias + info.standardBias;
}

} // namespace

TimeZoneInfo currentTimeZoneInfo()
{
    if (source())
        return source()();
    return systemTimeZoneInfo();
}

void setTimeZoneSource(std::function<TimeZoneInfo()> s)
{
    source() = std::move(s);
}

OleDate UTCToLocal(const OleDate& utc)
{
    return utc.addMinutes(-totalBias(currentTimeZoneInfo()));
}

OleDate LocalToUTC(const OleDate& local)
{
    return local.addMinutes(totalBias(currentTimeZoneInfo()));
}

} // namespace tesr::modSharedDateTime
