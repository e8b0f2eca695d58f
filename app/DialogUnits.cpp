#include "DialogUnits.h"

namespace quorvex::app {

namespace {
// Rounded as the platform's multiply-divide rounds.
int Scale(int units, int numerator, int denominator)
{
    const long long product = static_cast<long long>(units) * numerator;
    return static_cast<int>((product >= 0 ? product + denominator / 2 : product - denominator / 2) / denominator);
}
}  // namespace

int DialogUnitsToPixelsX(int units) { return Scale(units, 6, 4); }
int DialogUnitsToPixelsY(int units) { return Scale(units, 13, 8); }

QRect DialogRect(int x, int y, int width, int height)
{
    return QRect(DialogUnitsToPixelsX(x), DialogUnitsToPixelsY(y), DialogUnitsToPixelsX(width),
                 DialogUnitsToPixelsY(height));
}

QSize DialogSize(int width, int height)
{
    return QSize(DialogUnitsToPixelsX(width), DialogUnitsToPixelsY(height));
}

}  // namespace quorvex::app
