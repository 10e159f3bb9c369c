#pragma once

// "Validate on leave" for the edit and combo boxes. A field is armed when it gets the focus and
// checks itself (raises its Validate notification) once when the user leaves it: the focus moves
// to another control of the same window, or a push button of that window is pressed while the
// field still has the focus (Enter on a default button, Alt+mnemonic, a click on a button that
// takes no focus). Moving to another window (a message box, another application) is not leaving.
// A handler that sets cancel keeps the focus in the field, and the button's click is dropped, so
// no unchecked text reaches a save.

#include <QPointer>
#include <QWidget>

#include <functional>

class QFocusEvent;

namespace tesr {

class ValidatingField {
public:
    virtual ~ValidatingField() = default;

    // Runs the check of the current visit if it has not run yet. False when a handler cancelled.
    bool RunPendingValidation();
    bool ValidationPending() const { return m_pending; }

    // The field of `window` that holds the keyboard focus runs its pending check. False when it
    // cancelled; true when it passed or there was nothing to check.
    static bool ValidateFocusedField(QWidget* window);
    // True (once) when the last check refused to let the focus move to `target`: a button
    // pressed with the mouse or its mnemonic then drops the click that took the focus there.
    static bool ConsumeRefusal(const QWidget* target);
    // The user typed or clicked in a field: an earlier refusal belongs to a finished gesture.
    static void NoteUserInput();

protected:
    // The field calls these from its focus handlers. handleFocusIn answers whether the field
    // got the focus within its window (GotFocus); switching windows and back is not that.
    // handleFocusOut answers whether the field lost it (LostFocus): not when the focus only went
    // to another window, and not when the check refused and the focus is being put back.
    bool handleFocusIn(QFocusEvent* event);
    bool handleFocusOut(QFocusEvent* event);
    // Raises the field's Validate notification.
    virtual void raiseValidate(bool& cancel) = 0;
    virtual QWidget* fieldWidget() = 0;

private:
    // The check; leavingFor is the control the focus was leaving for, if any.
    bool runValidation(QWidget* leavingFor);

    bool m_hasFocus = false; // the focus of its window, whether or not the window is active
    bool m_pending = false;
    bool m_running = false;
};

} // namespace tesr
