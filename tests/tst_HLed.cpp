#include "TestMain.h"

#include "app/HLed.h"
#include "app/LedGeometry.h"

using LedGeometry::Spot;
Q_DECLARE_METATYPE(Spot)

class TestHLed : public QObject
{
    Q_OBJECT

private:
    static QColor pixel(HLed &led, int x, int y) { return led.grab().toImage().pixelColor(x, y); }

private slots:
    void geometry_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("diameter");
        QTest::addColumn<int>("lightFactor");
        QTest::addColumn<QVector<Spot>>("spots");
        QTest::newRow("2x2 has no lamp") << 2 << 0 << 0 << QVector<Spot>{};
        QTest::newRow("1x1 is not negative") << 1 << 0 << 0 << QVector<Spot>{};
        QTest::newRow("20x20") << 20 << 18 << 121 << QVector<Spot>{{12, 4}, {9, 5}, {6, 6}, {3, 7}};
        QTest::newRow("30x30") << 30 << 28 << 114 << QVector<Spot>{{18, 6}, {15, 7}, {12, 8},
                                                                   {9, 9},  {6, 10}, {3, 11}};
    }

    void geometry()
    {
        QFETCH(int, side);
        QFETCH(int, diameter);
        QFETCH(int, lightFactor);
        QFETCH(QVector<Spot>, spots);
        QCOMPARE(LedGeometry::diameter(side, side), diameter);
        QCOMPARE(LedGeometry::lightFactor(diameter), lightFactor);
        QCOMPARE(LedGeometry::highlightSpots(diameter), spots);
    }

    void smallerSideDecides()
    {
        QCOMPARE(LedGeometry::diameter(40, 20), 18);
        QCOMPARE(LedGeometry::diameter(20, 40), 18);
    }

    // Away from the highlight and the ring the disc shows the plain lamp colour.
    void paintsTheStateColour()
    {
        HLed led;
        led.resize(30, 30);
        QCOMPARE(pixel(led, 22, 22), QColor(Qt::green));

        led.turnOff();
        QCOMPARE(pixel(led, 22, 22), QColor(Qt::green).darker(300));
        led.setColor(Qt::red); // the off colour follows the lamp colour
        QCOMPARE(pixel(led, 22, 22), QColor(Qt::red).darker(300));
        led.turnOn();
        QCOMPARE(pixel(led, 22, 22), QColor(Qt::red));
        led.turnOff(false);
        QVERIFY(led.isOn());
        led.toggle();
        QVERIFY(!led.isOn());
    }

    void highlightIsLighterThanTheDisc()
    {
        HLed led;
        led.resize(30, 30);
        led.setColor(QColor(0, 120, 0));
        const QColor centreOfSpot = pixel(led, 14, 14);
        QVERIFY(centreOfSpot.lightness() > QColor(0, 120, 0).lightness());
    }

    void nonSquareLampSitsTopLeft()
    {
        HLed wide;
        wide.resize(60, 20);
        HLed square;
        square.resize(20, 20);
        const QImage image = wide.grab().toImage();
        QCOMPARE(image.copy(0, 0, 20, 20), square.grab().toImage());
        QCOMPARE(image.pixelColor(45, 10), wide.palette().color(QPalette::Window));
    }

    void tinyLampPaintsWithoutSpot()
    {
        HLed led;
        led.resize(2, 2);
        QCOMPARE(led.grab().size(), QSize(2, 2));
    }
};

ORLO_TEST_MAIN(TestHLed)
#include "tst_HLed.moc"
