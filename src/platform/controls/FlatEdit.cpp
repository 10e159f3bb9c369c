#include "platform/controls/FlatEdit.h"

#include <QFocusEvent>

namespace tesr {

FlatEdit::FlatEdit(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this] { emit Change(); });
}

void FlatEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (handleFocusIn(event))
        emit GotFocus();
}

void FlatEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (handleFocusOut(event))
        emit LostFocus();
}

void FlatEdit::keyPressEvent(QKeyEvent* event)
{
    NoteUserInput();
    QLineEdit::keyPressEvent(event);
}

void FlatEdit::mousePressEvent(QMouseEvent* event)
{
    NoteUserInput();
    QLineEdit::mousePressEvent(event);
}

} // namespace tesr
