#include "PtyPeer.h"
#include "SimProcess.h"
#include "StationStore.h"
#include "TestMain.h"
#include "Unprivileged.h"
#include "WindowProbe.h"

#include "app/MainWindow.h"

#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>

#include <sys/stat.h>

using namespace WindowProbe;

class TestSupervision : public QObject
{
    Q_OBJECT

private:
    static bool isGreen(QObject *window) { return ledColor(window) == QColor(Qt::green); }
    static bool isRed(QObject *window) { return ledColor(window) == QColor(Qt::red); }

    static QString terminalText(QObject *window)
    {
        return child<QPlainTextEdit>(window, "plainTextEditSerial")->toPlainText();
    }

private slots:
    void connectsAndPolls()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        seedStore(sim.linkPath(), true);
        MainWindow window;
        QVERIFY(isRed(&window));
        QCOMPARE(child<QLabel>(&window, "labelGrblStatus")->text(), QString());

        tick(&window); // the link was down: red, a connection attempt, "offline"
        QVERIFY(isRed(&window));
        QCOMPARE(child<QLabel>(&window, "labelGrblStatus")->text(), QStringLiteral("offline"));
        QCOMPARE(child<QPushButton>(&window, "pushButtonConnection")->text(), sim.linkPath());

        tick(&window); // now up: green and one status query
        QVERIFY(isGreen(&window));
        QTRY_COMPARE(sim.countLogged("?"), 1);
        QTRY_VERIFY(terminalText(&window).contains("<Idle,MPos:0.000,0.000,0.000,WPos:"));
    }

    void asksOncePerSecond()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        seedStore(sim.linkPath(), true);
        MainWindow window;
        QTRY_VERIFY_WITH_TIMEOUT(sim.countLogged("?") >= 1, 5000);
        const int first = sim.countLogged("?");
        QTest::qWait(3500);
        QCOMPARE(sim.countLogged("?") - first, 3);
        QVERIFY(sim.loggedLines().count() == sim.countLogged("?")); // nothing but queries
    }

    void asksNothingWithAskStatusOff()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        seedStore(sim.linkPath(), false);
        MainWindow window;
        QTRY_VERIFY_WITH_TIMEOUT(isGreen(&window), 5000);
        QTest::qWait(2500);
        QVERIFY(isGreen(&window));
        QCOMPARE(sim.loggedLines(), QStringList());
    }

    void noticesAControllerThatGoesAndComesBack_data()
    {
        QTest::addColumn<bool>("crash");
        QTest::newRow("clean end") << false;
        QTest::newRow("killed") << true;
    }

    void noticesAControllerThatGoesAndComesBack()
    {
        QFETCH(bool, crash);
        SimProcess sim;
        QVERIFY(sim.start());
        seedStore(sim.linkPath(), true);
        MainWindow window;
        QTRY_VERIFY_WITH_TIMEOUT(isGreen(&window), 5000);

        crash ? sim.kill() : sim.terminate();
        QTRY_VERIFY_WITH_TIMEOUT(isRed(&window), 1200);
        QTRY_COMPARE(child<QLabel>(&window, "labelGrblStatus")->text(), QStringLiteral("offline"));

        SimProcess again;
        again.useLink(sim.linkPath());
        QVERIFY(again.start());
        QTRY_VERIFY_WITH_TIMEOUT(isGreen(&window), 3500);
        QTRY_VERIFY_WITH_TIMEOUT(again.countLogged("?") >= 1, 2500);
    }

    void stableLinkIsNotReopened()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        seedStore(sim.linkPath(), false);
        MainWindow window;
        QTRY_VERIFY_WITH_TIMEOUT(isGreen(&window), 5000);
        // Only a tick that finds the link down turns the lamp red and reconnects.
        for (int i = 0; i < 4; ++i) {
            tick(&window);
            QVERIFY(isGreen(&window));
        }
    }

    void applyingSettingsDropsTheLinkAtOnce()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        seedStore(sim.linkPath(), true);
        MainWindow window;
        QTRY_VERIFY_WITH_TIMEOUT(isGreen(&window), 5000);

        child<QPushButton>(topLevel("SettingsDialog"), "applyButton")->click();
        tick(&window);
        QVERIFY(isRed(&window));
        QCOMPARE(child<QLabel>(&window, "labelGrblStatus")->text(), QStringLiteral("offline"));
        tick(&window);
        QVERIFY(isGreen(&window));
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
        QVERIFY(isRed(&window));
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
