// Copy and Export to CSV on the report grid, as a user reaches them: Ctrl+C on the focused grid,
// the context menu's actions, the real file dialog answered under the watchdog, and the file and
// the clipboard read back field by field.

#include "support/ModalDriver.h"
#include "support/Shorthand.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "platform/controls/GridExport.h"
#include "platform/controls/ReportControl.h"
#include "shared/modSharedReportControl.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

#include <sys/resource.h>

#include <csignal>
#include <memory>

using namespace tesr;
using namespace tesrtest;
using namespace Qt::StringLiterals;

namespace {

// Date (grouped by day), Memo, Amount (money), and a hidden key column.
struct Line {
    const char* key;
    OleDate date;
    const char* memo;
    const char* amount;
};
const Line kLines[] = {
    {"1", at(2024, 5, 1, 14, 45), "Said \"hi\", then left", "1234.5"},
    {"2", OleDate::absent(), "two\nlines", "-5"},
    {"3", at(2024, 5, 3), "plain", "0.1234"},
    {"4", at(2024, 5, 1, 9), "same day", "20"},
};

} // namespace

class TestGridExport : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_window;
    ReportControl* m_grid = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;

    QAction* action(const QString& text) const
    {
        for (QAction* a : m_grid->actions())
            if (a->text() == text)
                return a;
        qFatal("the grid's context menu has no \"%s\"", qPrintable(text));
    }
    void select(const QStringList& keys)
    {
        m_grid->clearSelection();
        for (int i = 0; i < m_grid->Rows().Count(); ++i) {
            ReportRow* row = m_grid->Rows().Row(i);
            if (!row->GroupRow() && keys.contains(row->Record()->Item(3)->Caption()))
                m_grid->selectionModel()->select(m_grid->model()->index(i, 0),
                                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    QList<QStringList> copied()
    {
        QApplication::clipboard()->clear();
        m_grid->setFocus();
        QTest::keyClick(m_grid, Qt::Key_C, Qt::ControlModifier);
        return parseTabs(QApplication::clipboard()->text());
    }
    QString readFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : u"(unreadable)"_s;
    }

private slots:
    void init()
    {
        m_dir = makeTempDir();
        m_window = std::make_unique<QWidget>();
        m_window->setWindowTitle(u"Customer Payments"_s);
        auto* layout = new QVBoxLayout(m_window.get());
        m_grid = new ReportControl;
        layout->addWidget(m_grid);
        m_window->resize(700, 300);
        m_grid->Columns().Add(0, u"Date"_s, 90, true);
        m_grid->Columns().Add(1, u"Memo"_s, 200, true);
        m_grid->Columns().Add(2, u"Amount"_s, 90, true);
        m_grid->Columns().Add(3, u"Key"_s, 40, true)->SetVisible(false);
        for (const Line& l : kLines) {
            ReportRecord* r = m_grid->Records().Add();
            OleDate date = l.date;
            QString none;
            QString format = u"Short Date"_s;
            modSharedReportControl::SetDateGroupItem(*r->AddItem(0), date, format, none);
            r->AddItem(QString::fromUtf8(l.memo));
            r->AddItem(QVariant::fromValue(cur(l.amount)))->SetCurrencyCaption();
            r->AddItem(QString::fromLatin1(l.key));
        }
        m_grid->Populate();
        QVERIFY(showActive(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    // What is on the screen, in its order: the user's sort and column order, hidden columns out.
    void copyTakesTheSelectedRowsAsShown()
    {
        m_grid->SortBy(m_grid->Columns().Column(2), Qt::DescendingOrder);
        m_grid->header()->moveSection(2, 0);
        select({u"1"_s, u"2"_s});
        const QList<QStringList> lines = copied();
        QCOMPARE(lines.value(0), (QStringList{u"Amount"_s, u"Date"_s, u"Memo"_s}));
        QCOMPARE(lines.size(), 3);
        const auto rows = byHeading(lines);
        QCOMPARE(rows[0][u"Amount"_s], u"$1,234.50"_s);
        QCOMPARE(rows[0][u"Date"_s], u"5/1/2024"_s);
        QCOMPARE(rows[0][u"Memo"_s], u"Said \"hi\", then left"_s);
        QCOMPARE(rows[1][u"Amount"_s], u"($5.00)"_s);
        QCOMPARE(rows[1][u"Date"_s], QString());
        QCOMPARE(rows[1][u"Memo"_s], u"two lines"_s); // a line break would split the row

        m_grid->clearSelection();
        QApplication::clipboard()->setText(u"kept"_s);
        QTest::keyClick(m_grid, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), u"kept"_s); // nothing selected, nothing copied
    }

    // Every row through the context menu and the real file dialog; read back as a spreadsheet does.
    void exportWritesEveryRowForASpreadsheet()
    {
        QVERIFY(m_grid->contextMenuPolicy() == Qt::ActionsContextMenu);
        const QString path = m_dir->filePath(u"payments.csv"_s);
        ModalDriver d;
        QString offered;
        d.expect(u"exportFileDialog"_s, [&](QWidget* w) {
            auto* dialog = static_cast<QFileDialog*>(w);
            offered = dialog->selectedFiles().value(0);
            // As a user types a full path into the name box.
            dialog->findChild<QLineEdit*>(u"fileNameEdit"_s)->setText(path);
            static_cast<QDialog*>(dialog)->accept();
        });
        action(u"Export to CSV..."_s)->trigger();
        QVERIFY2(d.waitDone(), qPrintable(d.failure()));
        QCOMPARE(QFileInfo(offered).fileName(), u"Customer Payments.csv"_s);

        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const QString text = QString::fromUtf8(bytes.mid(3));
        QVERIFY(text.endsWith(u"\r\n"_s));
        QVERIFY(text.contains(u"\"Said \"\"hi\"\", then left\""_s));
        const QList<QStringList> lines = parseCsv(text);
        QCOMPARE(lines.value(0), (QStringList{u"Date"_s, u"Memo"_s, u"Amount"_s}));
        const auto rows = byHeading(lines);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0][u"Date"_s], u"2024-05-01"_s); // shown as a day: exported as one
        QCOMPARE(rows[0][u"Memo"_s], u"Said \"hi\", then left"_s);
        QCOMPARE(rows[0][u"Amount"_s], u"1234.5"_s);
        QCOMPARE(rows[1][u"Date"_s], QString());
        QCOMPARE(rows[1][u"Memo"_s], u"two\nlines"_s);
        QCOMPARE(rows[1][u"Amount"_s], u"-5"_s);
        QCOMPARE(rows[2][u"Amount"_s], u"0.1234"_s);
    }

    // Group headings are no rows: a collapsed group is exported whole, a selected heading copies
    // its rows.
    void groupedGridGivesRowsNotHeadings()
    {
        m_grid->GroupBy(m_grid->Columns().Column(0));
        QStringList headings;
        for (int i = 0; i < m_grid->Rows().Count(); ++i)
            if (m_grid->Rows().Row(i)->GroupRow())
                headings << m_grid->Rows().Row(i)->GroupCaption();
        QCOMPARE(headings, (QStringList{u"None"_s, u"5/1/2024"_s, u"5/3/2024"_s}));
        ReportRow* may1 = m_grid->Rows().Row(2);
        QVERIFY(may1->GroupRow());
        may1->SetExpanded(false);

        QStringList memos;
        for (const auto& row : m_grid->ExportTable(false).rows)
            memos << row[1].text;
        QCOMPARE(memos, (QStringList{u"two\nlines"_s, u"Said \"hi\", then left"_s, u"same day"_s, u"plain"_s}));

        m_grid->clearSelection();
        m_grid->selectionModel()->select(m_grid->model()->index(m_grid->Rows().Row(2)->Index(), 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const auto rows = byHeading(copied());
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0][u"Memo"_s], u"Said \"hi\", then left"_s);
        QCOMPARE(rows[1][u"Memo"_s], u"same day"_s);
        QCOMPARE(rows[1][u"Date"_s], u"5/1/2024"_s);
    }

    // A file that cannot be written: the user is told what and why, and the file named is left
    // as it was (never half written).
    void failedWriteIsShownAndLeavesTheFile_data()
    {
        QTest::addColumn<bool>("diskFull");
        QTest::newRow("folder is a file") << false;
        QTest::newRow("disk full") << true;
    }
    void failedWriteIsShownAndLeavesTheFile()
    {
        QFETCH(bool, diskFull);
        QString path = m_dir->filePath(u"old.csv"_s);
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("earlier export");
        }
        if (!diskFull)
            path += u"/new.csv"_s;
        ModalDriver d;
        QString shown;
        d.expect(u"moduleMessageBox"_s, [&](QWidget* box) {
            shown = messageBoxText(box);
            answerMessageBox(box, QMessageBox::Ok);
        });
        // A file size limit makes every write beyond a few bytes fail as on a full disk.
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        auto sigxfsz = std::signal(SIGXFSZ, SIG_IGN);
        if (diskFull) {
            rlimit tiny = before;
            tiny.rlim_cur = 16;
            setrlimit(RLIMIT_FSIZE, &tiny);
        }
        const bool written = m_grid->ExportActions().ExportTo(path);
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, sigxfsz);
        QVERIFY2(d.waitDone(), qPrintable(d.failure()));
        QVERIFY(!written);
        QVERIFY2(shown.startsWith(u"The list could not be exported to %1: "_s.arg(path)), qPrintable(shown));
        QVERIFY2(!shown.contains(u": ."_s), qPrintable(shown)); // a reason is given
        QCOMPARE(readFile(m_dir->filePath(u"old.csv"_s)), u"earlier export"_s);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{u"old.csv"_s});
    }
};

TESR_TEST_MAIN(TestGridExport)
#include "tst_gridexport.moc"
