#pragma once

// What the window system of a real desktop (X11 with a window manager) says about the
// program's windows, read the way a user's tools read it (xprop, from x11-utils): where their
// frames are, which lies above which, the titles the window manager shows.

#include <QList>
#include <QRect>
#include <QString>

class QWidget;

namespace tesrtest {

// The outer frame as the window system has it (QWidget's own account lags behind for a while
// after the window manager has framed a window).
QRect frameOf(const QWidget* w);
// Waits until the window is on the screen, framed, and its frame has kept still for a moment
// (a window manager places a new window in steps).
bool waitFramed(const QWidget* w, int timeoutMs = 5000);
// The windows the window manager manages, bottom to top (_NET_CLIENT_LIST_STACKING).
QList<quint64> stackingOrder();
// True when `upper` lies above `lower` in the window manager's stacking order.
bool stacksAbove(const QWidget* upper, const QWidget* lower);
// The title the window manager shows for the window (_NET_WM_NAME).
QString titleOnScreen(const QWidget* w);

} // namespace tesrtest
