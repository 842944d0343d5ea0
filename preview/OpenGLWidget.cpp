#include "OpenGLWidget.h"

#include "VectorUnits.h"

#include <QColor>
#include <QLCDNumber>
#include <QLoggingCategory>
#include <QMatrix4x4>
#include <QMouseEvent>
#include <QOpenGLFramebufferObject>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>

Q_LOGGING_CATEGORY(lcPreview, "orlo.preview", QtInfoMsg)

namespace {

constexpr float radiansPerDegree = 0.01745329f;
constexpr PathPoint origin{0, 0, 0, 0};
constexpr GLubyte doneGrey = 170;
// Apart from the path's red and green, the way in's magenta and the tool's yellow.
constexpr std::array<float, 3> surfaceLow{30, 40, 230};
constexpr std::array<float, 3> surfaceHigh{240, 170, 20};

bool isRapid(const PathPoint &point)
{
    return point.moveType < 0.5f;
}

// The eleven angles 0, 36, ..., 360 degrees of the solids' strips, as cosine and sine.
struct Ring
{
    std::array<float, 11> cos;
    std::array<float, 11> sin;
};

const Ring &ring()
{
    static const Ring angles = [] {
        Ring r;
        for (int n = 0; n <= 10; ++n) {
            r.cos[size_t(n)] = std::cos(36 * n * radiansPerDegree);
            r.sin[size_t(n)] = std::sin(36 * n * radiansPerDegree);
        }
        return r;
    }();
    return angles;
}

} // namespace

// No multisampling: with the software renderer it makes a path of a million points take three
// times as long to draw, and the preview is meant to stay fluid with such paths.
OpenGLWidget::OpenGLWidget(QWidget *parent) : OffscreenGLWidget(parent) {}

OpenGLWidget::~OpenGLWidget()
{
    if (makeCurrent())
        sceneImage.reset();
    doneCurrent();
}

void OpenGLWidget::setToolPath(QVector<PathPoint> *path)
{
    toolPath = path;
    updateGL();
}

void OpenGLWidget::updateGL()
{
    sceneStale = true;
    update();
}

void OpenGLWidget::updateToolMarker()
{
    const bool shown = showTool && toolPath && lcdToolX && lcdToolY && lcdToolZ;
    if (shown != markerShown ||
        (shown &&
         markerAt != std::array<float, 3>{float(lcdToolX->value()), float(lcdToolY->value()),
                                          float(lcdToolZ->value())}))
        update();
}

void OpenGLWidget::setDonePoints(int count)
{
    count = std::max(count, 0);
    if (count == done)
        return;
    done = count;
    update();
}

void OpenGLWidget::setEnvelopeDisplays(QLCDNumber *x, QLCDNumber *y, QLCDNumber *z)
{
    lcdEnvelopeX = x;
    lcdEnvelopeY = y;
    lcdEnvelopeZ = z;
}

void OpenGLWidget::setToolDisplays(QLCDNumber *x, QLCDNumber *y, QLCDNumber *z)
{
    lcdToolX = x;
    lcdToolY = y;
    lcdToolZ = z;
}

void OpenGLWidget::setShown(bool &flag, bool show)
{
    if (flag == show)
        return;
    flag = show;
    updateGL();
}

void OpenGLWidget::setShowOrigin(bool show)
{
    setShown(showOrigin, show);
}

void OpenGLWidget::setShowEnvelope(bool show)
{
    setShown(showEnvelope, show);
}

void OpenGLWidget::setShowTool(bool show)
{
    showTool = show;
    updateToolMarker();
}

void OpenGLWidget::lookFromAbove()
{
    if (viewControl.lookFromAbove(bounds))
        update();
}

void OpenGLWidget::mousePressEvent(QMouseEvent *event)
{
    lastPos = event->pos();
}

void OpenGLWidget::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint position = event->pos();
    viewControl.drag(position.x() - lastPos.x(), position.y() - lastPos.y(), event->buttons());
    lastPos = position;
    update();
}

// A sideways wheel (or a sideways swipe) says nothing about zooming.
void OpenGLWidget::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    viewControl.wheel(delta);
    update();
}

void OpenGLWidget::initializeGL()
{
    const QColor background = QColor(Qt::darkGray).darker(150);
    glClearColor(background.redF(), background.greenF(), background.blueF(), 1.0f);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glShadeModel(GL_SMOOTH);
}

void OpenGLWidget::resizeGL(int w, int h)
{
    // A hidden widget may be given no area; the last projection stays valid until it has one.
    if (w <= 0 || h <= 0)
        return;
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, GLsizei(w * ratio), GLsizei(h * ratio));
    viewControl.aspect = float(h) / float(w);
    loadProjection();
}

void OpenGLWidget::loadProjection()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const float aspect = viewControl.aspect;
    glOrtho(-200000, 200000, -200000 * aspect, 200000 * aspect, -2000000, 2000000);
    glMatrixMode(GL_MODELVIEW);
}

void OpenGLWidget::paintGL()
{
    if (width() > 0 && height() > 0)
        viewControl.aspect = float(height()) / float(width());
    if (!sceneIsCurrent())
        drawSceneImage();
    else if (done != doneInImage)
        addDonePart();
    showSceneImage();
    markerShown = showTool && toolPath && lcdToolX && lcdToolY && lcdToolZ;
    if (markerShown || !wayIn.isEmpty() || !probeGrid.isEmpty()) {
        loadProjection();
        loadView();
    }
    if (!probeGrid.isEmpty())
        drawProbeGrid();
    if (!wayIn.isEmpty())
        drawWayIn();
    if (markerShown)
        drawTool();
}

void OpenGLWidget::setWayIn(const QVector<QVector3D> &points)
{
    wayIn = points;
    update();
}

void OpenGLWidget::drawWayIn()
{
    glLineWidth(2);
    glColor3ub(255, 0, 255);
    glBegin(GL_LINE_STRIP);
    for (const QVector3D &point : qAsConst(wayIn))
        glVertex3f(point.x(), point.y(), point.z());
    glEnd();
    glLineWidth(1);
}

void OpenGLWidget::setProbeGrid(const QVector<QPointF> &points)
{
    probeGrid = points;
    update();
}

void OpenGLWidget::drawProbeGrid()
{
    glPointSize(5);
    glColor3ub(255, 255, 255);
    glBegin(GL_POINTS);
    for (const QPointF &point : qAsConst(probeGrid))
        glVertex3f(float(point.x()), float(point.y()), 0);
    glEnd();
    glPointSize(1);
}

void OpenGLWidget::setHeightMap(const HeightMap &map)
{
    surface = map;
    updateGL();
}

// Drawn first and without depth, so that the path shows over it wherever it runs, below the
// surface as well as above it. Seen from below too: its faces are not culled.
void OpenGLWidget::drawSurface()
{
    const double low = surface.lowest();
    const double span = surface.highest() - low;
    glDepthMask(GL_FALSE);
    glDisable(GL_CULL_FACE);
    for (int row = 0; row + 1 < surface.rows(); ++row) {
        glBegin(GL_TRIANGLE_STRIP);
        for (int column = 0; column < surface.columns(); ++column) {
            for (const int at : {row, row + 1}) {
                const double height = surface.height(column, at);
                const float share = span > 0 ? float((height - low) / span) : 0.5f;
                glColor3ub(GLubyte(surfaceLow[0] + share * (surfaceHigh[0] - surfaceLow[0])),
                           GLubyte(surfaceLow[1] + share * (surfaceHigh[1] - surfaceLow[1])),
                           GLubyte(surfaceLow[2] + share * (surfaceHigh[2] - surfaceLow[2])));
                glVertex3f(float(surface.x(column)), float(surface.y(at)), float(height));
            }
        }
        glEnd();
    }
    glEnable(GL_CULL_FACE);
    glDepthMask(GL_TRUE);
}

void OpenGLWidget::loadView()
{
    glLoadIdentity();
    const float scale = viewControl.scale();
    glScalef(scale, scale, scale);
    glTranslatef(viewControl.xTrans * 0.1f, viewControl.yTrans * 0.1f, -10);
    glRotatef(viewControl.xRot / 16.0f, 1, 0, 0);
    glRotatef(viewControl.yRot / 16.0f, 0, 1, 0);
    glRotatef(viewControl.zRot / 16.0f, 0, 0, 1);
}

// A done part that shrank (a new job) cannot be taken out of the image: it is drawn anew.
bool OpenGLWidget::sceneIsCurrent() const
{
    const QSize size = this->size() * devicePixelRatioF();
    return sceneImage && !sceneStale && sceneImage->size() == size && sceneView == viewControl &&
           done >= doneInImage;
}

void OpenGLWidget::drawSceneImage()
{
    const QSize size = this->size() * devicePixelRatioF();
    if (!sceneImage || sceneImage->size() != size)
        sceneImage = std::make_unique<QOpenGLFramebufferObject>(
            size, QOpenGLFramebufferObject::CombinedDepthStencil);
    sceneImage->bind();
    glViewport(0, 0, size.width(), size.height());
    loadProjection();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    loadView();
    drawScene();
    doneInImage = done;
    sceneImage->release();
    sceneStale = false;
    sceneView = viewControl;
}

void OpenGLWidget::addDonePart()
{
    sceneImage->bind();
    loadProjection();
    loadView();
    drawDone(std::max(doneInImage - 1, 0), done);
    doneInImage = done;
    sceneImage->release();
}

void OpenGLWidget::showSceneImage()
{
    const QSize size = this->size() * devicePixelRatioF();
    glViewport(0, 0, size.width(), size.height());
    const QRect whole(QPoint(), size);
    QOpenGLFramebufferObject::blitFramebuffer(frameBuffer(), whole, sceneImage.get(), whole,
                                              GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    frameBuffer()->bind();
}

void OpenGLWidget::drawScene()
{
    bounds = Envelope();
    if (!toolPath)
        return;
    if (toolPath->size() < 2)
        *toolPath << origin << origin;
    qCDebug(lcPreview) << "Draw";
    if (!surface.isEmpty())
        drawSurface();
    drawPath();
    drawDone(0, done);
    bounds.addMargins();
    if (lcdEnvelopeX)
        lcdEnvelopeX->display(double(bounds.width()));
    if (lcdEnvelopeY)
        lcdEnvelopeY->display(double(bounds.depth()));
    if (lcdEnvelopeZ)
        lcdEnvelopeZ->display(double(bounds.height()));
    if (showEnvelope)
        drawEnvelope();
    if (showOrigin)
        drawOrigin();
}

// Each segment takes the colour of its end point: with flat shading a line takes the colour of
// its second vertex, so one strip over the whole path, with a colour per point, draws what a
// strip per run of one colour would, in one call instead of one per run. The points go straight
// from the path's memory; only the colours and the list of points to draw are written out,
// while measuring the envelope.
//
// A point within half a pixel of the last one drawn adds nothing one could see, yet a software
// renderer spends as long on it as on any other: it is left out, unless its colour differs, or
// it ends the path. A dense path of a million points then draws in about half the time.
void OpenGLWidget::drawPath()
{
    clearUpperVectorState();
    const PathPoint *points = toolPath->constData();
    const int count = toolPath->size();
    pathColours.resize(size_t(count) * 3);
    drawnPoints.clear();
    const QMatrix4x4 toPixels = viewToPixels();
    const float *m = toPixels.constData(); // column by column
    float lastX = 0, lastY = 0;
    bool lastRapid = false;
    for (int n = 0; n < count; ++n) {
        const PathPoint &point = points[n];
        bounds.include(point);
        const float x = m[0] * point.x + m[4] * point.y + m[8] * point.z;
        const float y = m[1] * point.x + m[5] * point.y + m[9] * point.z;
        const bool rapid = isRapid(point);
        if (n > 0 && n < count - 1 && rapid == lastRapid && std::fabs(x - lastX) < 0.5f &&
            std::fabs(y - lastY) < 0.5f)
            continue;
        if (n > 0 && rapid != lastRapid && drawnPoints.back() != GLuint(n - 1))
            drawnPoints.push_back(GLuint(n - 1)); // the last point of the other colour
        drawnPoints.push_back(GLuint(n));
        quint8 *colour = &pathColours[size_t(n) * 3];
        colour[0] = rapid ? 255 : 0;
        colour[1] = rapid ? 0 : 255;
        colour[2] = 0;
        lastX = x;
        lastY = y;
        lastRapid = rapid;
    }
    glShadeModel(GL_FLAT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(PathPoint), points);
    glColorPointer(3, GL_UNSIGNED_BYTE, 0, pathColours.data());
    glDrawElements(GL_LINE_STRIP, GLsizei(drawnPoints.size()), GL_UNSIGNED_INT, drawnPoints.data());
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glShadeModel(GL_SMOOTH);
}

// From model coordinates to pixels of the image, up to an offset: the matrices GL itself uses.
QMatrix4x4 OpenGLWidget::viewToPixels()
{
    std::array<float, 16> projection{}, modelView{};
    glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());
    QMatrix4x4 pixels;
    const QSize size = this->size() * devicePixelRatioF();
    pixels.scale(size.width() / 2.0f, size.height() / 2.0f);
    // The toolkit's matrices take their values row by row, GL hands them out column by column.
    return pixels * QMatrix4x4(projection.data()).transposed() *
           QMatrix4x4(modelView.data()).transposed();
}

// The done segments lie exactly on the path's own, drawn through the same points: drawn with a
// depth test that lets equal depths through, they cover them, while later segments in front
// still hide them.
void OpenGLWidget::drawDone(int from, int to)
{
    const auto begin = drawnPoints.cbegin();
    auto first = std::lower_bound(begin, drawnPoints.cend(), GLuint(std::max(from, 0)));
    const auto last = std::lower_bound(first, drawnPoints.cend(), GLuint(std::max(to, 0)));
    if (first != begin)
        --first; // joins the part drawn before
    if (last - first < 2)
        return;
    glDepthFunc(GL_LEQUAL);
    glColor3ub(doneGrey, doneGrey, doneGrey);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(PathPoint), toolPath->constData());
    glDrawElements(GL_LINE_STRIP, GLsizei(last - first), GL_UNSIGNED_INT, &*first);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDepthFunc(GL_LESS);
}

void OpenGLWidget::drawEnvelope()
{
    const float xs[] = {bounds.xMin, bounds.xMax};
    const float ys[] = {bounds.yMin, bounds.yMax};
    const float zs[] = {bounds.zMin, 0};
    glColor3ub(0, 255, 255);
    glBegin(GL_LINES);
    for (float z : zs) {
        for (int corner = 0; corner < 4; ++corner) { // around the rectangle at this height
            const int next = (corner + 1) % 4;
            glVertex3f(xs[(corner + 1) / 2 % 2], ys[corner / 2], z);
            glVertex3f(xs[(next + 1) / 2 % 2], ys[next / 2], z);
        }
    }
    for (float x : xs) {
        for (float y : ys) {
            glVertex3f(x, y, zs[0]);
            glVertex3f(x, y, zs[1]);
        }
    }
    glEnd();
}

void OpenGLWidget::drawStrip(const std::function<void(float c, float s)> &emitAngle)
{
    glBegin(GL_TRIANGLE_STRIP);
    for (size_t n = 0; n < ring().cos.size(); ++n)
        emitAngle(ring().cos[n], ring().sin[n]);
    glEnd();
}

// Three arrows of shaft radius 1 and length 10 with a cone head to 13, and a small double
// cone at the centre. With back faces culled, the order of each strip's vertices decides which
// faces show.
void OpenGLWidget::drawOrigin()
{
    glColor3ub(0, 0, 255); // Z
    drawStrip([this](float c, float s) {
        glVertex3f(c, s, 10);
        glVertex3f(c, s, 0);
    });
    drawStrip([this](float c, float s) {
        glVertex3f(0, 0, 13);
        glVertex3f(2 * c, 2 * s, 10);
    });
    drawStrip([this](float c, float s) {
        glVertex3f(2 * c, 2 * s, 10);
        glVertex3f(0, 0, 10);
    });
    glColor3ub(0, 255, 0); // Y
    drawStrip([this](float c, float s) {
        glVertex3f(c, 0, s);
        glVertex3f(c, 10, s);
    });
    drawStrip([this](float c, float s) {
        glVertex3f(0, 13, 0);
        glVertex3f(2 * c, 10, 2 * s);
    });
    drawStrip([this](float c, float s) {
        glVertex3f(2 * c, 10, 2 * s);
        glVertex3f(0, 10, 0);
    });
    glColor3ub(255, 0, 0); // X
    drawStrip([this](float c, float s) {
        glVertex3f(10, c, s);
        glVertex3f(0, c, s);
    });
    drawStrip([this](float c, float s) {
        glVertex3f(13, 0, 0);
        glVertex3f(10, 2 * c, 2 * s);
    });
    drawStrip([this](float c, float s) {
        glVertex3f(10, 2 * c, 2 * s);
        glVertex3f(10, 0, 0);
    });
    const QColor mark = QColor(Qt::yellow).darker(180);
    glColor3ub(GLubyte(mark.red()), GLubyte(mark.green()), GLubyte(mark.blue()));
    drawStrip([this](float c, float s) {
        glVertex3f(1.5f * c, 1.5f * s, 1);
        glVertex3f(1.5f * c, 1.5f * s, -1);
    });
    drawStrip([this](float c, float s) {
        glVertex3f(0, 0, 1.7f);
        glVertex3f(1.5f * c, 1.5f * s, 1);
    });
    drawStrip([this](float c, float s) {
        glVertex3f(1.5f * c, 1.5f * s, -1);
        glVertex3f(0, 0, -1.7f);
    });
}

// A closed cylinder of radius 1 standing 10 units tall on the position the work displays
// show, as current as the last frame.
void OpenGLWidget::drawTool()
{
    markerAt = {float(lcdToolX->value()), float(lcdToolY->value()), float(lcdToolZ->value())};
    const float x = markerAt[0], y = markerAt[1], z = markerAt[2];
    glColor3ub(255, 255, 0);
    drawStrip([&](float c, float s) {
        glVertex3f(x + c, y + s, z + 10);
        glVertex3f(x + c, y + s, z);
    });
    drawStrip([&](float c, float s) {
        glVertex3f(x, y, z + 10);
        glVertex3f(x + c, y + s, z + 10);
    });
    drawStrip([&](float c, float s) {
        glVertex3f(x + c, y + s, z);
        glVertex3f(x, y, z);
    });
}
