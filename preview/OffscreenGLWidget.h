#pragma once

#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLFunctions_1_1>
#include <QWidget>

#include <memory>

class QOpenGLContext;
class QOpenGLFramebufferObject;

// A widget drawn with OpenGL into a framebuffer of its own, read back and painted like any other
// widget. The toolkit's own GL widget makes its window compose every repaint of every widget
// through OpenGL; with a software renderer that costs some 5 ms for each change anywhere in the
// main window (a terminal line, a position display), against half a millisecond without, and
// it slows a program's streaming down. With this one the window stays a plain raster window,
// and reading back the preview's few hundred kilobytes costs a fraction of a millisecond.
class OffscreenGLWidget : public QWidget, protected QOpenGLFunctions_1_1
{
    Q_OBJECT

public:
    explicit OffscreenGLWidget(QWidget *parent = nullptr);
    ~OffscreenGLWidget() override;

    // Draws a frame now and returns it.
    QImage grabFramebuffer();
    // Makes the widget's context current, creating it first if need be; false without OpenGL.
    bool makeCurrent();
    void doneCurrent();

signals:
    // A new frame has been painted (the window shows it as soon as the paint returns).
    void frameSwapped();

protected:
    // As the toolkit's GL widget calls them: once the context exists, when the size changes
    // (before a frame), and for every frame, with the frame's framebuffer bound.
    virtual void initializeGL() {}
    virtual void resizeGL(int, int) {}
    virtual void paintGL() = 0;
    // What paintGL draws into.
    QOpenGLFramebufferObject *frameBuffer() const { return target.get(); }

    void paintEvent(QPaintEvent *event) override;

private:
    bool renderFrame();

    std::unique_ptr<QOpenGLContext> glContext;
    QOffscreenSurface surface;
    std::unique_ptr<QOpenGLFramebufferObject> target;
    QImage frame;
};
