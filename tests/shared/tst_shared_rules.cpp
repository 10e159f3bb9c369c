// The shared helpers as rules alone: universal <-> local time with the offset in force at the
// moment of the call; spreading a total over orders oldest first (the screens' tests drive the
// action itself); single column values read out of the host's record documents; numbered
// templates and the pieces written between a statement's quotes.

#include "support/Shorthand.h"
#include "support/TestMain.h"

#include "shared/modSharedDateTime.h"
#include "shared/modSharedSQL.h"
#include "shared/modSharedSpread.h"
#include "shared/modSharedStrings.h"
#include "shared/modSharedXML.h"

using namespace tesr;
using modSharedDateTime::TimeZoneInfo;
using tesrtest::at;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TimeZoneInfo)

class SharedRulesTest : public QObject {
    Q_OBJECT

    // The first record of a document whose records hold the given columns as raw XML.
    QDomDocument m_doc;
    QDomElement record(const QString& columns)
    {
        if (!m_doc.setContent("<Records><Record>" + columns + "</Record><Record><N>2</N></Record></Records>"))
            qFatal("test document does not parse: %s", qPrintable(columns));
        return modSharedXML::SelectSingleNode(m_doc, u"Records/Record"_s);
    }

private slots:
    void cleanup()
    {
        modSharedDateTime::setTimeZoneSource({});
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    // Local noon and the universal time it is; the conversion runs both ways. (A plain summer and
    // winter day: Edit Payment's dates, read and saved.)
    void utcAndLocal_data()
    {
        QTest::addColumn<TimeZoneInfo>("zone");
        QTest::addColumn<OleDate>("local");
        QTest::addColumn<OleDate>("utc");
        const TimeZoneInfo winter{300, 0, -60, false, true};
        // The offset of the moment, not of the date: a summer date converted in winter.
        QTest::newRow("summer date in winter") << winter << at(2024, 7, 1, 12) << at(2024, 7, 1, 17);
        QTest::newRow("half-hour zone") << TimeZoneInfo{-330, 0, 0, false, true} << at(2024, 1, 11, 1, 30)
                                        << at(2024, 1, 10, 20);
        QTest::newRow("failed call uses standard")
            << TimeZoneInfo{300, 0, -60, true, false} << at(2024, 6, 1, 12) << at(2024, 6, 1, 17);
        // Callers test for the absent date first; converted, it moves like any date.
        QTest::newRow("absent date") << winter << at(1899, 12, 31, 19) << OleDate::absent();
    }
    void utcAndLocal()
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
        std::vector<modSharedSpread::Line> in;
        for (const QString& l : lines) {
            const QStringList f = l.split(u':');
            in.push_back({f[0].toLongLong(), *Currency::parsePlain(f[1]),
                          f.size() > 2 ? *Currency::parsePlain(f[2]) : Currency(), f.size() == 2});
        }
        const std::vector<Currency> out = modSharedSpread::SpreadOldestFirst(in, *Currency::parsePlain(total));
        QStringList got;
        for (std::size_t i = 0; i < in.size(); ++i)
            got << QString::number(in[i].orderID) + u'=' + out[i].toPlainString();
        QCOMPARE(got, spread);
    }

    // One value read every way: column N of the first record, the default "7" for each reader;
    // no record at all gives the default.
    void recordValues_data()
    {
        QTest::addColumn<QString>("row"); // reader|columns|expected
        for (const char* row :
             {"text||7", "text|<N>Acme &amp; Co</N>|Acme & Co",
              "text|<N>one&amp;#13;&amp;#10;two&amp;#9;</N>|one\r\ntwo&#9;",
              "text|<n>x</n>|7", // case counts
              "long|<N>1,234</N>|7", "long|<N> -12 </N>|-12", "long|<N>-3.5</N>|-4",
              "long|<N>2147483647.5</N>|0", // beyond 32 bits after rounding
              "money|<N>123.4500</N>|123.45", "money|<N>abc</N>|7", "money|<N>0.00005</N>|0", "money|<none>|7",
              "date|<N>2018-01-23T16:07:36.997</N>|2018-01-23T16:07:36",
              "date|<N>2018-01-23-99T16:07:36Tjunk</N>|2018-01-23T16:07:36",
              "date|<N>2018-01-23</N>|1900-01-01T00:00:00", "date|<N>2018-02-30T10:00:00</N>|1900-01-01T00:00:00",
              "date|<N>2018-01-23T16:07:36Z</N>|1900-01-01T00:00:00", "date|<N>yesterdayT16:07</N>|1900-01-01T00:00:00",
              "date|<none>|1900-01-01T00:00:00"})
            QTest::newRow(row) << QString::fromLatin1(row);
    }
    void recordValues()
    {
        using namespace modSharedXML;
        QFETCH(QString, row);
        const QString reader = row.section(u'|', 0, 0);
        const QString expected = row.section(u'|', 2);
        const QString columns = row.section(u'|', 1, 1);
        const QDomElement r = columns == u"<none>" ? QDomElement() : record(columns);
        if (reader == "money")
            QLocale::setDefault(QLocale(u"de_DE"_s)); // documents do not follow the user's settings
        const QString n = u"N"_s;
        if (reader == "text")
            QCOMPARE(GetNodeText(n, r, u"7"_s), expected);
        else if (reader == "long")
            QCOMPARE(GetNodeLong(n, r, 7), expected.toInt());
        else if (reader == "money")
            QCOMPARE(GetNodeCurrency(n, r, Currency::fromUnits(7)), Currency::parsePlain(expected).value());
        else
            QCOMPARE(GetNodeDate(n, r, OleDate::absent()).toIsoString(), expected);
    }

    void recordDocuments()
    {
        using namespace modSharedXML;
        QVERIFY(SelectSingleNode(QDomDocument(), u"Records/Record"_s).isNull());
        QCOMPARE(GetNodeLong(u"N"_s, record({})), 0); // the first record only
        QVERIFY(SelectSingleNode(m_doc, u"Other/Record"_s).isNull());
        QCOMPARE(UnescapeXMLText(u"a&#13;&#10;b&#10;&#13;&amp;&#9;&lt;"_s), u"a\r\nb\n\r&amp;&#9;&lt;"_s);
        QCOMPARE(ParseXMLDate(QString(), OleDate::absent()), OleDate::absent());
    }

    void fillTemplate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("expected");
        QVariantList eighteen;
        for (int i = 0; i < 18; ++i)
            eighteen << u"a%1"_s.arg(i);
        auto row = [](const char* name, const char* text, const QVariantList& args, const char* expected) {
            QTest::newRow(name) << QString::fromLatin1(text) << args << QString::fromLatin1(expected);
        };
        row("key into statement", "SELECT * FROM v WHERE ID = {0}", {42}, "SELECT * FROM v WHERE ID = 42");
        row("marker twice", "{0} and {0}", {"a"}, "a and a");
        row("missing element keeps marker", "{0}-{1}", {"a"}, "a-{1}");
        row("elements after 16 ignored", "{0}{16}|{17}", eighteen, "a0a16|{17}");
        row("value carries a higher marker", "{0}{1}", {"{1}", "x"}, "xx");
        row("database null keeps marker", "[{0}][{1}]", {QVariant(QMetaType::fromType<int>()), 5}, "[{0}][5]");
        row("whole number not grouped", "{0}", {-1234567}, "-1234567");
        row("money as plain number", "{0}", {QVariant::fromValue(Currency::fromRaw(12345000))}, "1234.5");
        row("date in the default form", "on {0}", {QVariant::fromValue(at(2018, 3, 1, 21, 5, 7))},
            "on 3/1/2018 9:05:07 PM");
        row("values are not quoted", "Name = '{0}'", {"O'Brien"}, "Name = 'O'Brien'");
    }
    void fillTemplate()
    {
        QFETCH(QString, text);
        QFETCH(QVariantList, args);
        QFETCH(QString, expected);
        QCOMPARE(modSharedStrings::FillTemplate(text, args), expected);
    }

    void statementPieces()
    {
        QCOMPARE(modSharedSQL::FixSQLQuotes(u"''O'Brien'"_s), u"''''O''Brien''"_s);
        QCOMPARE(modSharedSQL::FixSQLQuotes(QString()), QString());
        // Typographic and double quotes end no statement text.
        QCOMPARE(modSharedSQL::FixSQLQuotes(u"O\u2019B \"hi\""_s), u"O\u2019B \"hi\""_s);
        // {date, NULL allowed, written}.
        const std::tuple<OleDate, bool, const char*> dates[] = {
            {OleDate(), false, "18991230 00:00:00"},
            {OleDate(), true, "NULL"},
            {OleDate::absent(), true, "NULL"},
            {OleDate::absent(), false, "19000101 00:00:00"},
            {OleDate::fromSeconds(-86400), false, "18991229 00:00:00"}};
        for (const auto& [date, allowNull, written] : dates)
            QCOMPARE(modSharedSQL::FormatSQLDate(date, allowNull), QString::fromLatin1(written));
        // Money follows the user's settings in a template; a date for a statement does not.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(modSharedStrings::FillTemplate("{0}", {QVariant::fromValue(Currency::fromRaw(-12345000))}),
                 u"-1234,5"_s);
        QCOMPARE(modSharedSQL::FormatSQLDate(at(2018, 3, 1, 21, 5, 7), false), u"20180301 21:05:07"_s);
    }
};

TESR_TEST_MAIN(SharedRulesTest)
#include "tst_shared_rules.moc"
