#include "TestMain.h"

#include "app/HLed.h"
#include "app/LedGeometry.h"

using LedGeometry::Spot;
Q_DECLARE_METATYPE(Spot)

class TestHLed : public QObject
{
    Q_OBJECT

private slots:
    void geometry_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("diameter");
        QTest::addColumn<int>("lightFactor");
        QTest::addColumn<QVector<Spot>>("spots");
        QTest::newRow("2x2 has no lamp") << QSize(2, 2) << 0 << 0 << QVector<Spot>{};
        QTest::newRow("1x1 is not negative") << QSize(1, 1) << 0 << 0 << QVector<Spot>{};
        const QVector<Spot> spots18{{12, 4}, {9, 5}, {6, 6}, {3, 7}};
        QTest::newRow("20x20") << QSize(20, 20) << 18 << 121 << spots18;
        QTest::newRow("the smaller side decides") << QSize(40, 20) << 18 << 121 << spots18;
        QTest::newRow("either side") << QSize(20, 40) << 18 << 121 << spots18;
        QTest::newRow("30x30") << QSize(30, 30) << 28 << 114
                               << QVector<Spot>{{18, 6}, {15, 7}, {12, 8},
                                                {9, 9},  {6, 10}, {3, 11}};
    }

    void geometry()
    {
        QFETCH(QSize, size);
        QFETCH(int, diameter);
        QFETCH(int, lightFactor);
        QFETCH(QVector<Spot>, spots);
        QCOMPARE(LedGeometry::diameter(size.width(), size.height()), diameter);
        QCOMPARE(LedGeometry::lightFactor(diameter), lightFactor);
        QCOMPARE(LedGeometry::highlightSpots(diameter), spots);
    }

    // Away from the highlight and the ring the disc shows the plain lamp colour; the off colour
    // follows the lamp colour; the highlight is lighter; a wide lamp sits at the left.
    void paintsTheStateColour()
    {
        HLed led;
        led.resize(60, 30);
        const auto pixel = [&led](int x, int y) { return led.grab().toImage().pixelColor(x, y); };
        QCOMPARE(pixel(22, 22), QColor(Qt::green));
        led.turnOff();
        QCOMPARE(pixel(22, 22), QColor(Qt::green).darker(300));
        led.setColor(Qt::red);
        QCOMPARE(pixel(22, 22), QColor(Qt::red).darker(300));
        led.turnOn();
        QCOMPARE(pixel(22, 22), QColor(Qt::red));
        QVERIFY(pixel(14, 14).lightness() > QColor(Qt::red).lightness());
        QCOMPARE(pixel(45, 15), led.palette().color(QPalette::Window));
        led.turnOff(false);
        QVERIFY(led.isOn());
        led.toggle();
        QVERIFY(!led.isOn());
    }
};

ORLO_TEST_MAIN(TestHLed)
#include "tst_HLed.moc"
