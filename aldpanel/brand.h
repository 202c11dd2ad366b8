// The program's own brand: the window icon, the header logo, the standards
// badge of the status bar and the About window's texts, all drawn here so
// that no image file has to be found at run time.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace aldpanel {

// The main window's caption.
QString BrandTitle();
// A mast with two antenna panels and the signal arcs of a tilted beam.
QIcon BrandIcon();
// The header logo: the mark and the product name; `height` in device-independent
// pixels, drawn sharp for `devicePixelRatio`.
QPixmap BrandLogo(int height, qreal devicePixelRatio);
// The status bar badge naming the AISG generations the program speaks.
QPixmap AisgBadge(int height, qreal devicePixelRatio);
// The standards body's web page, opened from the badge.
inline constexpr const char* kAisgUrl = "https://www.aisg.org.uk/";

}  // namespace aldpanel
