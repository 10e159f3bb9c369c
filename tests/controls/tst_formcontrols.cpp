// The form controls driven by keyboard and mouse: the combo box with its non-modal list, the
// check on leave that runs before a button's click, the resizer and the group box.

#include "support/Shorthand.h"
#include "support/TestMain.h"

#include "platform/controls/ComboBox.h"
#include "platform/controls/FlatEdit.h"
#include "platform/controls/Form.h"
#include "platform/controls/PushButton.h"
#include "platform/controls/Resizer.h"

#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QTimer>

#include <memory>

using namespace tesr;
using tesrtest::fields;
using tesrtest::showActive;
using namespace Qt::StringLiterals;

// A form unloaded while it is being shown, before its modal loop runs (as a first activation
// reported at once, which lets events through, can do).
class UnloadedWhileShown : public tesr::Form {
public:
    UnloadedWhileShown() { SetupWindow("frmProbe", "Probe", 200, 100); }

protected:
    void showEvent(QShowEvent* e) override
    {
        tesr::Form::showEvent(e);
        Unload();
    }
};

class TestFormControls : public QObject {
    Q_OBJECT

    std::unique_ptr<QDialog> m_window;
    ComboBox* m_combo = nullptr;
    FlatEdit* m_edit = nullptr;
    FlatEdit* m_next = nullptr;
    PushButton* m_ok = nullptr;
    PushButton* m_cancel = nullptr;
    QStringList m_log;

private slots:
    void init()
    {
        m_log.clear();
        m_window = std::make_unique<QDialog>();
        m_window->resize(420, 240);
        (m_combo = new ComboBox(m_window.get()))->setGeometry(10, 10, 200, 24);
        (m_edit = new FlatEdit(m_window.get()))->Move(10, 50, 80, 24);
        (m_next = new FlatEdit(m_window.get()))->Move(100, 50, 80, 24);
        (m_ok = new PushButton(u"&OK"_s, m_window.get()))->setGeometry(10, 200, 80, 26);
        (m_cancel = new PushButton(u"Cancel"_s, m_window.get()))->setGeometry(100, 200, 80, 26);
        m_ok->setDefault(true);
        connect(m_edit, &FlatEdit::Validate, this, [this](bool&) { m_log << "validate"; });
        connect(m_edit, &FlatEdit::LostFocus, this, [this] { m_log << "lost"; });
        connect(m_ok, &PushButton::Click, this, [this] { m_log << "ok"; });
        connect(m_cancel, &PushButton::Click, this, [this] { m_log << "cancel"; });
        QVERIFY(showActive(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    // Steps on a box holding five customers (entry data 100 + index), then its state:
    // ListIndex|Text|Clicks|Changes|open. Code choosing an entry raises Click like the user
    // does; only the user's edits raise Change; Click never comes while the list is open.
    void combo_data()
    {
        tesrtest::rows({"code chooses an entry|code:2|2|Baker|1|0|0",
                        "text set by code is no entry|code:2 text:by|-1|by|1|0|0",
                        "typing is a change|code:2 key:End type:x|-1|Bakerx|1|1|0",
                        "click in the open list|alt:Down pick:3|3|Cabot|1|0|0",
                        "arrows and Enter in the open list|alt:Down key:Down key:Down key:Return|1|Abel & Sons|1|0|0",
                        "Escape chooses nothing|alt:Down key:Down key:Escape|-1||0|0|0",
                        "arrows step through the closed list|key:Down key:Down key:Up|0|Abbott|3|0|0",
                        "a click elsewhere closes the list|alt:Down away|-1||0|0|0",
                        "pick-only: a letter, again for the next|pick type:c type:a type:a|1|Abel & Sons|3|0|0",
                        "pick-only: text by code chooses silently|pick text:baker text:nobody|2|Baker|0|0|0",
                        "pick-only: a click opens the list|pick click|-1||0|0|1"});
    }
    void combo()
    {
        const QStringList f = fields();
        if (f[0].startsWith("pick"))
            m_combo->SetComboStyle(ComboBox::DropDownList);
        for (const char* name : {"Abbott", "Abel & Sons", "Baker", "Cabot", "Zabka"}) {
            m_combo->AddItem(QString::fromUtf8(name));
            m_combo->SetItemData(m_combo->NewIndex(), 100 + m_combo->NewIndex());
        }
        m_combo->SetFocus();
        QSignalSpy clicks(m_combo, &ComboBox::Click);
        QSignalSpy changes(m_combo, &ComboBox::Change);
        int clicksWhileOpen = 0;
        connect(m_combo, &ComboBox::Click, this, [&] { clicksWhileOpen += m_combo->DroppedState(); });
        QListWidget* list = m_combo->DropDown();
        for (const QString& step : f[0].split(u' ')) {
            const QString arg = step.section(u':', 1);
            if (step.startsWith("code:"))
                m_combo->SetListIndex(arg.toInt());
            else if (step.startsWith("text:"))
                m_combo->SetText(arg);
            else if (step.startsWith("type:"))
                QTest::keyClicks(m_combo, arg);
            else if (step.startsWith("key:") || step.startsWith("alt:"))
                QTest::keyClick(m_combo, Qt::Key(QMetaEnum::fromType<Qt::Key>().keyToValue(qPrintable("Key_" + arg))),
                                step.startsWith("alt:") ? Qt::AltModifier : Qt::NoModifier);
            else if (step.startsWith("pick:"))
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                                  list->visualItemRect(list->item(arg.toInt())).center());
            else if (step == "click" || step == "away")
                QTest::mouseClick(step == "click" ? static_cast<QWidget*>(m_combo) : m_next, Qt::LeftButton);
            // The open list leaves the keyboard with the box and the window active.
            if (m_combo->DroppedState())
                QVERIFY(m_combo->hasFocus() && !QApplication::activePopupWidget() &&
                        QApplication::activeWindow() == m_window.get());
        }
        const QStringList now{QString::number(m_combo->ListIndex()), m_combo->Text(), QString::number(clicks.count()),
                              QString::number(changes.count()), QString::number(m_combo->DroppedState())};
        QCOMPARE(now, f.mid(1));
        QTRY_COMPARE(list->isVisible(), m_combo->DroppedState());
        QCOMPARE(clicksWhileOpen, 0);
        if (m_combo->ListIndex() >= 0)
            QCOMPARE(m_combo->ItemData(m_combo->ListIndex()), 100 + m_combo->ListIndex());
    }

    // A field is checked once per visit, before any button's click; a refusal keeps the focus
    // and drops the click ("/": the focus stayed), and the field is checked again at the next leave.
    void leavingAFieldChecksItFirst_data()
    {
        QStringList table{"Tab|tab|validate lost",
                          "Enter on the default button|enter|validate ok / lost",
                          "mnemonic|mnemonic|validate ok / lost",
                          "mouse on the button|mouse|validate lost ok",
                          "button that takes no focus|nofocus|validate ok / lost",
                          "Cancel checks nothing|cancel|lost cancel"};
        for (const char* how : {"tab", "enter", "mnemonic", "mouse", "nofocus"})
            table << u"refused %1|%1|validate / validate lost|refuse"_s.arg(QLatin1String(how));
        tesrtest::rows(table);
    }
    void leavingAFieldChecksItFirst()
    {
        const QStringList f = fields();
        bool refusing = f.size() > 2;
        connect(m_edit, &FlatEdit::Validate, this, [&refusing](bool& cancel) { cancel = refusing; });
        m_cancel->SetCausesValidation(false);
        m_edit->SetFocus();
        QTest::keyClicks(m_edit, u"13"_s);
        if (f[0] == "tab" || f[0] == "enter")
            QTest::keyClick(m_edit, f[0] == "tab" ? Qt::Key_Tab : Qt::Key_Return);
        else if (f[0] == "mnemonic")
            QTest::keyClick(m_edit, Qt::Key_O, Qt::AltModifier);
        else if (f[0] == "nofocus")
            m_ok->setFocusPolicy(Qt::NoFocus);
        if (f[0] == "mouse" || f[0] == "nofocus" || f[0] == "cancel")
            QTest::mouseClick(f[0] == "cancel" ? m_cancel : m_ok, Qt::LeftButton);
        QTest::qWait(f[0] == "mnemonic" ? 250 : 20); // the button's pressed look lasts a moment before its click
        if (m_edit->hasFocus()) {                    // then leave for good
            m_log << "/";
            refusing = false;
            m_next->setFocus(Qt::TabFocusReason);
        }
        QCOMPARE(m_log.join(u' '), f[1]);
    }

    void unloadWhileShownEndsTheModalShow()
    {
        UnloadedWhileShown form;
        bool rescued = false;
        // The watchdog: a loop behind a hidden window only ends once the window is back and hides.
        QTimer::singleShot(3000, &form, [&] {
            rescued = true;
            form.setVisible(true);
            form.QDialog::done(0);
        });
        form.Load();
        form.ShowModal();
        QVERIFY2(!rescued, "the form was unloaded, yet its modal show went on behind no window");
        QVERIFY(!form.isVisible());
    }

    // Anchored on all edges a control grows with the window; smaller than designed is refused.
    void resizerFollowsTheAnchors()
    {
        QWidget form;
        form.resize(200, 100);
        Resizer resizer(&form, QSize(200, 100));
        auto* control = new QLabel(u"x"_s, &form);
        resizer.Add(control, 10, 10, 50, 20, Resizer::All());
        form.show();
        form.resize(300, 160);
        QTRY_COMPARE(control->geometry(), QRect(10, 10, 150, 80));
        form.resize(150, 50);
        QCOMPARE(form.size(), QSize(200, 100));
        QCOMPARE(control->geometry(), QRect(10, 10, 50, 20));
    }
};

TESR_TEST_MAIN(TestFormControls)
#include "tst_formcontrols.moc"
