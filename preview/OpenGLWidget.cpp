#include "OpenGLWidget.h"

#include <QColor>

OpenGLWidget::OpenGLWidget(QWidget *parent) : QOpenGLWidget(parent) {}

void OpenGLWidget::initializeGL()
{
    initializeOpenGLFunctions();
    const QColor background = QColor(Qt::darkGray).darker(150);
    glClearColor(background.redF(), background.greenF(), background.blueF(), 1.0f);
}

void OpenGLWidget::paintGL()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
