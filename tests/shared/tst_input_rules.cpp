// The field input rules on the screens' own edit and combo boxes.

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
    // (0..10, fallback 2.5).
    void rules_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("left");
        auto row = [](const char* rule, const char* locale, const char* typed, const char* left) {
            QTest::addRow("%s %s '%s'", rule, locale, typed) << rule << locale << typed << left;
        };
        for (const auto& [typed, left] :
             std::initializer_list<std::pair<const char*, const char*>>{{"3/5/26", "3/5/2026"},
                                                                        {"03/05/2026", "3/5/2026"},
                                                                        {"2026-03-05", "3/5/2026"},
                                                                        {"3/5/2026 4:07 PM", "3/5/2026"},
                                                                        {"12/31/1899", "12/31/1899"},
                                                                        {"2/30/2026", ""},
                                                                        {"soon", ""},
                                                                        {"", ""},
                                                                        {"   ", ""}})
            row("date", "en_US", typed, left);
        row("date", "de_DE", "5.3.26", "05.03.2026");
        row("date", "de_DE", "3/25/2026", "");
        for (const auto& [typed, left] :
             std::initializer_list<std::pair<const char*, const char*>>{{"1,234.50", "1234.5"},
                                                                        {" 7 ", "7"},
                                                                        {"-12.25", "-12.25"},
                                                                        {"12-", "-12"},
                                                                        {"1e3", "1000"},
                                                                        {"-0", "0"},
                                                                        {"100,000,000", "100000000"},
                                                                        {"-100000000", "-100000000"},
                                                                        {"100000000.01", "0"},
                                                                        {"$5", "0"},
                                                                        {"", "0"},
                                                                        {"abc", "0"},
                                                                        {"1,2,3.", "0"}})
            row("amount", "en_US", typed, left);
        row("amount", "de_DE", "1.234,5", "1234.5");
        row("amount", "de_DE", "1.5", "0");
        row("half", "en_US", "999", "2.5");
        for (const auto& [typed, left] : std::initializer_list<std::pair<const char*, const char*>>{{"12", "12"},
                                                                                                    {"13", "1"},
                                                                                                    {"0", "1"},
                                                                                                    {"-3", "1"},
                                                                                                    {"May", "1"},
                                                                                                    {"07", "7"},
                                                                                                    {"2.5", "2"},
                                                                                                    {"3.5", "4"},
                                                                                                    {"12.5", "12"},
                                                                                                    {"12.6", "1"},
                                                                                                    {"0.6", "1"}})
            row("month", "en_US", typed, left);
        for (const auto& [typed, left] :
             std::initializer_list<std::pair<const char*, const char*>>{{"2,026", "2026"},
                                                                        {"1899", "2030"},
                                                                        {"26", "2030"},
                                                                        {"2076", "2030"},
                                                                        {"99999999999999999999", "2030"}})
            row("year", "en_US", typed, left);
    }
    void rules()
    {
        QFETCH(QString, rule);
        QFETCH(QString, locale);
        QFETCH(QString, typed);
        QFETCH(QString, left);
        QLocale::setDefault(QLocale(locale));
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
            QCOMPARE(field->Text(), left);
        }
    }

    // Entries Cash 10, Check 20, Visa -5, Cash 10; a search that finds nothing clears the choice
    // but keeps what the user typed.
    void selectEntry_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("data");
        QTest::addColumn<int>("selected");
        QTest::newRow("text, exact") << -1 << "Check" << 0 << 1;
        QTest::newRow("text, first of two equal") << -1 << "Cash" << 0 << 0;
        QTest::newRow("text, case counts") << 2 << "check" << 0 << -1;
        QTest::newRow("text, trailing blank counts") << -1 << "Visa " << 0 << -1;
        QTest::newRow("text, empty") << -1 << "" << 0 << -1;
        QTest::newRow("data, found") << -1 << "" << 20 << 1;
        QTest::newRow("data, first of two equal") << -1 << "" << 10 << 0;
        QTest::newRow("data, negative") << -1 << "" << -5 << 2;
        QTest::newRow("data, not there") << 1 << "" << 99 << -1;
    }
    void selectEntry()
    {
        QFETCH(int, before);
        QFETCH(QString, text);
        QFETCH(int, data);
        QFETCH(int, selected);
        ComboBox combo;
        const auto tools = helperFactory().CreateInputTools();
        tools->SelectEntryByText(u"x"_s, combo); // an empty list: nothing to choose
        QCOMPARE(combo.ListIndex(), -1);
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
