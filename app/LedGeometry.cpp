#include "LedGeometry.h"

#include <algorithm>

namespace LedGeometry {

int diameter(int widgetWidth, int widgetHeight)
{
    return std::max(0, std::min(widgetWidth, widgetHeight) - 2);
}

int lightFactor(int diameter)
{
    const int width = 2 * diameter / 3;
    return width > 0 ? 260 / width + 100 : 0;
}

QVector<Spot> highlightSpots(int diameter)
{
    QVector<Spot> spots;
    int width = 2 * diameter / 3;
    int position = diameter / 5 + 1;
    while (width > 0) {
        spots.append({width, position});
        width -= 3;
        position += 1;
    }
    return spots;
}

} // namespace LedGeometry
