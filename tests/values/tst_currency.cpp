// Money arithmetic: every rounding is half to even on exact integers, never through a double.

#include "support/TestMain.h"

#include "values/Currency.h"

#include <QtTest>

#include <limits>

using tesr::Currency;

class CurrencyTest : public QObject {
    Q_OBJECT

private slots:
    void rounded_data()
    {
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("1.2345 to cents") << qint64(12345) << 2 << qint64(12300);
        QTest::newRow("1.2350 half up to even") << qint64(12350) << 2 << qint64(12400);
        QTest::newRow("1.2250 half down to even") << qint64(12250) << 2 << qint64(12200);
        QTest::newRow("-1.2350 half to even") << qint64(-12350) << 2 << qint64(-12400);
        QTest::newRow("-1.2250 half to even") << qint64(-12250) << 2 << qint64(-12200);
        QTest::newRow("-1.2351 past half") << qint64(-12351) << 2 << qint64(-12400);
        QTest::newRow("2.5 to units") << qint64(25000) << 0 << qint64(20000);
        QTest::newRow("3.5 to units") << qint64(35000) << 0 << qint64(40000);
        QTest::newRow("1.5 to units") << qint64(15000) << 0 << qint64(20000);
        QTest::newRow("-2.5 to units") << qint64(-25000) << 0 << qint64(-20000);
        QTest::newRow("-0.5 to units") << qint64(-5000) << 0 << qint64(0);
        QTest::newRow("0.00005 kept at 4") << qint64(5) << 4 << qint64(5);
        QTest::newRow("negative decimals act as 0") << qint64(25001) << -3 << qint64(30000);
        QTest::newRow("largest value to cents")
            << std::numeric_limits<qint64>::max() << 2 << qint64(9223372036854775800LL);
    }
    void rounded()
    {
        QFETCH(qint64, raw);
        QFETCH(int, decimals);
        QFETCH(qint64, expected);
        QCOMPARE(Currency::fromRaw(raw).rounded(decimals).raw(), expected);
    }

    void parsePlain_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("raw");
        QTest::newRow("decimal") << "123.45" << true << qint64(1234500);
        QTest::newRow("blanks and sign") << " -0.5 " << true << qint64(-5000);
        QTest::newRow("plus sign") << "+7" << true << qint64(70000);
        QTest::newRow("point only after digits") << "12." << true << qint64(120000);
        QTest::newRow("no leading digit") << ".25" << true << qint64(2500);
        QTest::newRow("fifth decimal half to even down") << "1.00005" << true << qint64(10000);
        QTest::newRow("fifth decimal half to even up") << "1.00015" << true << qint64(10002);
        QTest::newRow("negative half") << "-1.00005" << true << qint64(-10000);
        QTest::newRow("past half far out") << "1.000050000000000000000001" << true << qint64(10001);
        QTest::newRow("half with long zeros") << "1.000050000000000000000000" << true << qint64(10000);
        QTest::newRow("largest") << "922337203685477.5807" << true << std::numeric_limits<qint64>::max();
        QTest::newRow("just too large") << "922337203685477.5808" << false << qint64(0);
        QTest::newRow("far too large") << "99999999999999999999999999" << false << qint64(0);
        QTest::newRow("empty") << "" << false << qint64(0);
        QTest::newRow("point alone") << "." << false << qint64(0);
        QTest::newRow("trailing letters") << "12abc" << false << qint64(0);
        QTest::newRow("grouping") << "1,000" << false << qint64(0);
        QTest::newRow("exponent") << "1e3" << false << qint64(0);
        QTest::newRow("symbol") << "$5" << false << qint64(0);
        QTest::newRow("two signs") << "--5" << false << qint64(0);
    }
    void parsePlain()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(qint64, raw);
        const auto value = Currency::parsePlain(text);
        QCOMPARE(value.has_value(), valid);
        if (valid)
            QCOMPARE(value->raw(), raw);
    }

    void fromDouble_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("raw");
        QTest::newRow("0.3 is not 0.29999") << 0.3 << true << qint64(3000);
        QTest::newRow("0.1+0.2") << (0.1 + 0.2) << true << qint64(3000);
        QTest::newRow("rounds to nearest") << 1.23456 << true << qint64(12346);
        QTest::newRow("half to even down") << 0.00005 << true << qint64(0);
        QTest::newRow("half to even up") << 0.00015 << true << qint64(2);
        QTest::newRow("negative half") << -0.00015 << true << qint64(-2);
        QTest::newRow("negative half down") << -0.00025 << true << qint64(-2);
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << false << qint64(0);
        QTest::newRow("out of range") << 1e300 << false << qint64(0);
    }
    void fromDouble()
    {
        QFETCH(double, value);
        QFETCH(bool, valid);
        QFETCH(qint64, raw);
        const auto c = Currency::fromDouble(value);
        QCOMPARE(c.has_value(), valid);
        if (valid)
            QCOMPARE(c->raw(), raw);
    }

    void plainText_data()
    {
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "0";
        QTest::newRow("trailing zeros dropped") << qint64(12345000) << "1234.5";
        QTest::newRow("whole") << qint64(1000000) << "100";
        QTest::newRow("smallest") << qint64(1) << "0.0001";
        QTest::newRow("small negative") << qint64(-5) << "-0.0005";
        QTest::newRow("no grouping") << qint64(12345678900000) << "1234567890";
        QTest::newRow("most negative") << std::numeric_limits<qint64>::min() << "-922337203685477.5808";
    }
    void plainText()
    {
        QFETCH(qint64, raw);
        QFETCH(QString, text);
        const Currency value = Currency::fromRaw(raw);
        QCOMPARE(value.toPlainString(), text);
        if (raw != std::numeric_limits<qint64>::min())
            QCOMPARE(Currency::parsePlain(text)->raw(), raw); // what a statement writes reads back
    }

    void mulDiv_data()
    {
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<qint64>("numerator");
        QTest::addColumn<qint64>("denominator");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("half of 1234.56") << qint64(12345600) << qint64(50) << qint64(100) << qint64(6172800);
        QTest::newRow("15% of 1234.56") << qint64(12345600) << qint64(15) << qint64(100) << qint64(1851840);
        QTest::newRow("0.0001 halved to even 0") << qint64(1) << qint64(1) << qint64(2) << qint64(0);
        QTest::newRow("0.0003 halved to even") << qint64(3) << qint64(1) << qint64(2) << qint64(2);
        QTest::newRow("negative halved to even") << qint64(-3) << qint64(1) << qint64(2) << qint64(-2);
        QTest::newRow("negative denominator") << qint64(10) << qint64(1) << qint64(-4) << qint64(-2);
        QTest::newRow("thirds") << qint64(10000) << qint64(1) << qint64(3) << qint64(3333);
        // The product exceeds 64 bits; only the quotient has to fit.
        QTest::newRow("wide product") << qint64(900000000000000000LL) << qint64(7) << qint64(10)
                                      << qint64(630000000000000000LL);
    }
    void mulDiv()
    {
        QFETCH(qint64, raw);
        QFETCH(qint64, numerator);
        QFETCH(qint64, denominator);
        QFETCH(qint64, expected);
        QCOMPARE(Currency::fromRaw(raw).mulDiv(numerator, denominator).raw(), expected);
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("raw");
        QTest::newRow("empty reads 0") << "" << qint64(0);
        QTest::newRow("letters read 0") << "abc" << qint64(0);
        QTest::newRow("stops at letters") << "12abc" << qint64(120000);
        QTest::newRow("blanks sign fraction") << "  -3.5x" << qint64(-35000);
        QTest::newRow("stops at grouping") << "1,234" << qint64(10000);
        QTest::newRow("trailing point") << "12." << qint64(120000);
        QTest::newRow("second point ends") << "1.5.6" << qint64(15000);
        QTest::newRow("symbol first reads 0") << "$12" << qint64(0);
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(qint64, raw);
        QCOMPARE(Currency::leadingNumber(text).raw(), raw);
    }

    void fromVariant_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("raw");
        QTest::newRow("int") << QVariant(5) << true << qint64(50000);
        QTest::newRow("long long") << QVariant(qlonglong(-12)) << true << qint64(-120000);
        QTest::newRow("double") << QVariant(0.1) << true << qint64(1000);
        QTest::newRow("plain text") << QVariant(QStringLiteral("1.5")) << true << qint64(15000);
        QTest::newRow("true is -1") << QVariant(true) << true << qint64(-10000);
        QTest::newRow("currency") << QVariant::fromValue(Currency::fromRaw(7)) << true << qint64(7);
        QTest::newRow("null") << QVariant() << false << qint64(0);
        QTest::newRow("typed null") << QVariant(QMetaType::fromType<double>()) << false << qint64(0);
        QTest::newRow("bad text") << QVariant(QStringLiteral("x")) << false << qint64(0);
        QTest::newRow("int too large") << QVariant(qlonglong(1) << 62) << false << qint64(0);
    }
    void fromVariant()
    {
        QFETCH(QVariant, value);
        QFETCH(bool, valid);
        QFETCH(qint64, raw);
        const auto c = Currency::fromVariant(value);
        QCOMPARE(c.has_value(), valid);
        if (valid)
            QCOMPARE(c->raw(), raw);
    }
};

TESR_TEST_MAIN(CurrencyTest)
#include "tst_currency.moc"
