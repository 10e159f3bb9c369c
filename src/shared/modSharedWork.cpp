#include "shared/modSharedWork.h"

#include "platform/HelperTools.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QStringList>
#include <QWidget>

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

    // The stored numbers are the outer frame; a window's own size excludes its frame. A form
    // restored from its load handler has no native window yet, so its frame would read as
    // nothing and the window would grow by the frame at every opening.
    form.winId();
    const QRect frame = form.frameGeometry();
    const QRect inner = form.geometry();
    form.move(int(leftPx), int(topPx));
    if (restoreSize) {
        const int frameW = frame.width() - inner.width();
        const int frameH = frame.height() - inner.height();
        form.resize(qMax(1, int(widthPx) - frameW), qMax(1, int(heightPx) - frameH));
    }
}

void SaveWindowPlacement(const QString& caption, QWidget& form)
{
    if (form.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const std::unique_ptr<RegistryTools> registry = helperFactory().CreateRegistryTools();
    if (!registry)
        return;
    const QRect frame = form.frameGeometry();
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
