// Numbered templates and the pieces written between a statement's quotes.

#include "support/TestMain.h"

#include "shared/modSharedSQL.h"
#include "shared/modSharedStrings.h"
#include "values/Currency.h"
#include "values/OleDate.h"

#include <QtTest>

using namespace tesr;
using modSharedSQL::FixSQLQuotes;
using modSharedSQL::FormatSQLDate;
using modSharedStrings::FillTemplate;

namespace {

QVariantList numbered(int count)
{
    QVariantList list;
    for (int i = 0; i < count; ++i)
        list << QStringLiteral("a%1").arg(i);
    return list;
}

} // namespace

class StatementTextTest : public QObject {
    Q_OBJECT

private slots:
    void fillTemplate_data()
    {
        QTest::addColumn<QString>("templateText");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no markers, any arguments") << "Hello, world" << QVariantList{1, "x"} << "Hello, world";
        QTest::newRow("no markers, no arguments") << "" << QVariantList{} << "";
        QTest::newRow("key into statement") << "SELECT * FROM vwScreen_EditPayment WHERE ID = {0}" << QVariantList{42}
                                            << "SELECT * FROM vwScreen_EditPayment WHERE ID = 42";
        QTest::newRow("marker twice") << "{0} and {0}" << QVariantList{"a"} << "a and a";
        QTest::newRow("missing element keeps marker") << "{0}-{1}" << QVariantList{"a"} << "a-{1}";
        QTest::newRow("only a higher marker") << "{1}" << QVariantList{"a"} << "{1}";
        QTest::newRow("elements after 16 ignored") << "{16}|{17}" << numbered(18) << "a16|{17}";
        QTest::newRow("all seventeen") << "{0}{1}{2}{3}{4}{5}{6}{7}{8}{9}{10}{11}{12}{13}{14}{15}{16}" << numbered(17)
                                       << "a0a1a2a3a4a5a6a7a8a9a10a11a12a13a14a15a16";
        QTest::newRow("value carries a higher marker") << "{0}{1}" << QVariantList{"{1}", "x"} << "xx";
        QTest::newRow("value carries a lower marker") << "{1}" << QVariantList{"a", "{0}"} << "{0}";
        QTest::newRow("value carries its own marker") << "{0}" << QVariantList{"{0}"} << "{0}";
        QTest::newRow("null keeps marker") << "[{0}]" << QVariantList{QVariant()} << "[{0}]";
        QTest::newRow("database null keeps marker")
            << "[{0}][{1}]" << QVariantList{QVariant(QMetaType::fromType<int>()), 5} << "[{0}][5]";
        QTest::newRow("negative whole number") << "{0}" << QVariantList{-5} << "-5";
        QTest::newRow("whole number not grouped") << "{0}" << QVariantList{1234567} << "1234567";
        QTest::newRow("money as plain number")
            << "{0}" << QVariantList{QVariant::fromValue(Currency::fromRaw(12345000))} << "1234.5";
        QTest::newRow("date in the default form")
            << "on {0}" << QVariantList{QVariant::fromValue(*OleDate::fromYmdHms(2018, 3, 1, 21, 5, 7))}
            << "on 3/1/2018 9:05:07 PM";
        QTest::newRow("not a marker: leading zero") << "{00}{ 0}{0 }" << QVariantList{"x"} << "{00}{ 0}{0 }";
        QTest::newRow("braces around a marker") << "{{0}}" << QVariantList{"x"} << "{x}";
        QTest::newRow("values are not quoted") << "Name = '{0}'" << QVariantList{"O'Brien"} << "Name = 'O'Brien'";
        QTest::newRow("empty text fills") << "<{0}>" << QVariantList{QString()} << "<>";
    }
    void fillTemplate()
    {
        QFETCH(QString, templateText);
        QFETCH(QVariantList, args);
        QFETCH(QString, expected);
        QCOMPARE(FillTemplate(templateText, args), expected);
    }

    void fillTemplateMoneyFollowsLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString text =
            FillTemplate(QStringLiteral("{0}"), QVariantList{QVariant::fromValue(Currency::fromRaw(-12345000))});
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(text, QStringLiteral("-1234,5"));
    }

    void fixSQLQuotes_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one quote") << "O'Brien"
                                   << "O''Brien";
        QTest::newRow("no quotes") << "Smith & Sons"
                                   << "Smith & Sons";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("only quotes") << "''"
                                     << "''''";
        QTest::newRow("quote at the ends") << "'x'"
                                           << "''x''";
        QTest::newRow("typographic quote untouched")
            << QString::fromUtf8("O\u2019Brien") << QString::fromUtf8("O\u2019Brien");
        QTest::newRow("double quote untouched") << "say \"hi\""
                                                << "say \"hi\"";
    }
    void fixSQLQuotes()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QCOMPARE(FixSQLQuotes(value), expected);
        // Inside a quoted literal the quotes balance, so the statement keeps its shape.
        const QString literal = u'\'' + FixSQLQuotes(value) + u'\'';
        QCOMPARE(literal.count(u'\'') % 2, 0);
    }

    void formatSQLDate_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<bool>("allowNull");
        QTest::addColumn<QString>("expected");
        const qint64 absent = qint64(OleDate::absent().seconds());
        QTest::newRow("never set, no null") << qint64(0) << false << "18991230 00:00:00";
        QTest::newRow("never set, null") << qint64(0) << true << "NULL";
        QTest::newRow("absent, null") << absent << true << "NULL";
        QTest::newRow("absent, no null") << absent << false << "19000101 00:00:00";
        QTest::newRow("one second after, null") << absent + 1 << true << "19000101 00:00:01";
        QTest::newRow("one second after, no null") << absent + 1 << false << "19000101 00:00:01";
        QTest::newRow("before day 0, null") << qint64(-86400) << true << "NULL";
        QTest::newRow("before day 0, no null") << qint64(-86400) << false << "18991229 00:00:00";
        QTest::newRow("afternoon, 24-hour clock")
            << qint64(OleDate::fromYmdHms(2018, 3, 1, 21, 5, 7)->seconds()) << false << "20180301 21:05:07";
        QTest::newRow("last second of a year")
            << qint64(OleDate::fromYmdHms(2025, 12, 31, 23, 59, 59)->seconds()) << true << "20251231 23:59:59";
    }
    void formatSQLDate()
    {
        QFETCH(qint64, seconds);
        QFETCH(bool, allowNull);
        QFETCH(QString, expected);
        const OleDate date = OleDate::fromSeconds(seconds);
        QCOMPARE(FormatSQLDate(date, allowNull), expected);
        // The form does not follow the user's settings.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString german = FormatSQLDate(date, allowNull);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(german, expected);
    }
};

TESR_TEST_MAIN(StatementTextTest)
#include "tst_statement_text.moc"
