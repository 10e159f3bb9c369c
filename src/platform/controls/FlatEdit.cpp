#include "platform/controls/FlatEdit.h"

#include <QFocusEvent>

namespace tesr {

FlatEdit::FlatEdit(QWidget* parent) : EditField(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this] { emit Change(); });
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
