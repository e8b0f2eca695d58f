#pragma once

#include <QRect>

namespace quorvex::app {

// Dialog units to pixels with the base units of 8-point MS Sans Serif: 4 × 8 dialog units are
// 6 × 13 pixels. Every position given in dialog units goes through here.
int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);
QRect DialogRect(int x, int y, int width, int height);
QSize DialogSize(int width, int height);

}  // namespace quorvex::app
