#include "host/WindowPicture.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <QWindow>

namespace tesr::host {

namespace {

void settle(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

} // namespace

QPixmap windowPicture(QWidget& window)
{
    QWindow* handle = window.windowHandle();
    if (QGuiApplication::platformName() != u"xcb" || !window.isWindow() || !handle || !handle->isVisible())
        return window.grab();
    // The manager frames a new window a moment after it is mapped: until then there are no
    // margins and the screen shows nothing of it.
    const QDeadlineTimer framed(3000);
    while (handle->frameMargins().isNull() && !framed.hasExpired())
        settle(20);
    settle(300);
    const QRect frame = handle->frameGeometry();
    return handle->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
}

} // namespace tesr::host
