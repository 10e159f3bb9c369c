// The list screens' grid helpers on a real grid: selection questions, focusing and removing
// records by key, and date cells that group by day.

#include "support/TestMain.h"

#include "platform/controls/ReportControl.h"
#include "shared/modSharedReportControl.h"
#include "values/Regional.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <memory>

using namespace tesr;
namespace grid = tesr::modSharedReportControl;

class TestReportGridHelpers : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QWidget> m_window;
    ReportControl* m_grid = nullptr;
    QLineEdit* m_other = nullptr;

    // One record per tag; column 0 shows the tag, column 1 a group name.
    void load(const QStringList& tags, const QStringList& groups = {})
    {
        m_grid->Records().RemoveAll();
        for (int i = 0; i < tags.size(); ++i) {
            ReportRecord* r = m_grid->Records().Add();
            r->SetTag(tags[i]);
            r->AddItem(tags[i]);
            r->AddItem(i < groups.size() ? groups[i] : QStringLiteral("all"));
        }
        m_grid->Populate();
    }

    void click(int row, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        const QRect cell = m_grid->CellRect(m_grid->Rows().Row(row), m_grid->Columns().Column(0));
        QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, mods, cell.center() + QPoint(20, 0));
    }

    QString focusedTag() const
    {
        ReportRow* row = m_grid->FocusedRow();
        if (!row)
            return QStringLiteral("(none)");
        return row->GroupRow() ? QStringLiteral("[heading]") : row->Record()->Tag();
    }

    QStringList recordTags() const
    {
        QStringList tags;
        for (int i = 0; i < m_grid->Records().Count(); ++i)
            tags << m_grid->Records().Record(i)->Tag();
        return tags;
    }

private slots:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(400, 300);
        auto* layout = new QVBoxLayout(m_window.get());
        m_grid = new ReportControl(m_window.get());
        m_other = new QLineEdit(m_window.get());
        layout->addWidget(m_grid);
        layout->addWidget(m_other);
        grid::FormatReportGrid(*m_grid);
        m_grid->SetCustomDraw(4);
        m_grid->Columns().Add(0, QStringLiteral("Key"), 120, true);
        m_grid->Columns().Add(1, QStringLiteral("Group"), 120, true);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void cleanup() { m_window.reset(); }

    void standardLookSetsBothFontsToTenPoints()
    {
        ReportControl fresh;
        QFont small = fresh.font();
        small.setPointSizeF(7.5);
        fresh.PaintManager().SetTextFont(small);
        fresh.PaintManager().SetCaptionFont(small);
        grid::FormatReportGrid(fresh);
        QCOMPARE(fresh.PaintManager().TextFont().pointSizeF(), 10.0);
        QCOMPARE(fresh.PaintManager().CaptionFont().pointSizeF(), 10.0);
        QCOMPARE(fresh.header()->font().pointSizeF(), 10.0);
    }

    void selectionQuestions_data()
    {
        QTest::addColumn<QString>("pick");
        QTest::addColumn<bool>("single");
        QTest::addColumn<int>("id");
        QTest::newRow("nothing selected") << QStringLiteral("none") << false << 0;
        QTest::newRow("one record") << QStringLiteral("one") << true << 22;
        QTest::newRow("two records") << QStringLiteral("two") << false << 0;
        QTest::newRow("a heading only") << QStringLiteral("heading") << false << 0;
        QTest::newRow("a heading and a record") << QStringLiteral("heading+record") << false << 0;
    }
    void selectionQuestions()
    {
        QFETCH(QString, pick);
        QFETCH(bool, single);
        QFETCH(int, id);
        load({"21", "22", "23"}, {"x", "y", "y"});
        m_grid->GroupBy(m_grid->Columns().Column(1)); // rows: [x] 21 [y] 22 23
        if (pick == QLatin1String("one")) {
            click(3);
        } else if (pick == QLatin1String("two")) {
            click(3);
            click(4, Qt::ControlModifier);
        } else if (pick == QLatin1String("heading")) {
            click(2);
        } else if (pick == QLatin1String("heading+record")) {
            click(2);
            click(3, Qt::ControlModifier);
        }
        QCOMPARE(grid::IsSingleRowSelected(*m_grid), single);
        QCOMPARE(grid::GetSelectedRecordID(*m_grid), id);
    }

    void selectedKeyIsTheTagAsAWholeNumber_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<int>("id");
        QTest::newRow("plain") << QStringLiteral("1234") << 1234;
        QTest::newRow("blanks around") << QStringLiteral(" 7 ") << 7;
        QTest::newRow("half rounds to even, down") << QStringLiteral("2.5") << 2;
        QTest::newRow("half rounds to even, up") << QStringLiteral("3.5") << 4;
        QTest::newRow("largest") << QStringLiteral("2147483647") << 2147483647;
        QTest::newRow("too large") << QStringLiteral("2147483648") << 0;
        QTest::newRow("not a number") << QStringLiteral("abc") << 0;
        QTest::newRow("empty") << QString() << 0;
    }
    void selectedKeyIsTheTagAsAWholeNumber()
    {
        QFETCH(QString, tag);
        QFETCH(int, id);
        load({tag});
        click(0);
        QVERIFY(grid::IsSingleRowSelected(*m_grid));
        QCOMPARE(grid::GetSelectedRecordID(*m_grid), id);
    }

    void focusRowByIndex_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("takeFocus");
        QTest::addColumn<QString>("focused");
        QTest::newRow("first, with focus") << 0 << true << QStringLiteral("1");
        QTest::newRow("last, without focus") << 2 << false << QStringLiteral("3");
        QTest::newRow("equal to the count") << 3 << true << QStringLiteral("(none)");
        QTest::newRow("negative") << -1 << true << QStringLiteral("(none)");
    }
    void focusRowByIndex()
    {
        QFETCH(int, index);
        QFETCH(bool, takeFocus);
        QFETCH(QString, focused);
        load({"1", "2", "3"});
        m_other->setFocus();
        QSignalSpy selection(m_grid, &ReportControl::SelectionChanged);
        grid::FocusRowByIndex(index, *m_grid, takeFocus);
        QCOMPARE(focusedTag(), focused);
        const bool moved = focused != QLatin1String("(none)");
        QCOMPARE(selection.count(), moved ? 1 : 0);
        QCOMPARE(m_grid->hasFocus(), moved && takeFocus);
        if (moved)
            QVERIFY(grid::IsSingleRowSelected(*m_grid));
    }

    void findRecordByID_data()
    {
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("position");
        QTest::newRow("found") << QStringList{"5", "6", "7"} << 6 << 1;
        QTest::newRow("first of two equal keys") << QStringList{"5", "6", "6"} << 6 << 1;
        QTest::newRow("missing") << QStringList{"5", "6", "7"} << 8 << -1;
        QTest::newRow("texts never match") << QStringList{"x", "", "9"} << 9 << 2;
        QTest::newRow("same number written otherwise") << QStringList{"12.0"} << 12 << 0;
        QTest::newRow("a fraction is another number") << QStringList{"12.4"} << 12 << -1;
        QTest::newRow("empty grid") << QStringList{} << 1 << -1;
    }
    void findRecordByID()
    {
        QFETCH(QStringList, tags);
        QFETCH(int, id);
        QFETCH(int, position);
        load(tags);
        ReportRecord* found = grid::FindRecordByID(id, *m_grid);
        QCOMPARE(found, position < 0 ? nullptr : m_grid->Records().Record(position));
    }

    void focusRecordByIDFollowsTheScreenOrder()
    {
        load({"5", "6", "7", "6"});
        m_grid->SortBy(m_grid->Columns().Column(0), Qt::DescendingOrder); // rows: 7 6 6 5
        m_other->setFocus();
        grid::FocusRecordByID(6, *m_grid, false);
        // The first record with the key (position 1) is the one focused, wherever it is shown.
        QCOMPARE(m_grid->FocusedRow()->Record(), m_grid->Records().Record(1));
        QCOMPARE(m_grid->FocusedRow()->Index(), 1);
        QVERIFY(!m_grid->hasFocus());
        grid::FocusRecordByID(5, *m_grid, true);
        QCOMPARE(m_grid->FocusedRow()->Index(), 3);
        QVERIFY(m_grid->hasFocus());
        grid::FocusRecordByID(99, *m_grid, true); // no such key: nothing changes
        QCOMPARE(m_grid->FocusedRow()->Index(), 3);
        QCOMPARE(m_grid->SelectedRows().Count(), 1);
    }

    void removeRecordByID_data()
    {
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<bool>("sortedDescending");
        QTest::addColumn<int>("id");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("focused");
        QTest::addColumn<int>("focusedRow");
        const QStringList five{"1", "2", "3", "4", "5"};
        QTest::newRow("third of five") << five << false << 3 << QStringList{"1", "2", "4", "5"} << "4" << 2;
        QTest::newRow("last of five") << five << false << 5 << QStringList{"1", "2", "3", "4"} << "4" << 3;
        QTest::newRow("first of five") << five << false << 1 << QStringList{"2", "3", "4", "5"} << "2" << 0;
        QTest::newRow("the only one") << QStringList{"8"} << false << 8 << QStringList{} << "(none)" << -1;
        QTest::newRow("missing key") << five << false << 9 << five << "5" << 4;
        QTest::newRow("first of equal keys")
            << QStringList{"1", "2", "2", "3"} << false << 2 << QStringList{"1", "2", "3"} << "2" << 1;
        // The neighbour is the next record the screen added, not the next row shown.
        QTest::newRow("neighbour by record order") << five << true << 3 << QStringList{"1", "2", "4", "5"} << "4" << 1;
        // The neighbour is focused by its key: with a key seen earlier, that earlier record.
        QTest::newRow("neighbour shares an earlier key")
            << QStringList{"7", "9", "7"} << false << 9 << QStringList{"7", "7"} << "7" << 0;
    }
    void removeRecordByID()
    {
        QFETCH(QStringList, tags);
        QFETCH(bool, sortedDescending);
        QFETCH(int, id);
        QFETCH(QStringList, left);
        QFETCH(QString, focused);
        QFETCH(int, focusedRow);
        load(tags);
        if (sortedDescending)
            m_grid->SortBy(m_grid->Columns().Column(0), Qt::DescendingOrder);
        if (!tags.isEmpty())
            grid::FocusRowByIndex(m_grid->Rows().Count() - 1, *m_grid, false);
        m_other->setFocus();
        QSignalSpy selection(m_grid, &ReportControl::SelectionChanged);
        grid::RemoveRecordByID(id, *m_grid);
        QCOMPARE(recordTags(), left);
        QCOMPARE(m_grid->Rows().Count(), left.size());
        QCOMPARE(focusedTag(), focused);
        QCOMPARE(m_grid->FocusedRow() ? m_grid->FocusedRow()->Index() : -1, focusedRow);
        const bool removed = left.size() < tags.size();
        QCOMPARE(m_grid->hasFocus(), removed && !left.isEmpty());
        QVERIFY(removed ? selection.count() >= 1 : selection.count() == 0);
        if (removed && !left.isEmpty())
            QCOMPARE(grid::GetSelectedRecordID(*m_grid), focused.toInt());
    }

    void removeRecordByIDCountsPositionsInSixteenBits()
    {
        m_grid->Records().RemoveAll();
        const int count = grid::RemoveRecordPositionLimit + 2;
        for (int i = 0; i < count; ++i) {
            ReportRecord* r = m_grid->Records().Add();
            r->SetTag(QString::number(i + 1));
            r->AddItem(i + 1);
        }
        m_grid->Populate();
        grid::RemoveRecordByID(grid::RemoveRecordPositionLimit + 1, *m_grid); // position 32768
        QCOMPARE(m_grid->Records().Count(), count);
        grid::RemoveRecordByID(grid::RemoveRecordPositionLimit, *m_grid); // position 32767
        QCOMPARE(m_grid->Records().Count(), count - 1);
        QCOMPARE(focusedTag(), QString::number(grid::RemoveRecordPositionLimit + 1));
    }

    void dateCells_data()
    {
        QTest::addColumn<OleDate>("date");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("priority");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("present");
        const OleDate afternoon = *OleDate::fromYmdHms(2024, 3, 5, 14, 30, 0);
        QTest::newRow("short date") << afternoon << "Short Date"
                                    << ""
                                    << "3/5/2024" << 45356 << "3/5/2024" << true;
        QTest::newRow("prefix joined without a blank") << afternoon << "Short Date"
                                                       << "Paid "
                                                       << "Paid 3/5/2024" << 45356 << "3/5/2024" << true;
        QTest::newRow("pattern format") << afternoon << "yyyy-MM-dd"
                                        << ""
                                        << "3/5/2024" << 45356 << "2024-03-05" << true;
        QTest::newRow("a second after the absent date") << OleDate::absent().addSeconds(1) << "Short Date"
                                                        << ""
                                                        << "1/1/1900" << 2 << "1/1/1900" << true;
        QTest::newRow("the absent date") << OleDate::absent() << "Short Date"
                                         << ""
                                         << "None" << 9999 << "" << false;
        QTest::newRow("absent with a prefix") << OleDate::absent() << "Short Date"
                                              << "Paid "
                                              << "Paid None" << 9999 << "" << false;
        QTest::newRow("before the absent date") << OleDate() << "Short Date"
                                                << ""
                                                << "None" << 9999 << "" << false;
    }
    void dateCells()
    {
        QFETCH(OleDate, date);
        QFETCH(QString, format);
        QFETCH(QString, prefix);
        QFETCH(QString, group);
        QFETCH(int, priority);
        QFETCH(QString, caption);
        QFETCH(bool, present);
        ReportRecord* r = m_grid->Records().Add();
        ReportRecordItem* item = r->AddItem(0);
        grid::SetDateGroupItem(*item, date, format, prefix);
        QCOMPARE(item->GroupCaption(), group);
        QCOMPARE(item->GroupPriority(), priority);
        QCOMPARE(item->Caption(), caption);
        if (present) {
            QCOMPARE(item->Value().value<OleDate>(), date);
            QCOMPARE(item->ToolTip(), Regional::formatGeneralDate(date));
            QVERIFY(!item->ToolTip().isEmpty());
        } else {
            QCOMPARE(item->Value().toString(), QString());
            QCOMPARE(item->ToolTip(), QString());
        }
    }

    void datesGroupByDayWithNoneFirst()
    {
        const OleDate dates[] = {*OleDate::fromYmdHms(2024, 3, 5, 9), OleDate::absent(),
                                 *OleDate::fromYmdHms(1927, 5, 18), *OleDate::fromYmdHms(2024, 3, 5, 17)};
        m_grid->Records().RemoveAll();
        int key = 0;
        for (const OleDate& d : dates) {
            ReportRecord* r = m_grid->Records().Add();
            r->SetTag(QString::number(++key));
            grid::SetDateGroupItem(*r->AddItem(0), d, QStringLiteral("Short Date"), QString());
            r->AddItem(QString());
        }
        m_grid->GroupBy(m_grid->Columns().Column(0));
        QStringList rows;
        for (int i = 0; i < m_grid->Rows().Count(); ++i) {
            ReportRow* row = m_grid->Rows().Row(i);
            rows << (row->GroupRow() ? QStringLiteral("[%1]").arg(row->GroupCaption()) : row->Record()->Tag());
        }
        QCOMPARE(rows, (QStringList{"[None]", "2", "[5/18/1927]", "3", "[3/5/2024]", "1", "4"}));
        // Sorting the column sorts by date, the absent one first.
        m_grid->Ungroup();
        m_grid->SortBy(m_grid->Columns().Column(0));
        QCOMPARE(m_grid->Rows().Row(0)->Record()->Tag(), QStringLiteral("2"));
        QCOMPARE(m_grid->Rows().Row(3)->Record()->Tag(), QStringLiteral("4"));
    }
};

TESR_TEST_MAIN(TestReportGridHelpers)
#include "tst_reportgridhelpers.moc"
