#include "PtyPeer.h"
#include "Station.h"
#include "TestMain.h"
#include "Unprivileged.h"

#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <sys/stat.h>

using namespace WindowProbe;

// The station's tick, once a second: it connects, asks for the state when told to, notices a
// controller that goes and connects again once it is back.
class TestSupervision : public QObject
{
    Q_OBJECT

private:
    static bool isGreen(QObject *window) { return ledColor(window) == QColor(Qt::green); }
    static QString state(QObject *window)
    {
        return child<QLabel>(window, "labelGrblStatus")->text();
    }

private slots:
    void connectsAndPolls_data()
    {
        QTest::addColumn<bool>("askStatus");
        QTest::newRow("asking for the state") << true;
        QTest::newRow("not asking") << false;
    }

    void connectsAndPolls()
    {
        QFETCH(bool, askStatus);
        SimProcess sim;
        QVERIFY(sim.start());
        seedStore(sim.linkPath(), askStatus);
        MainWindow window;
        QVERIFY(!isGreen(&window));
        QCOMPARE(state(&window), QString());
        tick(&window); // the link was down: a connection attempt, still red, "offline"
        QVERIFY(!isGreen(&window));
        QCOMPARE(state(&window), QStringLiteral("offline"));
        QCOMPARE(child<QPushButton>(&window, "pushButtonConnection")->text(), sim.linkPath());
        tick(&window); // now up: green, and asked at once
        QVERIFY(isGreen(&window));
        if (askStatus) {
            QTRY_COMPARE(sim.countLogged("?"), 1);
            QTRY_VERIFY(child<QPlainTextEdit>(&window, "plainTextEditSerial")
                            ->toPlainText()
                            .contains("<Idle,MPos:0.000,0.000,0.000,WPos:"));
            QTRY_COMPARE_WITH_TIMEOUT(sim.countLogged("?"), 2, 2000); // the timer's first
        }
        const int first = sim.countLogged("?");
        QTest::qWait(2500);
        QCOMPARE(sim.countLogged("?") - first, askStatus ? 2 : 0);
        QCOMPARE(sim.loggedLines().size(), sim.countLogged("?")); // nothing but queries
        QVERIFY(isGreen(&window));
    }

    // A tick that finds the link up leaves it alone; once it is down, the lamp turns red at
    // the next tick and the link comes back when the controller does.
    void noticesAControllerThatGoesAndComesBack_data()
    {
        QTest::addColumn<QString>("going");
        QTest::newRow("clean end") << "terminate";
        QTest::newRow("killed") << "kill";
        QTest::newRow("settings applied") << "apply";
    }

    void noticesAControllerThatGoesAndComesBack()
    {
        QFETCH(QString, going);
        SimProcess sim;
        QVERIFY(sim.start());
        seedStore(sim.linkPath(), true);
        MainWindow window;
        for (int i = 0; i < 5; ++i) { // the first connects
            tick(&window);
            QVERIFY(isGreen(&window) || i == 0);
        }
        if (going == "apply") {
            child<QPushButton>(topLevel("SettingsDialog"), "applyButton")->click();
            tick(&window);
            QVERIFY(!isGreen(&window));
            QCOMPARE(state(&window), QStringLiteral("offline"));
            tick(&window);
            QVERIFY(isGreen(&window));
            return;
        }
        going == "kill" ? sim.kill() : sim.terminate();
        QTRY_VERIFY_WITH_TIMEOUT(!isGreen(&window), 1200);
        QTRY_COMPARE(state(&window), QStringLiteral("offline"));
        SimProcess again;
        again.useLink(sim.linkPath());
        QVERIFY(again.start());
        tick(&window); // a connection attempt
        tick(&window);
        QVERIFY(isGreen(&window));
        QTRY_VERIFY(again.countLogged("?") >= 1);
    }

    // An operator outside the devices' group is told what to do, once for each device, while
    // the tick goes on retrying.
    void permissionProblemIsToldOncePerDevice()
    {
        PtyPeer first;
        PtyPeer second;
        for (const PtyPeer *peer : {&first, &second})
            QCOMPARE(::chmod(QFile::encodeName(peer->devicePath()).constData(), 0), 0);
        seedStore(first.devicePath(), true);
        MainWindow window;
        {
            Unprivileged operatorRights;
            if (!operatorRights.holds())
                QSKIP("cannot take an operator's rights here");
            for (int i = 0; i < 3; ++i)
                tick(&window);
            window.UsePortForThisRun(second.devicePath(), 0);
            for (int i = 0; i < 3; ++i)
                tick(&window);
        }
        QVERIFY(!isGreen(&window));
        const QList<QMessageBox *> boxes = window.findChildren<QMessageBox *>();
        QCOMPARE(boxes.size(), 2);
        for (const PtyPeer *peer : {&first, &second}) {
            QMessageBox *box = boxes.at(peer == &first ? 0 : 1);
            QVERIFY(box->isVisible());
            QCOMPARE(box->windowModality(), Qt::NonModal);
            QVERIFY2(box->text().contains(peer->devicePath() + " cannot be opened"),
                     qPrintable(box->text()));
            QVERIFY(box->text().contains("sudo usermod -aG dialout $USER"));
        }
    }
};

ORLO_TEST_MAIN(TestSupervision)
#include "tst_Supervision.moc"
