// The field input rules on the screens' own edit and combo boxes.

#include "support/Shorthand.h"
#include "support/TestMain.h"

#include "platform/HelperTools.h"
#include "platform/InputTools.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/FlatEdit.h"

using namespace tesr;
using namespace Qt::StringLiterals;

class InputRulesTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // What a rule leaves in the field. Rules: "date", "amount" (-100,000,000..100,000,000,
    // fallback 0), "month" (1..12, fallback 1), "year" (1900..2075, fallback 2030), "half"
    // (0..10, fallback 2.5). How a number or a date is read and written in itself (grouping,
    // signs, exponents, halves to even, two-digit years): tst_values.
    void rules_data()
    {
        QTest::addColumn<QString>("row"); // rule|locale|typed|left
        for (const char* row : {"date|en_US|2026-03-05|3/5/2026",
                                "date|en_US|3/5/2026 4:07 PM|3/5/2026",
                                "date|en_US|12/31/1899|12/31/1899",
                                "date|en_US|2/30/2026|",
                                "date|en_US|   |",
                                "date|de_DE|5.3.26|05.03.2026",
                                "date|de_DE|3/25/2026|",
                                "amount|en_US|-100000000|-100000000",
                                "amount|en_US|100000000.01|0",
                                "amount|en_US||0",
                                "amount|de_DE|1.234,5|1234.5",
                                "half|en_US|999|2.5",
                                "month|en_US|12|12",
                                "month|en_US|13|1",
                                "month|en_US|-3|1",
                                "month|en_US|May|1",
                                "month|en_US|12.6|1",
                                "year|en_US|1899|2030",
                                "year|en_US|2076|2030",
                                "year|en_US|99999999999999999999|2030"})
            QTest::newRow(row) << QString::fromLatin1(row);
    }
    void rules()
    {
        QFETCH(QString, row);
        const QStringList f = row.split(u'|');
        const QString rule = f[0];
        const QString typed = f[2];
        QLocale::setDefault(QLocale(f[1]));
        const auto tools = helperFactory().CreateInputTools();
        FlatEdit edit;
        ComboBox combo; // the amount box is a combo box with an edit field: same rule, same text
        combo.AddItem(u"$123.00 (10%)"_s);
        for (TextField* field : std::initializer_list<TextField*>{&edit, &combo}) {
            field->SetText(typed);
            if (rule == "date")
                tools->DateTextRule(*field);
            else if (rule == "amount" || rule == "half")
                tools->NumberRangeRule(rule == "half" ? 0 : -1e8, rule == "half" ? 10 : 1e8, rule == "half" ? 2.5 : 0,
                                       *field);
            else
                tools->WholeNumberRangeRule(rule == "month" ? 1 : 1900, rule == "month" ? 12 : 2075,
                                            rule == "month" ? 1 : 2030, *field);
            QCOMPARE(field->Text(), f[3]);
        }
    }

    // Entries Cash 10, Check 20, Visa -5, Cash 10; a search that finds nothing clears the choice
    // but keeps what the user typed.
    void selectEntry_data()
    {
        // Entry chosen before (-1: none), text searched, item data searched (0: by text), entry chosen.
        tesrtest::rows({"text, exact|-1|Check|0|1", "text, first of two equal|-1|Cash|0|0",
                        "text, case counts|2|check|0|-1", "text, trailing blank counts|-1|Visa |0|-1",
                        "data, found|-1||20|1", "data, not there|1||99|-1"});
    }
    void selectEntry()
    {
        const QStringList f = tesrtest::fields();
        const int before = f[0].toInt();
        const QString text = f[1];
        const int data = f[2].toInt();
        const int selected = f[3].toInt();
        ComboBox combo;
        const auto tools = helperFactory().CreateInputTools();
        for (const auto& [name, value] : std::initializer_list<std::pair<const char*, int>>{
                 {"Cash", 10}, {"Check", 20}, {"Visa", -5}, {"Cash", 10}}) {
            combo.AddItem(QString::fromLatin1(name));
            combo.SetItemData(combo.NewIndex(), value);
        }
        combo.SetText(text.isEmpty() ? u"typed"_s : text);
        if (before >= 0)
            combo.SetListIndex(before);
        if (data)
            tools->SelectEntryByItemData(data, combo);
        else
            tools->SelectEntryByText(text, combo);
        QCOMPARE(combo.ListIndex(), selected);
        if (selected < 0 && before < 0)
            QCOMPARE(combo.Text(), text.isEmpty() ? u"typed"_s : text);
    }
};

TESR_TEST_MAIN(InputRulesTest)
#include "tst_input_rules.moc"
