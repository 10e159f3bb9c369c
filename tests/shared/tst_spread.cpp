// Spreading a total over orders oldest first, as the rule alone: the order the lines come in,
// balances that take nothing, and totals at the ends of the money range. The screens' tests
// drive the action itself.

#include "support/Shorthand.h"
#include "support/TestMain.h"

#include "shared/modSharedSpread.h"

using namespace tesr;
using namespace tesr::modSharedSpread;
using tesrtest::cur;
using namespace Qt::StringLiterals;

class SpreadTest : public QObject {
    Q_OBJECT

private slots:
    // Lines are "ID:balance" (open) or "ID:balance:amount" (the user's, kept), in the grid's
    // record order; the result is each line's "ID=amount" in that same order.
    void spread_data()
    {
        QTest::addColumn<QString>("total");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("spread");
        const QString max = Currency::fromRaw(std::numeric_limits<std::int64_t>::max()).toPlainString();
        const QString min = Currency::fromRaw(std::numeric_limits<std::int64_t>::min() + 1).toPlainString();
        // clang-format off
        QTest::newRow("lowest ID first, whatever the record order") << "900" << QStringList{"30:500", "7:500", "12:500"}
            << QStringList{"30=0", "7=500", "12=400"};
        QTest::newRow("nothing to balances of 0 or less, the rest left") << "200" << QStringList{"1:0", "2:-40", "3:60", "4:80"}
            << QStringList{"1=0", "2=0", "3=60", "4=80"};
        QTest::newRow("kept amounts come off first") << "100" << QStringList{"1:500", "2:500:30", "3:500:-20"}
            << QStringList{"1=90", "2=30", "3=-20"};
        QTest::newRow("kept beyond the total") << "50" << QStringList{"1:500", "2:500:80"} << QStringList{"1=0", "2=80"};
        QTest::newRow("total of 0") << "0" << QStringList{"1:500"} << QStringList{"1=0"};
        QTest::newRow("ten-thousandths") << "0.0003" << QStringList{"1:0.0001", "2:5"} << QStringList{"1=0.0001", "2=0.0002"};
        QTest::newRow("largest total over largest negatives") << max << QStringList{"1:" + max, "2:5:" + min}
            << QStringList{"1=" + max, "2=" + min};
        // clang-format on
    }
    void spread()
    {
        QFETCH(QString, total);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, spread);
        std::vector<Line> in;
        for (const QString& l : lines) {
            const QStringList f = l.split(u':');
            in.push_back({f[0].toLongLong(), *Currency::parsePlain(f[1]),
                          f.size() > 2 ? *Currency::parsePlain(f[2]) : Currency(), f.size() == 2});
        }
        const std::vector<Currency> out = SpreadOldestFirst(in, *Currency::parsePlain(total));
        QStringList got;
        for (std::size_t i = 0; i < in.size(); ++i)
            got << QString::number(in[i].orderID) + u'=' + out[i].toPlainString();
        QCOMPARE(got, spread);
    }
};

TESR_TEST_MAIN(SpreadTest)
#include "tst_spread.moc"
