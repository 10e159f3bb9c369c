#pragma once

// A one-line edit box: its text, enabled state, position and size, and the check that runs when
// the user leaves it (see EditField).

#include "platform/controls/EditField.h"

namespace tesr {

class FlatEdit : public EditField {
    Q_OBJECT
public:
    explicit FlatEdit(QWidget* parent = nullptr);

    void SetText(const QString& text) override { setText(text); }
    void SetEnabled(bool enabled) { setEnabled(enabled); }
    // Position and size in the form's client pixels.
    int Left() const { return x(); }
    int Top() const { return y(); }
    int Width() const { return width(); }
    int Height() const { return height(); }
    void Move(int left, int top, int width, int height) { setGeometry(left, top, width, height); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace tesr
