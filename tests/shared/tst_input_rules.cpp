// The field input rules on real edit and combo boxes.

#include "support/TestMain.h"

#include "platform/HelperTools.h"
#include "platform/InputTools.h"

#include <QComboBox>
#include <QDate>
#include <QLineEdit>
#include <QtTest>

#include <cmath>

using namespace tesr;

namespace {

// The screens hand the rules their own controls; these adapters give a plain edit box and a
// combo box the same face.
class EditField final : public TextField {
public:
    explicit EditField(QLineEdit& edit) : m_edit(edit) {}
    QString Text() const override { return m_edit.text(); }
    void SetText(const QString& text) override { m_edit.setText(text); }

private:
    QLineEdit& m_edit;
};

class ComboField final : public TextField, public ComboList {
public:
    explicit ComboField(QComboBox& combo) : m_combo(combo) {}
    QString Text() const override { return m_combo.currentText(); }
    void SetText(const QString& text) override { m_combo.setEditText(text); }
    void Clear() override { m_combo.clear(); }
    void AddItem(const QString& text) override { m_combo.addItem(text); }
    int NewIndex() const override { return m_combo.count() - 1; }
    int ListCount() const override { return m_combo.count(); }
    QString List(int index) const override { return m_combo.itemText(index); }
    int ItemData(int index) const override { return m_combo.itemData(index).toInt(); }
    void SetItemData(int index, int value) override { m_combo.setItemData(index, value); }
    int ListIndex() const override { return m_combo.currentIndex(); }
    void SetListIndex(int index) override { m_combo.setCurrentIndex(index); }

private:
    QComboBox& m_combo;
};

struct LocaleScope {
    explicit LocaleScope(const QString& name) { QLocale::setDefault(QLocale(name)); }
    ~LocaleScope() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};

std::unique_ptr<InputTools> tools()
{
    return helperFactory().CreateInputTools();
}

} // namespace

class InputRulesTest : public QObject {
    Q_OBJECT

private slots:
    void dateText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("left");
        QTest::newRow("two-digit year widened") << "en_US"
                                                << "3/5/26"
                                                << "3/5/2026";
        QTest::newRow("already short date") << "en_US"
                                            << "3/5/2026"
                                            << "3/5/2026";
        QTest::newRow("padded") << "en_US"
                                << "03/05/2026"
                                << "3/5/2026";
        QTest::newRow("iso") << "en_US"
                             << "2026-03-05"
                             << "3/5/2026";
        QTest::newRow("time of day dropped") << "en_US"
                                             << "3/5/2026 4:07 PM"
                                             << "3/5/2026";
        QTest::newRow("before 1900") << "en_US"
                                     << "12/31/1899"
                                     << "12/31/1899";
        QTest::newRow("no 2/30: cleared") << "en_US"
                                          << "2/30/2026"
                                          << "";
        QTest::newRow("letters: cleared") << "en_US"
                                          << "soon"
                                          << "";
        QTest::newRow("empty stays empty") << "en_US"
                                           << ""
                                           << "";
        QTest::newRow("blanks: cleared") << "en_US"
                                         << "   "
                                         << "";
        QTest::newRow("de") << "de_DE"
                            << "5.3.26"
                            << "05.03.2026";
        QTest::newRow("de refuses us order") << "de_DE"
                                             << "3/25/2026"
                                             << "";
    }
    void dateText()
    {
        QFETCH(QString, locale);
        QFETCH(QString, typed);
        QFETCH(QString, left);
        LocaleScope scope(locale);
        QLineEdit edit;
        edit.setText(typed);
        EditField field(edit);
        tools()->DateTextRule(field);
        QCOMPARE(edit.text(), left);
    }

    void numberRange_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<double>("fallback");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("left");
        // The amount box: -100,000,000 .. 100,000,000, fallback 0.
        const double lo = -1e8;
        const double hi = 1e8;
        QTest::newRow("grouping removed") << "en_US" << lo << hi << 0.0 << "1,234.50"
                                          << "1234.5";
        QTest::newRow("plain stays") << "en_US" << lo << hi << 0.0 << "1234.5"
                                     << "1234.5";
        QTest::newRow("blanks trimmed") << "en_US" << lo << hi << 0.0 << " 7 "
                                        << "7";
        QTest::newRow("negative") << "en_US" << lo << hi << 0.0 << "-12.25"
                                  << "-12.25";
        QTest::newRow("trailing minus") << "en_US" << lo << hi << 0.0 << "12-"
                                        << "-12";
        QTest::newRow("exponent written out") << "en_US" << lo << hi << 0.0 << "1e3"
                                              << "1000";
        QTest::newRow("tenth") << "en_US" << lo << hi << 0.0 << "0.1"
                               << "0.1";
        QTest::newRow("negative zero") << "en_US" << lo << hi << 0.0 << "-0"
                                       << "0";
        QTest::newRow("upper bound kept") << "en_US" << lo << hi << 0.0 << "100,000,000"
                                          << "100000000";
        QTest::newRow("lower bound kept") << "en_US" << lo << hi << 0.0 << "-100000000"
                                          << "-100000000";
        QTest::newRow("just above") << "en_US" << lo << hi << 0.0 << "100000000.01"
                                    << "0";
        QTest::newRow("far above") << "en_US" << lo << hi << 0.0 << "1e9"
                                   << "0";
        QTest::newRow("dollar sign") << "en_US" << lo << hi << 0.0 << "$5"
                                     << "0";
        QTest::newRow("empty") << "en_US" << lo << hi << 0.0 << ""
                               << "0";
        QTest::newRow("letters") << "en_US" << lo << hi << 0.0 << "abc"
                                 << "0";
        QTest::newRow("bad grouping") << "en_US" << lo << hi << 0.0 << "1,2,3."
                                      << "0";
        QTest::newRow("fraction fallback") << "en_US" << 0.0 << 10.0 << 2.5 << "999"
                                           << "2.5";
        QTest::newRow("de typed, plain left") << "de_DE" << lo << hi << 0.0 << "1.234,5"
                                              << "1234.5";
        QTest::newRow("de point refused") << "de_DE" << lo << hi << 0.0 << "1.5"
                                          << "0";
    }
    void numberRange()
    {
        QFETCH(QString, locale);
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(double, fallback);
        QFETCH(QString, typed);
        QFETCH(QString, left);
        LocaleScope scope(locale);
        QLineEdit edit;
        edit.setText(typed);
        EditField field(edit);
        tools()->NumberRangeRule(low, high, fallback, field);
        QCOMPARE(edit.text(), left);

        // The amount is a combo box with an edit field: same rule, same text.
        QComboBox combo;
        combo.setEditable(true);
        combo.addItems({QStringLiteral("$123.00 (10%)"), QStringLiteral("$185.00 (15%)")});
        combo.setCurrentIndex(-1);
        combo.setEditText(typed);
        ComboField comboField(combo);
        tools()->NumberRangeRule(low, high, fallback, comboField);
        QCOMPARE(combo.currentText(), left);
    }

    void wholeNumberRange_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<double>("fallback");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("left");
        const double thisYear = QDate::currentDate().year();
        const QString year = QString::number(QDate::currentDate().year());
        QTest::newRow("month") << 1.0 << 12.0 << 1.0 << "12"
                               << "12";
        QTest::newRow("month too high") << 1.0 << 12.0 << 1.0 << "13"
                                        << "1";
        QTest::newRow("month zero") << 1.0 << 12.0 << 1.0 << "0"
                                    << "1";
        QTest::newRow("month negative") << 1.0 << 12.0 << 1.0 << "-3"
                                        << "1";
        QTest::newRow("month letters") << 1.0 << 12.0 << 1.0 << "May"
                                       << "1";
        QTest::newRow("month empty") << 1.0 << 12.0 << 1.0 << ""
                                     << "1";
        QTest::newRow("month padded") << 1.0 << 12.0 << 1.0 << "07"
                                      << "7";
        QTest::newRow("2.5 to even") << 1.0 << 12.0 << 1.0 << "2.5"
                                     << "2";
        QTest::newRow("3.5 to even") << 1.0 << 12.0 << 1.0 << "3.5"
                                     << "4";
        QTest::newRow("12.4 rounds in range") << 1.0 << 12.0 << 1.0 << "12.4"
                                              << "12";
        QTest::newRow("12.5 to even stays in") << 1.0 << 12.0 << 1.0 << "12.5"
                                               << "12";
        QTest::newRow("12.6 rounds out of range") << 1.0 << 12.0 << 1.0 << "12.6"
                                                  << "1";
        QTest::newRow("0.6 rounds into range") << 1.0 << 12.0 << 1.0 << "0.6"
                                               << "1";
        QTest::newRow("year") << 1900.0 << 2075.0 << thisYear << "2026"
                              << "2026";
        QTest::newRow("year grouped") << 1900.0 << 2075.0 << thisYear << "2,026"
                                      << "2026";
        QTest::newRow("year too early") << 1900.0 << 2075.0 << thisYear << "1899" << year;
        QTest::newRow("two-digit year") << 1900.0 << 2075.0 << thisYear << "26" << year;
        QTest::newRow("year too late") << 1900.0 << 2075.0 << thisYear << "2076" << year;
        QTest::newRow("year huge") << 1900.0 << 2075.0 << thisYear << "99999999999999999999" << year;
        QTest::newRow("fractional fallback to even") << 1.0 << 12.0 << 2.5 << "x"
                                                     << "2";
    }
    void wholeNumberRange()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(double, fallback);
        QFETCH(QString, typed);
        QFETCH(QString, left);
        QLineEdit edit;
        edit.setText(typed);
        EditField field(edit);
        tools()->WholeNumberRangeRule(low, high, fallback, field);
        QCOMPARE(edit.text(), left);
    }

    void selectByText_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("selected");
        QTest::newRow("exact") << -1 << "Check" << 1;
        QTest::newRow("first of two equal") << -1 << "Cash" << 0;
        QTest::newRow("case counts") << -1 << "check" << -1;
        QTest::newRow("trailing blank counts") << -1 << "Visa " << -1;
        QTest::newRow("empty text") << -1 << "" << -1;
        QTest::newRow("no match clears a selection") << 2 << "Amex" << -1;
        QTest::newRow("match replaces a selection") << 2 << "Check" << 1;
    }
    void selectByText()
    {
        QFETCH(int, before);
        QFETCH(QString, text);
        QFETCH(int, selected);
        QComboBox combo;
        combo.setEditable(true);
        ComboField list(combo);
        for (const char* entry : {"Cash", "Check", "Visa", "Cash"})
            list.AddItem(QString::fromLatin1(entry));
        list.SetListIndex(before);
        tools()->SelectEntryByText(text, list);
        QCOMPARE(list.ListIndex(), selected);
        if (selected >= 0)
            QCOMPARE(combo.currentText(), text);
    }

    void noMatchKeepsTypedText()
    {
        // A customer name being typed is not wiped because it matches no entry (yet).
        QComboBox combo;
        combo.setEditable(true);
        ComboField list(combo);
        list.AddItem(QStringLiteral("Acme"));
        list.SetListIndex(-1);
        combo.setEditText(QStringLiteral("Acm"));
        tools()->SelectEntryByText(QStringLiteral("Acm"), list);
        QCOMPARE(list.ListIndex(), -1);
        QCOMPARE(combo.currentText(), QStringLiteral("Acm"));
    }

    void selectByItemData_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("selected");
        QTest::newRow("found") << -1 << 20 << 1;
        QTest::newRow("first of two equal") << -1 << 10 << 0;
        QTest::newRow("negative value") << -1 << -5 << 2;
        QTest::newRow("not there") << -1 << 99 << -1;
        QTest::newRow("zero not there") << 1 << 0 << -1;
    }
    void selectByItemData()
    {
        QFETCH(int, before);
        QFETCH(int, value);
        QFETCH(int, selected);
        QComboBox combo;
        ComboField list(combo);
        const int data[] = {10, 20, -5, 10};
        for (int d : data) {
            list.AddItem(QStringLiteral("Method %1").arg(d));
            list.SetItemData(list.NewIndex(), d);
        }
        list.SetListIndex(before);
        tools()->SelectEntryByItemData(value, list);
        QCOMPARE(list.ListIndex(), selected);
    }

    void emptyList()
    {
        QComboBox combo;
        ComboField list(combo);
        tools()->SelectEntryByText(QStringLiteral("x"), list);
        tools()->SelectEntryByItemData(1, list);
        QCOMPARE(list.ListIndex(), -1);
    }
};

TESR_TEST_MAIN(InputRulesTest)
#include "tst_input_rules.moc"
