#pragma once

#include "Envelope.h"
#include "PathPoint.h"
#include "ViewControl.h"

#include <QOpenGLFunctions_1_1>
#include <QOpenGLWidget>
#include <QVector>

#include <functional>
#include <vector>

class QLCDNumber;

// The 3D toolpath preview: rapid moves red, feed moves green, a cyan box around the program's
// envelope, the origin's axes and a yellow marker where the work position displays put the
// tool. Drawn with the fixed-function pipeline; the path goes straight from the path's memory
// as a vertex array in a single draw, so a path of a million points repaints quickly. Nothing
// is kept between repaints.
class OpenGLWidget : public QOpenGLWidget, protected QOpenGLFunctions_1_1
{
    Q_OBJECT

public:
    explicit OpenGLWidget(QWidget *parent = nullptr);

    // The data the preview shows; none of it is owned, and any may be null.
    void setToolPath(QVector<PathPoint> *path) { toolPath = path; }
    void setEnvelopeDisplays(QLCDNumber *x, QLCDNumber *y, QLCDNumber *z);
    void setToolDisplays(QLCDNumber *x, QLCDNumber *y, QLCDNumber *z);

    void setShowOrigin(bool show);
    void setShowEnvelope(bool show);
    void setShowTool(bool show);
    void lookFromAbove();
    // Schedules a repaint, for whoever changed what the preview shows.
    void updateGL() { update(); }

    const ViewControl &view() const { return viewControl; }
    // As measured by the last repaint, margins included.
    const Envelope &envelope() const { return bounds; }

protected:
    QSize sizeHint() const override { return QSize(400, 400); }
    QSize minimumSizeHint() const override { return QSize(50, 50); }
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    void loadProjection();
    void drawScene();
    void drawPath();
    void drawEnvelope();
    void drawOrigin();
    void drawTool();
    void drawStrip(const std::function<void(float c, float s)> &emitAngle);
    void setShown(bool &flag, bool show);

    QVector<PathPoint> *toolPath = nullptr;
    QLCDNumber *lcdEnvelopeX = nullptr;
    QLCDNumber *lcdEnvelopeY = nullptr;
    QLCDNumber *lcdEnvelopeZ = nullptr;
    QLCDNumber *lcdToolX = nullptr;
    QLCDNumber *lcdToolY = nullptr;
    QLCDNumber *lcdToolZ = nullptr;
    bool showOrigin = true;
    bool showEnvelope = true;
    bool showTool = true;
    ViewControl viewControl;
    Envelope bounds;
    QPoint lastPos;
    std::vector<quint8> pathColours; // rewritten on every repaint; kept to spare an allocation
};
