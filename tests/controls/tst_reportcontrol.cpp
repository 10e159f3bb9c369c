// The report grid driven like a user drives it: clicks on cells and headers, the keyboard, the
// header's context menu and in-place editing, offscreen.

#include "support/Shorthand.h"
#include "support/TestMain.h"

#include "platform/controls/ReportControl.h"
#include "values/Regional.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

using namespace tesr;
using tesrtest::at;
using tesrtest::cur;
using namespace Qt::StringLiterals;

namespace {

// Tag, Number, Sidemark (group caption, priority), Balance, Due. Columns: 0 Number, 1 Sidemark,
// 2 Balance, 3 To Allocate (editable money), 4 Due, 5 a hidden key.
struct Order {
    const char *id, *number, *sidemark, *group;
    int priority;
    const char* balance;
    OleDate due;
};
const Order kOrders[] = {
    {"11", "A10", "kitchen", "Later", 2, "250.00", at(2023, 3, 1)},
    {"12", "A9", "Bath", "First", 1, "1234.56", at(2021, 7, 9)},
    {"13", "a2", "porch", "Later", 2, "5.00", at(2024, 1, 15)},
    {"14", "B1", "deck", "First", 1, "99.99", at(2022, 12, 31)},
    {"15", "A100", "Attic", "Middle", 1, "0.10", at(2020, 2, 29)},
};

} // namespace

class TestReportControl : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_window;
    ReportControl* m_grid = nullptr;
    QLineEdit* m_other = nullptr;

    void fill()
    {
        m_grid->Records().RemoveAll();
        for (const Order& o : kOrders) {
            ReportRecord* r = m_grid->Records().Add();
            r->SetTag(QString::fromLatin1(o.id));
            r->AddItem(QString::fromLatin1(o.number));
            ReportRecordItem* side = r->AddItem(QString::fromLatin1(o.sidemark));
            side->SetGroupCaption(QString::fromLatin1(o.group));
            side->SetGroupPriority(o.priority);
            r->AddItem(QVariant::fromValue(cur(o.balance)))->SetCaption(Regional::formatCurrency(cur(o.balance)));
            r->AddItem(QVariant::fromValue(Currency()))->SetCaption(u"$0.00"_s);
            r->AddItem(QVariant::fromValue(o.due))->SetCaption(Regional::formatShortDate(o.due));
            r->AddItem(QString::fromLatin1(o.id));
        }
        m_grid->Populate();
    }
    QStringList shownTags() const
    {
        QStringList tags;
        for (int i = 0; i < m_grid->Rows().Count(); ++i) {
            ReportRow* row = m_grid->Rows().Row(i);
            tags << (row->GroupRow() ? "[" + row->GroupCaption() + "]" : row->Record()->Tag());
        }
        return tags;
    }
    QPoint cellCenter(int row, int column) const
    {
        return m_grid->CellRect(m_grid->Rows().Row(row), m_grid->Columns().Column(column)).center();
    }
    void clickCell(int row, int column, Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, mods, cellCenter(row, column));
    }
    void clickHeader(int column)
    {
        QHeaderView* h = m_grid->header();
        const int x = h->sectionViewportPosition(column) + h->sectionSize(column) / 2;
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() / 2));
    }
    // Keys go where a user's keys go: to the widget with the focus.
    static void type(const QString& text)
    {
        for (const QChar c : text)
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    }
    QLineEdit* editor() const
    {
        for (QLineEdit* e : m_grid->findChildren<QLineEdit*>(u"reportCellEditor"_s))
            if (e->isVisible())
                return e;
        return nullptr;
    }
    void headerMenu(int column, const char* actionName)
    {
        QHeaderView* h = m_grid->header();
        const QPoint pos(h->sectionViewportPosition(column) + 5, h->height() / 2);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, h->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(h->viewport(), &event);
        QMenu* menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr);
        QAction* action = menu->findChild<QAction*>(actionName);
        QVERIFY2(action && action->isEnabled(), actionName);
        action->trigger();
        menu->close();
    }

private slots:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(640, 260);
        auto* layout = new QVBoxLayout(m_window.get());
        layout->addWidget(m_grid = new ReportControl(m_window.get()));
        layout->addWidget(m_other = new QLineEdit(m_window.get()));
        const char* captions[] = {"Number", "Sidemark", "Balance", "To Allocate", "Due", "UniqueID"};
        for (int i = 0; i < 6; ++i)
            m_grid->Columns().Add(i, QString::fromLatin1(captions[i]), 85, i < 5);
        m_grid->Columns().Column(3)->SetEditable(true);
        m_grid->Columns().Column(5)->SetVisible(false);
        m_grid->SetAllowEdit(true);
        fill();
        QVERIFY(tesrtest::showActive(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    void headerClickSorts_data()
    {
        tesrtest::rows({"number ascending|0|1|13 12 11 15 14", "number descending|0|2|14 15 11 12 13",
                        "money ascending|2|1|15 13 14 11 12", "dates, third click ascending again|4|3|15 12 14 11 13",
                        "texts ignore case|1|1|15 12 14 11 13"});
    }
    void headerClickSorts()
    {
        const QStringList f = tesrtest::fields();
        const int column = f[0].toInt();
        const int clicks = f[1].toInt();
        const QString tags = f[2];
        clickCell(1, 0); // record "12"
        QSignalSpy selection(m_grid, &ReportControl::SelectionChanged);
        for (int i = 0; i < clicks; ++i)
            clickHeader(column);
        QCOMPARE(shownTags().join(u' '), tags);
        QCOMPARE(m_grid->SortColumn(), m_grid->Columns().Column(column));
        QCOMPARE(m_grid->SortOrder(), clicks % 2 ? Qt::AscendingOrder : Qt::DescendingOrder);
        // The same record stays selected and focused: nothing to report.
        QCOMPARE(m_grid->FocusedRow()->Record()->Tag(), u"12"_s);
        QCOMPARE(m_grid->FocusedRow()->Index(), int(tags.split(u' ').indexOf("12")));
        QCOMPARE(selection.count(), 0);
    }

    void groupAndUngroup()
    {
        headerMenu(1, "actionGroupBy");
        // Priority 1 first (equal priorities by their values, "Attic" before "Bath"), then 2;
        // records keep the record order inside a group.
        QCOMPARE(shownTags().join(u' '), u"[Middle] 15 [First] 12 14 [Later] 11 13"_s);
        clickHeader(2); // sorting sorts inside the groups
        QCOMPARE(shownTags().join(u' '), u"[Middle] 15 [First] 14 12 [Later] 13 11"_s);
        headerMenu(0, "actionUngroup");
        QCOMPARE(m_grid->GroupColumn(), nullptr);
        QCOMPARE(shownTags().join(u' '), u"15 13 14 11 12"_s);
    }

    // The keyboard reaches what the headers offer: Shift+F10 opens the list's context menu, whose
    // Sort By and Group By (its last two entries) list the columns.
    void sortAndGroupFromTheKeyboard()
    {
        clickCell(1, 0);
        const auto inMenus = [](std::vector<Qt::Key> keys) {
            QTimer::singleShot(0, [keys] {
                for (Qt::Key k : keys)
                    QTest::keyClick(QApplication::activePopupWidget(), k);
            });
            // Whatever happens, no menu stays open.
            QTimer::singleShot(3000, [] {
                while (QWidget* popup = QApplication::activePopupWidget())
                    popup->close();
            });
        };
        inMenus({Qt::Key_Up, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return});
        QTest::keyClick(m_grid, Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(m_grid->SortColumn() ? m_grid->SortColumn()->Caption() : QString(), u"Balance"_s);
        inMenus({Qt::Key_Up, Qt::Key_Right, Qt::Key_Down, Qt::Key_Return});
        QTest::keyClick(m_grid, Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(m_grid->GroupColumn() ? m_grid->GroupColumn()->Caption() : QString(), u"Sidemark"_s);
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
    }

    // An edit commits once however the cell is left, and never on Escape or when unchanged.
    void editCommits_data()
    {
        tesrtest::rows({"enter|enter|1", "tab|tab|1", "click|click|1", "focus|focus|1", "escape|escape|0",
                        "F2 and Enter, unchanged|unchanged|0"});
    }
    void editCommits()
    {
        const QStringList f = tesrtest::fields();
        QString leaveBy = f[0];
        const int commits = f[1].toInt();
        QStringList order;
        connect(m_grid, &ReportControl::ValueChanging, this, [&](ReportValueChange& c) {
            order << "changing:" + c.NewValue.toString() + ":" + c.Row->Record()->Tag() + ":" + c.Column->Caption();
        });
        connect(m_grid, &ReportControl::ValueChanged, this, [&](ReportRow* row, ReportColumn*, ReportRecordItem* item) {
            order << "changed:" + item->Value().toString() + ":" + row->Record()->Tag();
        });
        clickCell(1, 3);
        QVERIFY(!editor());
        if (leaveBy == "unchanged") {
            QTest::keyClick(m_grid, Qt::Key_F2);
            QCOMPARE(editor()->text(), u"$0.00"_s); // starts from the caption
            leaveBy = "enter";
        } else {
            type(u"150"_s); // typing opens the editor with the first key
            QCOMPARE(editor()->text(), u"150"_s);
        }
        if (leaveBy == "enter" || leaveBy == "tab" || leaveBy == "escape")
            QTest::keyClick(editor(), leaveBy == "enter" ? Qt::Key_Return
                                      : leaveBy == "tab" ? Qt::Key_Tab
                                                         : Qt::Key_Escape);
        else if (leaveBy == "click")
            clickCell(3, 0);
        else
            m_other->setFocus(Qt::TabFocusReason);
        QTest::qWait(30); // nothing may arrive late or twice
        QCOMPARE(order.join(u' '), commits ? u"changing:150:12:To Allocate changed:150:12"_s : QString());
        ReportRecordItem* item = m_grid->Records().Record(1)->Item(3);
        QCOMPARE(item->Caption(), commits ? u"150"_s : u"$0.00"_s);
        if (!commits)
            QCOMPARE(item->Value().value<Currency>(), Currency());
    }

    void onlyEditableCellsEdit_data()
    {
        tesrtest::rows({"grid without edits|grid", "column without edits|column", "item without edits|item"});
    }
    void onlyEditableCellsEdit()
    {
        const QString setup = tesrtest::fields()[0];
        if (setup == "grid")
            m_grid->SetAllowEdit(false);
        else if (setup == "column")
            m_grid->Columns().Column(3)->SetEditable(false);
        else if (setup == "item")
            m_grid->Records().Record(0)->Item(3)->SetEditable(false);
        int changing = 0; // (QSignalSpy cannot copy its reference argument)
        connect(m_grid, &ReportControl::ValueChanging, this, [&](ReportValueChange&) { ++changing; });
        clickCell(0, 3);
        type(u"7"_s);
        QVERIFY(!editor());
        QTest::keyClick(m_grid, Qt::Key_F2);
        QTest::mouseDClick(m_grid->viewport(), Qt::LeftButton, {}, cellCenter(0, 3));
        QVERIFY(!editor());
        QCOMPARE(changing, 0);
    }

    // A screen keeps figures worked out from the values while the serial stays: every way a
    // value changes moves it; a caption or a new layout does not.
    void valuesSerialFollowsValues_data()
    {
        tesrtest::rows({"value set|value|1", "money set|money|1", "date set|date|1", "record added|add|1",
                        "record removed|remove|1", "all removed|clear|1", "edited|edit|1", "caption set|caption|0",
                        "laid out again|populate|0"});
    }
    void valuesSerialFollowsValues()
    {
        const QStringList f = tesrtest::fields();
        const QString how = f[0];
        const std::uint64_t before = m_grid->ValuesSerial();
        ReportRecordItem* item = m_grid->Records().Record(1)->Item(3);
        if (how == "value")
            item->SetValue(QVariant::fromValue(cur("1")));
        else if (how == "money")
            item->SetMoney(cur("2"));
        else if (how == "date")
            m_grid->Records().Record(1)->Item(4)->SetShortDate(at(2024, 2, 2));
        else if (how == "add")
            m_grid->Records().Add();
        else if (how == "remove")
            m_grid->RemoveRecord(m_grid->Records().Record(1));
        else if (how == "clear")
            m_grid->Records().RemoveAll();
        else if (how == "edit") {
            clickCell(1, 3);
            type(u"150"_s);
            QTest::keyClick(editor(), Qt::Key_Return);
            QTRY_COMPARE(item->Value().toString(), u"150"_s);
        } else if (how == "caption")
            item->SetCaption(u"$9.99"_s);
        else
            m_grid->Populate();
        QCOMPARE(m_grid->ValuesSerial() != before, f[1] == "1");
    }

    // A list that outgrows the shown grid has its scroll bar as soon as it is laid out, so that
    // the rows are drawn once at their final width, not first without it and then narrower.
    void scrollBarSettledByTheLayout()
    {
        QVERIFY(!m_grid->verticalScrollBar()->isVisible());
        for (int i = 0; i < 40; ++i)
            m_grid->Records().Add()->AddItem(QString::number(i));
        m_grid->Populate();
        QVERIFY(m_grid->verticalScrollBar()->isVisible());
        m_grid->Records().RemoveAll();
        m_grid->Populate();
        QVERIFY(!m_grid->verticalScrollBar()->isVisible());
    }

    void removingRecordsKeepsRowsAndRecordsInStep_data()
    {
        tesrtest::rows({"plain, first||0|12 13 14 15", "plain, last||4|11 12 13 14",
                        "grouped, one of two|grouped|1|[Middle] 15 [First] 14 [Later] 11 13",
                        "grouped, the only one|grouped|4|[First] 12 14 [Later] 11 13"});
    }
    void removingRecordsKeepsRowsAndRecordsInStep()
    {
        const QStringList f = tesrtest::fields();
        const bool grouped = !f[0].isEmpty();
        const int record = f[1].toInt();
        const QString tags = f[2];
        if (grouped)
            m_grid->GroupBy(m_grid->Columns().Column(1));
        clickCell(m_grid->Rows().Count() - 1, 0);
        ReportRecord* kept = m_grid->FocusedRow()->Record();
        const bool keptIsRemoved = kept == m_grid->Records().Record(record);
        m_grid->RemoveRecord(m_grid->Records().Record(record));
        QCOMPARE(shownTags().join(u' '), tags);
        for (int i = 0; i < m_grid->Records().Count(); ++i)
            QCOMPARE(m_grid->Records().Record(i)->Index(), i);
        for (int i = 0; i < m_grid->Rows().Count(); ++i) {
            QCOMPARE(m_grid->Rows().Row(i)->Index(), i);
            if (!m_grid->Rows().Row(i)->GroupRow())
                QCOMPARE(m_grid->Rows().Row(i)->Record()->Row(), m_grid->Rows().Row(i));
        }
        if (!keptIsRemoved)
            QCOMPARE(m_grid->SelectedRows().Row(0)->Record(), kept);
        m_grid->Populate(); // still usable: a full layout gives the same rows
        QCOMPARE(shownTags().join(u' '), tags);
        m_grid->Records().RemoveAll();
        QCOMPARE(m_grid->Rows().Count(), 0);
        QCOMPARE(m_grid->FocusedRow(), nullptr);
    }
};

TESR_TEST_MAIN(TestReportControl)
#include "tst_reportcontrol.moc"
