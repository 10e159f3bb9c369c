// The host's standard message boxes, answered the way a user would.
#include "support/TestMain.h"

#include "host/Prompter.h"
#include "support/ModalDriver.h"

#include <QAbstractButton>
#include <QMessageBox>

using tesrtest::ModalDriver;

namespace {

struct Seen {
    QString text;
    QString informative;
    QString detailed;
    int icon = -1;
    QStringList buttons;
};

void look(QWidget* w, Seen& seen)
{
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box)
        return;
    seen.text = box->text();
    seen.informative = box->informativeText();
    seen.detailed = box->detailedText();
    seen.icon = box->icon();
    for (QAbstractButton* b : box->buttons())
        if (box->buttonRole(b) != QMessageBox::ActionRole)
            seen.buttons << b->text().remove(u'&');
    seen.buttons.sort();
}

} // namespace

class QtPrompterTest : public QObject {
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("shownIcon");
        QTest::addColumn<QStringList>("shownButtons");
        const QStringList yesNo{"No", "Yes"};
        const QStringList ok{"OK"};
        QTest::newRow("yes") << 6 << 0 << "Yes" << 2 << int(QMessageBox::Question) << yesNo;
        QTest::newRow("no") << 6 << 0 << "No" << 4 << int(QMessageBox::Question) << yesNo;
        QTest::newRow("escape on a question") << 6 << 3 << "Escape" << 4 << int(QMessageBox::Warning) << yesNo;
        QTest::newRow("close box on a question") << 6 << 0 << "Close" << 4 << int(QMessageBox::Question) << yesNo;
        QTest::newRow("enter takes yes") << 6 << 0 << "Enter" << 2 << int(QMessageBox::Question) << yesNo;
        QTest::newRow("ok") << 1 << 0 << "OK" << 1 << int(QMessageBox::Information) << ok;
        QTest::newRow("no buttons given") << 0 << 4 << "Escape" << 1 << int(QMessageBox::Critical) << ok;
    }

    void answers()
    {
        QFETCH(int, buttons);
        QFETCH(int, icon);
        QFETCH(QString, how);
        QFETCH(int, answer);
        QFETCH(int, shownIcon);
        QFETCH(QStringList, shownButtons);

        Seen seen;
        ModalDriver driver;
        driver.expect(QStringLiteral("hostMessage"), [&](QWidget* w) {
            look(w, seen);
            auto* box = qobject_cast<QMessageBox*>(w);
            if (how == u"Yes")
                tesrtest::answerMessageBox(w, QMessageBox::Yes);
            else if (how == u"No")
                tesrtest::answerMessageBox(w, QMessageBox::No);
            else if (how == u"OK")
                tesrtest::answerMessageBox(w, QMessageBox::Ok);
            else if (how == u"Escape")
                QTest::keyClick(box, Qt::Key_Escape);
            else if (how == u"Enter")
                QTest::keyClick(box, Qt::Key_Return);
            else
                box->close();
        });
        tesr::host::QtPrompter prompter;
        const int result =
            prompter.ask(QStringLiteral("Are you sure?"), QStringLiteral("It cannot be undone."), buttons, icon);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(result, answer);
        QCOMPARE(seen.text, QStringLiteral("Are you sure?"));
        QCOMPARE(seen.informative, QStringLiteral("It cannot be undone."));
        QCOMPARE(seen.icon, shownIcon);
        QCOMPARE(seen.buttons, shownButtons);
    }

    void errorShowsItsDetail()
    {
        Seen seen;
        ModalDriver driver;
        driver.expect(QStringLiteral("hostMessage"), [&](QWidget* w) {
            look(w, seen);
            tesrtest::answerMessageBox(w, QMessageBox::Ok);
        });
        tesr::host::QtPrompter().showError(QStringLiteral("The payment could not be added."),
                                           QStringLiteral("Try again."), QStringLiteral("database is locked"));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(seen.text, QStringLiteral("The payment could not be added."));
        QCOMPARE(seen.informative, QStringLiteral("Try again."));
        QCOMPARE(seen.detailed, QStringLiteral("database is locked"));
        QCOMPARE(seen.icon, int(QMessageBox::Critical));
    }

    void headlinesAreNotMarkup()
    {
        Seen seen;
        ModalDriver driver;
        driver.expect(QStringLiteral("hostMessage"), [&](QWidget* w) {
            look(w, seen);
            QCOMPARE(qobject_cast<QMessageBox*>(w)->textFormat(), Qt::PlainText);
            tesrtest::answerMessageBox(w, QMessageBox::Ok);
        });
        tesr::host::QtPrompter().ask(QStringLiteral("<b>O'Brien</b> & Sons"), QString(), 1, 0);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(seen.text, QStringLiteral("<b>O'Brien</b> & Sons"));
    }
};

TESR_TEST_MAIN(QtPrompterTest)
#include "tst_qtprompter.moc"
