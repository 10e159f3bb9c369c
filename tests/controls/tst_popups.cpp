// The modal pieces: the task dialog, the pop-up calendar and the message box, each answered by
// the test (never by a person) under the modal driver's watchdog.

#include "support/ModalDriver.h"
#include "support/TestMain.h"

#include "platform/controls/DatePicker.h"
#include "platform/controls/MessageBox.h"
#include "platform/controls/TaskDialog.h"

#include <QCalendarWidget>
#include <QCommandLinkButton>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>

#include <memory>

using namespace tesr;
using tesrtest::ModalDriver;

namespace {

const QString kContent =
    QStringLiteral("<TextBlock TextWrapping='Wrap'>If you choose to delete the payment then it will be permanently "
                   "deleted. If you choose keep the payment then it will remain on the customer's account as a "
                   "credit and can be applied to future sales.</TextBlock>");

// Clicks a day of the month shown by the picker's first calendar.
void clickDay(QWidget* picker, int day)
{
    auto* calendar = picker->findChild<QCalendarWidget*>(QStringLiteral("calendar0"));
    auto* view = calendar ? calendar->findChild<QTableView*>() : nullptr;
    if (!view) {
        qWarning("clickDay: no calendar view");
        return;
    }
    QAbstractItemModel* model = view->model();
    for (int r = 1; r < model->rowCount(); ++r) {
        for (int c = 0; c < model->columnCount(); ++c) {
            const QModelIndex i = model->index(r, c);
            if (model->data(i).toInt() == day) {
                QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(i).center());
                return;
            }
        }
    }
    qWarning("clickDay: day %d not shown", day);
}

// Pictures for a person to look at, when asked for (TESR_SNAPSHOT_DIR).
void snapshot(QWidget* w, const char* name)
{
    const QString dir = qEnvironmentVariable("TESR_SNAPSHOT_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + QLatin1Char('/') + QLatin1String(name));
}

class RecordingMessages final : public MessageBoxService {
public:
    int Show(const QString& text, int style, const QString& title) override
    {
        calls << QStringLiteral("%1|%2|%3").arg(text).arg(style).arg(title);
        return answer;
    }
    QStringList calls;
    int answer = MessageBox::AnswerOk;
};

} // namespace

class TestPopups : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QWidget> m_form;

private slots:
    void init()
    {
        m_form = std::make_unique<QWidget>();
        m_form->setObjectName(QStringLiteral("form"));
        m_form->setGeometry(100, 100, 400, 300);
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }

    void cleanup()
    {
        setMessageBoxService(nullptr);
        m_form.reset();
    }

    void markupBecomesPlainText_data()
    {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QString>("text");
        QTest::newRow("text block") << kContent
                                    << QStringLiteral("If you choose to delete the payment then it will be permanently "
                                                      "deleted. If you choose keep the payment then it will remain on "
                                                      "the customer's account as a credit and can be applied to "
                                                      "future sales.");
        QTest::newRow("plain text") << QStringLiteral("Just text") << QStringLiteral("Just text");
        QTest::newRow("inline tags and a line break")
            << QStringLiteral("<TextBlock>One <Bold>two</Bold><LineBreak/>three</TextBlock>")
            << QStringLiteral("One two\nthree");
        QTest::newRow("entities") << QStringLiteral("<TextBlock>a &lt; b &amp;&amp; c&apos;s</TextBlock>")
                                  << QStringLiteral("a < b && c's");
        QTest::newRow("escaped entity stays escaped once") << QStringLiteral("&amp;lt;") << QStringLiteral("&lt;");
    }
    void markupBecomesPlainText()
    {
        QFETCH(QString, markup);
        QFETCH(QString, text);
        QCOMPARE(TaskDialog::plainTextOf(markup), text);
    }

    void taskDialogAnswers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("result");
        QTest::newRow("first button") << QStringLiteral("button128") << 128;
        QTest::newRow("second button") << QStringLiteral("button256") << 256;
        QTest::newRow("Escape") << QStringLiteral("escape") << 0;
        QTest::newRow("close box") << QStringLiteral("close") << 0;
    }
    void taskDialogAnswers()
    {
        QFETCH(QString, answer);
        QFETCH(int, result);
        TaskDialog dialog(m_form.get());
        dialog.SetOption(24, true);
        dialog.SetWindowTitle(QStringLiteral("Delete Payment"));
        dialog.SetMainInstructionText(QStringLiteral("The selected payment has been removed and it has no further "
                                                     "allocations. Do you want to delete this payment also?"));
        dialog.SetContent(kContent);
        dialog.SetOption(11, false);
        dialog.AddButton(QStringLiteral("Yes, delete the payment."), 128);
        dialog.AddButton(QStringLiteral("No, keep the payment as a credit for this customer."), 256);
        dialog.SetOption(25, 3);
        QCOMPARE(dialog.Option(25).toInt(), 3);
        QCOMPARE(dialog.ButtonCount(), 2);

        QStringList seen;
        ModalDriver driver;
        driver.expect(QStringLiteral("TaskDialog1"), [&](QWidget* w) {
            seen << w->windowTitle();
            seen << w->findChild<QLabel*>(QStringLiteral("mainInstruction"))->text().left(21);
            const QLabel* content = w->findChild<QLabel*>(QStringLiteral("content"));
            seen << content->text().left(25) + (content->wordWrap() ? "|wrapped" : "");
            // The buttons in the order they were added, top to bottom.
            const auto* yes = w->findChild<QCommandLinkButton*>(QStringLiteral("button128"));
            const auto* no = w->findChild<QCommandLinkButton*>(QStringLiteral("button256"));
            seen << yes->text() << QString::number(yes->y() < no->y());
            snapshot(w, "taskdialog.png");
            if (answer == QLatin1String("escape"))
                QTest::keyClick(w, Qt::Key_Escape);
            else if (answer == QLatin1String("close"))
                w->close();
            else
                tesrtest::clickButton(w, answer);
        });
        QCOMPARE(dialog.ShowDialog(), result);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(seen, (QStringList{"Delete Payment", "The selected payment ", "If you choose to delete t|wrapped",
                                    "Yes, delete the payment.", "1"}));
    }

    void datePickerChoices_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<QDate>("first");
        QTest::addColumn<int>("blocks");
        const QDate start(2023, 8, 9);
        QTest::newRow("a click on a day") << QStringLiteral("click20") << true << QDate(2023, 8, 20) << 1;
        QTest::newRow("arrows and Enter") << QStringLiteral("keys") << true << QDate(2023, 8, 16) << 1;
        QTest::newRow("Today") << QStringLiteral("today") << true << QDate::currentDate() << 1;
        QTest::newRow("None") << QStringLiteral("none") << true << QDate() << 0;
        QTest::newRow("Escape") << QStringLiteral("escape") << false << start << 1;
        QTest::newRow("a click outside") << QStringLiteral("outside") << false << start << 1;
    }
    void datePickerChoices()
    {
        QFETCH(QString, action);
        QFETCH(bool, chosen);
        QFETCH(QDate, first);
        QFETCH(int, blocks);
        DatePicker picker(m_form.get());
        picker.SetShowNoneButton(true);
        picker.Select(QDate(2023, 8, 9));
        picker.EnsureVisible(QDate(2023, 8, 9));
        picker.Move(10, 40);
        QPoint shownAt;
        bool noneShown = false;
        ModalDriver driver;
        driver.expect(QStringLiteral("DatePicker1"), [&](QWidget* w) {
            shownAt = w->pos();
            noneShown = w->findChild<QPushButton*>(QStringLiteral("buttonNone"))->isVisible();
            auto* calendar = w->findChild<QCalendarWidget*>(QStringLiteral("calendar0"));
            QCOMPARE(calendar->monthShown(), 8);
            QCOMPARE(calendar->selectedDate(), QDate(2023, 8, 9));
            snapshot(w, "datepicker.png");
            if (action == QLatin1String("click20")) {
                clickDay(w, 20);
            } else if (action == QLatin1String("keys")) {
                QWidget* view = calendar->findChild<QTableView*>();
                QTest::keyClick(view, Qt::Key_Down); // a week later
                QTest::keyClick(view, Qt::Key_Return);
            } else if (action == QLatin1String("today")) {
                tesrtest::clickButton(w, QStringLiteral("buttonToday"));
            } else if (action == QLatin1String("none")) {
                tesrtest::clickButton(w, QStringLiteral("buttonNone"));
            } else if (action == QLatin1String("escape")) {
                QWidget* view = calendar->findChild<QTableView*>();
                QTest::keyClick(view, Qt::Key_Right); // moving is no choice
                QTest::keyClick(view, Qt::Key_Escape);
            } else {
                // A press outside the pop-up's own rectangle closes it.
                QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(-30, -30));
            }
        });
        QCOMPARE(picker.ShowModal(1, 1), chosen);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(shownAt, m_form->mapToGlobal(QPoint(10, 40)));
        QVERIFY(noneShown);
        QCOMPARE(picker.Selection().BlocksCount(), blocks);
        QCOMPARE(picker.Selection().Blocks(0).DateBegin, first);
        QVERIFY(picker.isHidden());
    }

    void datePickerWithoutNoneAndSeveralMonths()
    {
        DatePicker picker(m_form.get());
        picker.SetShowNoneButton(false);
        picker.SelectRange(QDate(2024, 1, 30), QDate(2024, 2, 2));
        QCOMPARE(picker.Selection().Blocks(0).DateEnd, QDate(2024, 2, 2));
        QStringList months;
        ModalDriver driver;
        driver.expect(QStringLiteral("DatePicker1"), [&](QWidget* w) {
            QVERIFY(!w->findChild<QPushButton*>(QStringLiteral("buttonNone"))->isVisible());
            QVERIFY(w->findChild<QPushButton*>(QStringLiteral("buttonToday"))->isVisible());
            for (int i = 0; i < 4; ++i) {
                const auto* c = w->findChild<QCalendarWidget*>(QStringLiteral("calendar%1").arg(i));
                months << QStringLiteral("%1-%2").arg(c->yearShown()).arg(c->monthShown());
            }
            // Paging the first month pages them all.
            auto* first = w->findChild<QCalendarWidget*>(QStringLiteral("calendar0"));
            first->showNextMonth();
            months << QString::number(w->findChild<QCalendarWidget*>(QStringLiteral("calendar3"))->monthShown());
            QTest::keyClick(first->findChild<QTableView*>(), Qt::Key_Escape);
        });
        QVERIFY(!picker.ShowModal(2, 2));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(months, (QStringList{"2024-1", "2024-2", "2024-3", "2024-4", "5"}));
        QCOMPARE(picker.Selection().Blocks(0).DateBegin, QDate(2024, 1, 30));
    }

    void standardMessageBox_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("press");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("shownTitle");
        QTest::newRow("exclamation, OK, default title")
            << (MessageBox::OkOnly | MessageBox::Exclamation) << QString() << int(QMessageBox::Ok)
            << MessageBox::AnswerOk << QStringLiteral("tesrpay5");
        QTest::newRow("yes/no answered no") << (MessageBox::YesNo | MessageBox::Question) << QStringLiteral("Ask")
                                            << int(QMessageBox::No) << MessageBox::AnswerNo << QStringLiteral("Ask");
    }
    void standardMessageBox()
    {
        QFETCH(int, style);
        QFETCH(QString, title);
        QFETCH(int, press);
        QFETCH(int, answer);
        QFETCH(QString, shownTitle);
        QStringList seen;
        ModalDriver driver;
        driver.expect(QStringLiteral("moduleMessageBox"), [&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            seen << box->windowTitle() << box->text() << QString::number(box->buttons().size());
            seen << QString::number(int(box->icon()));
            tesrtest::answerMessageBox(w, press);
        });
        QCOMPARE(MessageBox::Show(QStringLiteral("You must enter a valid payment amount."), style, title), answer);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        const int icon =
            (style & 0x70) == MessageBox::Exclamation ? int(QMessageBox::Warning) : int(QMessageBox::Question);
        QCOMPARE(seen, (QStringList{shownTitle, "You must enter a valid payment amount.",
                                    QString::number((style & 7) == MessageBox::YesNo ? 2 : 1), QString::number(icon)}));
    }

    void messageBoxCanBeReplaced()
    {
        auto fake = std::make_shared<RecordingMessages>();
        fake->answer = MessageBox::AnswerNo;
        setMessageBoxService(fake);
        QCOMPARE(MessageBox::Show(QStringLiteral("Text")), MessageBox::AnswerNo);
        QCOMPARE(fake->calls, QStringList{QStringLiteral("Text|48|tesrpay5")});
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }
};

TESR_TEST_MAIN(TestPopups)
#include "tst_popups.moc"
