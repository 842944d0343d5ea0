#include "ViewControl.h"

#include <QtGlobal>

#include <algorithm>
#include <limits>

namespace {

// Truncates toward zero within [low, high]; a huge value would overflow int otherwise.
int truncatedWithin(double value, double low, double high)
{
    return int(std::clamp(value, low, high));
}

constexpr double intMin = std::numeric_limits<int>::min();
constexpr double intMax = std::numeric_limits<int>::max();

} // namespace

void ViewControl::drag(int dx, int dy, Qt::MouseButtons buttons)
{
    if (buttons & Qt::LeftButton) {
        xRot += 8 * dy;
        zRot += 8 * dx;
    } else if (buttons & Qt::RightButton) {
        yTrans = truncatedWithin(yTrans - (8.0 * dy) * 10000 / zoom, intMin, intMax);
        xTrans = truncatedWithin(xTrans + 10000 * (8.0 * dx) / zoom, intMin, intMax);
    }
    yTrans = std::clamp(yTrans, -10000, 10000);
    xTrans = std::clamp(xTrans, -18000, 18000);
    xRot = std::clamp(xRot, -2880, 0);
}

void ViewControl::wheel(int delta)
{
    if (delta > 0) {
        const double zoomed = zoom * 1.35;
        zoom = zoomed > maxZoom ? maxZoom : int(zoomed);
    } else {
        const double zoomed = zoom / 1.35;
        zoom = zoomed <= minZoom ? minZoom : int(zoomed);
    }
}

bool ViewControl::lookFromAbove(const Envelope &envelope)
{
    if (!(envelope.width() > 0 && envelope.depth() > 0))
        return false;
    xRot = yRot = zRot = 0;
    xTrans = truncatedWithin((double(envelope.xMin) + envelope.xMax) * 0.5 * -10, intMin, intMax);
    yTrans = truncatedWithin((double(envelope.yMin) + envelope.yMax) * 0.5 * -10, intMin, intMax);
    const double fit = std::min(3200.0 / envelope.width(), 3200.0 / envelope.depth() * aspect);
    // At least 1: the pan divides by the zoom.
    zoom = truncatedWithin(fit * 1000, 1, intMax);
    return true;
}
