#include "shared/modSharedWork.h"

#include "platform/HelperTools.h"

#include <QApplication>
#include <QEvent>
#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <array>
#include <optional>

namespace tesr::modSharedWork {

namespace {

// Largest coordinate or extent a widget takes (QWIDGETSIZE_MAX); beyond it a stored number is
// junk, not a place.
constexpr qint64 PixelLimit = 16777215;

qint64 divRound(qint64 num, qint64 den)
{
    // Nearest, halves away from zero; den > 0.
    return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

int dpiX(const QWidget& w)
{
    const int dpi = w.logicalDpiX();
    return dpi > 0 ? dpi : 96;
}

int dpiY(const QWidget& w)
{
    const int dpi = w.logicalDpiY();
    return dpi > 0 ? dpi : 96;
}

std::optional<int> wholeNumber(const QString& piece)
{
    const QString p = piece.trimmed();
    qsizetype i = (p.startsWith(u'-') || p.startsWith(u'+')) ? 1 : 0;
    if (i >= p.size() || p.size() - i > 10)
        return std::nullopt;
    for (qsizetype k = i; k < p.size(); ++k)
        if (p[k] < u'0' || p[k] > u'9')
            return std::nullopt;
    bool ok = false;
    const int value = p.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// The frame the window manager puts round a window, as it is now: the window system's own
// account (QWidget's can lag behind by seconds after a window is framed).
QRect outerFrame(const QWidget& form)
{
    const QWindow* window = form.windowHandle();
    return window && form.isVisible() ? window->frameGeometry() : form.frameGeometry();
}

// The frame the desktop gives a window, before this one has one: the last seen, or that of a
// framed window on the screen (the window manager frames every window of the module alike).
QMargins& lastFrameMargins()
{
    static QMargins margins;
    return margins;
}

QMargins expectedFrameMargins(const QWidget& form)
{
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        const QWindow* window = w != &form && w->isVisible() ? w->windowHandle() : nullptr;
        if (window && window->isExposed() && !window->frameMargins().isNull())
            lastFrameMargins() = window->frameMargins();
    }
    return lastFrameMargins();
}

// Puts the client area where the frame goes round it as stored.
void placeFrame(QWidget& form, const QRect& frame, bool restoreSize, const QMargins& margins)
{
    const QRect client = frame.marginsRemoved(margins);
    if (restoreSize)
        form.setGeometry(QRect(client.topLeft(), QSize(qMax(1, client.width()), qMax(1, client.height()))));
    else
        form.setGeometry(QRect(client.topLeft(), form.size()));
}

// A window's frame is known only once the window manager has framed it, after the window was
// shown. Until then the restored frame was placed with the frame the desktop is expected to
// give; when the window first comes on the screen this puts it right if that frame differs
// (or the window manager placed the window elsewhere), once, and lets go: whatever the user
// does with the window from then on is the user's.
class FrameKeeper final : public QObject {
public:
    FrameKeeper(QWidget& form, const QRect& frame, bool restoreSize)
        : QObject(&form), m_form(&form), m_frame(frame), m_restoreSize(restoreSize)
    {
        // A placement restored again replaces the one before.
        for (QObject* earlier : form.findChildren<QObject*>(Name, Qt::FindDirectChildrenOnly))
            delete earlier;
        setObjectName(Name);
        form.windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = qobject_cast<QWindow*>(watched);
        if (event->type() == QEvent::Expose && window && window->isExposed() && !m_done) {
            m_done = true;
            // After the window system has finished telling the window where it is.
            QTimer::singleShot(0, this, [this] {
                putRight();
                deleteLater();
            });
        }
        return false;
    }

private:
    static constexpr const char* Name = "tesrFrameKeeper";

    void putRight()
    {
        QWindow* window = m_form ? m_form->windowHandle() : nullptr;
        if (!window || !window->isExposed())
            return;
        const QMargins margins = window->frameMargins();
        if (!margins.isNull())
            lastFrameMargins() = margins;
        const QRect now = window->frameGeometry();
        const QRect wanted = m_restoreSize ? m_frame : QRect(m_frame.topLeft(), now.size());
        if (now != wanted)
            placeFrame(*m_form, wanted, m_restoreSize, margins);
    }

    QPointer<QWidget> m_form;
    QRect m_frame;
    bool m_restoreSize;
    bool m_done = false;
};

} // namespace

int pixelsToTwips(int pixels, int dotsPerInch)
{
    return int(divRound(qint64(pixels) * TwipsPerInch, dotsPerInch > 0 ? dotsPerInch : 96));
}

int twipsToPixels(int twips, int dotsPerInch)
{
    return int(divRound(qint64(twips) * (dotsPerInch > 0 ? dotsPerInch : 96), TwipsPerInch));
}

void RestoreWindowPlacement(const QString& caption, QWidget& form, bool restoreSize)
{
    const std::unique_ptr<RegistryTools> registry = helperFactory().CreateRegistryTools();
    if (!registry)
        return;
    const QString text = registry->ReadString(RegistryTools::HKEY_CURRENT_USER_ROOT,
                                              QString::fromLatin1(WindowPositionsKey), caption, QString());
    if (text.isEmpty())
        return;
    const QStringList pieces = text.split(u',');
    if (pieces.size() != 4)
        return;
    // All four numbers are read and checked before anything is set: a bad value is never
    // half applied.
    std::array<int, 4> n{};
    for (int k = 0; k < 4; ++k) {
        const std::optional<int> v = wholeNumber(pieces[k]);
        if (!v)
            return;
        n[k] = *v;
    }
    const int top = n[0];
    const int left = n[1];
    const int width = n[2];
    const int height = n[3];

    const int dx = dpiX(form);
    const int dy = dpiY(form);
    const qint64 leftPx = twipsToPixels(left, dx);
    const qint64 topPx = twipsToPixels(top, dy);
    const qint64 widthPx = twipsToPixels(width, dx);
    const qint64 heightPx = twipsToPixels(height, dy);
    if (qAbs(leftPx) > PixelLimit || qAbs(topPx) > PixelLimit || widthPx > PixelLimit || heightPx > PixelLimit)
        return;
    if (restoreSize && (widthPx <= 0 || heightPx <= 0))
        return;

    // Unusable when it would lie wholly beside, above or below the primary screen (a window
    // left on a second monitor comes back where it was designed to open).
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        const qint64 screenLeft = pixelsToTwips(area.left(), dx);
        const qint64 screenTop = pixelsToTwips(area.top(), dy);
        const qint64 screenWidth = pixelsToTwips(area.width(), dx);
        const qint64 screenHeight = pixelsToTwips(area.height(), dy);
        const qint64 relLeft = qint64(left) - screenLeft;
        const qint64 relTop = qint64(top) - screenTop;
        if (relLeft < -qint64(width) || relLeft >= screenWidth || relTop < -qint64(height) || relTop >= screenHeight)
            return;
    }

    // The stored numbers are the outer frame; a window's own geometry excludes its frame. A
    // form restored from its load handler has not been framed yet: it is placed with the frame
    // the desktop is expected to give, and put right once it is on the screen.
    form.winId();
    const QRect frame(int(leftPx), int(topPx), int(restoreSize ? widthPx : 0), int(restoreSize ? heightPx : 0));
    const bool framed = form.isVisible() && form.windowHandle() && form.windowHandle()->isExposed();
    placeFrame(form, restoreSize ? frame : QRect(frame.topLeft(), form.size()), restoreSize,
               framed ? form.windowHandle()->frameMargins() : expectedFrameMargins(form));
    if (form.windowHandle())
        new FrameKeeper(form, frame, restoreSize);
}

void SaveWindowPlacement(const QString& caption, QWidget& form)
{
    if (form.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const std::unique_ptr<RegistryTools> registry = helperFactory().CreateRegistryTools();
    if (!registry)
        return;
    const QRect frame = outerFrame(form);
    const int dx = dpiX(form);
    const int dy = dpiY(form);
    const QString text = QStringLiteral("%1,%2,%3,%4")
                             .arg(pixelsToTwips(frame.top(), dy))
                             .arg(pixelsToTwips(frame.left(), dx))
                             .arg(pixelsToTwips(frame.width(), dx))
                             .arg(pixelsToTwips(frame.height(), dy));
    registry->WriteString(RegistryTools::HKEY_CURRENT_USER_ROOT, QString::fromLatin1(WindowPositionsKey), caption,
                          text);
}

} // namespace tesr::modSharedWork
