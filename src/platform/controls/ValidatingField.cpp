#include "platform/controls/ValidatingField.h"

#include <QApplication>
#include <QFocusEvent>

namespace tesr {

namespace {
// The control the focus was moving to when the last check refused the leave.
QPointer<QWidget> g_refusedTarget;

bool leavesForGood(Qt::FocusReason reason)
{
    // Another window taking the focus, or a pop-up of the field's own, is not a leave.
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}
} // namespace

bool ValidatingField::ConsumeRefusal(const QWidget* target)
{
    if (!target || g_refusedTarget != target)
        return false;
    g_refusedTarget = nullptr;
    return true;
}

void ValidatingField::NoteUserInput()
{
    g_refusedTarget = nullptr;
}

bool ValidatingField::RunPendingValidation()
{
    return runValidation(nullptr);
}

bool ValidatingField::runValidation(QWidget* leavingFor)
{
    if (!m_pending || m_running)
        return true;
    g_refusedTarget = nullptr;
    m_pending = false;
    m_running = true;
    bool cancel = false;
    QPointer<QWidget> self(fieldWidget());
    raiseValidate(cancel);
    if (!self)
        return !cancel;
    m_running = false;
    if (cancel) {
        m_pending = true; // still the same visit: the next leave checks again
        QWidget* w = self;
        // The control the leave was heading for: a message the check showed has moved the
        // focus about since (and may have left none at all while its window hands the
        // activation back), so it is the one named when the leave began.
        g_refusedTarget = leavingFor;
        QWidget* now = w->window()->focusWidget();
        if (now != w && !(now && w->isAncestorOf(now))) {
            // Put the focus back at once, before the press that moved it is delivered.
            w->setFocus(Qt::OtherFocusReason);
        }
    }
    return !cancel;
}

bool ValidatingField::handleFocusIn(QFocusEvent*)
{
    // Every visit is checked once when it ends, whether or not the text was changed.
    m_pending = true;
    if (m_hasFocus)
        return false; // back from another window: the same visit
    m_hasFocus = true;
    return true;
}

bool ValidatingField::handleFocusOut(QFocusEvent* event)
{
    if (!leavesForGood(event->reason()))
        return false;
    QWidget* self = fieldWidget();
    QWidget* next = QApplication::focusWidget();
    if (next && (next == self || self->isAncestorOf(next)))
        return false;
    if (next && next->window() != self->window())
        return false;
    const QVariant causes = next ? next->property("causesValidation") : QVariant();
    // Moving to a control that causes no check leaves unchecked; the next real leave checks.
    const bool check = !causes.isValid() || causes.toBool();
    if (check && !runValidation(next))
        return false;
    m_hasFocus = false;
    return true;
}

bool ValidatingField::ValidateFocusedField(QWidget* window)
{
    // The window's own focus, whether or not the window is active just now (a message a check
    // showed may still be handing the activation back).
    QWidget* w = window ? window->window()->focusWidget() : nullptr;
    if (!w)
        return true;
    for (int depth = 0; w && depth < 4; ++depth, w = w->parentWidget()) {
        if (auto* field = dynamic_cast<ValidatingField*>(w))
            return field->RunPendingValidation();
    }
    return true;
}

} // namespace tesr
