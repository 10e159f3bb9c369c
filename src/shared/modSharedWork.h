#pragma once

// Where each screen was last left: its outer position and size in twips, one string value per
// window caption ("top,left,width,height") in the current user's store, written when a screen
// unloads and read when the next one loads. Every call creates its own RegistryTools through
// helperFactory(). Nothing is reported: a missing, malformed or unusable value is ignored.

#include <QString>

class QWidget;

namespace tesr::modSharedWork {

// The key under which every screen's placement is kept (passed to RegistryTools as it is).
inline constexpr const char* WindowPositionsKey = "Software\\Varnholt\\Tesserine\\5.0\\Window Positions\\";
inline constexpr int TwipsPerInch = 1440;

// Moves the form's outer frame to the stored place and, when restoreSize is true, gives the
// frame the stored size. A value lying wholly off the primary screen, with the wrong number of
// pieces, or with a piece that is no usable whole number leaves the form as designed.
void RestoreWindowPlacement(const QString& caption, QWidget& form, bool restoreSize);
// Stores the form's outer frame; a minimised, maximised or full-screen form stores nothing, so
// the last normal placement stays.
void SaveWindowPlacement(const QString& caption, QWidget& form);

// Conversions at a given number of pixels per logical inch, rounding to the nearest.
int pixelsToTwips(int pixels, int dotsPerInch);
int twipsToPixels(int twips, int dotsPerInch);

} // namespace tesr::modSharedWork
