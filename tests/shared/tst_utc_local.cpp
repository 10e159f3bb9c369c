// Universal <-> local time with the offset in force at the moment of the call.

#include "support/Shorthand.h"
#include "support/TestMain.h"

#include "shared/modSharedDateTime.h"

using namespace tesr;
using modSharedDateTime::TimeZoneInfo;
using tesrtest::at;

Q_DECLARE_METATYPE(TimeZoneInfo)

class UtcLocalTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { modSharedDateTime::setTimeZoneSource({}); }

    // Local noon and the universal time it is; the conversion runs both ways.
    void convert_data()
    {
        QTest::addColumn<TimeZoneInfo>("zone");
        QTest::addColumn<OleDate>("local");
        QTest::addColumn<OleDate>("utc");
        const TimeZoneInfo winter{300, 0, -60, false, true};
        QTest::newRow("summer") << TimeZoneInfo{300, 0, -60, true, true} << at(2024, 6, 1, 12) << at(2024, 6, 1, 16);
        QTest::newRow("winter") << winter << at(2024, 1, 10, 12) << at(2024, 1, 10, 17);
        // The offset of the moment, not of the date: a summer date converted in winter.
        QTest::newRow("summer date in winter") << winter << at(2024, 7, 1, 12) << at(2024, 7, 1, 17);
        QTest::newRow("half-hour zone") << TimeZoneInfo{-330, 0, 0, false, true} << at(2024, 1, 11, 1, 30)
                                        << at(2024, 1, 10, 20);
        QTest::newRow("failed call uses standard")
            << TimeZoneInfo{300, 0, -60, true, false} << at(2024, 6, 1, 12) << at(2024, 6, 1, 17);
        // Callers test for the absent date first; converted, it moves like any date.
        QTest::newRow("absent date") << winter << at(1899, 12, 31, 19) << OleDate::absent();
    }
    void convert()
    {
        QFETCH(TimeZoneInfo, zone);
        QFETCH(OleDate, local);
        QFETCH(OleDate, utc);
        int calls = 0;
        modSharedDateTime::setTimeZoneSource([&] {
            ++calls;
            return zone;
        });
        QCOMPARE(modSharedDateTime::LocalToUTC(local), utc);
        QCOMPARE(modSharedDateTime::UTCToLocal(utc), local);
        QCOMPARE(calls, 2); // asked at the moment of every call
    }
};

TESR_TEST_MAIN(UtcLocalTest)
#include "tst_utc_local.moc"
