#pragma once

// Keyboard and screen-reader access for the screens' controls, added beside their fixed
// captions: a caption that is the screen's own text gets no '&', so the key that reaches the
// control is set here instead (a button is pressed, any other control gets the focus), and a
// screen reader is told the control's name (where no caption or label gives one) and what it
// does.

#include <QKeySequence>
#include <QString>

#include <initializer_list>

class QAbstractButton;
class QWidget;

namespace tesr::access {

struct Control {
    const char* objectName; // the form's child of that name
    QString description;    // what it does, for a screen reader
    QKeySequence key = {};  // a button is pressed by it, another control gets the focus
    QString name = {};      // the accessible name, where caption and label give none
};

// Alt and the key: what a control's underlined letter would be.
inline QKeySequence Alt(Qt::Key key)
{
    return QKeySequence(QKeyCombination(Qt::AltModifier, key));
}

// Describes the form's named controls; a name that is not there stops a debug build.
void Describe(QWidget* form, std::initializer_list<Control> controls);

// Enter and Return press the button while it has the focus, as Space does, without making it
// the window's default button.
void PressOnEnter(QAbstractButton* button);

// F4 and Alt+Down in the field press the button (a drop-down beside a date field).
void DropDownKeys(QWidget* field, QAbstractButton* button);

} // namespace tesr::access
