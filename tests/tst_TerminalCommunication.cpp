#include "PtyPeer.h"
#include "Station.h"
#include "TestMain.h"
#include "Unprivileged.h"

#include "link/SettingsDialog.h"
#include "link/TerminalCommunication.h"

#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace WindowProbe;

// The serial link against a pseudo-terminal peer: lines framed as they arrive, a device that is
// refused or goes away; and the station's tick, once a second, that connects, asks for the
// state when told to, notices a controller that goes and connects again once it is back.
class TestTerminalCommunication : public QObject
{
    Q_OBJECT

private:
    PtyPeer *peer = nullptr;
    SettingsDialog *dialog = nullptr;
    TerminalCommunication *terminal = nullptr;

    void usePort(const QString &name)
    {
        Settings settings = dialog->settings();
        settings.name = name;
        settings.baudRate = 115200;
        dialog->setSettings(settings);
    }

    static bool isGreen(QObject *window) { return ledColor(window) == QColor(Qt::green); }
    static QString state(QObject *window)
    {
        return child<QLabel>(window, "labelGrblStatus")->text();
    }

private slots:
    void init()
    {
        peer = new PtyPeer;
        dialog = new SettingsDialog;
        terminal = new TerminalCommunication;
        usePort(peer->devicePath());
        QVERIFY(terminal->TryToConnect(dialog));
        QVERIFY(terminal->IsConnected());
    }

    void cleanup()
    {
        delete terminal;
        delete dialog;
        delete peer;
    }

    // Deliveries apart by `pause` ms; a fragment left alone for long is dropped, and an endless
    // line is cut, not hoarded.
    void framing_data()
    {
        QTest::addColumn<QByteArrayList>("deliveries");
        QTest::addColumn<int>("pause");
        QTest::addColumn<QStringList>("lines");
        const auto row = [](const char *name, const QByteArrayList &deliveries,
                            const QStringList &lines, int pause = 20) {
            QTest::newRow(name) << deliveries << pause << lines;
        };
        row("CR LF gives one line", {"ok\r\n"}, {"ok"});
        row("blank lines give none", {"ok\n\n", "\r", "\n"}, {"ok"});
        row("CR and LF both end lines", {"a\rb\n"}, {"a", "b"});
        row("NUL cuts the line", {QByteArray("ab\0cd\n", 6), QByteArray("\0xy\n", 4)}, {"ab", ""});
        row("UTF-8",
            {"Gr\xc3\xbc\xc3\x9f"
             "e\n"},
            {QString::fromUtf8("Grüße")});
        row("invalid UTF-8", {"\xff\xfeok\n"},
            {QString(2, QChar(QChar::ReplacementCharacter)) + "ok"});
        row("split over deliveries", {"<Idle,MP", "os:0.000", ",0.000>", "\r\n"},
            {"<Idle,MPos:0.000,0.000>"}, 100);
        row("fragment dropped after silence", {"ok", "\r\n", "next\n"}, {"next"}, 450);
        row("endless line", {QByteArray(200 * 1024, 'x') + '\n'},
            {QString(LineFramer::maxLineLength, 'x')}, 200);
    }

    void framing()
    {
        QFETCH(QByteArrayList, deliveries);
        QFETCH(int, pause);
        QFETCH(QStringList, lines);
        QSignalSpy spy(terminal, &TerminalCommunication::LineReceived);
        for (const QByteArray &chunk : deliveries) {
            peer->write(chunk);
            QTest::qWait(pause);
        }
        QTest::qWait(60);
        QStringList received;
        for (const auto &arguments : spy)
            received << arguments.at(0).toString();
        QCOMPARE(received, lines);
    }

    // Only a device this user may not open calls for the group advice; a port held by another
    // program is reported as a permission error by the toolkit too, and must not.
    void refusedPortTellsPermissionProblemsOnly_data()
    {
        QTest::addColumn<QString>("refusal");
        QTest::newRow("no permission") << "permission";
        QTest::newRow("held by another program") << "held";
        QTest::newRow("no such device") << "missing";
    }

    void refusedPortTellsPermissionProblemsOnly()
    {
        QFETCH(QString, refusal);
        PtyPeer closed;
        const QString device = refusal == "held"      ? peer->devicePath()
                               : refusal == "missing" ? QStringLiteral("/nonexistent/ttyX")
                                                      : closed.devicePath();
        usePort(device);
        TerminalCommunication other;
        QSignalSpy told(&other, &TerminalCommunication::PermissionDenied);
        if (refusal == "permission") {
            QCOMPARE(::chmod(QFile::encodeName(device).constData(), 0), 0);
            Unprivileged operatorRights;
            if (!operatorRights.holds())
                QSKIP("cannot take an operator's rights here");
            QVERIFY(!other.TryToConnect(dialog));
        } else {
            QVERIFY(!other.TryToConnect(dialog));
        }
        QVERIFY(!other.IsConnected());
        QVERIFY(!other.SendLine("G0"));
        QCOMPARE(told.count(), refusal == "permission" ? 1 : 0);
        if (!told.isEmpty())
            QCOMPARE(told.first().first().toString(), device);
    }

    // A port opened under a link stays connected while the link leads to the same device, and
    // counts as gone once the device hangs up, the link is removed or leads elsewhere.
    void presenceFollowsTheDevice()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyLink");
        QVERIFY(QFile::link(peer->devicePath(), link));
        usePort(link);
        QVERIFY(terminal->TryToConnect(dialog));
        for (int i = 0; i < 3; ++i)
            QVERIFY(terminal->IsConnected());
        QVERIFY(QFile::remove(link));
        QVERIFY(!terminal->IsConnected());

        PtyPeer other;
        QVERIFY(QFile::link(other.devicePath(), link));
        QVERIFY(!terminal->IsConnected());
        QVERIFY(terminal->TryToConnect(dialog));
        QVERIFY(terminal->SendLine("$I"));
        QCOMPARE(other.read(3), QByteArray("$I\n"));

        other.hangUp();
        QTRY_VERIFY(!terminal->IsConnected());
        QVERIFY(!terminal->SendLine("G0 X1"));
    }
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

ORLO_TEST_MAIN(TestTerminalCommunication)
#include "tst_TerminalCommunication.moc"
