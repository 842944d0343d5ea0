#include "TestMain.h"

#include "ImmediatePathWidget.h"

#include "preview/OpenGLWidget.h"

#include <QLCDNumber>
#include <QSignalSpy>

#include <cstring>
#include <functional>
#include <limits>

Q_DECLARE_METATYPE(QVector<PathPoint>)

char *toString(const ViewControl &v)
{
    return qstrdup(qPrintable(QString::asprintf("rot %d %d %d, pan %d %d, zoom %d", v.xRot, v.yRot,
                                                v.zRot, v.xTrans, v.yTrans, v.zoom)));
}

namespace {

// A colour counts when its channels stand clearly apart from the grey background (85, 85, 85):
// those named in "rgb" high, the others low.
bool looks(const QColor &pixel, const char *high)
{
    const int values[] = {pixel.red(), pixel.green(), pixel.blue()};
    for (int n = 0; n < 3; ++n) {
        if (std::strchr(high, "rgb"[n]) ? values[n] <= 120 : values[n] >= 60)
            return false;
    }
    return true;
}

bool onPath(const QColor &c)
{
    return looks(c, "r") || looks(c, "g");
}

// Whether any pixel within one of the point passes.
bool near(const QImage &image, QPoint at, const std::function<bool(const QColor &)> &test)
{
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            if (test(image.pixelColor(at.x() + dx, at.y() + dy)))
                return true;
        }
    }
    return false;
}

bool near(const QImage &image, QPoint at, const char *colour)
{
    return near(image, at, [colour](const QColor &c) { return looks(c, colour); });
}

constexpr int side = 400;

} // namespace

class TestOpenGLWidget : public QObject
{
    Q_OBJECT

private:
    OpenGLWidget *preview = nullptr;
    QVector<PathPoint> path;
    QLCDNumber envelopeX, envelopeY, envelopeZ, toolX, toolY, toolZ;

    QImage frame() { return preview->grabFramebuffer(); }

    // Repaints once, then looks from above: the view then follows the measured envelope.
    QImage fittedFrame(bool tool = false)
    {
        preview->setShowOrigin(false);
        preview->setShowEnvelope(false);
        preview->setShowTool(tool);
        frame();
        preview->lookFromAbove();
        return frame();
    }

    // Where a point of the plane Z = 0 shows in a view from above.
    QPoint pixelOf(float x, float y) const
    {
        const ViewControl &view = preview->view();
        const double perUnit = view.scale() / 1000.0; // the projection spans 400000 over 400
        return QPoint(int(side / 2 + (x + view.xTrans * 0.1) * perUnit),
                      int(side / 2 - (y + view.yTrans * 0.1) * perUnit));
    }

private slots:
    void init()
    {
        path.clear();
        preview = new OpenGLWidget;
        preview->setToolPath(&path);
        preview->setEnvelopeDisplays(&envelopeX, &envelopeY, &envelopeZ);
        preview->setToolDisplays(&toolX, &toolY, &toolZ);
        for (QLCDNumber *display : {&toolX, &toolY, &toolZ})
            display->display(0);
        preview->resize(side, side);
        preview->show();
        QVERIFY(QTest::qWaitForWindowExposed(preview));
    }

    void cleanup() { delete preview; }

    // Left drags tilt within half a turn and spin, right drags pan, the wheel zooms (not
    // sideways); each within its limits.
    void mouseAndWheelMoveTheViewWithinLimits()
    {
        const auto drag = [this](Qt::MouseButton button, QPoint to) {
            for (const QPoint at : {QPoint(100, 100), to}) {
                QMouseEvent event(at == to ? QEvent::MouseMove : QEvent::MouseButtonPress, at,
                                  preview->mapToGlobal(at), Qt::NoButton, button, Qt::NoModifier);
                QApplication::sendEvent(preview, &event);
            }
        };
        const auto wheel = [this](QPoint angle, int times) {
            for (int n = 0; n < times; ++n) {
                QWheelEvent event(QPointF(10, 10), preview->mapToGlobal(QPoint(10, 10)), QPoint(),
                                  angle, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(preview, &event);
            }
        };
        drag(Qt::LeftButton, {110, 40});
        drag(Qt::RightButton, {101, 102});
        wheel({0, 120}, 1);
        wheel({120, 0}, 1);
        QCOMPARE(preview->view(), (ViewControl{-480, 0, 80, 80, -160, 1350}));
        drag(Qt::LeftButton, {100, -400});
        drag(Qt::RightButton, {-10000, 10000});
        wheel({0, 120}, 20);
        QCOMPARE(preview->view(),
                 (ViewControl{-2880, 0, 80, -18000, -10000, ViewControl::maxZoom}));
        drag(Qt::LeftButton, {100, 1000});
        wheel({0, -120}, 20);
        QCOMPARE(preview->view(), (ViewControl{0, 0, 80, -18000, -10000, ViewControl::minZoom}));
    }

    void displaysMeasureThePathWithMargins_data()
    {
        QTest::addColumn<QVector<PathPoint>>("points");
        QTest::addColumn<QVector<double>>("sizes");
        QTest::newRow("no path: the origin, padded")
            << QVector<PathPoint>{} << QVector<double>{20, 20, 0};
        QTest::newRow("cut below the top")
            << QVector<PathPoint>{{0, 0, 0, 0}, {30, 40, -5, 1}, {10, 5, 2, 1}}
            << QVector<double>{50, 60, 5};
        QTest::newRow("only above the top")
            << QVector<PathPoint>{{0, 0, 0, 0}, {-5, 3, 5, 0}} << QVector<double>{25, 23, 0};
    }

    void displaysMeasureThePathWithMargins()
    {
        QFETCH(QVector<PathPoint>, points);
        QFETCH(QVector<double>, sizes);
        path = points;
        preview->updateGL();
        frame();
        QCOMPARE(QVector<double>({envelopeX.value(), envelopeY.value(), envelopeZ.value()}), sizes);
        QVERIFY(path.size() >= 2);
    }

    void lookFromAboveWithoutAPathChangesNothing()
    {
        preview->setToolPath(nullptr);
        frame();
        preview->lookFromAbove();
        QCOMPARE(preview->view().zoom, 1000);
        QCOMPARE(frame().pixelColor(200, 200), QColor(85, 85, 85));
    }

    // Every point drawn vertex by vertex, as the yardstick. Scattered points give the same
    // pixels. A dense walk, whose points mostly lie within half a pixel of the last one drawn
    // and are left out, stays within a pixel of it: each pixel of the path in either picture
    // has one at most a pixel away in the other, and the rapid moves keep their share of it.
    void pathLooksAsEveryPointDrawn_data()
    {
        QTest::addColumn<double>("step"); // 0: scattered
        QTest::addColumn<int>("colourRun");
        QTest::newRow("scattered") << 0.0 << 1;
        QTest::newRow("dense, one colour") << 0.03 << 100000;
        QTest::newRow("dense, changing colour") << 0.03 << 50;
    }

    void pathLooksAsEveryPointDrawn()
    {
        QFETCH(double, step);
        QFETCH(int, colourRun);
        QRandomGenerator random(3);
        const auto aside = [&](float from) {
            return float(from + step * (random.generateDouble() * 2 - 1));
        };
        PathPoint at{0, 0, 0, 0};
        for (int n = 0; n < 20000; ++n) {
            if (step > 0)
                at = {aside(at.x), aside(at.y), -float(n / 5000), 0};
            else
                at = {float(random.bounded(-300, 300)), float(random.bounded(-300, 300)),
                      -float(random.bounded(20)), 0};
            at.moveType = float((n / colourRun) % 2);
            path.append(at);
        }
        preview->updateGL();
        const QImage thinned = fittedFrame();
        ImmediatePathWidget immediate;
        immediate.path = &path;
        immediate.view = preview->view();
        immediate.resize(side, side);
        immediate.show();
        QVERIFY(QTest::qWaitForWindowExposed(&immediate));
        const QImage every = immediate.grabFramebuffer();
        if (step == 0)
            QCOMPARE(thinned, every);
        int drawn = 0, redShift = 0;
        for (int y = 1; y < side - 1; ++y) {
            for (int x = 1; x < side - 1; ++x) {
                for (const auto &[one, other] :
                     {std::pair(every, thinned), std::pair(thinned, every)})
                    QVERIFY2(!onPath(one.pixelColor(x, y)) || near(other, {x, y}, onPath),
                             qPrintable(QString("%1, %2").arg(x).arg(y)));
                drawn += onPath(every.pixelColor(x, y));
                redShift +=
                    looks(every.pixelColor(x, y), "r") - looks(thinned.pixelColor(x, y), "r");
            }
        }
        QVERIFY(drawn > 500);
        QVERIFY2(qAbs(redShift) <= drawn / 10, qPrintable(QString::number(redShift)));
    }

    // A square walked counter-clockwise from the origin: the done part turns grey side by side
    // over the image of the path, which is not drawn again until the path is said to change.
    void donePartTurnsGreyOverTheImageOfThePath()
    {
        path = {{0, 0, 0, 0}, {10, 0, 0, 1}, {10, 10, 0, 1}, {0, 10, 0, 1}};
        preview->updateGL();
        fittedFrame();
        const auto sides = [this](const QImage &image) {
            QString colours;
            for (const QPoint middle : {QPoint(5, 0), QPoint(10, 5), QPoint(5, 10)}) {
                const QPoint at = pixelOf(middle.x(), middle.y());
                colours += near(image, at, "rgb") ? 'd' : near(image, at, "g") ? 'g' : '-';
            }
            return colours;
        };
        QCOMPARE(sides(frame()), QStringLiteral("ggg"));
        path[3] = path[0]; // not told: the image keeps the top side
        preview->setDonePoints(2);
        QCOMPARE(sides(frame()), QStringLiteral("dgg"));
        preview->setDonePoints(3);
        QCOMPARE(sides(frame()), QStringLiteral("ddg"));
        preview->setDonePoints(1); // a new job: the image is drawn anew, from the path as it is
        QCOMPARE(sides(frame()), QStringLiteral("gg-"));
    }

    // Hidden, moved while hidden, shown, moved back: each time the marker stands where the
    // displays say, and a report that moves nothing asks for no frame.
    void markerFollowsTheDisplaysOverTheImage()
    {
        fittedFrame(true);
        QSignalSpy frames(preview, &OpenGLWidget::frameSwapped);
        const auto moveTo = [this](double x, double y) {
            toolX.display(x);
            toolY.display(y);
        };
        moveTo(5, -5);
        preview->updateToolMarker();
        QVERIFY(frames.wait(2000));
        QVERIFY(near(frame(), pixelOf(5, -5), "rg"));
        preview->setShowTool(false);
        QVERIFY(frames.wait(2000));
        moveTo(0, 0);
        preview->setShowTool(true);
        QVERIFY(frames.wait(2000));
        QVERIFY(near(frame(), pixelOf(0, 0), "rg"));
        moveTo(5, -5);
        preview->updateToolMarker();
        QVERIFY(frames.wait(2000));
        const QImage image = frame();
        QVERIFY(near(image, pixelOf(5, -5), "rg") && !near(image, pixelOf(0, 0), "rg"));
        frames.clear();
        preview->updateToolMarker();
        QVERIFY(!frames.wait(300));
        preview->setToolDisplays(&toolX, nullptr, &toolZ); // a display missing: no marker
        QVERIFY(!near(frame(), pixelOf(5, -5), "rg"));
    }
};

ORLO_TEST_MAIN(TestOpenGLWidget)
#include "tst_OpenGLWidget.moc"
