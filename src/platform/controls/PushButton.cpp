#include "platform/controls/PushButton.h"

#include "platform/controls/Access.h"
#include "platform/controls/ValidatingField.h"

namespace tesr {

PushButton::PushButton(QWidget* parent) : PushButton(QString(), parent) {}

PushButton::PushButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent)
{
    // Enter presses the button that has the focus, as Space does; anywhere else it goes to the
    // window's default button, which stays the same whichever button has the focus.
    setAutoDefault(false);
    access::PressOnEnter(this);
    connect(this, &QPushButton::clicked, this, &PushButton::clickedByUser);
}

void PushButton::clickedByUser()
{
    // The press (mouse or mnemonic) moved the focus here and the field refused to let it go.
    if (ValidatingField::ConsumeRefusal(this))
        return;
    // Enter on a default button, or a button that takes no focus: the field is still being
    // edited and is checked now.
    if (m_causesValidation && !ValidatingField::ValidateFocusedField(window()))
        return;
    emit Click();
}

} // namespace tesr
