#include "Station.h"
#include "TestMain.h"
#include "VirtualJoystick.h"

#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

// The station against a Grbl 1.1h controller: positions from one reported position and the
// work offset, numbered errors and alarms in words, jogging that leaves the parser alone and
// stops on release, and overrides.
class TestGrbl11 : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Station> station;

    void startStation(const QStringList &extra = {}, const QVariantMap &keys = {})
    {
        station = std::make_unique<Station>(QStringList{"--grbl", "1.1"} + extra, true, keys);
        QVERIFY(station->start());
    }

    QList<double> displays(const char *kind)
    {
        QList<double> values;
        for (const char *axis : {"X", "Y", "Z"})
            values << station
                          ->widget<QLCDNumber>(qPrintable(QString("lcdNumber%1%2").arg(kind, axis)))
                          ->value();
        return values;
    }

    void typeAndSettle(const QString &line)
    {
        station->type(line);
        QVERIFY(station->reaches("Idle"));
    }

private slots:
    void cleanup() { station.reset(); }

    // Known as 1.1, its buffer asked for. After G10 L20 and a move to machine X 3, Y 8 the work
    // position is 10, 5, 0 in every report, with the work offset in only some of them; likewise
    // after G92 and with $10=0.
    void workPositionFromTheOffset()
    {
        startStation({"--time-scale", "50"});
        QCOMPARE(station->widget<QLabel>("labelController")->text(), QStringLiteral("Grbl 1.1h"));
        QVERIFY(station->widget<QDockWidget>("dockWidgetOverrides")->isVisible());
        QTRY_COMPARE(station->sim.countLogged("$I"), 1); // its receive buffer's size
        typeAndSettle("G10 L20 P1 X7 Y-3");
        typeAndSettle("G53 G0 X3 Y8");
        for (int report = 0; report < 12; ++report) {
            QVERIFY(station->reaches("Idle"));
            QCOMPARE(displays("Machine"), (QList<double>{3, 8, 0}));
            QCOMPARE(displays("Work"), (QList<double>{10, 5, 0}));
        }
        typeAndSettle("G92 X0");
        QTRY_COMPARE((station->click("pushButtonStatusCmd"), displays("Work")),
                     (QList<double>{0, 5, 0}));
        typeAndSettle("$10=0"); // work positions are sent, machine ones derived
        typeAndSettle("G0 Y0");
        QTRY_COMPARE((station->click("pushButtonStatusCmd"), displays("Machine")),
                     (QList<double>{3, 3, 0}));
        QCOMPARE(displays("Work"), (QList<double>{0, 0, 0}));
    }

    void errorsAndAlarmsInWords()
    {
        startStation({"--time-scale", "200"});
        station->type("G5 X1");
        QTRY_VERIFY(station->terminal().contains("error:20 Unsupported command"));
        station->click("pushButtonOpenProbeDialog");
        auto *probing = WindowProbe::child<QDialog>(station->window.get(), "ProbingDialog");
        WindowProbe::child<QDoubleSpinBox>(probing, "distanceSpinBox")->setValue(2); // no contact
        WindowProbe::child<QPushButton>(probing, "pushButtonProbe")->click();
        const QString alarm = "ALARM:5 Probe fail: probe found no contact within the distance";
        QTRY_COMPARE(WindowProbe::child<QLabel>(probing, "labelProbeResult")->text(),
                     "Probe failed: " + alarm);
        const QString terminal = station->terminal();
        QVERIFY(terminal.contains(alarm));
        QVERIFY(terminal.contains("\"$X\" (Kill Alarm Lock) unlocks it, \"$H\" (homing) homes it"));
    }

    void stepJogLeavesTheModalStateAlone()
    {
        startStation();
        station->widget<QRadioButton>("radioButton10mm")->click();
        station->newLines();
        station->click("pushButtonMinusX");
        station->click("pushButtonStateCmd");
        QTRY_COMPARE(station->widget<QLabel>("labelModalState")->text(),
                     QStringLiteral("G54 G21 G90"));
        QCOMPARE(station->newLines().filter(QRegularExpression("^[$G]")),
                 (QStringList{"$J=G91 X-10 F1500", "$G"}));
    }

    // Released, the machine stops at once: no position reported later than 150 ms after the
    // release differs from the last one.
    void continuousJogStopsOnRelease_data()
    {
        QTest::addColumn<bool>("gamepad");
        QTest::newRow("button") << false;
        QTest::newRow("gamepad") << true;
    }

    void continuousJogStopsOnRelease()
    {
        QFETCH(bool, gamepad);
        VirtualJoystick pad;
        pad.centre();
        startStation();
        QTest::qWait(200); // the gamepad is found
        auto *button = station->widget<QPushButton>("pushButtonPlusY");
        gamepad ? pad.setY(0) : QTest::mousePress(button, Qt::LeftButton);
        QTest::qWait(1000);
        QElapsedTimer sinceRelease;
        gamepad ? pad.centre() : QTest::mouseRelease(button, Qt::LeftButton);
        sinceRelease.start();
        double last = -1;
        qint64 lastChange = 0;
        while (sinceRelease.elapsed() < 600) {
            station->click("pushButtonStatusCmd");
            QTest::qWait(10);
            const double y = displays("Machine").at(1);
            if (y != last)
                lastChange = sinceRelease.elapsed();
            last = y;
        }
        qInfo("moved %.3f mm, still moving %lld ms after the release", last, lastChange);
        QVERIFY(last > 1);
        QVERIFY(lastChange <= 150);
        QVERIFY(station->sim.loggedLines().contains("0x85"));
    }

    void overridesChangeTheReports_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("shown");
        QTest::newRow("feed +10") << "pushButtonFeedPlus10"
                                  << "Feed 110 % · Rapid 100 % · Spindle 100 %";
        QTest::newRow("feed -1") << "pushButtonFeedMinus1"
                                 << "Feed 99 % · Rapid 100 % · Spindle 100 %";
        QTest::newRow("rapid 25") << "pushButtonRapid25"
                                  << "Feed 100 % · Rapid 25 % · Spindle 100 %";
        QTest::newRow("spindle -10") << "pushButtonSpindleMinus10"
                                     << "Feed 100 % · Rapid 100 % · Spindle 90 %";
    }

    void overridesChangeTheReports()
    {
        QFETCH(QString, button);
        QFETCH(QString, shown);
        startStation();
        station->click(qPrintable(button));
        QTRY_COMPARE((station->click("pushButtonStatusCmd"),
                      station->widget<QLabel>("labelOverrides")->text()),
                     shown);
    }
};

ORLO_TEST_MAIN(TestGrbl11)
#include "tst_Grbl11.moc"
