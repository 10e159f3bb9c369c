#include "platform/controls/EditField.h"

#include <QFocusEvent>

namespace tesr {

void EditField::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (handleFocusIn(event))
        emit GotFocus();
}

void EditField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    focusLeaving(event);
    if (handleFocusOut(event))
        emit LostFocus();
}

} // namespace tesr
