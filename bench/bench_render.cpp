// Frames of the preview with a million-point path: a full repaint (the path drawn anew, as after
// an edit), beside the frames a running job asks for (the tool marker moved, the done part
// grown), which show the image of the path with the marker and the new done segments over it.
// Also the path alone as the preview draws it, thinned to the points half a pixel apart, beside
// every point sent vertex by vertex in immediate mode.
#include "BenchProgram.h"
#include "ImmediatePathWidget.h"

#include "app/LevelledView.h"
#include "preview/OpenGLWidget.h"

#include <QApplication>
#include <QLCDNumber>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>
#include <functional>
#include <utility>

using namespace BenchProgram;

namespace {

// Times paintGL to the end of the GL work (software GL queues work until it is flushed).
template <typename Widget> class Timed : public Widget
{
public:
    QVector<double> paints;

protected:
    void paintGL() override
    {
        QElapsedTimer timer;
        timer.start();
        Widget::paintGL();
        QOpenGLContext::currentContext()->functions()->glFinish();
        paints.append(msSince(timer));
    }
};

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Widget> void showAt(Widget &widget, QSize size)
{
    widget.resize(size);
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget))
        qFatal("no window");
}

template <typename Widget>
double repaintMs(
    Widget &widget, int repaints, const std::function<void()> &before = [] {})
{
    widget.paints.clear();
    for (int n = 0; n < repaints; ++n) {
        before();
        widget.grabFramebuffer();
    }
    return median(widget.paints);
}

struct FrameTimes
{
    double paintMs = 0; // paintGL to the end of its GL work
    double shownMs = 0; // from asking for the frame until it is on the screen
};

// Frames as the window asks for them: change something, schedule, wait until it is shown.
FrameTimes frames(Timed<OpenGLWidget> &preview, int count, const std::function<void(int)> &change)
{
    QSignalSpy swapped(&preview, &OpenGLWidget::frameSwapped);
    QVector<double> shown;
    preview.paints.clear();
    for (int n = 0; n < count; ++n) {
        swapped.clear();
        QElapsedTimer timer;
        timer.start();
        change(n);
        if (!swapped.wait(10000))
            qFatal("no frame");
        shown.append(msSince(timer));
    }
    return {median(preview.paints), median(shown)};
}

QVector<PathPoint> pathOf(const QString &text)
{
    QString blocks = text;
    blocks.replace(QLatin1Char('\n'), QChar(QChar::ParagraphSeparator));
    PathInterpreter reader;
    reader.replaceBlocks(0, 0, blocks);
    QVector<PathPoint> path;
    reader.update(path);
    return path;
}

// The million-line program as the preview in the window's dock draws it, plain and levelled by
// a map of 2 mm spacing, whose path has several points for most moves of the plain one.
void previewOfPrograms()
{
    const QString text = millionLines();
    QVector<PathPoint> plain = pathOf(text);
    const auto levelled = LevelledView::make(text, wavedSurface(300, 301), MachineState{});
    if (!levelled->program.refusal.isEmpty())
        qFatal("not levelled: %s", qPrintable(levelled->program.refusal));
    for (const auto &[name, path] : {std::pair{"plain program:   ", &plain},
                                     std::pair{"levelled program:", &levelled->path}}) {
        Timed<OpenGLWidget> preview;
        QLCDNumber toolX, toolY, toolZ;
        preview.setToolDisplays(&toolX, &toolY, &toolZ);
        preview.setToolPath(path);
        showAt(preview, QSize(335, 167));
        preview.lookFromAbove();
        const FrameTimes full = frames(preview, 7, [&](int) { preview.updateGL(); });
        const int half = path->size() / 2;
        const FrameTimes done =
            frames(preview, 21, [&](int n) { preview.setDonePoints(half + (n + 1) * 1000); });
        std::printf("%s %8d points, full repaint %7.1f ms (on screen %7.1f ms), done part grown "
                    "%6.1f ms\n",
                    name, int(path->size()), full.paintMs, full.shownMs, done.shownMs);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QVector<PathPoint> path = millionPoints();
    std::printf("renderer: %s\n", [] {
        QOpenGLWidget probe;
        probe.resize(10, 10);
        probe.show();
        if (!QTest::qWaitForWindowExposed(&probe))
            qFatal("no window");
        probe.makeCurrent();
        return reinterpret_cast<const char *>(
            QOpenGLContext::currentContext()->functions()->glGetString(GL_RENDERER));
    }());

    // 800 x 600, and the size the preview has in the main window's dock.
    for (const QSize size : {QSize(800, 600), QSize(335, 167)}) {
        Timed<OpenGLWidget> preview;
        QLCDNumber toolX, toolY, toolZ;
        preview.setToolDisplays(&toolX, &toolY, &toolZ);
        preview.setToolPath(&path);
        showAt(preview, size);
        preview.grabFramebuffer();
        preview.lookFromAbove();
        std::printf("%d points, %d x %d, fitted top view, medians:\n", int(path.size()),
                    size.width(), size.height());
        const FrameTimes full = frames(preview, 7, [&](int) { preview.updateGL(); });
        std::printf("  full repaint (path drawn anew):   paint %7.1f ms, on screen %7.1f ms\n",
                    full.paintMs, full.shownMs);
        const FrameTimes marker = frames(preview, 21, [&](int n) {
            toolX.display(path[n * 1000].x);
            toolY.display(path[n * 1000].y);
            preview.updateToolMarker();
        });
        std::printf("  tool marker moved:                paint %7.1f ms, on screen %7.1f ms\n",
                    marker.paintMs, marker.shownMs);
        const int half = path.size() / 2;
        const FrameTimes done = frames(preview, 21, [&](int n) {
            preview.setDonePoints(half + (n + 1) * 1000); // far more than a status report's
        });
        std::printf("  done part grown by 1000 points:   paint %7.1f ms, on screen %7.1f ms\n",
                    done.paintMs, done.shownMs);
        const FrameTimes jumps = frames(preview, 10, [&](int n) {
            preview.setDonePoints(half + 21000 + (n + 1) * path.size() / 21);
        });
        std::printf("  done part grown by 1/21 of the path: paint %5.1f ms, on screen %7.1f ms\n",
                    jumps.paintMs, jumps.shownMs);
        preview.setDonePoints(0);

        preview.setShowOrigin(false);
        preview.setShowEnvelope(false);
        preview.setShowTool(false);
        const double arrays = repaintMs(preview, 7, [&] { preview.updateGL(); });
        Timed<ImmediatePathWidget> immediate;
        immediate.path = &path;
        immediate.view = preview.view();
        showAt(immediate, size);
        const double perVertex = repaintMs(immediate, 7);
        const QImage thinned = preview.grabFramebuffer(), every = immediate.grabFramebuffer();
        int differing = 0;
        for (int y = 0; y < every.height(); ++y) {
            for (int x = 0; x < every.width(); ++x)
                differing += thinned.pixel(x, y) != every.pixel(x, y);
        }
        std::printf("  path alone, points within half a pixel left out:  %7.1f ms\n", arrays);
        std::printf("  baseline, path alone (immediate mode, per vertex):  %7.1f ms (%.1f times); "
                    "%d of %d pixels differ\n",
                    perVertex, perVertex / arrays, differing, every.width() * every.height());
    }
    previewOfPrograms();
    return 0;
}
