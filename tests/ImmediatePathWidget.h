#pragma once

#include "preview/PathPoint.h"
#include "preview/ViewControl.h"

#include <QOpenGLFunctions_1_1>
#include <QOpenGLWidget>

// The toolpath drawn vertex by vertex in immediate mode under the preview's view, as it was drawn
// before vertex arrays: the yardstick for their pixels and their speed.
class ImmediatePathWidget : public QOpenGLWidget, protected QOpenGLFunctions_1_1
{
public:
    const QVector<PathPoint> *path = nullptr;
    ViewControl view;

protected:
    void initializeGL() override
    {
        initializeOpenGLFunctions();
        glClearColor(85 / 255.0f, 85 / 255.0f, 85 / 255.0f, 1.0f); // the preview's grey
        glEnable(GL_DEPTH_TEST);
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
        // Red rapids, green cuts: a strip per run of one colour, joined to the point before it.
        bool cut = !(path->first().moveType < 0.5f);
        glColor3ub(cut ? 0 : 255, cut ? 255 : 0, 0);
        glBegin(GL_LINE_STRIP);
        for (int n = 0; n < path->size(); ++n) {
            const PathPoint &p = path->at(n);
            if (!(p.moveType < 0.5f) != cut) {
                cut = !cut;
                glEnd();
                glColor3ub(cut ? 0 : 255, cut ? 255 : 0, 0);
                glBegin(GL_LINE_STRIP);
                glVertex3f(path->at(n - 1).x, path->at(n - 1).y, path->at(n - 1).z);
            }
            glVertex3f(p.x, p.y, p.z);
        }
        glEnd();
    }
};
