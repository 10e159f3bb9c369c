// The report grid driven like a user drives it: clicks on cells and headers, the keyboard, the
// header's context menu and in-place editing, offscreen.

#include "support/ModalDriver.h"
#include "support/TestMain.h"

#include "platform/controls/ReportControl.h"
#include "values/Currency.h"
#include "values/OleDate.h"
#include "values/Regional.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <memory>

using namespace tesr;

namespace {

Currency money(const char* text)
{
    return *Currency::parsePlain(QString::fromLatin1(text));
}

OleDate day(int y, int m, int d)
{
    return *OleDate::fromYmdHms(y, m, d);
}

struct Order {
    const char* id;
    const char* number;
    const char* sidemark;
    const char* balance;
    OleDate due;
    const char* group;
    int priority;
};

// Columns 0 Number, 1 Sidemark, 2 Balance (money), 3 To Allocate (money, editable), 4 Due
// (date), 5 a hidden key. Items carry group captions in the Sidemark column.
const Order kOrders[] = {
    {"11", "A10", "kitchen", "250.00", day(2023, 3, 1), "Later", 2},
    {"12", "A9", "Bath", "1234.56", day(2021, 7, 9), "First", 1},
    {"13", "a2", "porch", "5.00", day(2024, 1, 15), "Later", 2},
    {"14", "B1", "deck", "99.99", day(2022, 12, 31), "First", 1},
    {"15", "A100", "Attic", "0.10", day(2020, 2, 29), "Middle", 1},
};

// Counts a notification whose arguments are references (which QSignalSpy cannot copy).
class Counter {
public:
    template <class Signal> Counter(ReportControl* grid, Signal signal)
    {
        QObject::connect(grid, signal, grid, [this](auto&&...) { ++m_count; });
    }
    int count() const { return m_count; }

private:
    int m_count = 0;
};

} // namespace

class TestReportControl : public QObject {
    Q_OBJECT

private:
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
            const Currency balance = money(o.balance);
            r->AddItem(QVariant::fromValue(balance))->SetCaption(Regional::formatCurrency(balance));
            r->AddItem(QVariant::fromValue(Currency()))->SetCaption(Regional::formatCurrency(Currency()));
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
            tags << (row->GroupRow() ? QStringLiteral("[%1]").arg(row->GroupCaption()) : row->Record()->Tag());
        }
        return tags;
    }

    QPoint cellCenter(int row, int column) const
    {
        return m_grid->CellRect(m_grid->Rows().Row(row), m_grid->Columns().Column(column)).center();
    }

    void clickCell(int row, int column)
    {
        QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, Qt::NoModifier, cellCenter(row, column));
    }

    void clickHeader(int column)
    {
        QHeaderView* h = m_grid->header();
        const int x = h->sectionViewportPosition(column) + h->sectionSize(column) / 2;
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, h->height() / 2));
    }

    // Keys go where a user's keys go: to the widget with the focus.
    static void type(const QString& text)
    {
        for (const QChar c : text)
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    }

    QLineEdit* editor() const
    {
        for (QLineEdit* e : m_grid->findChildren<QLineEdit*>(QStringLiteral("reportCellEditor")))
            if (e->isVisible())
                return e;
        return nullptr;
    }

    void triggerHeaderMenu(int column, const QString& actionName)
    {
        QHeaderView* h = m_grid->header();
        const QPoint pos(h->sectionViewportPosition(column) + 5, h->height() / 2);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, h->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(h->viewport(), &event);
        QMenu* menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr);
        QAction* action = menu->findChild<QAction*>(actionName);
        QVERIFY2(action, qPrintable(actionName));
        QVERIFY(action->isEnabled());
        action->trigger();
        menu->close();
    }

private slots:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(640, 260);
        auto* layout = new QVBoxLayout(m_window.get());
        m_grid = new ReportControl(m_window.get());
        m_grid->setObjectName(QStringLiteral("rptOrders"));
        m_other = new QLineEdit(m_window.get());
        layout->addWidget(m_grid);
        layout->addWidget(m_other);
        m_grid->SetCustomDraw(4);
        m_grid->Columns().Add(0, QStringLiteral("Number"), 65, true);
        m_grid->Columns().Add(1, QStringLiteral("Sidemark"), 100, true);
        ReportColumn* balance = m_grid->Columns().Add(2, QStringLiteral("Balance"), 85, true);
        balance->SetAlignment(Qt::AlignRight);
        balance->SetHeaderAlignment(Qt::AlignRight);
        ReportColumn* allocate = m_grid->Columns().Add(3, QStringLiteral("To Allocate"), 85, true);
        allocate->SetEditable(true);
        allocate->SetAlignment(Qt::AlignRight);
        allocate->SetHeaderAlignment(Qt::AlignRight);
        m_grid->Columns().Add(4, QStringLiteral("Due"), 90, true);
        ReportColumn* key = m_grid->Columns().Add(5, QStringLiteral("UniqueID"), 16, false);
        key->SetVisible(false);
        m_grid->SetAllowEdit(true);
        fill();
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        m_grid = nullptr;
        m_other = nullptr;
    }

    void columnsShowTheirSettings()
    {
        QHeaderView* h = m_grid->header();
        QCOMPARE(m_grid->Columns().Count(), 6);
        QCOMPARE(h->sectionSize(0), 65);
        QCOMPARE(m_grid->Columns().Column(1)->Width(), 100);
        QVERIFY(m_grid->isColumnHidden(5));
        QVERIFY(!m_grid->isColumnHidden(4));
        QCOMPARE(h->sectionResizeMode(5), QHeaderView::Fixed);
        QCOMPARE(h->sectionResizeMode(0), QHeaderView::Interactive);
        QAbstractItemModel* model = m_grid->model();
        QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Balance"));
        QVERIFY(model->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
        QVERIFY(model->index(0, 2).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
        QVERIFY(model->index(0, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignLeft);
        // Cells show captions; the values stay what the screen stored.
        QCOMPARE(model->index(1, 2).data().toString(), QStringLiteral("$1,234.56"));
        QCOMPARE(m_grid->Records().Record(1)->Item(2)->Value().value<Currency>(), money("1234.56"));
        QVERIFY(m_grid->alternatingRowColors());
        QCOMPARE(m_grid->Columns().Find(3), m_grid->Columns().Column(3));
        // A width the user chose survives other column changes and hiding.
        h->resizeSection(1, 140);
        ReportColumn* side = m_grid->Columns().Column(1);
        side->SetCaption(QStringLiteral("Side"));
        side->SetAlignment(Qt::AlignCenter);
        QCOMPARE(side->Width(), 140);
        side->SetVisible(false);
        QVERIFY(m_grid->isColumnHidden(1));
        side->SetVisible(true);
        QCOMPARE(h->sectionSize(1), 140);
        side->SetWidth(70);
        QCOMPARE(h->sectionSize(1), 70);
    }

    void captionDefaultsToTheValueText_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("text") << QVariant(QStringLiteral("abc")) << QStringLiteral("abc");
        QTest::newRow("whole number") << QVariant(42) << QStringLiteral("42");
        QTest::newRow("money") << QVariant::fromValue(money("12.5")) << QStringLiteral("12.5");
        QTest::newRow("date") << QVariant::fromValue(day(2024, 2, 29)) << QStringLiteral("2/29/2024");
        QTest::newRow("nothing") << QVariant() << QString();
    }
    void captionDefaultsToTheValueText()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, shown);
        ReportRecord* r = m_grid->Records().Add();
        ReportRecordItem* item = r->AddItem(value);
        QCOMPARE(item->Caption(), shown);
        QVERIFY(!item->HasCaption());
        item->SetCaption(QString()); // an explicit empty caption wins over the value
        QCOMPARE(item->Caption(), QString());
        item->ResetCaption();
        QCOMPARE(item->Caption(), shown);
    }

    void itemsKeepTheirAddressesAsMoreAreAdded()
    {
        ReportRecord* r = m_grid->Records().Add();
        std::vector<ReportRecordItem*> items;
        for (int i = 0; i < 20; ++i) // more than one block of the six columns
            items.push_back(r->AddItem(i));
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(r->Item(i), items[std::size_t(i)]);
            QCOMPARE(items[std::size_t(i)]->Value().toInt(), i);
            QCOMPARE(items[std::size_t(i)]->Index(), i);
            QCOMPARE(items[std::size_t(i)]->Record(), r);
        }
        QCOMPARE(r->Item(20), nullptr);
    }

    void valueOrder_data()
    {
        QTest::addColumn<QVariant>("a");
        QTest::addColumn<QVariant>("b");
        QTest::addColumn<int>("sign");
        QTest::newRow("money by amount") << QVariant::fromValue(money("9.99")) << QVariant::fromValue(money("10"))
                                         << -1;
        QTest::newRow("negative money") << QVariant::fromValue(money("-5")) << QVariant::fromValue(money("0.0001"))
                                        << -1;
        QTest::newRow("money and whole number") << QVariant::fromValue(money("3.5")) << QVariant(3) << 1;
        QTest::newRow("equal money and double") << QVariant::fromValue(money("0.25")) << QVariant(0.25) << 0;
        QTest::newRow("dates in time") << QVariant::fromValue(day(1999, 12, 31)) << QVariant::fromValue(day(2000, 1, 1))
                                       << -1;
        QTest::newRow("date and time of day")
            << QVariant::fromValue(day(2000, 1, 1).addSeconds(1)) << QVariant::fromValue(day(2000, 1, 1)) << 1;
        QTest::newRow("empty before a date") << QVariant(QString()) << QVariant::fromValue(day(1900, 1, 5)) << -1;
        QTest::newRow("empty before a number") << QVariant() << QVariant(-1000) << -1;
        QTest::newRow("numbers before texts") << QVariant(5) << QVariant(QStringLiteral("1")) << -1;
        QTest::newRow("digits by number") << QVariant(QStringLiteral("A9")) << QVariant(QStringLiteral("A10")) << -1;
        QTest::newRow("leading zeros") << QVariant(QStringLiteral("007")) << QVariant(QStringLiteral("10")) << -1;
        QTest::newRow("case ignored") << QVariant(QStringLiteral("apple")) << QVariant(QStringLiteral("Banana")) << -1;
        QTest::newRow("case breaks a tie") << QVariant(QStringLiteral("a")) << QVariant(QStringLiteral("A")) << 1;
        QTest::newRow("prefix first") << QVariant(QStringLiteral("Ab")) << QVariant(QStringLiteral("Abc")) << -1;
        QTest::newRow("same text") << QVariant(QStringLiteral("x1")) << QVariant(QStringLiteral("x1")) << 0;
    }
    void valueOrder()
    {
        QFETCH(QVariant, a);
        QFETCH(QVariant, b);
        QFETCH(int, sign);
        auto sgn = [](int v) { return (v > 0) - (v < 0); };
        QCOMPARE(sgn(compareReportValues(a, b)), sign);
        QCOMPARE(sgn(compareReportValues(b, a)), -sign);
    }

    void headerClickSorts_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QStringList>("tags");
        QTest::newRow("number ascending") << 0 << 1 << QStringList{"13", "12", "11", "15", "14"};
        QTest::newRow("number descending") << 0 << 2 << QStringList{"14", "15", "11", "12", "13"};
        QTest::newRow("money ascending") << 2 << 1 << QStringList{"15", "13", "14", "11", "12"};
        QTest::newRow("money descending") << 2 << 2 << QStringList{"12", "11", "14", "13", "15"};
        QTest::newRow("dates ascending") << 4 << 1 << QStringList{"15", "12", "14", "11", "13"};
        QTest::newRow("third click ascending again") << 4 << 3 << QStringList{"15", "12", "14", "11", "13"};
        QTest::newRow("texts ignore case") << 1 << 1 << QStringList{"15", "12", "14", "11", "13"};
    }
    void headerClickSorts()
    {
        QFETCH(int, column);
        QFETCH(int, clicks);
        QFETCH(QStringList, tags);
        for (int i = 0; i < clicks; ++i)
            clickHeader(column);
        QCOMPARE(shownTags(), tags);
        QCOMPARE(m_grid->SortColumn(), m_grid->Columns().Column(column));
        QCOMPARE(m_grid->header()->sortIndicatorSection(), column);
        QCOMPARE(m_grid->SortOrder(), clicks % 2 ? Qt::AscendingOrder : Qt::DescendingOrder);
        // The record list keeps the order the screen added the records in.
        for (int i = 0; i < m_grid->Records().Count(); ++i) {
            QCOMPARE(m_grid->Records().Record(i)->Tag(), QString::fromLatin1(kOrders[i].id));
            QCOMPARE(m_grid->Records().Record(i)->Index(), i);
        }
        // Rows know their records and their positions.
        for (int i = 0; i < m_grid->Rows().Count(); ++i) {
            ReportRow* row = m_grid->Rows().Row(i);
            QCOMPARE(row->Index(), i);
            QCOMPARE(row->Record()->Row(), row);
            QCOMPARE(m_grid->Rows().FindRow(row->Record()), row);
        }
    }

    void sortingKeepsTheSelectedRecord()
    {
        clickCell(1, 0); // record "12"
        QSignalSpy selection(m_grid, &ReportControl::SelectionChanged);
        clickHeader(2);
        QCOMPARE(m_grid->SelectedRows().Count(), 1);
        QCOMPARE(m_grid->SelectedRows().Row(0)->Record()->Tag(), QStringLiteral("12"));
        QCOMPARE(m_grid->FocusedRow()->Record()->Tag(), QStringLiteral("12"));
        QCOMPARE(m_grid->FocusedRow()->Index(), 4);
        QCOMPARE(selection.count(), 0); // the same record stays selected: nothing to report
    }

    void groupAndUngroupFromTheHeaderMenu()
    {
        triggerHeaderMenu(1, QStringLiteral("actionGroupBy"));
        QCOMPARE(m_grid->GroupColumn(), m_grid->Columns().Column(1));
        // Priority 1 groups first ("First" and "Middle": equal priority, then by their values,
        // "Attic" before "Bath"), then priority 2; records keep the record order in a group.
        QCOMPARE(shownTags(), (QStringList{"[Middle]", "15", "[First]", "12", "14", "[Later]", "11", "13"}));
        ReportRow* heading = m_grid->Rows().Row(2);
        QVERIFY(heading->GroupRow());
        QCOMPARE(heading->Record(), nullptr);
        QCOMPARE(heading->ChildCount(), 2);
        QCOMPARE(m_grid->Rows().Row(3)->ParentRow(), heading);
        QCOMPARE(m_grid->model()->index(2, 0).data().toString(), QStringLiteral("First"));
        QVERIFY(m_grid->isFirstColumnSpanned(2, QModelIndex()));

        // Sorting sorts inside the groups.
        clickHeader(2);
        QCOMPARE(shownTags(), (QStringList{"[Middle]", "15", "[First]", "14", "12", "[Later]", "13", "11"}));

        triggerHeaderMenu(0, QStringLiteral("actionUngroup"));
        QCOMPARE(m_grid->GroupColumn(), nullptr);
        QCOMPARE(shownTags(), (QStringList{"15", "13", "14", "11", "12"}));
    }

    void aHeadingCanBeSelectedButIsNoRecord()
    {
        m_grid->GroupBy(m_grid->Columns().Column(1));
        QSignalSpy selection(m_grid, &ReportControl::SelectionChanged);
        clickCell(2, 1);
        QCOMPARE(selection.count(), 1);
        QCOMPARE(m_grid->SelectedRows().Count(), 1);
        QVERIFY(m_grid->SelectedRows().Row(0)->GroupRow());
        QVERIFY(m_grid->FocusedRow()->GroupRow());
    }

    void collapsingAGroupHidesItsRecords()
    {
        m_grid->GroupBy(m_grid->Columns().Column(1));
        clickCell(3, 0); // record "12" in group "First"
        // A click on the heading's arrow collapses the group; the cursor falls back to it.
        const QRect heading = m_grid->CellRect(m_grid->Rows().Row(2), m_grid->Columns().Column(0));
        QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, Qt::NoModifier, heading.topLeft() + QPoint(6, 6));
        QCOMPARE(shownTags(), (QStringList{"[Middle]", "15", "[First]", "[Later]", "11", "13"}));
        QVERIFY(!m_grid->Rows().Row(2)->Expanded());
        QCOMPARE(m_grid->Rows().Row(2)->ChildCount(), 2);
        QCOMPARE(m_grid->Records().Record(1)->Row(), nullptr);
        QCOMPARE(m_grid->FocusedRow(), m_grid->Rows().Row(2));
        // Right arrow on the heading opens it again; a new layout keeps it as the user left it.
        QTest::keyClick(m_grid, Qt::Key_Right);
        QCOMPARE(m_grid->Rows().Count(), 8);
        QTest::keyClick(m_grid, Qt::Key_Left);
        m_grid->Populate();
        QCOMPARE(m_grid->Rows().Count(), 6);
    }

    void editCommits_data()
    {
        QTest::addColumn<QString>("leaveBy");
        QTest::addColumn<int>("commits");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Enter") << QStringLiteral("enter") << 1 << QStringLiteral("150");
        QTest::newRow("Tab") << QStringLiteral("tab") << 1 << QStringLiteral("150");
        QTest::newRow("click on another row") << QStringLiteral("click") << 1 << QStringLiteral("150");
        QTest::newRow("focus to another control") << QStringLiteral("focus") << 1 << QStringLiteral("150");
        QTest::newRow("Escape") << QStringLiteral("escape") << 0 << QStringLiteral("$0.00");
    }
    void editCommits()
    {
        QFETCH(QString, leaveBy);
        QFETCH(int, commits);
        QFETCH(QString, caption);
        Counter changing(m_grid, &ReportControl::ValueChanging);
        QSignalSpy changed(m_grid, &ReportControl::ValueChanged);
        QStringList order;
        connect(m_grid, &ReportControl::ValueChanging, this, [&](ReportValueChange& c) {
            order << QStringLiteral("changing:") + c.NewValue.toString() + QLatin1Char(':') + c.Row->Record()->Tag() +
                         QLatin1Char(':') + c.Column->Caption();
        });
        connect(m_grid, &ReportControl::ValueChanged, this, [&](ReportRow* row, ReportColumn*, ReportRecordItem* item) {
            order << QStringLiteral("changed:") + item->Value().toString() + QLatin1Char(':') + row->Record()->Tag();
        });

        clickCell(1, 3);
        QVERIFY(!editor());
        type(QStringLiteral("150")); // typing opens the editor with the first key
        QVERIFY(editor());
        QCOMPARE(editor()->text(), QStringLiteral("150"));
        if (leaveBy == QLatin1String("enter"))
            QTest::keyClick(editor(), Qt::Key_Return);
        else if (leaveBy == QLatin1String("tab"))
            QTest::keyClick(editor(), Qt::Key_Tab);
        else if (leaveBy == QLatin1String("click"))
            clickCell(3, 0);
        else if (leaveBy == QLatin1String("focus"))
            m_other->setFocus(Qt::TabFocusReason);
        else
            QTest::keyClick(editor(), Qt::Key_Escape);
        QTest::qWait(30); // nothing may arrive late or twice
        QCOMPARE(changing.count(), commits);
        QCOMPARE(changed.count(), commits);
        ReportRecordItem* item = m_grid->Records().Record(1)->Item(3);
        QCOMPARE(item->Caption(), caption);
        if (commits) {
            QCOMPARE(order, (QStringList{"changing:150:12:To Allocate", "changed:150:12"}));
            QCOMPARE(item->Value().toString(), QStringLiteral("150"));
        } else {
            QCOMPARE(item->Value().value<Currency>(), Currency());
        }
        if (leaveBy == QLatin1String("tab")) {
            // Tab moves on to the next editable cell and opens it.
            QVERIFY(editor());
            QCOMPARE(m_grid->FocusedRow()->Record()->Tag(), QStringLiteral("13"));
            QCOMPARE(m_grid->FocusedColumn()->Caption(), QStringLiteral("To Allocate"));
            QTest::keyClick(editor(), Qt::Key_Escape);
            QCOMPARE(changing.count(), 1);
        }
    }

    void editorStartsFromTheCaptionAndAnUnchangedEditIsNoCommit()
    {
        Counter changing(m_grid, &ReportControl::ValueChanging);
        clickCell(0, 3);
        QTest::keyClick(m_grid, Qt::Key_F2);
        QVERIFY(editor());
        QCOMPARE(editor()->text(), QStringLiteral("$0.00"));
        QTest::keyClick(editor(), Qt::Key_Return);
        QCOMPARE(changing.count(), 0);
    }

    void handlersDecideWhatIsStored_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("stored");
        QTest::newRow("dollar sign removed") << QStringLiteral("$150") << true << QStringLiteral("150");
        QTest::newRow("grouping kept") << QStringLiteral("$1,234.5") << true << QStringLiteral("1,234.5");
        QTest::newRow("letters refused") << QStringLiteral("abc") << false << QString();
        QTest::newRow("quote refused") << QStringLiteral("1'2") << false << QString();
    }
    void handlersDecideWhatIsStored()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, stored);
        // The screens' rule: drop every "$", refuse what is not a number.
        connect(m_grid, &ReportControl::ValueChanging, this, [](ReportValueChange& c) {
            QString t = c.NewValue.toString();
            t.remove(QLatin1Char('$'));
            c.NewValue = t;
            if (!Regional::isNumeric(t))
                c.Cancel = true;
        });
        // ... and show the stored value as money afterwards, laying the grid out again.
        connect(m_grid, &ReportControl::ValueChanged, this, [this](ReportRow*, ReportColumn*, ReportRecordItem* item) {
            item->SetCaption(Regional::formatCurrency(Regional::parseCurrency(item->Value().toString()).value()));
            m_grid->Populate();
        });
        QSignalSpy changed(m_grid, &ReportControl::ValueChanged);
        clickCell(2, 3);
        type(typed);
        QTest::keyClick(editor(), Qt::Key_Tab);
        ReportRecordItem* item = m_grid->Records().Record(2)->Item(3);
        QCOMPARE(changed.count(), accepted ? 1 : 0);
        if (accepted) {
            QCOMPARE(item->Value().toString(), stored);
            QCOMPARE(item->Caption(), Regional::formatCurrency(*Regional::parseCurrency(stored)));
        } else {
            QCOMPARE(item->Value().value<Currency>(), Currency());
            QCOMPARE(item->Caption(), QStringLiteral("$0.00"));
        }
        // Re-laid out in the middle of the commit, the grid still moves on to the next cell.
        QVERIFY(editor());
        QCOMPARE(m_grid->FocusedRow()->Record()->Tag(), QStringLiteral("14"));
        QTest::keyClick(editor(), Qt::Key_Escape);
    }

    void onlyEditableCellsEdit_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::newRow("grid without edits") << QStringLiteral("grid");
        QTest::newRow("column without edits") << QStringLiteral("column");
        QTest::newRow("item without edits") << QStringLiteral("item");
    }
    void onlyEditableCellsEdit()
    {
        QFETCH(QString, setup);
        if (setup == QLatin1String("grid"))
            m_grid->SetAllowEdit(false);
        else if (setup == QLatin1String("column"))
            m_grid->Columns().Column(3)->SetEditable(false);
        else
            m_grid->Records().Record(0)->Item(3)->SetEditable(false);
        Counter changing(m_grid, &ReportControl::ValueChanging);
        clickCell(0, 3);
        QTest::keyClick(m_grid, '7');
        QVERIFY(!editor());
        QTest::keyClick(m_grid, Qt::Key_F2);
        QVERIFY(!editor());
        QTest::mouseDClick(m_grid->viewport(), Qt::LeftButton, Qt::NoModifier, cellCenter(0, 3));
        QVERIFY(!editor());
        QCOMPARE(changing.count(), 0);
        QVERIFY(!(m_grid->model()->flags(m_grid->model()->index(0, 3)) & Qt::ItemIsEditable));
    }

    void typingOnARowEditsItsEditableCell()
    {
        clickCell(4, 0); // the Number cell takes no edits
        type(QStringLiteral("9"));
        QVERIFY(editor());
        QCOMPARE(m_grid->FocusedColumn()->Caption(), QStringLiteral("To Allocate"));
        QTest::keyClick(editor(), Qt::Key_Return);
        QTRY_COMPARE(m_grid->Records().Record(4)->Item(3)->Value().toString(), QStringLiteral("9"));
    }

    void keyboardMovesTheCursor_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("row");
        QTest::newRow("down") << QList<int>{Qt::Key_Down} << 1;
        QTest::newRow("down twice") << QList<int>{Qt::Key_Down, Qt::Key_Down} << 2;
        QTest::newRow("up at the top stays") << QList<int>{Qt::Key_Up} << 0;
        QTest::newRow("end") << QList<int>{Qt::Key_End} << 4;
        QTest::newRow("end then home") << QList<int>{Qt::Key_End, Qt::Key_Home} << 0;
        QTest::newRow("down past the end stays") << QList<int>{Qt::Key_End, Qt::Key_Down} << 4;
        QTest::newRow("page down") << QList<int>{Qt::Key_PageDown} << 4;
        QTest::newRow("page down then up") << QList<int>{Qt::Key_PageDown, Qt::Key_PageUp} << 0;
    }
    void keyboardMovesTheCursor()
    {
        QFETCH(QList<int>, keys);
        QFETCH(int, row);
        clickCell(0, 0);
        QSignalSpy selection(m_grid, &ReportControl::SelectionChanged);
        Counter focusing(m_grid, &ReportControl::FocusChanging);
        int moves = 0;
        int last = 0;
        for (int key : keys) {
            QTest::keyClick(m_grid, Qt::Key(key));
            if (m_grid->FocusedRow()->Index() != last)
                ++moves;
            last = m_grid->FocusedRow()->Index();
        }
        QCOMPARE(m_grid->FocusedRow()->Index(), row);
        QCOMPARE(m_grid->SelectedRows().Count(), 1);
        QCOMPARE(m_grid->SelectedRows().Row(0), m_grid->FocusedRow());
        QCOMPARE(selection.count(), moves);
        QCOMPARE(focusing.count(), moves);
    }

    void pageDownMovesByAPage()
    {
        for (int i = 0; i < 60; ++i)
            m_grid->Records().Add()->AddItem(QStringLiteral("R%1").arg(i));
        m_grid->Populate();
        clickCell(0, 0);
        QTest::keyClick(m_grid, Qt::Key_PageDown);
        const int page = m_grid->FocusedRow()->Index();
        QVERIFY2(page > 3 && page < 30, qPrintable(QString::number(page)));
        QTest::keyClick(m_grid, Qt::Key_PageDown);
        QVERIFY(m_grid->FocusedRow()->Index() > page);
        QTest::keyClick(m_grid, Qt::Key_End);
        QCOMPARE(m_grid->FocusedRow()->Index(), 64);
        QVERIFY(m_grid->visualRect(m_grid->currentIndex()).intersects(m_grid->viewport()->rect()));
    }

    void focusChangingTellsTheNewRowAndMayRefuse()
    {
        clickCell(0, 0);
        ReportRow* seen = nullptr;
        ReportColumn* seenColumn = nullptr;
        bool refuse = true;
        connect(m_grid, &ReportControl::FocusChanging, this,
                [&](ReportRow* row, ReportColumn* column, ReportRecordItem* item, bool& cancel) {
                    seen = row;
                    seenColumn = column;
                    QCOMPARE(item, row->Record()->Item(column->ItemIndex()));
                    cancel = refuse;
                });
        QTest::keyClick(m_grid, Qt::Key_Down);
        QCOMPARE(seen, m_grid->Rows().Row(1));
        QCOMPARE(m_grid->FocusedRow()->Index(), 0);
        clickCell(3, 2);
        QCOMPARE(seen, m_grid->Rows().Row(3));
        QCOMPARE(seenColumn, m_grid->Columns().Column(2));
        QCOMPARE(m_grid->FocusedRow()->Index(), 0);
        QCOMPARE(m_grid->SelectedRows().Row(0)->Index(), 0);
        refuse = false;
        clickCell(3, 2);
        QCOMPARE(m_grid->FocusedRow()->Index(), 3);
    }

    void selectionNotifications()
    {
        QSignalSpy selection(m_grid, &ReportControl::SelectionChanged);
        clickCell(1, 0);
        QCOMPARE(selection.count(), 1);
        QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, Qt::ControlModifier, cellCenter(3, 0));
        QCOMPARE(selection.count(), 2);
        QCOMPARE(m_grid->SelectedRows().Count(), 2);
        QCOMPARE(m_grid->SelectedRows().Row(0)->Index(), 1);
        QCOMPARE(m_grid->SelectedRows().Row(1)->Index(), 3);

        // Setting the focused row by code selects it alone and reports it.
        m_grid->SetFocusedRow(m_grid->Rows().Row(4));
        QCOMPARE(selection.count(), 3);
        QCOMPARE(m_grid->SelectedRows().Count(), 1);

        // Removing the selected record reports the change; the others keep their places.
        m_grid->RemoveRecord(m_grid->Records().Record(4));
        QCOMPARE(selection.count(), 4);
        QCOMPARE(m_grid->SelectedRows().Count(), 0);
        QCOMPARE(m_grid->Records().Count(), 4);
        QCOMPARE(m_grid->Rows().Count(), 4);

        // A layout that keeps the selection says nothing; one that loses it says so.
        clickCell(0, 0);
        QCOMPARE(selection.count(), 5);
        m_grid->Populate();
        QCOMPARE(selection.count(), 5);
        fill(); // all records new: nothing of the old selection remains
        QCOMPARE(selection.count(), 6);
        QCOMPARE(m_grid->SelectedRows().Count(), 0);
        QCOMPARE(m_grid->FocusedRow(), nullptr);
    }

    void removingRecordsKeepsRowsAndRecordsInStep_data()
    {
        QTest::addColumn<bool>("grouped");
        QTest::addColumn<int>("record");
        QTest::addColumn<QStringList>("tags");
        QTest::newRow("plain, first") << false << 0 << QStringList{"12", "13", "14", "15"};
        QTest::newRow("plain, last") << false << 4 << QStringList{"11", "12", "13", "14"};
        QTest::newRow("grouped, one of two")
            << true << 1 << QStringList{"[Middle]", "15", "[First]", "14", "[Later]", "11", "13"};
        QTest::newRow("grouped, the only one")
            << true << 4 << QStringList{"[First]", "12", "14", "[Later]", "11", "13"};
    }
    void removingRecordsKeepsRowsAndRecordsInStep()
    {
        QFETCH(bool, grouped);
        QFETCH(int, record);
        QFETCH(QStringList, tags);
        if (grouped)
            m_grid->GroupBy(m_grid->Columns().Column(1));
        clickCell(m_grid->Rows().Count() - 1, 0);
        ReportRecord* kept = m_grid->FocusedRow()->Record();
        const bool keptIsRemoved = kept == m_grid->Records().Record(record);
        m_grid->RemoveRecord(m_grid->Records().Record(record));
        QCOMPARE(shownTags(), tags);
        for (int i = 0; i < m_grid->Records().Count(); ++i)
            QCOMPARE(m_grid->Records().Record(i)->Index(), i);
        for (int i = 0; i < m_grid->Rows().Count(); ++i) {
            ReportRow* row = m_grid->Rows().Row(i);
            QCOMPARE(row->Index(), i);
            if (!row->GroupRow())
                QCOMPARE(row->Record()->Row(), row);
        }
        if (!keptIsRemoved)
            QCOMPARE(m_grid->SelectedRows().Row(0)->Record(), kept);
        // The grid stays usable: a full layout gives the same rows.
        m_grid->Populate();
        QCOMPARE(shownTags(), tags);
    }

    void removeAllEmptiesTheGrid()
    {
        clickCell(2, 0);
        QSignalSpy selection(m_grid, &ReportControl::SelectionChanged);
        m_grid->Records().RemoveAll();
        QCOMPARE(selection.count(), 1);
        QCOMPARE(m_grid->Rows().Count(), 0);
        QCOMPARE(m_grid->Records().Count(), 0);
        QCOMPARE(m_grid->FocusedRow(), nullptr);
        QCOMPARE(m_grid->SelectedRows().Count(), 0);
        m_grid->Populate();
        QCOMPARE(m_grid->model()->rowCount(), 0);
    }

    void fontsAndRendering()
    {
        QFont text = m_grid->PaintManager().TextFont();
        text.setPointSizeF(10);
        m_grid->PaintManager().SetTextFont(text);
        QFont caption = m_grid->PaintManager().CaptionFont();
        caption.setPointSizeF(10);
        m_grid->PaintManager().SetCaptionFont(caption);
        QCOMPARE(m_grid->font().pointSizeF(), 10.0);
        QCOMPARE(m_grid->header()->font().pointSizeF(), 10.0);

        m_window->resize(560, 300);
        clickCell(1, 0);
        QTest::qWait(20);
        const QImage plain = m_window->grab().toImage();
        m_grid->GroupBy(m_grid->Columns().Column(1));
        QTest::qWait(20);
        const QImage grouped = m_window->grab().toImage();
        QVERIFY(!plain.isNull());
        QVERIFY(plain != grouped);

        // Every row is tall enough for its text.
        const int rowHeight = m_grid->visualRect(m_grid->model()->index(0, 0)).height();
        QVERIFY(rowHeight >= QFontMetrics(text).height() + 2);
        // No caption of a visible column is cut off.
        const QFontMetrics fm(caption);
        for (int c = 0; c < m_grid->Columns().Count(); ++c) {
            if (m_grid->isColumnHidden(c))
                continue;
            const QString cap = m_grid->Columns().Column(c)->Caption();
            QVERIFY2(fm.horizontalAdvance(cap) + 8 <= m_grid->header()->sectionSize(c), qPrintable(cap));
        }

        QTemporaryDir temp;
        QString dir = qEnvironmentVariable("TESR_SNAPSHOT_DIR");
        if (dir.isEmpty())
            dir = temp.path();
        QVERIFY(plain.save(QDir(dir).filePath(QStringLiteral("reportgrid-plain.png"))));
        QVERIFY(grouped.save(QDir(dir).filePath(QStringLiteral("reportgrid-grouped.png"))));
    }
};

TESR_TEST_MAIN(TestReportControl)
#include "tst_reportcontrol.moc"
