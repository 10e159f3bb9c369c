// The host's standard message boxes, answered the way a user would.
#include "support/ModalDriver.h"
#include "support/Shorthand.h"
#include "support/TestMain.h"

#include "host/Prompter.h"

#include <QAbstractButton>
#include <QMessageBox>

using namespace Qt::StringLiterals;

class QtPrompterTest : public QObject {
    Q_OBJECT

private slots:
    // Buttons 6 Yes/No, 1 OK, 0 none given; icon 0 question, 3 warning, 4 error, -1 an error with
    // its detail; the key pressed (none: the close box); the answer; the icon and buttons shown,
    // the text always plain.
    void answers_data()
    {
        const auto shown = [](QMessageBox::Icon icon, const char* buttons) {
            return u"%1|%2"_s.arg(icon).arg(QLatin1String(buttons));
        };
        tesrtest::rows({"yes|6|0|Yes|2|" + shown(QMessageBox::Question, "No Yes"),
                        "close box on a warning question|6|3||4|" + shown(QMessageBox::Warning, "No Yes"),
                        "ok|1|0|Return|1|" + shown(QMessageBox::Information, "OK"),
                        "error with detail|0|-1|Return|0|" + shown(QMessageBox::Critical, "OK")});
    }
    void answers()
    {
        const QStringList f = tesrtest::fields();
        const int buttons = f[0].toInt();
        const int icon = f[1].toInt();
        const int key = QMetaEnum::fromType<Qt::Key>().keyToValue(qPrintable("Key_" + f[2])); // -1: none
        const int answer = f[3].toInt();
        const QString headline = u"<b>O'Brien</b> & Sons"_s, detail = icon < 0 ? u"database is locked"_s : QString();
        tesrtest::ModalDriver driver;
        driver.expect(u"hostMessage"_s, [&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QStringList names;
            for (QAbstractButton* b : box->buttons())
                if (box->buttonRole(b) != QMessageBox::ActionRole)
                    names << b->text().remove(u'&');
            names.sort();
            QCOMPARE(box->text(), headline); // no markup
            QCOMPARE(box->textFormat(), Qt::PlainText);
            QCOMPARE(box->informativeText(), u"Try again."_s);
            QCOMPARE(box->detailedText(), detail);
            QCOMPARE(box->icon(), QMessageBox::Icon(f[4].toInt()));
            QCOMPARE(names.join(u' '), f[5]);
            if (f[2] == "Yes")
                tesrtest::answerMessageBox(w, QMessageBox::Yes);
            else if (key > 0)
                QTest::keyClick(box, Qt::Key(key));
            else
                box->close();
        });
        tesr::host::QtPrompter prompter;
        int result = 0;
        if (icon < 0)
            prompter.showError(headline, u"Try again."_s, detail);
        else
            result = prompter.ask(headline, u"Try again."_s, buttons, icon);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(result, answer);
    }
};

TESR_TEST_MAIN(QtPrompterTest)
#include "tst_qtprompter.moc"
