// The form controls driven by keyboard and mouse: the combo box with its non-modal list, the edit
// box's check on leave and the push buttons that run it, the resizer and the group box.

#include "support/TestMain.h"

#include "platform/controls/ComboBox.h"
#include "platform/controls/FlatEdit.h"
#include "platform/controls/GroupBox.h"
#include "platform/controls/PushButton.h"
#include "platform/controls/Resizer.h"

#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>

#include <memory>

using namespace tesr;

namespace {

const QStringList kCustomers{"Abbott", "Abel & Sons", "Baker", "Cabot", "Zabka"};

// The search the payment screen runs on every edit of its customer box: the entries that
// contain the typed text, the list open, the typed text and caret left as they were.
void refill(ComboBox& box)
{
    const QString typed = box.Text();
    box.Clear();
    for (int i = 0; i < kCustomers.size(); ++i) {
        if (kCustomers[i].contains(typed, Qt::CaseInsensitive)) {
            box.AddItem(kCustomers[i]);
            box.SetItemData(box.NewIndex(), 100 + i);
        }
    }
    box.SetDroppedState(true);
    box.SetText(typed);
    box.SetSelStart(int(typed.size()));
    box.SetListIndex(-1);
}

} // namespace

class TestFormControls : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QDialog> m_window;
    ComboBox* m_combo = nullptr;
    FlatEdit* m_edit = nullptr;
    FlatEdit* m_next = nullptr;
    PushButton* m_ok = nullptr;
    PushButton* m_cancel = nullptr;
    QStringList m_log;

    void fillCombo()
    {
        for (int i = 0; i < kCustomers.size(); ++i) {
            m_combo->AddItem(kCustomers[i]);
            m_combo->SetItemData(m_combo->NewIndex(), 100 + i);
        }
    }

private slots:
    void init()
    {
        m_log.clear();
        m_window = std::make_unique<QDialog>();
        m_window->resize(420, 240);
        m_combo = new ComboBox(m_window.get());
        m_combo->setObjectName(QStringLiteral("cboCustomer"));
        m_combo->setGeometry(10, 10, 200, 24);
        m_edit = new FlatEdit(m_window.get());
        m_edit->setObjectName(QStringLiteral("txtExpireMonth"));
        m_edit->Move(10, 50, 80, 24);
        m_next = new FlatEdit(m_window.get());
        m_next->Move(100, 50, 80, 24);
        m_ok = new PushButton(QStringLiteral("&OK"), m_window.get());
        m_ok->setGeometry(10, 200, 80, 26);
        m_ok->setDefault(true);
        m_cancel = new PushButton(QStringLiteral("Cancel"), m_window.get());
        m_cancel->setGeometry(100, 200, 80, 26);
        m_window->setTabOrder(m_combo, m_edit);
        m_window->setTabOrder(m_edit, m_next);
        m_window->setTabOrder(m_next, m_ok);

        connect(m_edit, &FlatEdit::Validate, this, [this](bool&) { m_log << QStringLiteral("validate"); });
        connect(m_edit, &FlatEdit::LostFocus, this, [this] { m_log << QStringLiteral("lost"); });
        connect(m_ok, &PushButton::Click, this, [this] { m_log << QStringLiteral("ok"); });
        connect(m_cancel, &PushButton::Click, this, [this] { m_log << QStringLiteral("cancel"); });
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void cleanup() { m_window.reset(); }

    // ---- combo box --------------------------------------------------------------------------

    void listEntriesCarryTheirData()
    {
        QCOMPARE(m_combo->NewIndex(), -1);
        fillCombo();
        QCOMPARE(m_combo->ListCount(), 5);
        QCOMPARE(m_combo->NewIndex(), 4);
        QCOMPARE(m_combo->List(1), QStringLiteral("Abel & Sons"));
        QCOMPARE(m_combo->ItemData(3), 103);
        QCOMPARE(m_combo->ListIndex(), -1); // adding entries chooses none of them
        QCOMPARE(m_combo->Text(), QString());
        QCOMPARE(m_combo->ItemData(9), 0);
        QCOMPARE(m_combo->List(-1), QString());
        m_combo->SetItemData(9, 1); // out of range: ignored
        m_combo->SetText(QStringLiteral("typed"));
        m_combo->Clear();
        QCOMPARE(m_combo->ListCount(), 0);
        QCOMPARE(m_combo->NewIndex(), -1);
        QCOMPARE(m_combo->Text(), QStringLiteral("typed")); // the search text stays
    }

    void listIndexSetByCode_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("set");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::newRow("an entry") << -1 << 2 << 1 << 2 << QStringLiteral("Baker");
        QTest::newRow("the same entry again") << 2 << 2 << 1 << 2 << QStringLiteral("Baker");
        QTest::newRow("none after an entry") << 2 << -1 << 1 << -1 << QStringLiteral("Baker");
        QTest::newRow("none again") << -1 << -1 << 0 << -1 << QStringLiteral("typed");
        QTest::newRow("past the end") << 1 << 7 << 0 << 1 << QStringLiteral("Abel & Sons");
    }
    void listIndexSetByCode()
    {
        QFETCH(int, start);
        QFETCH(int, set);
        QFETCH(int, clicks);
        QFETCH(int, index);
        QFETCH(QString, text);
        fillCombo();
        m_combo->SetText(QStringLiteral("typed"));
        if (start >= 0)
            m_combo->SetListIndex(start);
        QSignalSpy click(m_combo, &ComboBox::Click);
        QSignalSpy change(m_combo, &ComboBox::Change);
        m_combo->SetListIndex(set);
        QCOMPARE(click.count(), clicks);
        QCOMPARE(change.count(), 0);
        QCOMPARE(m_combo->ListIndex(), index);
        QCOMPARE(m_combo->Text(), text);
    }

    void typingRaisesChangeButCodeDoesNot()
    {
        fillCombo();
        m_combo->SetListIndex(2);
        m_combo->SetFocus();
        QSignalSpy change(m_combo, &ComboBox::Change);
        m_combo->SetText(QStringLiteral("by code"));
        QCOMPARE(change.count(), 0);
        QCOMPARE(m_combo->ListIndex(), -1); // the text is no entry any more
        m_combo->SetListIndex(2);
        QTest::keyClick(m_combo, Qt::Key_End);
        QTest::keyClicks(m_combo, QStringLiteral("x"));
        QCOMPARE(change.count(), 1);
        QCOMPARE(m_combo->Text(), QStringLiteral("Bakerx"));
        QCOMPARE(m_combo->ListIndex(), -1);
        QCOMPARE(m_combo->SelStart(), 6);
        m_combo->SetSelStart(2);
        QTest::keyClicks(m_combo, QStringLiteral("Q"));
        QCOMPARE(m_combo->Text(), QStringLiteral("BaQkerx"));
    }

    void typeAheadKeepsTypingWhileTheListIsShown()
    {
        connect(m_combo, &ComboBox::Change, this, [this] { refill(*m_combo); });
        m_combo->SetFocus();
        QTest::keyClicks(m_combo, QStringLiteral("ab"));
        QCOMPARE(m_combo->Text(), QStringLiteral("ab"));
        QVERIFY(m_combo->DroppedState());
        QTRY_VERIFY(m_combo->DropDown()->isVisible());
        QCOMPARE(m_combo->ListCount(), 4); // Abbott, Abel & Sons, Cabot, Zabka
        // The list is up, yet the keyboard is still the edit field's.
        QVERIFY(m_combo->hasFocus());
        QCOMPARE(QApplication::activeWindow(), m_window.get());
        QCOMPARE(QApplication::focusWidget(), m_combo);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("o"));
        QCOMPARE(m_combo->Text(), QStringLiteral("abo"));
        QCOMPARE(m_combo->ListCount(), 1);
        QCOMPARE(m_combo->DropDown()->count(), 1);
        QCOMPARE(m_combo->SelStart(), 3);
        QCOMPARE(m_combo->ListIndex(), -1);
        // The list sits right under the box.
        const QPoint under = m_combo->mapToGlobal(QPoint(0, m_combo->height()));
        QCOMPARE(m_combo->DropDown()->geometry().topLeft(), under);
        const QString dir = qEnvironmentVariable("TESR_SNAPSHOT_DIR");
        if (!dir.isEmpty()) {
            QTest::keyClick(m_combo, Qt::Key_Backspace); // "ab": four entries
            QTest::keyClick(m_combo, Qt::Key_Down);
            m_window->grab().save(dir + QStringLiteral("/combo-field.png"));
            m_combo->DropDown()->grab().save(dir + QStringLiteral("/combo-list.png"));
        }
    }

    void choosingAnEntry_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("chosen");
        QTest::newRow("click in the list") << QStringLiteral("click") << 3;
        QTest::newRow("arrows and Enter") << QStringLiteral("keys") << 1;
        QTest::newRow("Escape chooses nothing") << QStringLiteral("escape") << -1;
    }
    void choosingAnEntry()
    {
        QFETCH(QString, how);
        QFETCH(int, chosen);
        fillCombo();
        m_combo->SetFocus();
        QTest::keyClick(m_combo, Qt::Key_Down, Qt::AltModifier); // open the list
        QVERIFY(m_combo->DroppedState());
        QTRY_VERIFY(m_combo->DropDown()->isVisible());
        bool droppedAtClick = true;
        int clicks = 0;
        connect(m_combo, &ComboBox::Click, this, [&] {
            ++clicks;
            droppedAtClick = m_combo->DroppedState();
        });
        QListWidget* list = m_combo->DropDown();
        if (how == QLatin1String("click")) {
            const QRect r = list->visualItemRect(list->item(chosen));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
        } else if (how == QLatin1String("keys")) {
            QTest::keyClick(m_combo, Qt::Key_Down);
            QTest::keyClick(m_combo, Qt::Key_Down);
            QTest::keyClick(m_combo, Qt::Key_Return);
        } else {
            QTest::keyClick(m_combo, Qt::Key_Escape);
        }
        QVERIFY(!m_combo->DroppedState());
        QVERIFY(!list->isVisible());
        QCOMPARE(m_combo->ListIndex(), chosen);
        QCOMPARE(clicks, chosen >= 0 ? 1 : 0);
        if (chosen >= 0) {
            QVERIFY(!droppedAtClick); // the screens ignore clicks while the list is open
            QCOMPARE(m_combo->Text(), kCustomers[chosen]);
            QCOMPARE(m_combo->ItemData(m_combo->ListIndex()), 100 + chosen);
        }
        QVERIFY(m_combo->hasFocus());
    }

    void arrowsStepThroughTheClosedList()
    {
        fillCombo();
        m_combo->SetFocus();
        QSignalSpy click(m_combo, &ComboBox::Click);
        QTest::keyClick(m_combo, Qt::Key_Down);
        QCOMPARE(m_combo->ListIndex(), 0);
        QTest::keyClick(m_combo, Qt::Key_Down);
        QTest::keyClick(m_combo, Qt::Key_Up);
        QCOMPARE(m_combo->ListIndex(), 0);
        QCOMPARE(click.count(), 3);
        QVERIFY(!m_combo->DroppedState());
    }

    void theListClosesWhenTheUserGoesElsewhere_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("click on another control") << QStringLiteral("click");
        QTest::newRow("Tab") << QStringLiteral("tab");
        QTest::newRow("disabled by code") << QStringLiteral("disable");
    }
    void theListClosesWhenTheUserGoesElsewhere()
    {
        QFETCH(QString, how);
        fillCombo();
        m_combo->SetFocus();
        m_combo->SetDroppedState(true);
        QTRY_VERIFY(m_combo->DropDown()->isVisible());
        if (how == QLatin1String("click"))
            QTest::mouseClick(m_next, Qt::LeftButton);
        else if (how == QLatin1String("tab"))
            QTest::keyClick(m_combo, Qt::Key_Tab);
        else
            m_combo->SetEnabled(false);
        QVERIFY(!m_combo->DroppedState());
        QVERIFY(!m_combo->DropDown()->isVisible());
    }

    void pickOnlyStyle()
    {
        m_combo->SetComboStyle(ComboBox::DropDownList);
        fillCombo();
        m_combo->SetFocus();
        QSignalSpy click(m_combo, &ComboBox::Click);
        QTest::keyClicks(m_combo, QStringLiteral("c"));
        QCOMPARE(m_combo->ListIndex(), 3);
        QCOMPARE(m_combo->Text(), QStringLiteral("Cabot"));
        QTest::keyClicks(m_combo, QStringLiteral("a"));
        QCOMPARE(m_combo->Text(), QStringLiteral("Abbott"));
        QTest::keyClicks(m_combo, QStringLiteral("a")); // the next entry with that letter
        QCOMPARE(m_combo->Text(), QStringLiteral("Abel & Sons"));
        QTest::keyClick(m_combo, Qt::Key_End);
        QCOMPARE(m_combo->Text(), QStringLiteral("Zabka"));
        QCOMPARE(click.count(), 4);
        m_combo->SetText(QStringLiteral("baker")); // chooses the entry, without a click
        QCOMPARE(m_combo->ListIndex(), 2);
        QCOMPARE(m_combo->Text(), QStringLiteral("Baker"));
        m_combo->SetText(QStringLiteral("nobody"));
        QCOMPARE(m_combo->ListIndex(), 2);
        QCOMPARE(click.count(), 4);
        QTest::mouseClick(m_combo, Qt::LeftButton);
        QVERIFY(m_combo->DroppedState());
    }

    void comboFocusNotifications()
    {
        m_next->setFocus(Qt::TabFocusReason); // the window started with the focus in the box
        QStringList seen;
        connect(m_combo, &ComboBox::GotFocus, this, [&] { seen << QStringLiteral("got:") + m_combo->Text(); });
        connect(m_combo, &ComboBox::Validate, this, [&](bool&) { seen << QStringLiteral("validate"); });
        connect(m_combo, &ComboBox::LostFocus, this, [&] { seen << QStringLiteral("lost"); });
        m_combo->SetText(QStringLiteral("Ba"));
        m_combo->SetFocus();
        m_next->setFocus(Qt::TabFocusReason);
        QCOMPARE(seen, (QStringList{"got:Ba", "validate", "lost"}));
        // The first control of a window that is shown gets the focus too.
        seen.clear();
        QDialog second;
        auto* first = new ComboBox(&second);
        connect(first, &ComboBox::GotFocus, this, [&] { seen << QStringLiteral("first got"); });
        second.show();
        second.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&second));
        QTRY_COMPARE(seen, QStringList{QStringLiteral("first got")});
        // ... and switching windows and back is neither a loss nor a gain.
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        second.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&second));
        QCOMPARE(seen, QStringList{QStringLiteral("first got")});
    }

    // ---- leave checks and buttons -----------------------------------------------------------

    void leavingAFieldChecksItOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<bool>("focusStays");
        QTest::newRow("Tab") << "tab" << false << QStringList{"validate", "lost"} << false;
        QTest::newRow("Enter on the default button") << "enter" << false << QStringList{"validate", "ok"} << true;
        QTest::newRow("mnemonic") << "mnemonic" << false << QStringList{"validate", "ok"} << true;
        QTest::newRow("mouse on the button") << "mouse" << false << QStringList{"validate", "lost", "ok"} << false;
        QTest::newRow("button that takes no focus") << "nofocus" << false << QStringList{"validate", "ok"} << true;
        QTest::newRow("Cancel checks nothing") << "cancel" << false << QStringList{"lost", "cancel"} << false;
        QTest::newRow("refused Tab") << "tab" << true << QStringList{"validate"} << true;
        QTest::newRow("refused Enter") << "enter" << true << QStringList{"validate"} << true;
        QTest::newRow("refused mnemonic") << "mnemonic" << true << QStringList{"validate"} << true;
        QTest::newRow("refused mouse") << "mouse" << true << QStringList{"validate"} << true;
        QTest::newRow("refused, button without focus") << "nofocus" << true << QStringList{"validate"} << true;
    }
    void leavingAFieldChecksItOnce()
    {
        QFETCH(QString, how);
        QFETCH(bool, refuse);
        QFETCH(QStringList, log);
        QFETCH(bool, focusStays);
        connect(m_edit, &FlatEdit::Validate, this, [refuse](bool& cancel) { cancel = refuse; });
        m_cancel->SetCausesValidation(false);
        m_edit->SetFocus();
        QTest::keyClicks(m_edit, QStringLiteral("13"));
        if (how == QLatin1String("tab")) {
            QTest::keyClick(m_edit, Qt::Key_Tab);
        } else if (how == QLatin1String("enter")) {
            QTest::keyClick(m_edit, Qt::Key_Return);
        } else if (how == QLatin1String("mnemonic")) {
            QTest::keyClick(m_edit, Qt::Key_O, Qt::AltModifier);
            QTest::qWait(250); // the button's pressed look lasts a moment before its click
        } else if (how == QLatin1String("mouse")) {
            QTest::mouseClick(m_ok, Qt::LeftButton);
        } else if (how == QLatin1String("nofocus")) {
            m_ok->setFocusPolicy(Qt::NoFocus);
            QTest::mouseClick(m_ok, Qt::LeftButton);
        } else {
            QTest::mouseClick(m_cancel, Qt::LeftButton);
        }
        QTest::qWait(20);
        QCOMPARE(m_log, log);
        QCOMPARE(m_edit->hasFocus(), focusStays);
        // The visit was checked: once the focus moves on nothing is checked twice, a refused one
        // is checked again at the next leave.
        m_log.clear();
        m_next->setFocus(Qt::TabFocusReason);
        if (refuse)
            QCOMPARE(m_log.first(), QStringLiteral("validate"));
        else if (focusStays)
            QCOMPARE(m_log, QStringList{QStringLiteral("lost")});
        else
            QCOMPARE(m_log, QStringList());
    }

    void aLaterEnterAfterARefusalStillClicks()
    {
        bool refuse = true;
        connect(m_edit, &FlatEdit::Validate, this, [&refuse](bool& cancel) { cancel = refuse; });
        m_edit->SetFocus();
        QTest::mouseClick(m_ok, Qt::LeftButton); // refused: the focus comes back
        QCOMPARE(m_log, QStringList{QStringLiteral("validate")});
        refuse = false;
        QTest::keyClick(m_edit, Qt::Key_Return);
        QCOMPARE(m_log, (QStringList{"validate", "validate", "ok"}));
    }

    void anotherWindowIsNoLeave()
    {
        m_edit->SetFocus();
        QWidget other;
        other.resize(100, 100);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QCOMPARE(m_log, QStringList());
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTRY_VERIFY(m_edit->hasFocus());
        QTest::keyClick(m_edit, Qt::Key_Tab);
        QCOMPARE(m_log, (QStringList{"validate", "lost"}));
    }

    void buttonProperties()
    {
        QCOMPARE(m_ok->Caption(), QStringLiteral("&OK"));
        m_ok->SetCaption(QStringLiteral("Save"));
        QCOMPARE(m_ok->text(), QStringLiteral("Save"));
        m_ok->SetEnabled(false);
        QVERIFY(!m_ok->Enabled());
        QTest::mouseClick(m_ok, Qt::LeftButton);
        QCOMPARE(m_log, QStringList());
        m_ok->SetVisible(false);
        QVERIFY(!m_ok->Visible());
        QVERIFY(m_cancel->Visible());
        QVERIFY(m_cancel->CausesValidation());
        QCOMPARE(m_edit->Left(), 10);
        QCOMPARE(m_edit->Top(), 50);
        QCOMPARE(m_edit->Height(), 24);
        m_edit->SetEnabled(false);
        QVERIFY(!m_edit->Enabled());
    }

    // ---- layout -----------------------------------------------------------------------------

    void resizerFollowsTheAnchors_data()
    {
        QTest::addColumn<int>("anchors");
        QTest::addColumn<QRect>("expected");
        // Design client 200x100, control at 10,10 50x20; the window grows by 100 x 60.
        QTest::newRow("top left") << int(Resizer::AnchorLeft | Resizer::AnchorTop) << QRect(10, 10, 50, 20);
        QTest::newRow("all edges") << int(Resizer::All()) << QRect(10, 10, 150, 80);
        QTest::newRow("bottom right") << int(Resizer::AnchorRight | Resizer::AnchorBottom) << QRect(110, 70, 50, 20);
        QTest::newRow("left and right, bottom")
            << int(Resizer::AnchorLeft | Resizer::AnchorRight | Resizer::AnchorBottom) << QRect(10, 70, 150, 20);
        QTest::newRow("no anchors: with the centre") << 0 << QRect(60, 40, 50, 20);
    }
    void resizerFollowsTheAnchors()
    {
        QFETCH(int, anchors);
        QFETCH(QRect, expected);
        QWidget form;
        form.resize(200, 100);
        Resizer resizer(&form, QSize(200, 100));
        auto* control = new QLabel(QStringLiteral("x"), &form);
        resizer.Add(control, 10, 10, 50, 20, Resizer::Anchors(anchors));
        QCOMPARE(control->geometry(), QRect(10, 10, 50, 20));
        form.show();
        form.resize(300, 160);
        QTRY_COMPARE(control->geometry(), expected);
        QCOMPARE(form.minimumSize(), QSize(200, 100));
        form.resize(150, 50); // never smaller than designed
        QCOMPARE(form.size(), QSize(200, 100));
        QCOMPARE(control->geometry(), QRect(10, 10, 50, 20));
    }

    void groupBoxFrameOrDivider()
    {
        GroupBox frame(m_window.get());
        frame.setGeometry(5, 5, 200, 80);
        frame.show();
        QCOMPARE(frame.frameShape(), QFrame::StyledPanel);
        GroupBox line(m_window.get());
        line.setGeometry(5, 190, 300, 2);
        line.show();
        QCOMPARE(line.frameShape(), QFrame::HLine);
        frame.SetAppearance(GroupBox::Divider);
        QCOMPARE(frame.frameShape(), QFrame::HLine);
    }
};

TESR_TEST_MAIN(TestFormControls)
#include "tst_formcontrols.moc"
