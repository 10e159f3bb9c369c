// Numbered templates and the pieces written between a statement's quotes.

#include "support/Shorthand.h"
#include "support/TestMain.h"

#include "shared/modSharedSQL.h"
#include "shared/modSharedStrings.h"

using namespace tesr;
using tesrtest::at;
using namespace Qt::StringLiterals;

class StatementTextTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

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

    void moneyFollowsTheLocaleButDatesForStatementsDoNot()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(modSharedStrings::FillTemplate("{0}", {QVariant::fromValue(Currency::fromRaw(-12345000))}),
                 u"-1234,5"_s);
        QCOMPARE(modSharedSQL::FormatSQLDate(at(2018, 3, 1, 21, 5, 7), false), u"20180301 21:05:07"_s);
    }

    void fixSQLQuotes()
    {
        QCOMPARE(modSharedSQL::FixSQLQuotes(u"''O'Brien'"_s), u"''''O''Brien''"_s);
        QCOMPARE(modSharedSQL::FixSQLQuotes(QString()), QString());
        // Typographic and double quotes end no statement text.
        QCOMPARE(modSharedSQL::FixSQLQuotes(u"O\u2019B \"hi\""_s), u"O\u2019B \"hi\""_s);
    }

    void formatSQLDate_data()
    {
        QTest::addColumn<OleDate>("date");
        QTest::addColumn<bool>("allowNull");
        QTest::addColumn<QString>("expected");
        const OleDate absent = OleDate::absent();
        QTest::newRow("never set, no null") << OleDate() << false << "18991230 00:00:00";
        QTest::newRow("never set, null") << OleDate() << true << "NULL";
        QTest::newRow("absent, null") << absent << true << "NULL";
        QTest::newRow("absent, no null") << absent << false << "19000101 00:00:00";
        QTest::newRow("before day 0, no null") << OleDate::fromSeconds(-86400) << false << "18991229 00:00:00";
    }
    void formatSQLDate()
    {
        QFETCH(OleDate, date);
        QFETCH(bool, allowNull);
        QFETCH(QString, expected);
        QCOMPARE(modSharedSQL::FormatSQLDate(date, allowNull), expected);
    }
};

TESR_TEST_MAIN(StatementTextTest)
#include "tst_statement_text.moc"
