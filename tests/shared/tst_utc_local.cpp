// Universal <-> local time with the offset in force at the moment of the call.

#include "support/TestMain.h"

#include "shared/modSharedDateTime.h"

#include <QDateTime>
#include <QTimeZone>
#include <QtTest>

#include <ctime>

using namespace tesr;
using modSharedDateTime::TimeZoneInfo;

namespace {

OleDate at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return *OleDate::fromYmdHms(y, mo, d, h, mi, s);
}

struct Zone {
    int bias;
    int standardBias;
    int daylightBias;
    bool daylight;
    bool valid;
};

} // namespace

Q_DECLARE_METATYPE(Zone)

class UtcLocalTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { modSharedDateTime::setTimeZoneSource({}); }

    void convert_data()
    {
        QTest::addColumn<Zone>("zone");
        QTest::addColumn<bool>("toUtc");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        const Zone eastern{300, 0, -60, false, true};
        const Zone easternSummer{300, 0, -60, true, true};
        QTest::newRow("summer local noon to utc") << easternSummer << true << "2024-06-01T12:00:00"
                                                  << "2024-06-01T16:00:00";
        QTest::newRow("summer utc to local noon") << easternSummer << false << "2024-06-01T16:00:00"
                                                  << "2024-06-01T12:00:00";
        QTest::newRow("winter local noon to utc") << eastern << true << "2024-01-10T12:00:00"
                                                  << "2024-01-10T17:00:00";
        QTest::newRow("winter utc to local") << eastern << false << "2024-01-10T17:00:00"
                                             << "2024-01-10T12:00:00";
        // The offset of the moment, not of the date: a summer date converted in winter.
        QTest::newRow("summer date in winter") << eastern << true << "2024-07-01T12:00:00"
                                               << "2024-07-01T17:00:00";
        QTest::newRow("east of Greenwich, leap year") << Zone{-60, 0, -60, false, true} << true << "2024-03-01T00:30:00"
                                                      << "2024-02-29T23:30:00";
        QTest::newRow("east of Greenwich, common year")
            << Zone{-60, 0, -60, false, true} << true << "2023-03-01T00:30:00"
            << "2023-02-28T23:30:00";
        QTest::newRow("half-hour zone") << Zone{-330, 0, 0, false, true} << false << "2024-01-10T20:00:00"
                                        << "2024-01-11T01:30:00";
        QTest::newRow("standard bias counts") << Zone{300, 10, -60, false, true} << true << "2024-01-10T12:00:00"
                                              << "2024-01-10T17:10:00";
        QTest::newRow("failed call uses standard") << Zone{300, 0, -60, true, false} << true << "2024-06-01T12:00:00"
                                                   << "2024-06-01T17:00:00";
        // Callers test for the absent date before converting; converted, it moves like any date.
        QTest::newRow("absent date shifts west") << eastern << false << "1900-01-01T00:00:00"
                                                 << "1899-12-31T19:00:00";
        QTest::newRow("before day 0") << eastern << false << "1899-12-30T01:00:00"
                                      << "1899-12-29T20:00:00";
    }
    void convert()
    {
        QFETCH(Zone, zone);
        QFETCH(bool, toUtc);
        QFETCH(QString, from);
        QFETCH(QString, to);
        int calls = 0;
        modSharedDateTime::setTimeZoneSource([zone, &calls] {
            ++calls;
            return TimeZoneInfo{zone.bias, zone.standardBias, zone.daylightBias, zone.daylight, zone.valid};
        });
        const OleDate input = *OleDate::fromVariant(from);
        const OleDate result = toUtc ? modSharedDateTime::LocalToUTC(input) : modSharedDateTime::UTCToLocal(input);
        QCOMPARE(result.toIsoString(), to);
        QCOMPARE(calls, 1); // asked at the moment of the call, every call
        // Back again at the same moment gives the date unchanged.
        const OleDate back = toUtc ? modSharedDateTime::UTCToLocal(result) : modSharedDateTime::LocalToUTC(result);
        QCOMPARE(back, input);
    }

    void offsetChangesBetweenCalls()
    {
        bool summer = true;
        modSharedDateTime::setTimeZoneSource([&summer] { return TimeZoneInfo{300, 0, -60, summer, true}; });
        const OleDate noon = at(2024, 10, 1, 12);
        QCOMPARE(modSharedDateTime::LocalToUTC(noon), noon.addMinutes(240));
        summer = false;
        QCOMPARE(modSharedDateTime::LocalToUTC(noon), noon.addMinutes(300));
    }

    void systemZone_data()
    {
        QTest::addColumn<QByteArray>("tz");
        QTest::addColumn<int>("standardBias");
        QTest::addColumn<int>("summerExtra");
        QTest::newRow("new york") << QByteArray("America/New_York") << 300 << -60;
        QTest::newRow("kolkata") << QByteArray("Asia/Kolkata") << -330 << 0;
        QTest::newRow("utc") << QByteArray("UTC") << 0 << 0;
        QTest::newRow("berlin") << QByteArray("Europe/Berlin") << -60 << -60;
    }
    void systemZone()
    {
        QFETCH(QByteArray, tz);
        QFETCH(int, standardBias);
        QFETCH(int, summerExtra);
        if (!QTimeZone(tz).isValid())
            QSKIP("time-zone data not installed");
        const QByteArray saved = qgetenv("TZ");
        qputenv("TZ", tz);
        tzset();
        const TimeZoneInfo info = modSharedDateTime::currentTimeZoneInfo();
        const QTimeZone zone(tz);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const bool summerNow = zone.isDaylightTime(now);
        const OleDate sample = at(2024, 1, 10, 12);
        const OleDate utc = modSharedDateTime::LocalToUTC(sample);
        if (saved.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", saved);
        tzset();

        QVERIFY(info.valid);
        QCOMPARE(info.bias, standardBias);
        QCOMPARE(info.standardBias, 0);
        QCOMPARE(info.daylightBias, summerExtra);
        QCOMPARE(info.daylightInEffect, summerNow);
        // Whatever the season, the conversion uses the offset the zone has now.
        QCOMPARE(utc, sample.addSeconds(-zone.offsetFromUtc(now)));
    }
};

TESR_TEST_MAIN(UtcLocalTest)
#include "tst_utc_local.moc"
