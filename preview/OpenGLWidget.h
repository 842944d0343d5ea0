#pragma once

#include <QOpenGLFunctions>
#include <QOpenGLWidget>

// The 3D toolpath preview.
class OpenGLWidget : public QOpenGLWidget, protected QOpenGLFunctions
{
    Q_OBJECT

public:
    explicit OpenGLWidget(QWidget *parent = nullptr);

protected:
    QSize sizeHint() const override { return QSize(400, 400); }
    QSize minimumSizeHint() const override { return QSize(50, 50); }
    void initializeGL() override;
    void paintGL() override;
};
