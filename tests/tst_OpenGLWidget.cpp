#include "TestMain.h"

#include "ImmediatePathWidget.h"

#include "preview/OpenGLWidget.h"

#include <QLCDNumber>
#include <QSignalSpy>

#include <cstring>
#include <functional>
#include <limits>

Q_DECLARE_METATYPE(QVector<PathPoint>)
Q_DECLARE_METATYPE(ViewControl)
Q_DECLARE_METATYPE(Envelope)

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

    void send(QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, at, preview->mapToGlobal(at), Qt::NoButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(preview, &event);
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

    // Left drags tilt within half a turn and spin freely, right drags pan less the more the
    // view zooms (truncated toward zero), the left button wins, every move clamps; the wheel
    // zooms within its limits.
    void viewControl_data()
    {
        QTest::addColumn<ViewControl>("start");
        QTest::addColumn<QString>("input"); // buttons held for a drag, W for the wheel
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<ViewControl>("expected");
        const ViewControl at{};
        const auto zoomed = [](int zoom) { return ViewControl{0, 0, 0, 0, 0, zoom}; };
        QTest::newRow("tilt and spin") << at << "L" << QPoint(3, -100) << ViewControl{-800, 0, 24};
        QTest::newRow("tilt stops at -180 degrees")
            << ViewControl{-800} << "L" << QPoint(0, -400) << ViewControl{-2880};
        QTest::newRow("tilt stops at 0") << ViewControl{-2880} << "L" << QPoint(0, 1000) << at;
        QTest::newRow("pan less zoomed in, truncated")
            << ViewControl{0, 0, 0, 826, -800, 3000} << "R" << QPoint(-2, -1)
            << ViewControl{0, 0, 0, 772, -773, 3000};
        QTest::newRow("pan stops at the limits")
            << at << "R" << QPoint(-10000, 10000) << ViewControl{0, 0, 0, -18000, -10000};
        QTest::newRow("pan from beyond the limit")
            << ViewControl{0, 0, 0, std::numeric_limits<int>::min(), 0, 1} << "R" << QPoint(1, 1)
            << ViewControl{0, 0, 0, -18000, -10000, 1};
        QTest::newRow("left wins, and clamps") << ViewControl{100, 0, 0, 99999} << "LR"
                                               << QPoint(10, 10) << ViewControl{0, 0, 80, 18000};
        QTest::newRow("wheel out at the limit") << at << "W" << QPoint(-120, 0) << at;
        QTest::newRow("wheel in to the limit")
            << zoomed(90000) << "W" << QPoint(120, 0) << zoomed(100000);
        QTest::newRow("wheel out from beyond")
            << zoomed(160000) << "W" << QPoint(-120, 0) << zoomed(118518);
    }

    void viewControl()
    {
        QFETCH(ViewControl, start);
        QFETCH(QString, input);
        QFETCH(QPoint, delta);
        QFETCH(ViewControl, expected);
        ViewControl view = start;
        if (input == "W")
            view.wheel(delta.x());
        else
            view.drag(delta.x(), delta.y(),
                      (input.contains('L') ? Qt::LeftButton : Qt::NoButton) |
                          (input.contains('R') ? Qt::RightButton : Qt::NoButton));
        QCOMPARE(view, expected);
    }

    void lookFromAbove_data()
    {
        QTest::addColumn<float>("aspect");
        QTest::addColumn<Envelope>("envelope");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<ViewControl>("expected");
        const float huge = std::numeric_limits<float>::max();
        const ViewControl unchanged{-100, 5, 7, 40, 0, 5000};
        QTest::newRow("square") << 1.0f << Envelope{-10, 10, -10, 10, -3, 0} << true
                                << ViewControl{0, 0, 0, 0, 0, 160000};
        QTest::newRow("wide: the depth decides")
            << 0.25f << Envelope{-10, 30, -10, 20, 0, 0} << true
            << ViewControl{0, 0, 0, -100, -50, 26666, 0.25f};
        QTest::newRow("nothing measured yet") << 1.0f << Envelope() << false << unchanged;
        QTest::newRow("absurd") << 1.0f << Envelope{huge / 2, huge, -huge, huge, 0, 0} << true
                                << ViewControl{0, 0, 0, std::numeric_limits<int>::min(), 0, 1};
    }

    void lookFromAbove()
    {
        QFETCH(float, aspect);
        QFETCH(Envelope, envelope);
        QFETCH(bool, fits);
        QFETCH(ViewControl, expected);
        ViewControl view{-100, 5, 7, 40, 0, 5000, aspect};
        QCOMPARE(view.lookFromAbove(envelope), fits);
        QCOMPARE(view, expected);
    }

    void mouseAndWheelReachTheView()
    {
        send(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
        send(QEvent::MouseMove, {110, 40}, Qt::LeftButton);
        send(QEvent::MouseButtonPress, {0, 0}, Qt::RightButton);
        send(QEvent::MouseMove, {1, 2}, Qt::RightButton);
        for (const QPoint angle : {QPoint(0, 120), QPoint(120, 0)}) { // sideways does not zoom
            QWheelEvent event(QPointF(10, 10), preview->mapToGlobal(QPoint(10, 10)), QPoint(),
                              angle, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(preview, &event);
        }
        QCOMPARE(preview->view(), (ViewControl{-480, 0, 80, 80, -160, 1350}));
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

    void noAreaKeepsTheProjection()
    {
        struct Resizable : OpenGLWidget
        {
            using OpenGLWidget::resizeGL;
        } widget;
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        widget.makeCurrent();
        widget.resizeGL(200, 100);
        widget.resizeGL(0, 100);
        widget.resizeGL(200, 0);
        QCOMPARE(widget.view().aspect, 0.5f);
    }
};

ORLO_TEST_MAIN(TestOpenGLWidget)
#include "tst_OpenGLWidget.moc"
