#pragma once

// A one-line edit box: its text, enabled state, position and size, and the check that runs when
// the user leaves it (see ValidatingField).

#include "platform/HelperTools.h"
#include "platform/controls/ValidatingField.h"

#include <QLineEdit>

namespace tesr {

class FlatEdit : public QLineEdit, public TextField, public ValidatingField {
    Q_OBJECT
public:
    explicit FlatEdit(QWidget* parent = nullptr);

    QString Text() const override { return text(); }
    void SetText(const QString& text) override { setText(text); }
    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool enabled) { setEnabled(enabled); }
    // Position and size in the form's client pixels.
    int Left() const { return x(); }
    int Top() const { return y(); }
    int Width() const { return width(); }
    int Height() const { return height(); }
    void Move(int left, int top, int width, int height) { setGeometry(left, top, width, height); }
    void SetFocus() { setFocus(Qt::OtherFocusReason); }

signals:
    // The user leaves the box; setting cancel keeps the focus in it.
    void Validate(bool& cancel);
    void GotFocus();
    void LostFocus();
    // The user changed the text (not raised when code sets it).
    void Change();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void raiseValidate(bool& cancel) override { emit Validate(cancel); }
    QWidget* fieldWidget() override { return this; }
};

} // namespace tesr
