#include "OffscreenGLWidget.h"

#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QPainter>

#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif

OffscreenGLWidget::OffscreenGLWidget(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel comes from the frame
}

OffscreenGLWidget::~OffscreenGLWidget()
{
    if (makeCurrent())
        target.reset();
    doneCurrent();
}

bool OffscreenGLWidget::makeCurrent()
{
    if (!glContext) {
        glContext = std::make_unique<QOpenGLContext>();
        if (!glContext->create())
            return false;
        surface.setFormat(glContext->format());
        surface.create();
        if (!glContext->makeCurrent(&surface))
            return false;
        initializeOpenGLFunctions();
        initializeGL();
    }
    return glContext->makeCurrent(&surface);
}

void OffscreenGLWidget::doneCurrent()
{
    if (glContext)
        glContext->doneCurrent();
}

bool OffscreenGLWidget::renderFrame()
{
    const QSize size = this->size() * devicePixelRatioF();
    if (size.isEmpty() || !makeCurrent())
        return false;
    if (!target || target->size() != size) {
        target = std::make_unique<QOpenGLFramebufferObject>(
            size, QOpenGLFramebufferObject::CombinedDepthStencil);
        resizeGL(width(), height());
    }
    target->bind();
    paintGL();
    target->bind();
    // Read row by row from the bottom up, as GL keeps them; the image wants them top down.
    QImage upsideDown(size, QImage::Format_RGB32);
    glReadPixels(0, 0, size.width(), size.height(), GL_BGRA, GL_UNSIGNED_BYTE, upsideDown.bits());
    target->release();
    frame = upsideDown.mirrored();
    frame.setDevicePixelRatio(devicePixelRatioF());
    return true;
}

QImage OffscreenGLWidget::grabFramebuffer()
{
    renderFrame();
    return frame;
}

void OffscreenGLWidget::paintEvent(QPaintEvent *)
{
    if (!renderFrame())
        return;
    QPainter(this).drawImage(QPoint(), frame);
    emit frameSwapped();
}
