// The modal pieces: the pop-up calendar and the message box, each answered by the test (never by
// a person) under the modal driver's watchdog. (The task dialog is driven where Order Payments
// asks with it.)

#include "support/ModalDriver.h"
#include "support/Shorthand.h"
#include "support/TestMain.h"

#include "platform/controls/DatePicker.h"
#include "platform/controls/MessageBox.h"

#include <QCalendarWidget>
#include <QTableView>

#include <memory>

using namespace tesr;
using tesrtest::ModalDriver;
using namespace Qt::StringLiterals;

namespace {

// Clicks a day of the month shown by the picker's first calendar.
void clickDay(QWidget* picker, int day)
{
    auto* view = picker->findChild<QCalendarWidget*>("calendar0")->findChild<QTableView*>();
    QAbstractItemModel* model = view->model();
    for (int r = 1; r < model->rowCount(); ++r)
        for (int c = 0; c < model->columnCount(); ++c)
            if (model->index(r, c).data().toInt() == day)
                return QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                                         view->visualRect(model->index(r, c)).center());
}

class RecordingMessages final : public MessageBoxService {
public:
    int Show(const QString& text, int style, const QString& title) override
    {
        calls << u"%1|%2|%3"_s.arg(text).arg(style).arg(title);
        return MessageBox::AnswerNo;
    }
    QStringList calls;
};

} // namespace

class TestPopups : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_form;

private slots:
    void init()
    {
        m_form = std::make_unique<QWidget>();
        m_form->setGeometry(100, 100, 400, 300);
        QVERIFY(tesrtest::showActive(m_form.get()));
    }
    void cleanup()
    {
        setMessageBoxService(nullptr);
        m_form.reset();
    }

    // Action, then whether a choice was made and the first day chosen (none: no block).
    void datePickerChoices_data()
    {
        tesrtest::rows({"a click on a day|click20|1|2023-08-20", "arrows and Enter|keys|1|2023-08-16",
                        "Today|buttonToday|1|" + QDate::currentDate().toString(Qt::ISODate), "None|buttonNone|1|",
                        "Escape after a move|escape|0|2023-08-09"});
    }
    void datePickerChoices()
    {
        const QStringList f = tesrtest::fields();
        const QString action = f[0];
        DatePicker picker(m_form.get());
        picker.SetShowNoneButton(true);
        picker.Select(QDate(2023, 8, 9));
        picker.EnsureVisible(QDate(2023, 8, 9));
        ModalDriver driver;
        driver.expect("DatePicker1", [&](QWidget* w) {
            auto* calendar = w->findChild<QCalendarWidget*>("calendar0");
            QCOMPARE(calendar->selectedDate(), QDate(2023, 8, 9));
            QWidget* view = calendar->findChild<QTableView*>();
            if (action == "click20") {
                clickDay(w, 20);
            } else if (action == "keys" || action == "escape") {
                QTest::keyClick(view, action == "keys" ? Qt::Key_Down : Qt::Key_Right); // moving is no choice
                QTest::keyClick(view, action == "keys" ? Qt::Key_Return : Qt::Key_Escape);
            } else {
                tesrtest::clickButton(w, action);
            }
        });
        QCOMPARE(picker.ShowModal(1, 1), f[1] == "1");
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(picker.Selection().BlocksCount(), f[2].isEmpty() ? 0 : 1);
        QCOMPARE(picker.Selection().Blocks(0).DateBegin, QDate::fromString(f[2], Qt::ISODate));
        QVERIFY(picker.isHidden());
    }

    // A replaced message service is asked instead, and nothing is shown.
    void messageBoxCanBeReplaced()
    {
        auto fake = std::make_shared<RecordingMessages>();
        setMessageBoxService(fake);
        QCOMPARE(MessageBox::Show(u"Text"_s), MessageBox::AnswerNo);
        QCOMPARE(fake->calls, QStringList{u"Text|48|tesrpay5"_s});
    }
};

TESR_TEST_MAIN(TestPopups)
#include "tst_popups.moc"
