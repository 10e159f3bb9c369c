// Money arithmetic (every rounding half to even on exact integers, never through a double), and
// how money, dates and numbers are shown to and read from the user, in the United States and
// German settings (and, where a whole family of locales is at stake, in every locale Qt has).

#include "support/Shorthand.h"
#include "support/TestMain.h"

#include "values/Currency.h"
#include "values/Regional.h"

#include <array>
#include <limits>

using namespace tesr;
using tesrtest::at;

namespace {

constexpr qint64 Max = std::numeric_limits<qint64>::max();

// Sets the default locale for one test row and puts en_US back afterwards.
struct LocaleScope {
    explicit LocaleScope(const QString& name) { QLocale::setDefault(QLocale(name)); }
    ~LocaleScope() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};

// Data columns (locale, text, expected text), and one row of them.
void textColumns()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
}
void row(const char* locale, const char* text, const char* expected = "")
{
    QTest::addRow("%s %s", locale, text) << QString::fromLatin1(locale) << QString::fromUtf8(text)
                                         << QString::fromUtf8(expected);
}

} // namespace

class ValuesTest : public QObject {
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

    void formatCurrency()
    {
        // {locale, ten-thousandths, shown}: rounded half to even, never through a double.
        const std::tuple<const char*, qint64, const char*> cases[] = {
            {"en_US", 12350, "$1.24"},
            {"en_US", -49, "$0.00"},
            {"ja_JP", 12355000, "\uffe51,236"}}; // no decimals: 1235.5 to even
        for (const auto& [locale, raw, shown] : cases) {
            LocaleScope scope(QString::fromLatin1(locale));
            QCOMPARE(Regional::formatCurrency(Currency::fromRaw(raw)), QString::fromUtf8(shown));
        }
        QCOMPARE(Regional::formatCurrency(Currency::fromRaw(std::numeric_limits<qint64>::max())),
                 QStringLiteral("$922,337,203,685,477.58")); // beyond a double's precision
        // Wherever a double is exact, the exact path looks exactly like the locale's own.
        for (const char* name : {"en_US", "de_DE", "fr_FR", "nl_NL", "en_GB", "de_CH", "sv_SE", "hi_IN", "ja_JP"}) {
            LocaleScope scope(QString::fromLatin1(name));
            for (qint64 cents : {0LL, 1LL, 50LL, 123456LL, -123456LL, -1LL, 12345678900LL})
                if (Regional::currencyDigits() == 2)
                    QCOMPARE(Regional::formatCurrency(Currency::fromRaw(cents * 100)),
                             QLocale().toCurrencyString(double(cents) / 100.0));
            QCOMPARE(Regional::formatCurrency(Currency::fromUnits(-42)), QLocale().toCurrencyString(-42.0));
        }
    }

    void dateTexts()
    {
        const OleDate moment = at(2026, 3, 5, 16, 7, 36);
        // {locale, pattern, short date, general date, the time on day 0, the absent date}
        const std::array<const char*, 6> cases[] = {
            {"en_US", "M/d/yyyy", "3/5/2026", "3/5/2026 4:07:36 PM", "4:07:36 PM", "1/1/1900"},
            {"de_DE", "dd.MM.yyyy", "05.03.2026", "05.03.2026 16:07:36", "16:07:36", "01.01.1900"}};
        for (const auto& [locale, pattern, shortDate, general, time, absent] : cases) {
            LocaleScope scope(QString::fromLatin1(locale));
            // The year always has four digits, and what is shown reads back (2026, not 1926).
            QCOMPARE(Regional::shortDatePattern(), QString::fromLatin1(pattern));
            QCOMPARE(Regional::formatShortDate(moment), QString::fromLatin1(shortDate));
            QCOMPARE(Regional::formatDate(moment, QStringLiteral("Short Date")), QString::fromLatin1(shortDate));
            QCOMPARE(Regional::parseDate(QString::fromLatin1(shortDate)), std::optional(at(2026, 3, 5)));
            QCOMPARE(Regional::formatDate(moment, QStringLiteral("General Date")), QString::fromLatin1(general));
            QCOMPARE(Regional::parseDate(QString::fromLatin1(general)), std::optional(moment));
            // Midnight is the date alone; day 0 the time alone.
            QCOMPARE(Regional::formatGeneralDate(at(2026, 3, 5)), QString::fromLatin1(shortDate));
            QCOMPARE(Regional::formatGeneralDate(OleDate::fromSeconds(16 * 3600 + 7 * 60 + 36)),
                     QString::fromLatin1(time));
            QCOMPARE(Regional::formatGeneralDate(OleDate::absent()), QString::fromLatin1(absent));
        }
    }

    // Dates are counted by hand for the years a ledger holds: the count and the days that exist
    // agree with QDate's calendar, leap days and year ends of every year included.
    void calendarCountedByHand()
    {
        QString firstWrong;
        auto check = [&firstWrong](int y, int m, int d) {
            const QDate date(y, m, d);
            const auto counted = OleDate::fromYmdHms(y, m, d, 23, 59, 59);
            if (firstWrong.isEmpty() && (counted.has_value() != date.isValid() ||
                                         (counted && *counted != OleDate::fromParts(date, QTime(23, 59, 59)))))
                firstWrong = QStringLiteral("%1-%2-%3").arg(y).arg(m).arg(d);
        };
        for (QDate day(1895, 1, 1); day.year() < 2106; day = day.addDays(1))
            check(day.year(), day.month(), day.day());
        for (int y = 1; y <= 9999; ++y)
            for (const auto& [m, d] : {std::pair{2, 28}, {2, 29}, {2, 30}, {3, 1}, {4, 31}, {12, 31}, {13, 1}, {1, 0}})
                check(y, m, d);
        QVERIFY2(firstWrong.isEmpty(), qPrintable(firstWrong));
        QVERIFY(!OleDate::fromYmdHms(2026, 3, 5, 24, 0, 0) && !OleDate::fromYmdHms(2026, 3, 5, 0, 0, 60));
    }

    void parseDate_data()
    {
        textColumns(); // expected as ISO text; empty: not a date
        row("en_US", " 03/05/2026 ", "2026-03-05T00:00:00");
        row("en_US", "3/5/26", "2026-03-05T00:00:00");
        row("en_US", "3/5/29", "2029-03-05T00:00:00");
        row("en_US", "3/5/30", "1930-03-05T00:00:00");
        row("en_US", "Thu 3/5/2026 16:07", "2026-03-05T16:07:00");
        row("en_US", "3/5/2026 12:00 AM", "2026-03-05T00:00:00");
        row("de_DE", "5.3.26", "2026-03-05T00:00:00");
        row("de_DE", "5. M\u00e4rz 2026", "2026-03-05T00:00:00");
        for (const char* text : {"", "None", "2/29/2023", "13/5/2026", "3/5/226", "3/5", "3/5/2026 13:00 PM",
                                 "3/5/2026 10:60", "3/5/2026 x", "2026-02-30"})
            row("en_US", text);
        row("de_DE", "30.02.2026");
    }
    void parseDate()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        LocaleScope scope(locale);
        const std::optional<OleDate> parsed = Regional::parseDate(text);
        QCOMPARE(parsed ? parsed->toIsoString() : QString(), expected);
    }

    void everyLocaleReadsBackWhatItShows()
    {
        // Whatever the host's configuration picks, a date the screens show, money as the
        // currency format writes it and a number the locale writes read back unchanged.
        const OleDate day = at(2026, 11, 25);
        const auto all = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        QVERIFY(all.size() > 100);
        QStringList failures;
        for (const QLocale& loc : all) {
            QLocale::setDefault(loc);
            const QString shown = Regional::formatShortDate(day);
            if (Regional::parseDate(shown) != std::optional(day))
                failures << loc.name() + QStringLiteral(": ") + shown;
            for (double v : {1234567.25, -0.5, 12.0})
                if (Regional::parseNumber(loc.toString(v, 'f', 2)) != std::optional(v))
                    failures << loc.name() + QStringLiteral(": ") + loc.toString(v, 'f', 2);
            for (const Currency v : {Currency::fromRaw(12345675000), Currency::fromUnits(-5)})
                if (Regional::parseMoneyEntry(Regional::formatCurrency(v)) !=
                    std::optional(v.rounded(Regional::currencyDigits())))
                    failures << loc.name() + QStringLiteral(": ") + Regional::formatCurrency(v);
        }
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QStringLiteral("; "))));
    }

    void parseNumber_data()
    {
        textColumns(); // expected as plain money text; empty: not numeric
        row("en_US", "1,234,567.5", "1234567.5");
        row("en_US", " +12 ", "12");
        row("en_US", "12-", "-12");
        row("en_US", "1.5E-3", "0.0015");
        row("en_US", "1,234.56789", "1234.5679");
        row("en_US", "123,456,789,012.3456", "123456789012.3456");
        row("en_US", "1e-999", "0"); // below the smallest step: zero, not an error
        row("de_DE", "1.234,5", "1234.5");
        row("de_DE", "-1,5", "-1.5");
        for (const char* text : {"   ", "12abc", "1,2,3.", "1,23", ",123", "1,,234", "1234,567", "1.234,5", "$12", "1e",
                                 "-1-", "1.2.3", "1 234", "1e999"})
            row("en_US", text);
        row("de_DE", "1.5");
        row("de_DE", "1234.5");
    }
    void parseNumber()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        LocaleScope scope(locale);
        QCOMPARE(Regional::isNumeric(text), !expected.isEmpty());
        const std::optional<double> number = Regional::parseNumber(text);
        QCOMPARE(number.has_value(), !expected.isEmpty());
        // Money is read by the same rules, only exactly.
        const std::optional<Currency> money = Regional::parseCurrency(text);
        QCOMPARE(money ? money->toPlainString() : QString(), expected);
        if (number && qAbs(*number) < 1e9)
            QCOMPARE(Currency::fromDouble(*number), money);
    }

    // What a user types into a money box or cell: the number, its currency symbol once at an
    // end, a negative as the currency format writes it.
    void parseMoneyEntry_data()
    {
        textColumns(); // expected as plain money text; empty: refused
        row("en_US", "$500", "500");
        row("en_US", "$1,234.50", "1234.5");
        row("en_US", " 1,234.50 $ ", "1234.5");
        row("en_US", "-$5", "-5");
        row("en_US", "($5.00)", "-5");
        row("en_US", "USD 12", "12");
        row("de_DE", "1.234,50 €", "1234.5");
        row("de_DE", "-5 €", "-5");
        for (const char* text : {"5$5", "$$5", "(-5)", "()", "$", "abc", "1,23"})
            row("en_US", text);
    }
    void parseMoneyEntry()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        LocaleScope scope(locale);
        const std::optional<Currency> money = Regional::parseMoneyEntry(text);
        QCOMPARE(money ? money->toPlainString() : QString(), expected);
    }
    void wholeAndPlainNumbers()
    {
        // A whole number rounds halves to even, exactly, over the full 64 bits.
        const std::pair<const char*, qint64> whole[] = {
            {"2.5", 2}, {"3.5", 4}, {"-2.5", -2}, {"2.5000000000000000001", 3}, {"1e1", 10}, {"2,026", 2026}};
        for (const auto& [text, value] : whole)
            QCOMPARE(Regional::parseWholeNumber(QString::fromLatin1(text)), std::optional(value));
        for (const char* text : {"9223372036854775808", "9223372036854775807.5", "abc"})
            QVERIFY2(!Regional::parseWholeNumber(QString::fromLatin1(text)), text);
        QCOMPARE(Regional::parseWholeNumber(QStringLiteral("-9223372036854775808")),
                 std::numeric_limits<qint64>::min());
        // Numbers as machines write them read the same under any settings; a number for a
        // statement is never written with the user's decimal comma.
        LocaleScope scope(QStringLiteral("de_DE"));
        const std::pair<const char*, qint64> plain[] = {{"123.4500", 1234500}, {"1.5e+2", 1500000}, {" -7 ", -70000}};
        for (const auto& [text, raw] : plain)
            QCOMPARE(Regional::parsePlainCurrency(QString::fromLatin1(text)), std::optional(Currency::fromRaw(raw)));
        for (const char* text : {"123,45", "1,234", "7-"})
            QVERIFY2(!Regional::isPlainNumeric(QString::fromLatin1(text)), text);
        const std::pair<double, const char*> written[] = {
            {1234.5, "1234.5"}, {-0.0, "0"}, {1e8, "100000000"}, {0.1, "0.1"}};
        for (const auto& [value, text] : written)
            QCOMPARE(Regional::plainNumberText(value), QString::fromLatin1(text));
    }

    void defaultText()
    {
        // What a field shows when no format is given: the locale's decimals, no grouping.
        const std::tuple<const char*, QVariant, const char*> cases[] = {
            {"de_DE", QVariant::fromValue(Currency::fromRaw(-12345000)), "-1234,5"},
            {"en_US", QVariant(0.1 + 0.2), "0.3"},
            {"en_US", QVariant::fromValue(at(2026, 3, 5, 16, 7, 36)), "3/5/2026 4:07:36 PM"},
        };
        for (const auto& [locale, value, text] : cases) {
            LocaleScope scope(QString::fromLatin1(locale));
            QCOMPARE(Regional::defaultText(value), std::optional(QString::fromLatin1(text)));
        }
        QVERIFY(!Regional::defaultText(QVariant()));
        QVERIFY(!Regional::defaultText(QVariant(QMetaType::fromType<int>()))); // a database NULL
    }
};

TESR_TEST_MAIN(ValuesTest)
#include "tst_values.moc"
