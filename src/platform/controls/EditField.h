#pragma once

// What the edit box (FlatEdit) and the combo box (ComboBox, itself an edit field) share: a
// one-line field holding text, the check that runs when the user leaves it (see
// ValidatingField), and the notifications of the focus coming and going.

#include "platform/HelperTools.h"
#include "platform/controls/ValidatingField.h"

#include <QLineEdit>

namespace tesr {

class EditField : public QLineEdit, public TextField, public ValidatingField {
    Q_OBJECT
public:
    explicit EditField(QWidget* parent = nullptr) : QLineEdit(parent) {}

    QString Text() const override { return text(); }
    bool Enabled() const { return isEnabled(); }
    void SetFocus() { setFocus(Qt::OtherFocusReason); }

signals:
    void GotFocus();
    void LostFocus();
    // The user leaves the field; setting cancel keeps the focus in it.
    void Validate(bool& cancel);
    // The user edited the text (code setting it raises nothing).
    void Change();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // What the field does as the focus goes, before the check of the visit runs.
    virtual void focusLeaving(QFocusEvent*) {}
    void raiseValidate(bool& cancel) override { emit Validate(cancel); }
    QWidget* fieldWidget() override { return this; }
};

} // namespace tesr
