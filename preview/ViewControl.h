#pragma once

#include "Envelope.h"

#include <Qt>

// How the preview looks at the scene: rotations about X, Y and Z in 1/16 degree, pan in tenths
// of a model unit, and a zoom value from which the scale follows. The mouse and the wheel
// change it within limits; the top view fits the envelope and may go beyond them.
struct ViewControl
{
    int xRot = 0;
    int yRot = 0;
    int zRot = 0;
    int xTrans = 0;
    int yTrans = 0;
    int zoom = 1000;
    float aspect = 1.0f; // viewport height / width

    static constexpr int minZoom = 1000;
    static constexpr int maxZoom = 100000;

    // The mouse moved by (dx, dy) pixels with these buttons held: the left one tilts and spins,
    // the right one pans, by amounts that shrink as the zoom grows.
    void drag(int dx, int dy, Qt::MouseButtons buttons);
    // One wheel event; a positive delta zooms in.
    void wheel(int delta);
    // Looks straight down at the centre of the envelope, fitted to the view. Leaves everything
    // as it is for an envelope without width or depth (no repaint has measured one yet).
    bool lookFromAbove(const Envelope &envelope);

    float scale() const { return zoom * 0.1f + 1; }
    bool operator==(const ViewControl &o) const
    {
        return xRot == o.xRot && yRot == o.yRot && zRot == o.zRot && xTrans == o.xTrans &&
               yTrans == o.yTrans && zoom == o.zoom && aspect == o.aspect;
    }
};
