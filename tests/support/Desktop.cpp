#include "support/Desktop.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace tesrtest {

namespace {

// One property of the root window or of a window, as xprop prints it.
QString property(const QString& name, quint64 window = 0)
{
    QProcess xprop;
    QStringList args;
    if (window)
        args << QStringLiteral("-id") << QString::number(window);
    else
        args << QStringLiteral("-root");
    args << name;
    xprop.start(QStringLiteral("xprop"), args);
    if (!xprop.waitForFinished(5000) || xprop.exitCode() != 0)
        qFatal("xprop %s failed: %s", qPrintable(args.join(u' ')), xprop.readAllStandardError().constData());
    return QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
}

} // namespace

QRect frameOf(const QWidget* w)
{
    return w && w->windowHandle() ? w->windowHandle()->frameGeometry() : QRect();
}

bool waitFramed(const QWidget* w, int timeoutMs)
{
    if (!w || !QTest::qWaitForWindowExposed(w->windowHandle(), timeoutMs))
        return false;
    QElapsedTimer t;
    t.start();
    QRect last = frameOf(w);
    int still = 0;
    while (t.elapsed() < timeoutMs) {
        QTest::qWait(20);
        const QRect now = frameOf(w);
        still = now == last && w->windowHandle()->frameMargins() != QMargins() ? still + 1 : 0;
        last = now;
        if (still >= 10)
            return true;
    }
    qWarning("waitFramed: %s never kept still: %d,%d %dx%d", qPrintable(w->objectName()), last.x(), last.y(),
             last.width(), last.height());
    return false;
}

QList<quint64> stackingOrder()
{
    QList<quint64> ids;
    static const QRegularExpression id(QStringLiteral("0x[0-9a-fA-F]+"));
    const QString text = property(QStringLiteral("_NET_CLIENT_LIST_STACKING"));
    for (auto it = id.globalMatch(text.mid(text.indexOf(u'#'))); it.hasNext();)
        ids << it.next().captured().toULongLong(nullptr, 16);
    return ids;
}

bool stacksAbove(const QWidget* upper, const QWidget* lower)
{
    const QList<quint64> order = stackingOrder();
    const qsizetype up = order.indexOf(quint64(upper->winId()));
    const qsizetype low = order.indexOf(quint64(lower->winId()));
    return up >= 0 && low >= 0 && up > low;
}

QString titleOnScreen(const QWidget* w)
{
    // _NET_WM_NAME(UTF8_STRING) = "title"
    const QString text = property(QStringLiteral("_NET_WM_NAME"), quint64(w->winId()));
    const qsizetype open = text.indexOf(u'"');
    return open < 0 ? QString() : text.mid(open + 1, text.lastIndexOf(u'"') - open - 1);
}

} // namespace tesrtest
