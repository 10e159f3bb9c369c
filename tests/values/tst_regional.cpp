// How money, dates and numbers are shown to and read from the user, in the United States and
// German settings (and a few others where their separators differ).

#include "support/TestMain.h"

#include "values/Regional.h"

#include <QtTest>

#include <cmath>
#include <limits>

using namespace tesr;

namespace {

QLocale localeNamed(const QString& name)
{
    return QLocale(name);
}

// Sets the default locale for one test function and puts en_US back afterwards.
struct LocaleScope {
    explicit LocaleScope(const QString& name) { QLocale::setDefault(localeNamed(name)); }
    ~LocaleScope() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};

OleDate at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return *OleDate::fromYmdHms(y, mo, d, h, mi, s);
}

const QString nbsp = QString(QChar(0x00A0));

} // namespace

class RegionalTest : public QObject {
    Q_OBJECT

private slots:
    void formatCurrency_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<QString>("expected");
        QTest::newRow("us grouping and cents") << "en_US" << qint64(12345000) << "$1,234.50";
        QTest::newRow("us negative form") << "en_US" << qint64(-50000) << "($5.00)";
        QTest::newRow("us zero") << "en_US" << qint64(0) << "$0.00";
        QTest::newRow("us four decimals round") << "en_US" << qint64(12345) << "$1.23";
        QTest::newRow("us half to even up") << "en_US" << qint64(12350) << "$1.24";
        QTest::newRow("us half to even down") << "en_US" << qint64(12250) << "$1.22";
        QTest::newRow("us tiny negative is zero") << "en_US" << qint64(-49) << "$0.00";
        // A double cannot hold this amount: 922337203685477.5807 would show ...477.63.
        QTest::newRow("us largest exact") << "en_US" << std::numeric_limits<qint64>::max() << "$922,337,203,685,477.58";
        QTest::newRow("de") << "de_DE" << qint64(12345000) << "1.234,50" + nbsp + QChar(0x20AC);
        QTest::newRow("de negative") << "de_DE" << qint64(-50000) << "-5,00" + nbsp + QChar(0x20AC);
        QTest::newRow("ja no decimals, half to even") << "ja_JP" << qint64(12345000) << u"\uFFE51,234"_qs;
        QTest::newRow("ja half to even up") << "ja_JP" << qint64(12355000) << u"\uFFE51,236"_qs;
        QTest::newRow("in grouping") << "hi_IN" << qint64(12345678900000) << u"\u20B91,23,45,67,890.00"_qs;
    }
    void formatCurrency()
    {
        QFETCH(QString, locale);
        QFETCH(qint64, raw);
        QFETCH(QString, expected);
        LocaleScope scope(locale);
        QCOMPARE(Regional::formatCurrency(Currency::fromRaw(raw)), expected);
    }

    void currencyAgreesWithLocale_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char* name : {"en_US", "de_DE", "fr_FR", "nl_NL", "ja_JP", "en_GB", "de_CH", "sv_SE"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void currencyAgreesWithLocale()
    {
        // Wherever a double is exact, the exact path must look exactly like the locale's own.
        QFETCH(QString, locale);
        LocaleScope scope(locale);
        const QLocale loc;
        for (qint64 cents : {0LL, 1LL, 50LL, 123456LL, -123456LL, -1LL, 100000000LL}) {
            const Currency value = Currency::fromRaw(cents * 100);
            if (Regional::currencyDigits() == 2)
                QCOMPARE(Regional::formatCurrency(value), loc.toCurrencyString(double(cents) / 100.0));
        }
        const Currency whole = Currency::fromUnits(-42);
        QCOMPARE(Regional::formatCurrency(whole), loc.toCurrencyString(-42.0));
    }

    void shortDates_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("shown");
        QTest::newRow("us two-digit year widened") << "en_US"
                                                   << "M/d/yyyy"
                                                   << "3/5/2026";
        QTest::newRow("de two-digit year widened") << "de_DE"
                                                   << "dd.MM.yyyy"
                                                   << "05.03.2026";
        QTest::newRow("gb already four digits") << "en_GB"
                                                << "dd/MM/yyyy"
                                                << "05/03/2026";
        QTest::newRow("ja year first") << "ja_JP"
                                       << "yyyy/MM/dd"
                                       << "2026/03/05";
    }
    void shortDates()
    {
        QFETCH(QString, locale);
        QFETCH(QString, pattern);
        QFETCH(QString, shown);
        LocaleScope scope(locale);
        QCOMPARE(Regional::shortDatePattern(), pattern);
        QCOMPARE(Regional::formatShortDate(at(2026, 3, 5, 16, 7, 36)), shown);
        QCOMPARE(Regional::formatDate(at(2026, 3, 5), QStringLiteral("Short Date")), shown);
        // What is shown reads back as the same day, a 2026 date not as 1926.
        QCOMPARE(Regional::parseDate(shown), std::optional<OleDate>(at(2026, 3, 5)));
        QCOMPARE(Regional::formatShortDate(at(1899, 12, 31)), QLocale().toString(QDate(1899, 12, 31), pattern));
    }

    void generalDate_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("expected");
        const qint64 day = qint64(at(2026, 3, 5).seconds());
        const qint64 time = 16 * 3600 + 7 * 60 + 36;
        QTest::newRow("us date and time") << "en_US" << day + time << "3/5/2026 4:07:36 PM";
        QTest::newRow("us midnight is the date alone") << "en_US" << day << "3/5/2026";
        QTest::newRow("us day 0 is the time alone") << "en_US" << time << "4:07:36 PM";
        QTest::newRow("de date and time") << "de_DE" << day + time << "05.03.2026 16:07:36";
        QTest::newRow("de absent date") << "de_DE" << qint64(OleDate::absent().seconds()) << "01.01.1900";
    }
    void generalDate()
    {
        QFETCH(QString, locale);
        QFETCH(qint64, seconds);
        QFETCH(QString, expected);
        LocaleScope scope(locale);
        const OleDate value = OleDate::fromSeconds(seconds);
        QCOMPARE(Regional::formatGeneralDate(value), expected);
        QCOMPARE(Regional::formatDate(value, QStringLiteral("General Date")), expected);
        if (value.date() != OleDate::epoch())
            QCOMPARE(Regional::parseDate(expected), std::optional<OleDate>(value)); // shown text reads back
    }

    void namedFormats()
    {
        const OleDate value = at(2026, 3, 5, 16, 7, 36);
        QCOMPARE(Regional::formatDate(value, QStringLiteral("Long Time")), QStringLiteral("4:07:36 PM"));
        QCOMPARE(Regional::formatDate(value, QStringLiteral("short time")), QStringLiteral("16:07"));
        QCOMPARE(Regional::formatDate(value, QStringLiteral("Long Date")),
                 QLocale().toString(value.date(), QLocale::LongFormat));
        QCOMPARE(Regional::formatDate(value, QStringLiteral("yyyy-MM-dd HH:mm")), QStringLiteral("2026-03-05 16:07"));
    }

    void parseDate_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // ISO date-time, empty: not a date
        QTest::newRow("us four-digit year") << "en_US"
                                            << "3/5/2026"
                                            << "2026-03-05T00:00:00";
        QTest::newRow("us padded") << "en_US"
                                   << "03/05/2026"
                                   << "2026-03-05T00:00:00";
        QTest::newRow("us blanks around") << "en_US"
                                          << "  3/5/2026 "
                                          << "2026-03-05T00:00:00";
        QTest::newRow("us 26 is 2026") << "en_US"
                                       << "3/5/26"
                                       << "2026-03-05T00:00:00";
        QTest::newRow("us 00 is 2000") << "en_US"
                                       << "3/5/00"
                                       << "2000-03-05T00:00:00";
        QTest::newRow("us 29 is 2029") << "en_US"
                                       << "3/5/29"
                                       << "2029-03-05T00:00:00";
        QTest::newRow("us 30 is 1930") << "en_US"
                                       << "3/5/30"
                                       << "1930-03-05T00:00:00";
        QTest::newRow("us 99 is 1999") << "en_US"
                                       << "3/5/99"
                                       << "1999-03-05T00:00:00";
        QTest::newRow("us leap day") << "en_US"
                                     << "2/29/2024"
                                     << "2024-02-29T00:00:00";
        QTest::newRow("us no 2/30") << "en_US"
                                    << "2/30/2026"
                                    << "";
        QTest::newRow("us no leap day") << "en_US"
                                        << "2/29/2023"
                                        << "";
        QTest::newRow("us no month 13") << "en_US"
                                        << "13/5/2026"
                                        << "";
        QTest::newRow("us three-digit year") << "en_US"
                                             << "3/5/226"
                                             << "";
        QTest::newRow("us two numbers") << "en_US"
                                        << "3/5"
                                        << "";
        QTest::newRow("us 24-hour time") << "en_US"
                                         << "3/5/2026 16:07"
                                         << "2026-03-05T16:07:00";
        QTest::newRow("us general date") << "en_US"
                                         << "3/5/2026 4:07:36 PM"
                                         << "2026-03-05T16:07:36";
        QTest::newRow("us midnight am") << "en_US"
                                        << "3/5/2026 12:00 AM"
                                        << "2026-03-05T00:00:00";
        QTest::newRow("us noon pm") << "en_US"
                                    << "3/5/2026 12:30 pm"
                                    << "2026-03-05T12:30:00";
        QTest::newRow("us hour 25") << "en_US"
                                    << "3/5/2026 25:00"
                                    << "";
        QTest::newRow("us 13 pm") << "en_US"
                                  << "3/5/2026 13:00 PM"
                                  << "";
        QTest::newRow("us minute 60") << "en_US"
                                      << "3/5/2026 10:60"
                                      << "";
        QTest::newRow("us junk after") << "en_US"
                                       << "3/5/2026 x"
                                       << "";
        QTest::newRow("us letters") << "en_US"
                                    << "abc"
                                    << "";
        QTest::newRow("us empty") << "en_US"
                                  << ""
                                  << "";
        QTest::newRow("us none") << "en_US"
                                 << "None"
                                 << "";
        QTest::newRow("iso") << "en_US"
                             << "2026-03-05"
                             << "2026-03-05T00:00:00";
        QTest::newRow("iso with T") << "en_US"
                                    << "2026-03-05T16:07:36"
                                    << "2026-03-05T16:07:36";
        QTest::newRow("iso with blank") << "en_US"
                                        << "2026-03-05 16:07:36"
                                        << "2026-03-05T16:07:36";
        QTest::newRow("iso 2/30") << "en_US"
                                  << "2026-02-30"
                                  << "";
        QTest::newRow("de") << "de_DE"
                            << "05.03.2026"
                            << "2026-03-05T00:00:00";
        QTest::newRow("de short") << "de_DE"
                                  << "5.3.26"
                                  << "2026-03-05T00:00:00";
        QTest::newRow("de day first") << "de_DE"
                                      << "13.05.2026"
                                      << "2026-05-13T00:00:00";
        QTest::newRow("de no 30.02") << "de_DE"
                                     << "30.02.2026"
                                     << "";
        QTest::newRow("de iso") << "de_DE"
                                << "2026-03-05"
                                << "2026-03-05T00:00:00";
        QTest::newRow("de with time") << "de_DE"
                                      << "05.03.2026 16:07:36"
                                      << "2026-03-05T16:07:36";
        QTest::newRow("ko trailing dot") << "ko_KR"
                                         << "2026. 3. 5."
                                         << "2026-03-05T00:00:00";
        QTest::newRow("bg trailing word") << "bg_BG" << QString::fromUtf8("5.03.2026 \u0433.") << "2026-03-05T00:00:00";
        QTest::newRow("C month name") << "C"
                                      << "25 Nov 2026"
                                      << "2026-11-25T00:00:00";
        QTest::newRow("C long month name") << "C"
                                           << "25 november 2026"
                                           << "2026-11-25T00:00:00";
        QTest::newRow("C unknown word") << "C"
                                        << "25 Nox 2026"
                                        << "";
        QTest::newRow("de month name") << "de_DE" << QString::fromUtf8("5. M\u00e4rz 2026") << "2026-03-05T00:00:00";
        QTest::newRow("us weekday passed over") << "en_US"
                                                << "Thu 3/5/2026"
                                                << "2026-03-05T00:00:00";
        QTest::newRow("ar native digits and marks")
            << "ar_EG" << QString::fromUtf8("\u0665\u200f/\u0663\u200f/\u0662\u0660\u0662\u0666")
            << "2026-03-05T00:00:00";
    }
    void parseDate()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        LocaleScope scope(locale);
        const std::optional<OleDate> parsed = Regional::parseDate(text);
        QCOMPARE(parsed.has_value(), !expected.isEmpty());
        if (parsed)
            QCOMPARE(parsed->toIsoString(), expected);
    }

    void everyLocaleReadsBackWhatItShows()
    {
        // Whatever the host's configuration picks, a date the screens show and a number the
        // locale writes read back unchanged.
        const OleDate day = at(2026, 11, 25);
        const OleDate moment = at(2026, 11, 25, 16, 7, 36);
        const auto all = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        QVERIFY(all.size() > 100);
        QStringList failures;
        for (const QLocale& loc : all) {
            QLocale::setDefault(loc);
            const QString shown = Regional::formatShortDate(day);
            if (Regional::parseDate(shown) != std::optional<OleDate>(day))
                failures << loc.name() + QStringLiteral(": ") + shown;
            for (double v : {1234567.25, -0.5, 12.0}) {
                const QString written = loc.toString(v, 'f', 2);
                if (Regional::parseNumber(written) != std::optional<double>(v))
                    failures << loc.name() + QStringLiteral(": ") + written;
            }
        }
        for (const char* name : {"en_US", "en_GB", "de_DE", "fr_FR", "es_ES", "it_IT", "nl_NL", "ja_JP", "zh_CN",
                                 "ko_KR", "ru_RU", "ar_EG", "sv_SE", "pl_PL", "C"}) {
            QLocale::setDefault(QLocale(QString::fromLatin1(name)));
            const QString shown = Regional::formatGeneralDate(moment);
            if (Regional::parseDate(shown) != std::optional<OleDate>(moment))
                failures << QString::fromLatin1(name) + QStringLiteral(": ") + shown;
        }
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QStringLiteral("; "))));
    }

    void parseNumber_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<double>("value");
        QTest::newRow("us plain") << "en_US"
                                  << "1234.5" << true << 1234.5;
        QTest::newRow("us grouped") << "en_US"
                                    << "1,234.5" << true << 1234.5;
        QTest::newRow("us grouped millions") << "en_US"
                                             << "1,234,567" << true << 1234567.0;
        QTest::newRow("us blanks") << "en_US"
                                   << " 12 " << true << 12.0;
        QTest::newRow("us leading minus") << "en_US"
                                          << "-12" << true << -12.0;
        QTest::newRow("us leading plus") << "en_US"
                                         << "+12" << true << 12.0;
        QTest::newRow("us trailing minus") << "en_US"
                                           << "12-" << true << -12.0;
        QTest::newRow("us exponent") << "en_US"
                                     << "1e9" << true << 1e9;
        QTest::newRow("us negative exponent") << "en_US"
                                              << "1.5E-3" << true << 0.0015;
        QTest::newRow("us no leading digit") << "en_US"
                                             << ".5" << true << 0.5;
        QTest::newRow("us trailing point") << "en_US"
                                           << "12." << true << 12.0;
        QTest::newRow("us empty") << "en_US"
                                  << "" << false << 0.0;
        QTest::newRow("us blank") << "en_US"
                                  << "   " << false << 0.0;
        QTest::newRow("us letters") << "en_US"
                                    << "abc" << false << 0.0;
        QTest::newRow("us trailing letters") << "en_US"
                                             << "12abc" << false << 0.0;
        QTest::newRow("us groups of one") << "en_US"
                                          << "1,2,3." << false << 0.0;
        QTest::newRow("us group of two") << "en_US"
                                         << "1,23" << false << 0.0;
        QTest::newRow("us leading separator") << "en_US"
                                              << ",123" << false << 0.0;
        QTest::newRow("us doubled separator") << "en_US"
                                              << "1,,234" << false << 0.0;
        QTest::newRow("us trailing separator") << "en_US"
                                               << "1,234," << false << 0.0;
        QTest::newRow("us first group too long") << "en_US"
                                                 << "1234,567" << false << 0.0;
        QTest::newRow("us separator in fraction") << "en_US"
                                                  << "1.234,5" << false << 0.0;
        QTest::newRow("us dollar") << "en_US"
                                   << "$12" << false << 0.0;
        QTest::newRow("us point alone") << "en_US"
                                        << "." << false << 0.0;
        QTest::newRow("us exponent without digits") << "en_US"
                                                    << "1e" << false << 0.0;
        QTest::newRow("us exponent alone") << "en_US"
                                           << "e9" << false << 0.0;
        QTest::newRow("us two signs") << "en_US"
                                      << "--1" << false << 0.0;
        QTest::newRow("us signs both ends") << "en_US"
                                            << "-1-" << false << 0.0;
        QTest::newRow("us two points") << "en_US"
                                       << "1.2.3" << false << 0.0;
        QTest::newRow("us blank as separator") << "en_US"
                                               << "1 234" << false << 0.0;
        QTest::newRow("us overflow") << "en_US"
                                     << "1e999" << false << 0.0;
        QTest::newRow("us underflow is zero") << "en_US"
                                              << "1e-999" << true << 0.0;
        QTest::newRow("de grouped") << "de_DE"
                                    << "1.234,5" << true << 1234.5;
        QTest::newRow("de comma decimal") << "de_DE"
                                          << "1,5" << true << 1.5;
        QTest::newRow("de point is no decimal") << "de_DE"
                                                << "1.5" << false << 0.0;
        QTest::newRow("de us form refused") << "de_DE"
                                            << "1234.5" << false << 0.0;
        QTest::newRow("de negative") << "de_DE"
                                     << "-1,5" << true << -1.5;
        QTest::newRow("de exponent") << "de_DE"
                                     << "1e3" << true << 1000.0;
        QTest::newRow("fr typed blank groups") << "fr_FR"
                                               << "1 234,5" << true << 1234.5;
        QTest::newRow("in lakh grouping") << "hi_IN"
                                          << "12,34,567" << true << 1234567.0;
        QTest::newRow("in thousands grouping refused") << "hi_IN"
                                                       << "1,234,567" << false << 0.0;
    }
    void parseNumber()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(bool, numeric);
        QFETCH(double, value);
        LocaleScope scope(locale);
        QCOMPARE(Regional::isNumeric(text), numeric);
        const std::optional<double> parsed = Regional::parseNumber(text);
        QCOMPARE(parsed.has_value(), numeric);
        if (parsed)
            QCOMPARE(*parsed, value);
        // Money is read by the same rules, only exactly.
        const std::optional<Currency> money = Regional::parseCurrency(text);
        if (numeric && std::fabs(value) < 1e14)
            QCOMPARE(money, Currency::fromDouble(value));
        if (!numeric)
            QVERIFY(!money.has_value());
    }

    void parseCurrencyExact_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("raw");
        QTest::newRow("tenth") << "en_US"
                               << "0.1" << true << qint64(1000);
        QTest::newRow("fifth decimal rounds") << "en_US"
                                              << "1,234.56789" << true << qint64(12345679);
        QTest::newRow("half to even down") << "en_US"
                                           << "0.00005" << true << qint64(0);
        QTest::newRow("half to even up") << "en_US"
                                         << "0.00015" << true << qint64(2);
        QTest::newRow("exponent to smallest step") << "en_US"
                                                   << "1e-4" << true << qint64(1);
        QTest::newRow("exponent far below") << "en_US"
                                            << "5e-40" << true << qint64(0);
        QTest::newRow("beyond double precision") << "en_US"
                                                 << "123,456,789,012.3456" << true << qint64(1234567890123456);
        QTest::newRow("trailing minus") << "en_US"
                                        << "5-" << true << qint64(-50000);
        QTest::newRow("too large") << "en_US"
                                   << "1e20" << false << qint64(0);
        QTest::newRow("de grouped") << "de_DE"
                                    << "1.234,5" << true << qint64(12345000);
    }
    void parseCurrencyExact()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(qint64, raw);
        LocaleScope scope(locale);
        const auto value = Regional::parseCurrency(text);
        QCOMPARE(value.has_value(), valid);
        if (valid)
            QCOMPARE(value->raw(), raw);
    }

    void parseWholeNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("value");
        QTest::newRow("2.5 to even") << "2.5" << true << qint64(2);
        QTest::newRow("3.5 to even") << "3.5" << true << qint64(4);
        QTest::newRow("-2.5 to even") << "-2.5" << true << qint64(-2);
        QTest::newRow("0.5 to even") << "0.5" << true << qint64(0);
        QTest::newRow("past half") << "2.5000000000000000001" << true << qint64(3);
        QTest::newRow("below half") << "2.4999999999999999999" << true << qint64(2);
        QTest::newRow("exponent") << "1e1" << true << qint64(10);
        QTest::newRow("grouped") << "2,026" << true << qint64(2026);
        QTest::newRow("largest") << "9223372036854775807" << true << std::numeric_limits<qint64>::max();
        QTest::newRow("smallest") << "-9223372036854775808" << true << std::numeric_limits<qint64>::min();
        QTest::newRow("too large") << "9223372036854775808" << false << qint64(0);
        QTest::newRow("rounds past largest") << "9223372036854775807.5" << false << qint64(0);
        QTest::newRow("letters") << "abc" << false << qint64(0);
    }
    void parseWholeNumber()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(qint64, value);
        const auto parsed = Regional::parseWholeNumber(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(*parsed, value);
    }

    void plainReaders_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<qint64>("raw");
        QTest::newRow("record amount") << "en_US"
                                       << "123.4500" << true << qint64(1234500);
        QTest::newRow("record amount under de") << "de_DE"
                                                << "123.4500" << true << qint64(1234500);
        QTest::newRow("comma never counts") << "de_DE"
                                            << "123,45" << false << qint64(0);
        QTest::newRow("grouping never counts") << "en_US"
                                               << "1,234" << false << qint64(0);
        QTest::newRow("exponent as written by a double") << "en_US"
                                                         << "1.5e+2" << true << qint64(1500000);
        QTest::newRow("blanks and sign") << "en_US"
                                         << " -7 " << true << qint64(-70000);
        QTest::newRow("trailing sign") << "en_US"
                                       << "7-" << false << qint64(0);
    }
    void plainReaders()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(bool, numeric);
        QFETCH(qint64, raw);
        LocaleScope scope(locale);
        QCOMPARE(Regional::isPlainNumeric(text), numeric);
        const auto money = Regional::parsePlainCurrency(text);
        QCOMPARE(money.has_value(), numeric);
        if (numeric)
            QCOMPARE(money->raw(), raw);
    }

    void plainNumberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("fraction") << 1234.5 << "1234.5";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("no exponent") << 1e8 << "100000000";
        QTest::newRow("negative") << -12.25 << "-12.25";
        QTest::newRow("shortest") << 0.1 << "0.1";
    }
    void plainNumberText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        LocaleScope scope(QStringLiteral("de_DE")); // never the user's decimal comma
        QCOMPARE(Regional::plainNumberText(value), text);
    }

    void defaultText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("hasText");
        QTest::addColumn<QString>("text");
        QTest::newRow("int") << "en_US" << QVariant(42) << true << "42";
        QTest::newRow("negative int") << "en_US" << QVariant(-7) << true << "-7";
        QTest::newRow("no grouping") << "en_US" << QVariant(qlonglong(1234567)) << true << "1234567";
        QTest::newRow("money") << "en_US" << QVariant::fromValue(Currency::fromRaw(12345000)) << true << "1234.5";
        QTest::newRow("money de") << "de_DE" << QVariant::fromValue(Currency::fromRaw(-12345000)) << true << "-1234,5";
        QTest::newRow("double") << "en_US" << QVariant(0.1 + 0.2) << true << "0.3";
        QTest::newRow("double de") << "de_DE" << QVariant(2.5) << true << "2,5";
        QTest::newRow("text") << "en_US" << QVariant(QStringLiteral("x y")) << true << "x y";
        QTest::newRow("empty text") << "en_US" << QVariant(QString()) << true << "";
        QTest::newRow("bool") << "en_US" << QVariant(true) << true << "True";
        QTest::newRow("date") << "en_US" << QVariant::fromValue(at(2026, 3, 5, 16, 7, 36)) << true
                              << "3/5/2026 4:07:36 PM";
        QTest::newRow("qdate") << "de_DE" << QVariant(QDate(2026, 3, 5)) << true << "05.03.2026";
        QTest::newRow("null") << "en_US" << QVariant() << false << "";
        QTest::newRow("database null") << "en_US" << QVariant(QMetaType::fromType<int>()) << false << "";
    }
    void defaultText()
    {
        QFETCH(QString, locale);
        QFETCH(QVariant, value);
        QFETCH(bool, hasText);
        QFETCH(QString, text);
        LocaleScope scope(locale);
        const std::optional<QString> result = Regional::defaultText(value);
        QCOMPARE(result.has_value(), hasText);
        if (result)
            QCOMPARE(*result, text);
    }
};

TESR_TEST_MAIN(RegionalTest)
#include "tst_regional.moc"
