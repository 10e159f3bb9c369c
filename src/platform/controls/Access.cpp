#include "platform/controls/Access.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QShortcut>
#include <QWidget>

namespace tesr::access {

namespace {

// Enter on a focused button: pressed there, before the window's default button sees the key.
class EnterPresses : public QObject {
public:
    explicit EnterPresses(QAbstractButton* button) : QObject(button), m_button(button) {}

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!enter || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || !m_button->isEnabled())
            return false;
        m_button->click();
        return true;
    }

private:
    QAbstractButton* m_button;
};

} // namespace

void Describe(QWidget* form, std::initializer_list<Control> controls)
{
    for (const Control& c : controls) {
        auto* w = form->findChild<QWidget*>(QString::fromLatin1(c.objectName));
        Q_ASSERT_X(w, "access::Describe", c.objectName);
        if (!w)
            continue;
        if (!c.name.isEmpty())
            w->setAccessibleName(c.name);
        QString description = c.description;
        if (!c.key.isEmpty()) {
            description += QStringLiteral(" (%1)").arg(c.key.toString(QKeySequence::NativeText));
            if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                button->setShortcut(c.key);
            } else {
                auto* shortcut = new QShortcut(c.key, form);
                shortcut->setObjectName(QStringLiteral("key_") + w->objectName());
                QObject::connect(shortcut, &QShortcut::activated, w, [w] {
                    if (w->isEnabled() && w->isVisible())
                        w->setFocus(Qt::ShortcutFocusReason);
                });
            }
        }
        w->setAccessibleDescription(description);
    }
}

void PressOnEnter(QAbstractButton* button)
{
    button->installEventFilter(new EnterPresses(button));
}

void DropDownKeys(QWidget* field, QAbstractButton* button)
{
    for (const QKeySequence& key : {QKeySequence(Qt::Key_F4), Alt(Qt::Key_Down)}) {
        auto* shortcut = new QShortcut(key, field);
        shortcut->setContext(Qt::WidgetShortcut);
        QObject::connect(shortcut, &QShortcut::activated, button, [button] {
            if (button->isEnabled())
                button->click();
        });
    }
}

} // namespace tesr::access
