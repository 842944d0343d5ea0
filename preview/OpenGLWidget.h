#pragma once

#include "Envelope.h"
#include "OffscreenGLWidget.h"
#include "PathPoint.h"
#include "ViewControl.h"

#include "program/HeightMap.h"

#include <QPointF>
#include <QVector3D>
#include <QVector>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QMatrix4x4;
class QOpenGLFramebufferObject;

class QLCDNumber;

// The 3D toolpath preview: rapid moves red, feed moves green, the part of the path a job has
// done grey, a cyan box around the program's envelope, the origin's axes and a yellow marker
// where the work position displays put the tool. Drawn with the fixed-function pipeline; the
// path goes straight from the path's memory as a vertex array in a single draw.
//
// A path of a million points takes a software renderer the better part of a tenth of a second
// to draw, far too long for every status report of a running job. So the path, the box, the
// origin, the done part and a probed height map are drawn once into an image of their own for
// the current path, view and size, and a frame shows that image with the marker over it; the
// image is drawn again only when what it shows, the view or the size change. A growing done part
// is added to the image, not drawn anew.
class OpenGLWidget : public OffscreenGLWidget
{
    Q_OBJECT

public:
    explicit OpenGLWidget(QWidget *parent = nullptr);
    ~OpenGLWidget() override;

    // The data the preview shows; none of it is owned, and any may be null.
    void setToolPath(QVector<PathPoint> *path);
    void setEnvelopeDisplays(QLCDNumber *x, QLCDNumber *y, QLCDNumber *z);
    void setToolDisplays(QLCDNumber *x, QLCDNumber *y, QLCDNumber *z);

    void setShowOrigin(bool show);
    void setShowEnvelope(bool show);
    void setShowTool(bool show);
    void lookFromAbove();
    // Schedules drawing everything again, for whoever changed the path.
    void updateGL();
    // Schedules a frame if the work position displays no longer say where the marker stands.
    void updateToolMarker();
    // The path's first count points, and the segments between them, are done (a job has been
    // there); they are drawn grey.
    void setDonePoints(int count);
    int donePoints() const { return done; }
    // The moves that bring the machine to where a program is started (program coordinates),
    // drawn over the path in a colour of their own; none: nothing drawn.
    void setWayIn(const QVector<QVector3D> &points);
    // The points a height map is to be probed at, drawn over the path as white dots at Z 0;
    // none: nothing drawn.
    void setProbeGrid(const QVector<QPointF> &points);
    // The probed surface, drawn under the path in colours from blue (its lowest) to amber (its
    // highest); an empty map: nothing drawn.
    void setHeightMap(const HeightMap &map);

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
    void loadView();
    bool sceneIsCurrent() const;
    void drawSceneImage();
    void addDonePart();
    void showSceneImage();
    void drawScene();
    void drawPath();
    void drawDone(int from, int to);
    QMatrix4x4 viewToPixels();
    void drawEnvelope();
    void drawOrigin();
    void drawTool();
    void drawWayIn();
    void drawProbeGrid();
    void drawSurface();
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
    std::vector<quint8> pathColours; // rewritten on every drawing of the path
    std::vector<GLuint> drawnPoints; // the points of the path the image shows

    std::unique_ptr<QOpenGLFramebufferObject> sceneImage;
    bool sceneStale = true; // the path or what is shown besides it changed
    ViewControl sceneView;  // what the image was drawn for
    int done = 0;
    int doneInImage = 0;
    std::array<float, 3> markerAt{}; // where the last frame put the marker
    bool markerShown = false;
    QVector<QVector3D> wayIn;
    QVector<QPointF> probeGrid;
    HeightMap surface;
};
