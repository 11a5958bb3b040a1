#pragma once

#include <QImage>
#include <QString>

// The program's own artwork, drawn with QPainter at build time by
// qevui_draw_resources and compiled into the program as resources. Text is drawn
// in the given font family (the rounded application font); a QGuiApplication
// must exist.

// 1024 x 768 RGBA: the picture shown while no picture is loaded. The title names
// the program and its version; a framed drop zone invites the user to drop
// pictures, with the hint about companion files of multi-file screen formats;
// the short palette help and the hint that tooltips explain the controls follow.
QImage oDrawDefaultImage(const QString& sFontFamily, const QString& sTitle);

// 310 x 232 RGBA: an hourglass on a grey rounded rectangle, drawn over the display
// while a conversion is pending.
QImage oDrawHourGlassImage();

// iSize x iSize RGBA application icon: a rounded tile holding a sunset in big
// MSX-like pixels.
QImage oDrawApplicationIcon(int iSize);
