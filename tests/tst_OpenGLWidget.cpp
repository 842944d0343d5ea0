#include "TestMain.h"

#include "ImmediatePathWidget.h"

#include "preview/OpenGLWidget.h"

#include <QLCDNumber>
#include <QSignalSpy>

Q_DECLARE_METATYPE(QVector<PathPoint>)

namespace {

// A colour counts when its channels stand clearly apart from the grey background (85, 85, 85).
bool looks(const QColor &pixel, bool red, bool green, bool blue)
{
    const auto high = [](int channel) { return channel > 120; };
    const auto low = [](int channel) { return channel < 60; };
    return (red ? high(pixel.red()) : low(pixel.red())) &&
           (green ? high(pixel.green()) : low(pixel.green())) &&
           (blue ? high(pixel.blue()) : low(pixel.blue()));
}

bool isRed(const QColor &c)
{
    return looks(c, true, false, false);
}
bool isGreen(const QColor &c)
{
    return looks(c, false, true, false);
}
bool isCyan(const QColor &c)
{
    return looks(c, false, true, true);
}
bool isYellow(const QColor &c)
{
    return looks(c, true, true, false);
}
bool isGrey(const QColor &c)
{
    return looks(c, true, true, true);
}

// Whether any pixel within one of (x, y) passes.
template <typename Test> bool near(const QImage &image, int x, int y, Test test)
{
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            if (test(image.pixelColor(x + dx, y + dy)))
                return true;
        }
    }
    return false;
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
    QImage fittedFrame()
    {
        frame();
        preview->lookFromAbove();
        return frame();
    }

    void showOnly(bool origin, bool envelope, bool tool)
    {
        preview->setShowOrigin(origin);
        preview->setShowEnvelope(envelope);
        preview->setShowTool(tool);
    }

    void send(QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, at, preview->mapToGlobal(at), Qt::NoButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(preview, &event);
    }

    void wheel(int delta, bool sideways = false)
    {
        const QPoint angle = sideways ? QPoint(delta, 0) : QPoint(0, delta);
        QWheelEvent event(QPointF(10, 10), preview->mapToGlobal(QPoint(10, 10)), QPoint(), angle,
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
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

    template <typename Test> bool nearPoint(const QImage &image, float x, float y, Test test)
    {
        const QPoint at = pixelOf(x, y);
        return near(image, at.x(), at.y(), test);
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

    void pathAtTheOriginGivesTwentyByTwenty()
    {
        frame();
        QCOMPARE(path.size(), 2); // padded with two origin points
        QCOMPARE(envelopeX.value(), 20.0);
        QCOMPARE(envelopeY.value(), 20.0);
        QCOMPARE(envelopeZ.value(), 0.0);
    }

    void displaysMeasureThePathWithMargins_data()
    {
        QTest::addColumn<QVector<PathPoint>>("points");
        QTest::addColumn<QVector<double>>("sizes");
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
    }

    // A rapid move to (5, 0) in red, then a feed move up to (5, 5) in green, seen from above
    // at 12.8 pixels per unit with (2.5, 2.5) in the middle.
    void rapidIsRedFeedIsGreenWithoutAGap()
    {
        path = {{0, 0, 0, 0}, {5, 0, 0, 0}, {5, 5, 0, 1}};
        showOnly(false, false, false);
        const QImage image = fittedFrame();
        QCOMPARE(preview->view().zoom, 128000);
        const auto px = [](float x) { return int(side / 2 + (x - 2.5f) * 12.8f); };
        const auto py = [](float y) { return int(side / 2 - (y - 2.5f) * 12.8f); };
        for (int x = px(0) + 2; x < px(5) - 1; ++x)
            QVERIFY2(near(image, x, py(0), isRed), qPrintable(QString::number(x)));
        for (int y = py(5) + 2; y <= py(0); ++y)
            QVERIFY2(near(image, px(5), y, isGreen), qPrintable(QString::number(y)));
        QVERIFY(!near(image, px(2.5f), py(2.5f), isGreen));
    }

    void envelopeIsACyanBox()
    {
        showOnly(false, true, false);
        const QImage image = fittedFrame(); // 20 x 20 at 16 pixels per unit
        QCOMPARE(preview->view().zoom, 160000);
        for (int along : {60, 200, 340}) {
            QVERIFY(near(image, 40, along, isCyan));
            QVERIFY(near(image, 360, along, isCyan));
            QVERIFY(near(image, along, 40, isCyan));
            QVERIFY(near(image, along, 360, isCyan));
        }
        QVERIFY(!near(image, 100, 100, isCyan));
        preview->setShowEnvelope(false);
        QVERIFY(!near(frame(), 40, 200, isCyan));
    }

    void toolStandsWhereTheWorkDisplaysSay()
    {
        showOnly(false, false, true);
        toolX.display(QStringLiteral("5.000"));
        toolY.display(QStringLiteral("-5.000"));
        const QImage image = fittedFrame();
        QVERIFY(near(image, 200 + 80, 200 + 80, isYellow));
        QVERIFY(!near(image, 200, 200, isYellow));
        preview->setShowTool(false);
        QVERIFY(!near(frame(), 280, 280, isYellow));
        preview->setShowTool(true);
        preview->setToolDisplays(&toolX, nullptr, &toolZ);
        QVERIFY(!near(frame(), 280, 280, isYellow));
    }

    void originShowsItsAxes()
    {
        showOnly(true, false, false);
        const QImage image = fittedFrame();
        QVERIFY(near(image, 200 + 5 * 16, 200, isRed));                 // X arrow to the right
        QVERIFY(near(image, 200, 200 - 5 * 16, isGreen));               // Y arrow upward
        QVERIFY(looks(image.pixelColor(200, 200), false, false, true)); // Z arrow toward us
        preview->setShowOrigin(false);
        QVERIFY(!near(frame(), 280, 200, isRed));
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
        showOnly(false, false, false);
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
        const auto onPath = [](const QColor &c) { return isRed(c) || isGreen(c); };
        int drawn = 0, redShift = 0;
        for (int y = 1; y < side - 1; ++y) {
            for (int x = 1; x < side - 1; ++x) {
                for (const auto &[one, other] :
                     {std::pair(every, thinned), std::pair(thinned, every)})
                    QVERIFY2(!onPath(one.pixelColor(x, y)) || near(other, x, y, onPath),
                             qPrintable(QString("%1, %2").arg(x).arg(y)));
                drawn += onPath(every.pixelColor(x, y));
                redShift += isRed(every.pixelColor(x, y)) - isRed(thinned.pixelColor(x, y));
            }
        }
        QVERIFY(drawn > 500);
        QVERIFY2(qAbs(redShift) <= drawn / 10, qPrintable(QString::number(redShift)));
    }

    void mouseAndWheelMoveTheView()
    {
        send(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
        send(QEvent::MouseMove, {110, 40}, Qt::LeftButton);
        QCOMPARE(preview->view().xRot, -480);
        QCOMPARE(preview->view().zRot, 80);
        send(QEvent::MouseMove, {110, -400}, Qt::LeftButton);
        QCOMPARE(preview->view().xRot, -2880);
        send(QEvent::MouseButtonPress, {0, 0}, Qt::RightButton);
        send(QEvent::MouseMove, {1, 2}, Qt::RightButton);
        QCOMPARE(preview->view().xTrans, 80);
        QCOMPARE(preview->view().yTrans, -160);
        wheel(120);
        QCOMPARE(preview->view().zoom, 1350);
        wheel(120, true); // a sideways wheel does not zoom
        QCOMPARE(preview->view().zoom, 1350);
        wheel(-120);
        wheel(-120);
        QCOMPARE(preview->view().zoom, 1000);
    }

    // A square walked counter-clockwise from the origin: the done part turns grey side by side
    // over the image of the path, which is not drawn again until the path is said to change.
    void donePartTurnsGreyOverTheImageOfThePath()
    {
        path = {{0, 0, 0, 0}, {10, 0, 0, 1}, {10, 10, 0, 1}, {0, 10, 0, 1}};
        preview->updateGL();
        showOnly(false, false, false);
        fittedFrame();
        const auto sides = [this](const QImage &image) {
            QString colours;
            for (const QPointF middle : {QPointF(5, 0), QPointF(10, 5), QPointF(5, 10)})
                colours += nearPoint(image, middle.x(), middle.y(), isGrey)    ? 'd'
                           : nearPoint(image, middle.x(), middle.y(), isGreen) ? 'g'
                                                                               : '-';
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
        showOnly(false, false, true);
        fittedFrame();
        QSignalSpy frames(preview, &OpenGLWidget::frameSwapped);
        const auto moveTo = [this](double x, double y) {
            toolX.display(x);
            toolY.display(y);
        };
        moveTo(5, -5);
        preview->updateToolMarker();
        QVERIFY(frames.wait(2000));
        QVERIFY(nearPoint(frame(), 5, -5, isYellow));
        preview->setShowTool(false);
        QVERIFY(frames.wait(2000));
        moveTo(0, 0);
        preview->setShowTool(true);
        QVERIFY(frames.wait(2000));
        QVERIFY(nearPoint(frame(), 0, 0, isYellow));
        moveTo(5, -5);
        preview->updateToolMarker();
        QVERIFY(frames.wait(2000));
        const QImage image = frame();
        QVERIFY(nearPoint(image, 5, -5, isYellow) && !nearPoint(image, 0, 0, isYellow));
        frames.clear();
        preview->updateToolMarker();
        QVERIFY(!frames.wait(300));
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
        QCOMPARE(widget.view().aspect, 0.5f);
        widget.resizeGL(0, 100);
        widget.resizeGL(200, 0);
        QCOMPARE(widget.view().aspect, 0.5f);
    }

    void lookFromAboveWithoutAPathChangesNothing()
    {
        preview->setToolPath(nullptr);
        frame();
        preview->lookFromAbove();
        QCOMPARE(preview->view().zoom, 1000);
        QCOMPARE(frame().pixelColor(200, 200), QColor(85, 85, 85));
    }
};

ORLO_TEST_MAIN(TestOpenGLWidget)
#include "tst_OpenGLWidget.moc"
