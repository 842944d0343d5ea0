#pragma once

#include <QVector>

// Integer geometry of the connection lamp, computable without painting.
namespace LedGeometry {

struct Spot
{
    int width;
    int position; // x and y of the spot's bounding square
    bool operator==(const Spot &other) const
    {
        return width == other.width && position == other.position;
    }
};

// The lamp's diameter: the smaller side of the widget less 2, never negative.
int diameter(int widgetWidth, int widgetHeight);
// How much each highlight pass lightens the colour (QColor::lighter factor); 0 without spot.
int lightFactor(int diameter);
// The highlight passes from the outermost to the innermost.
QVector<Spot> highlightSpots(int diameter);

} // namespace LedGeometry
