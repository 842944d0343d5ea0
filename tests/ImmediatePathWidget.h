#pragma once

#include "preview/PathPoint.h"
#include "preview/ViewControl.h"

#include <QColor>
#include <QOpenGLFunctions_1_1>
#include <QOpenGLWidget>

// The toolpath drawn vertex by vertex in immediate mode, under the same view as the preview:
// the way the path was drawn before vertex arrays, kept as the yardstick for their pixels and
// their speed.
class ImmediatePathWidget : public QOpenGLWidget, protected QOpenGLFunctions_1_1
{
public:
    const QVector<PathPoint> *path = nullptr;
    ViewControl view;

protected:
    void initializeGL() override
    {
        initializeOpenGLFunctions();
        const QColor background = QColor(Qt::darkGray).darker(150);
        glClearColor(background.redF(), background.greenF(), background.blueF(), 1.0f);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glShadeModel(GL_SMOOTH);
    }

    void paintGL() override
    {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        view.aspect = float(height()) / float(width());
        glOrtho(-200000, 200000, -200000 * view.aspect, 200000 * view.aspect, -2000000, 2000000);
        glMatrixMode(GL_MODELVIEW);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        glScalef(view.scale(), view.scale(), view.scale());
        glTranslatef(view.xTrans * 0.1f, view.yTrans * 0.1f, -10);
        glRotatef(view.xRot / 16.0f, 1, 0, 0);
        glRotatef(view.yRot / 16.0f, 0, 1, 0);
        glRotatef(view.zRot / 16.0f, 0, 0, 1);
        if (!path || path->isEmpty())
            return;
        const auto colourOf = [](const PathPoint &p) { return p.moveType < 0.5f ? 0 : 1; };
        const auto setColour = [this](int colour) {
            glColor3ub(colour ? 0 : 255, colour ? 255 : 0, 0);
        };
        int colour = colourOf(path->first());
        setColour(colour);
        glBegin(GL_LINE_STRIP);
        for (int n = 0; n < path->size(); ++n) {
            const PathPoint &p = path->at(n);
            if (colourOf(p) != colour) {
                glEnd();
                colour = colourOf(p);
                setColour(colour);
                glBegin(GL_LINE_STRIP);
                const PathPoint &before = path->at(n - 1);
                glVertex3f(before.x, before.y, before.z);
            }
            glVertex3f(p.x, p.y, p.z);
        }
        glEnd();
    }
};
