// The list screens' grid helpers on a real grid, for what the screens cannot reach: selection
// questions on odd keys, removing records by key when keys repeat or the list is sorted, and
// date cells that group by day. (Focusing a record by key is driven through the list screens.)

#include "support/Shorthand.h"
#include "support/TestMain.h"

#include "platform/controls/ReportControl.h"
#include "shared/modSharedReportControl.h"
#include "values/Regional.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QVBoxLayout>

#include <memory>

using namespace tesr;
using tesrtest::fields;
using namespace Qt::StringLiterals;

namespace grid = tesr::modSharedReportControl;

class TestReportGridHelpers : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_window;
    ReportControl* m_grid = nullptr;
    QLineEdit* m_other = nullptr;

    // One record per tag (space separated); column 0 shows the tag, column 1 a group name.
    void load(const QString& tags, const QStringList& groups = {})
    {
        m_grid->Records().RemoveAll();
        const QStringList list = tags.split(u' ', Qt::SkipEmptyParts);
        for (int i = 0; i < list.size(); ++i) {
            ReportRecord* r = m_grid->Records().Add();
            r->SetTag(list[i] == "_" ? QString() : QString(list[i]).replace(u'~', u' '));
            r->AddItem(list[i]);
            r->AddItem(groups.value(i, u"all"_s));
        }
        m_grid->Populate();
    }
    void click(int row, Qt::KeyboardModifiers mods = {})
    {
        const QRect cell = m_grid->CellRect(m_grid->Rows().Row(row), m_grid->Columns().Column(0));
        QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, mods, cell.center() + QPoint(20, 0));
    }
    QString focused() const
    {
        ReportRow* row = m_grid->FocusedRow();
        return row ? u"%1@%2"_s.arg(row->Record()->Tag()).arg(row->Index()) : u"none"_s;
    }

private slots:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(400, 300);
        auto* layout = new QVBoxLayout(m_window.get());
        layout->addWidget(m_grid = new ReportControl(m_window.get()));
        layout->addWidget(m_other = new QLineEdit(m_window.get()));
        QFont small = m_grid->font();
        small.setPointSizeF(7.5);
        m_grid->PaintManager().SetTextFont(small);
        grid::FormatReportGrid(*m_grid); // the standard look: both fonts ten points
        QCOMPARE(m_grid->PaintManager().TextFont().pointSizeF(), 10.0);
        QCOMPARE(m_grid->header()->font().pointSizeF(), 10.0);
        m_grid->Columns().Add(0, u"Key"_s, 120, true);
        m_grid->Columns().Add(1, u"Group"_s, 120, true);
        QVERIFY(tesrtest::showActive(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    // Clicks on rows [x] 21 [y] 22 23 (grouped), or one record with the given tag.
    void selectionQuestions_data()
    {
        QTest::addColumn<QString>("tags");
        QTest::addColumn<QString>("clicks"); // rows; "+" clicks with Control
        QTest::addColumn<bool>("single");
        QTest::addColumn<int>("id");
        auto row = [](const char* name, const char* tags, const char* clicks, bool single, int id) {
            QTest::newRow(name) << QString::fromLatin1(tags) << QString::fromLatin1(clicks) << single << id;
        };
        row("nothing selected", "21 22 23", "", false, 0);
        row("one record", "21 22 23", "3", true, 22);
        row("two records", "21 22 23", "3 +4", false, 0);
        row("a heading only", "21 22 23", "2", false, 0);
        row("blanks around", "~7~", "0", true, 7);
        row("half rounds to even, down", "2.5", "0", true, 2);
        row("too large", "2147483648", "0", true, 0);
        row("not a number", "abc", "0", true, 0);
    }
    void selectionQuestions()
    {
        QFETCH(QString, tags);
        QFETCH(QString, clicks);
        QFETCH(bool, single);
        QFETCH(int, id);
        load(tags, {"x", "y", "y"});
        if (tags.contains(u' '))
            m_grid->GroupBy(m_grid->Columns().Column(1));
        for (const QString& c : clicks.split(u' ', Qt::SkipEmptyParts))
            click(c.mid(c.startsWith(u'+')).toInt(), c.startsWith(u'+') ? Qt::ControlModifier : Qt::NoModifier);
        QCOMPARE(grid::IsSingleRowSelected(*m_grid), single);
        QCOMPARE(grid::GetSelectedRecordID(*m_grid), id);
    }

    // The neighbour is the next record the screen added (not the next row shown), focused by
    // its key: with a key seen earlier, that earlier record.
    void removeRecordByID_data()
    {
        // (The first, a middle and the last of a plain list: through the list screens' Delete.)
        tesrtest::rows({"the only one|8||8||none", "first of equal keys|1 2 2 3||2|1 2 3|2@1",
                        "neighbour by record order|1 2 3 4 5|descending|3|1 2 4 5|4@1",
                        "neighbour shares an earlier key|7 9 7||9|7 7|7@0"});
    }
    void removeRecordByID()
    {
        const QStringList f = fields();
        const QString tags = f[0];
        const bool descending = !f[1].isEmpty();
        const int id = f[2].toInt();
        const QString left = f[3];
        const QString focus = f[4];
        load(tags);
        if (descending)
            m_grid->SortBy(m_grid->Columns().Column(0), Qt::DescendingOrder);
        grid::FocusRowByIndex(m_grid->Rows().Count() - 1, *m_grid, false);
        m_other->setFocus();
        grid::RemoveRecordByID(id, *m_grid);
        QStringList now;
        for (int i = 0; i < m_grid->Records().Count(); ++i)
            now << m_grid->Records().Record(i)->Tag();
        QCOMPARE(now.join(u' '), left);
        QCOMPARE(m_grid->Rows().Count(), now.size());
        QCOMPARE(focused(), focus);
        QCOMPARE(m_grid->hasFocus(), left != tags && !left.isEmpty());
    }

    // A list's date cell (its texts worked out when drawn): the date, then the group caption, its
    // priority and the caption (none: absent).
    void dateCells_data()
    {
        tesrtest::rows({"a time of day|2024-03-05T14:30:00|3/5/2024|45356|3/5/2024",
                        "a day only|2024-03-05T00:00:00|3/5/2024|45356|3/5/2024",
                        "the absent date|1900-01-01T00:00:00|None|9999|"});
    }
    void dateCells()
    {
        const QStringList f = fields();
        const OleDate date = *OleDate::fromVariant(f[0]);
        ReportRecordItem* item = m_grid->Records().Add()->AddItem(0);
        grid::SetShortDateItem(*item, date);
        QCOMPARE(item->GroupCaption(), f[1]);
        QCOMPARE(item->GroupPriority(), f[2].toInt());
        QCOMPARE(item->Caption(), f[3]);
        const bool present = !f[3].isEmpty();
        QCOMPARE(item->ToolTip(), present ? Regional::formatGeneralDate(date) : QString());
        if (present)
            QCOMPARE(item->Value().value<OleDate>(), date);
        else
            QCOMPARE(item->Value().toString(), QString());
    }
};

TESR_TEST_MAIN(TestReportGridHelpers)
#include "tst_reportgridhelpers.moc"
