#include "PtyPeer.h"
#include "Station.h"
#include "TestMain.h"
#include "Unprivileged.h"

#include "link/TerminalCommunication.h"

#include <QFile>
#include <QMessageBox>
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
    std::unique_ptr<PtyPeer> peer;
    std::unique_ptr<TerminalCommunication> terminal;

    static Settings port(const QString &name) { return Settings{name, 115200}; }
    static bool isGreen(QObject *window) { return ledColor(window) == QColor(Qt::green); }

private slots:
    void init()
    {
        peer = std::make_unique<PtyPeer>();
        terminal = std::make_unique<TerminalCommunication>();
        QVERIFY(terminal->TryToConnect(port(peer->devicePath())));
        QVERIFY(terminal->IsConnected());
    }

    void cleanup() { terminal.reset(); } // before its peer, which the next start replaces

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
        row("UTF-8", {"Grüße\n"}, {QString::fromUtf8("Grüße")});
        row("invalid UTF-8", {"\xff\xfeok\n"},
            {QString(2, QChar(QChar::ReplacementCharacter)) + "ok"});
        row("0x80 and up: split, lone, overlong, cut short", {"\xc3", "\xbc\x85\xc0\x80\xe2\x82\n"},
            {QString::fromUtf8("ü") + QString(5, QChar(QChar::ReplacementCharacter))});
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
        QSignalSpy spy(terminal.get(), &TerminalCommunication::LineReceived);
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

    // A port held by another program (here the fixture's own) is reported as a permission error
    // by the toolkit too, and must not call for the group advice; a missing device neither.
    void refusedPortIsNoPermissionProblem()
    {
        for (const QString &device : {peer->devicePath(), QStringLiteral("/nonexistent/ttyX")}) {
            TerminalCommunication other;
            QSignalSpy told(&other, &TerminalCommunication::PermissionDenied);
            QVERIFY2(!other.TryToConnect(port(device)), qPrintable(device));
            QVERIFY(!other.IsConnected());
            QVERIFY(!other.SendLine("G0"));
            QCOMPARE(told.count(), 0);
        }
    }

    // A port opened under a link stays connected while the link leads to the same device, and
    // counts as gone once the device hangs up, the link is removed or leads elsewhere.
    void presenceFollowsTheDevice()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyLink");
        QVERIFY(QFile::link(peer->devicePath(), link));
        QVERIFY(terminal->TryToConnect(port(link)));
        for (int i = 0; i < 3; ++i)
            QVERIFY(terminal->IsConnected());
        QVERIFY(QFile::remove(link));
        QVERIFY(!terminal->IsConnected());

        PtyPeer other;
        QVERIFY(QFile::link(other.devicePath(), link));
        QVERIFY(!terminal->IsConnected());
        QVERIFY(terminal->TryToConnect(port(link)));
        QVERIFY(terminal->SendLine("$I"));
        QCOMPARE(other.read(3), QByteArray("$I\n"));

        // A vanished port's error is logged once, not thousands of times, by its name (the
        // toolkits number the errors differently).
        static QStringList linkMessages;
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &where, const QString &text) {
                if (QByteArray(where.category) == "orlo.link")
                    linkMessages << text;
            });
        other.hangUp();
        QTRY_VERIFY(!terminal->IsConnected());
        QVERIFY(!terminal->SendLine("G0 X1"));
        QTest::qWait(100);
        qInstallMessageHandler(previous);
        QCOMPARE(linkMessages.size(), 1);
        QVERIFY2(linkMessages[0].startsWith("serial port error: ReadError"),
                 qPrintable(linkMessages[0]));

        // Replaced between two checks: the same name, another device.
        PtyPeer third, fourth;
        QVERIFY(QFile::remove(link) && QFile::link(third.devicePath(), link));
        QVERIFY(terminal->TryToConnect(port(link)) && terminal->IsConnected());
        QVERIFY(QFile::remove(link) && QFile::link(fourth.devicePath(), link));
        QVERIFY(!terminal->IsConnected());
    }

    // The station's tick: the first connects, red and "offline" until then; connected, it asks
    // for the state when told to, at once and then with every tick, and asks nothing else but the
    // work offsets, once after the banner. A tick that finds the link up leaves it alone; once
    // down, the lamp turns red at the next tick and the link comes back when the controller does.
    void supervision_data()
    {
        QTest::addColumn<bool>("askStatus");
        QTest::addColumn<QString>("going");
        QTest::newRow("asking for the state") << true << "";
        QTest::newRow("not asking") << false << "";
        QTest::newRow("clean end") << true << "terminate";
        QTest::newRow("killed") << true << "kill";
    }

    void supervision()
    {
        QFETCH(bool, askStatus);
        QFETCH(QString, going);
        Station station({}, askStatus);
        QVERIFY(station.open());
        QObject *window = station.window.get();
        QVERIFY(!isGreen(window));
        QCOMPARE(station.state(), QString());
        tick(window); // the link was down: a connection attempt, still red, "offline"
        QVERIFY(!isGreen(window));
        QCOMPARE(station.state(), QStringLiteral("offline"));
        QCOMPARE(station.widget<QPushButton>("pushButtonConnection")->text(),
                 station.sim.linkPath());
        tick(window); // now up: green, and asked at once
        QVERIFY(isGreen(window));
        if (going.isEmpty()) {
            if (askStatus) {
                QTRY_COMPARE(station.sim.countLogged("?"), 1);
                QTRY_VERIFY(station.terminal().contains("<Idle,MPos:0.000,0.000,0.000,WPos:"));
                QTRY_COMPARE_WITH_TIMEOUT(station.sim.countLogged("?"), 2, 5000); // by the timer
            }
            const int first = station.sim.countLogged("?");
            QTest::qWait(2500);
            const int asked = station.sim.countLogged("?") - first; // a late tick may add one
            QVERIFY2(askStatus ? asked == 2 || asked == 3 : asked == 0,
                     qPrintable(QString::number(asked)));
            QCOMPARE(station.sim.countLogged("$#"), 1);
            QCOMPARE(station.sim.loggedLines().size(), station.sim.countLogged("?") + 1);
            QVERIFY(isGreen(window));
            return;
        }
        for (int i = 0; i < 3; ++i) {
            tick(window);
            QVERIFY(isGreen(window));
        }
        going == "kill" ? station.sim.kill() : station.sim.terminate();
        QTRY_VERIFY_WITH_TIMEOUT(!isGreen(window), 5000);
        QTRY_COMPARE(station.state(), QStringLiteral("offline"));
        SimProcess again;
        again.useLink(station.sim.linkPath());
        QVERIFY(again.start());
        tick(window); // a connection attempt
        tick(window);
        QVERIFY(isGreen(window));
        QTRY_VERIFY(again.countLogged("?") >= 1);
    }

    // An operator outside the devices' group is told what to do, once for each device, while
    // the tick goes on retrying.
    void permissionProblemIsToldOncePerDevice()
    {
        PtyPeer first, second;
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
