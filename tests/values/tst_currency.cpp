// Money arithmetic: every rounding is half to even on exact integers, never through a double.

#include "support/TestMain.h"

#include "values/Currency.h"

#include <limits>

using tesr::Currency;

namespace {
constexpr qint64 Max = std::numeric_limits<qint64>::max();
} // namespace

class CurrencyTest : public QObject {
    Q_OBJECT

private slots:
    void rounding()
    {
        // {raw, decimals, rounded}: halves go to even on both sides of zero.
        const qint64 toDecimals[][3] = {
            {12345, 2, 12300},   {12350, 2, 12400}, {12250, 2, 12200}, {-12350, 2, -12400}, {-12250, 2, -12200},
            {-12351, 2, -12400}, {25000, 0, 20000}, {35000, 0, 40000}, {-25000, 0, -20000}, {25001, -3, 30000}};
        for (const auto& [raw, decimals, expected] : toDecimals)
            QCOMPARE(Currency::fromRaw(raw).rounded(int(decimals)).raw(), expected);
        QCOMPARE(Currency::fromRaw(Max).rounded(2).raw(), 9223372036854775800LL);
        // {raw, numerator, denominator, result}.
        const qint64 ratios[][4] = {
            {12345600, 15, 100, 1851840}, {3, 1, 2, 2}, {-3, 1, 2, -2}, {1, 1, 2, 0}, {10, 1, -4, -2}};
        for (const auto& [raw, num, den, expected] : ratios)
            QCOMPARE(Currency::fromRaw(raw).mulDiv(num, den), Currency::fromRaw(expected));
        QCOMPARE(Currency::fromRaw(900000000000000000LL).mulDiv(7, 10), Currency::fromRaw(630000000000000000LL));
    }

    void checkedArithmetic()
    {
        // Nothing wraps around: a result money cannot hold is no result at all.
        const Currency max = Currency::max(), min = Currency::min(), one = Currency::fromRaw(1);
        QCOMPARE(Currency::fromUnits(7).plus(Currency::fromRaw(5)), Currency::fromRaw(70005));
        QCOMPARE(max.minus(one)->plus(one), max);
        QCOMPARE(max.plus(one), std::nullopt);
        QCOMPARE(min.minus(one), std::nullopt);
        QCOMPARE(Currency().minus(min), std::nullopt);
        QCOMPARE(min.negated(), std::nullopt);
        QCOMPARE(max.negated(), min.plus(one));
        QCOMPARE(max.mulDiv(2, 1), std::nullopt);
        QCOMPARE(min.mulDiv(-1, 1), std::nullopt);
        QCOMPARE(one.mulDiv(1, 0), std::nullopt);
        QCOMPARE(Currency::fromWholeUnits(Max / Currency::Scale), Currency::fromRaw(Max / Currency::Scale * 10000));
        QCOMPARE(Currency::fromWholeUnits(Max / Currency::Scale + 1), std::nullopt);
        // Two amounts near the top of the range: the total is out of range, and stays so even
        // when a later amount would bring it back (the amounts that wrapped into a negative
        // total before).
        const Currency near = Currency::fromRaw(Max / 2 + 1);
        tesr::CurrencyTotal total;
        total.add(near).add(near);
        QCOMPARE(total.value(), std::nullopt);
        total.subtract(near);
        QCOMPARE(total.value(), std::nullopt);
        QCOMPARE(tesr::CurrencyTotal(near).subtract(near).add(one).value(), one);
    }

    void plainText()
    {
        const std::pair<const char*, qint64> valid[] = {{"123.45", 1234500}, {" -0.5 ", -5000},   {"+7", 70000},
                                                        {"12.", 120000},     {".25", 2500},       {"1.00005", 10000},
                                                        {"1.00015", 10002},  {"-1.00005", -10000}};
        for (const auto& [text, raw] : valid)
            QCOMPARE(Currency::parsePlain(QString::fromLatin1(text)), Currency::fromRaw(raw));
        // Past the half far out: digits beyond the fifth decimal still count.
        QCOMPARE(Currency::parsePlain(QStringLiteral("922337203685477.5807")), Currency::fromRaw(Max));
        QCOMPARE(Currency::parsePlain(QStringLiteral("1.000050000000000000000001")), Currency::fromRaw(10001));
        QCOMPARE(Currency::parsePlain(QStringLiteral("1.000050000000000000000000")), Currency::fromRaw(10000));
        for (const char* text :
             {"922337203685477.5808", "99999999999999999999999999", "", ".", "12abc", "1,000", "1e3", "$5", "--5"})
            QVERIFY2(!Currency::parsePlain(QString::fromLatin1(text)), text);
        // What a statement is written with reads back the same.
        const std::pair<qint64, const char*> written[] = {
            {0, "0"}, {12345000, "1234.5"}, {1, "0.0001"}, {-5, "-0.0005"}, {12345678900000, "1234567890"}};
        for (const auto& [raw, text] : written)
            QCOMPARE(Currency::fromRaw(raw).toPlainString(), QString::fromLatin1(text));
        QCOMPARE(Currency::fromRaw(std::numeric_limits<qint64>::min()).toPlainString(),
                 QStringLiteral("-922337203685477.5808"));
    }

    void fromOtherValues()
    {
        // A double to the nearest ten-thousandth, its halves to even: 0.1 + 0.2 is 0.3.
        const std::pair<double, qint64> doubles[] = {{0.3, 3000},  {0.1 + 0.2, 3000}, {1.23456, 12346}, {0.00005, 0},
                                                     {0.00015, 2}, {-0.00015, -2},    {-0.00025, -2}};
        for (const auto& [value, raw] : doubles)
            QCOMPARE(Currency::fromDouble(value), Currency::fromRaw(raw));
        QVERIFY(!Currency::fromDouble(std::numeric_limits<double>::quiet_NaN()));
        QVERIFY(!Currency::fromDouble(1e300));
        // Typed input stops at the first character that cannot continue a number.
        const std::pair<const char*, qint64> leading[] = {{"", 0},          {"12abc", 120000}, {"  -3.5x", -35000},
                                                          {"1,234", 10000}, {"1.5.6", 15000},  {"$12", 0}};
        for (const auto& [text, raw] : leading)
            QCOMPARE(Currency::leadingNumber(QString::fromLatin1(text)).raw(), raw);
        // Field values as a database or a control hands them over.
        QCOMPARE(Currency::fromVariant(5), Currency::fromUnits(5));
        QCOMPARE(Currency::fromVariant(0.1), Currency::fromRaw(1000));
        QCOMPARE(Currency::fromVariant(QStringLiteral("1.5")), Currency::fromRaw(15000));
        QCOMPARE(Currency::fromVariant(true), Currency::fromUnits(-1));
        QCOMPARE(Currency::fromVariant(QVariant::fromValue(Currency::fromRaw(7))), Currency::fromRaw(7));
        for (const QVariant& bad : {QVariant(), QVariant(QMetaType::fromType<double>()), QVariant(QStringLiteral("x")),
                                    QVariant(qlonglong(1) << 62)})
            QVERIFY2(!Currency::fromVariant(bad), qPrintable(bad.toString()));
    }
};

TESR_TEST_MAIN(CurrencyTest)
#include "tst_currency.moc"
