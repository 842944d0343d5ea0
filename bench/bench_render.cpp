// One repaint of a million-point path: one vertex-array draw straight from the path, beside
// the same path sent vertex by vertex in immediate mode, in the same view.
#include "BenchProgram.h"
#include "ImmediatePathWidget.h"

#include "preview/OpenGLWidget.h"

#include <QApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QTest>

#include <cstdio>
#include <functional>

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

template <typename Widget> double repaintMs(Widget &widget, int repaints)
{
    widget.paints.clear();
    for (int n = 0; n < repaints; ++n)
        widget.grabFramebuffer();
    return median(widget.paints);
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
        preview.setToolPath(&path);
        showAt(preview, size);
        preview.grabFramebuffer();
        preview.lookFromAbove();
        const double fullScene = repaintMs(preview, 7);
        preview.setShowOrigin(false);
        preview.setShowEnvelope(false);
        preview.setShowTool(false);
        const double arrays = repaintMs(preview, 7);
        Timed<ImmediatePathWidget> immediate;
        immediate.path = &path;
        immediate.view = preview.view();
        showAt(immediate, size);
        const double perVertex = repaintMs(immediate, 7);
        const bool same = preview.grabFramebuffer() == immediate.grabFramebuffer();
        std::printf("repaint of %d points, %d x %d, fitted top view, median of 7:\n", path.size(),
                    size.width(), size.height());
        std::printf("  station, whole scene (path, envelope, origin, tool): %7.1f ms\n", fullScene);
        std::printf("  station, path alone (one vertex-array draw):          %7.1f ms\n", arrays);
        std::printf(
            "  baseline, path alone (immediate mode, per vertex):  %7.1f ms  (%.1f times)\n",
            perVertex, perVertex / arrays);
        std::printf("  pixels of the path alone: %s\n", same ? "identical" : "DIFFERENT");
    }
    return 0;
}
