#include "TestMain.h"

#include "preview/ViewControl.h"

#include <limits>

class TestViewControl : public QObject
{
    Q_OBJECT

private slots:
    void leftButtonTiltsWithinHalfATurnAndSpinsFreely()
    {
        ViewControl view;
        view.drag(3, -100, Qt::LeftButton);
        QCOMPARE(view.xRot, -800);
        QCOMPARE(view.zRot, 24);
        view.drag(0, -400, Qt::LeftButton); // past -180 degrees
        QCOMPARE(view.xRot, -2880);
        view.drag(0, 1000, Qt::LeftButton); // past 0
        QCOMPARE(view.xRot, 0);
        view.drag(-1000, 0, Qt::LeftButton);
        QCOMPARE(view.zRot, 24 - 8000);
        QCOMPARE(view.yRot, 0);
        QCOMPARE(view.xTrans, 0);
    }

    void rightButtonPansLessTheMoreItZooms()
    {
        ViewControl view;
        view.drag(10, 10, Qt::RightButton);
        QCOMPARE(view.xTrans, 800);
        QCOMPARE(view.yTrans, -800);
        view.zoom = 3000;
        view.drag(1, 0, Qt::RightButton); // 26.67, truncated
        QCOMPARE(view.xTrans, 826);
        view.drag(-2, -1, Qt::RightButton); // 772.67 and -773.33, truncated toward zero
        QCOMPARE(view.xTrans, 772);
        QCOMPARE(view.yTrans, -773);
        view.drag(1000, -1000, Qt::RightButton);
        QCOMPARE(view.xTrans, 18000);
        QCOMPARE(view.yTrans, 10000);
        view.drag(-10000, 10000, Qt::RightButton);
        QCOMPARE(view.xTrans, -18000);
        QCOMPARE(view.yTrans, -10000);
        QCOMPARE(view.xRot, 0);
    }

    void leftButtonWinsAndEveryMoveClamps()
    {
        ViewControl view;
        view.drag(10, 10, Qt::LeftButton | Qt::RightButton);
        QCOMPARE(view.xTrans, 0);
        view.xRot = 100;
        view.xTrans = 99999;
        view.drag(5, 5, Qt::NoButton);
        QCOMPARE(view.xRot, 0);
        QCOMPARE(view.xTrans, 18000);
        QCOMPARE(view.zRot, 80);
    }

    void wheelZoomsWithinItsLimits()
    {
        ViewControl view;
        view.wheel(-120);
        QCOMPARE(view.zoom, 1000);
        view.wheel(0);
        QCOMPARE(view.zoom, 1000);
        view.wheel(120);
        QCOMPARE(view.zoom, 1350);
        view.zoom = 90000;
        view.wheel(120);
        QCOMPARE(view.zoom, 100000);
        view.zoom = 160000;
        view.wheel(-120);
        QCOMPARE(view.zoom, 118518);
        view.zoom = 160000;
        view.wheel(120);
        QCOMPARE(view.zoom, 100000);
    }

    void lookFromAboveFitsTheEnvelope()
    {
        ViewControl view;
        view.xRot = -100;
        view.yRot = 5;
        view.zRot = 7;
        QVERIFY(view.lookFromAbove({-10, 10, -10, 10, -3, 0}));
        QCOMPARE(view.zoom, 160000);
        QCOMPARE(view.xRot + view.yRot + view.zRot, 0);
        QCOMPARE(view.xTrans, 0);

        view.aspect = 0.25f; // a wide view: the depth decides
        QVERIFY(view.lookFromAbove({-10, 30, -10, 20, 0, 0}));
        QCOMPARE(view.xTrans, -100);
        QCOMPARE(view.yTrans, -50);
        QCOMPARE(view.zoom, 26666);
    }

    void lookFromAboveSurvivesEmptyAndAbsurdEnvelopes()
    {
        ViewControl view;
        view.zoom = 5000;
        view.xTrans = 40;
        QVERIFY(!view.lookFromAbove(Envelope()));
        QCOMPARE(view.zoom, 5000);
        QCOMPARE(view.xTrans, 40);

        const float huge = std::numeric_limits<float>::max();
        QVERIFY(view.lookFromAbove({huge / 2, huge, -huge, huge, 0, 0}));
        QCOMPARE(view.zoom, 1);
        QCOMPARE(view.xTrans, std::numeric_limits<int>::min());
        view.drag(1, 1, Qt::RightButton); // divides by the zoom
        QCOMPARE(view.xTrans, -18000);
        QCOMPARE(view.yTrans, -10000);
    }
};

ORLO_TEST_MAIN(TestViewControl)
#include "tst_ViewControl.moc"
