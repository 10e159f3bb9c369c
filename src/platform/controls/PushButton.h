#pragma once

// A push button. Screens react to Click, not to QPushButton::clicked: before Click the field
// that still holds the focus runs its pending leave check (see ValidatingField), and a check
// that refuses drops the click. Enter on a focused button presses it, as Space does.

#include <QPushButton>

namespace tesr {

class PushButton : public QPushButton {
    Q_OBJECT
    // Read by the fields: moving the focus to a button that causes no validation is no leave.
    Q_PROPERTY(bool causesValidation READ CausesValidation WRITE SetCausesValidation)
public:
    explicit PushButton(QWidget* parent = nullptr);
    explicit PushButton(const QString& caption, QWidget* parent = nullptr);

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption) { setText(caption); }
    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool enabled) { setEnabled(enabled); }
    // The button's own visible flag (true for a button of a window not shown yet).
    bool Visible() const { return !isHidden(); }
    void SetVisible(bool visible) { setVisible(visible); }
    // Whether pressing the button checks the focused field first (on by default). A Cancel
    // button turns it off, so that leaving a field for it checks nothing.
    bool CausesValidation() const { return m_causesValidation; }
    void SetCausesValidation(bool on) { m_causesValidation = on; }

signals:
    void Click();

private:
    void clickedByUser();

    bool m_causesValidation = true;
};

} // namespace tesr
