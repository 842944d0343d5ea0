#include "PtyPeer.h"
#include "Station.h"
#include "TestMain.h"

#include "link/TerminalCommunication.h"

#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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
        row("CR and LF end lines, blank ones none", {"a\rb\n\n", "\r", "\n"}, {"a", "b"});
        row("NUL cuts the line", {QByteArray("ab\0cd\n", 6), QByteArray("\0xy\n", 4)}, {"ab", ""});
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
        QStringList received;
        connect(terminal.get(), &TerminalCommunication::LineReceived,
                [&received](const QString &line) { received << line; });
        for (const QByteArray &chunk : deliveries) {
            peer->write(chunk);
            QTest::qWait(pause);
        }
        QTest::qWait(60);
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
        const auto pointAt = [&link](const PtyPeer &device) {
            QFile::remove(link);
            return QFile::link(device.devicePath(), link);
        };
        QVERIFY(pointAt(*peer) && terminal->TryToConnect(port(link)));
        for (int i = 0; i < 3; ++i)
            QVERIFY(terminal->IsConnected());
        QVERIFY(QFile::remove(link));
        QVERIFY(!terminal->IsConnected());
        // Replaced between two checks: the same name, another device.
        PtyPeer other, third;
        QVERIFY(pointAt(third) && terminal->TryToConnect(port(link)) && terminal->IsConnected());
        QVERIFY(pointAt(other));
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
    }

    // The station's tick: the first connects, red and "offline" until then; connected, it asks
    // for the state when told to, at once and then with every tick, and asks nothing else but the
    // work offsets, once after the banner. A tick that finds the link up leaves it alone; once
    // down, the lamp turns red at the next tick and the link comes back when the controller does.
    void supervision_data()
    {
        QTest::addColumn<bool>("askStatus");
        QTest::newRow("asking for the state") << true;
        QTest::newRow("not asking") << false;
    }

    void supervision()
    {
        QFETCH(bool, askStatus);
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
        for (int i = 0; i < 3; ++i) {
            tick(window);
            QVERIFY(isGreen(window));
        }
        station.sim.terminate();
        QTRY_VERIFY_WITH_TIMEOUT(!isGreen(window), 5000);
        QTRY_COMPARE(station.state(), QStringLiteral("offline"));
        SimProcess again;
        again.useLink(station.sim.linkPath());
        QVERIFY(again.start());
        tick(window); // a connection attempt
        tick(window);
        QVERIFY(isGreen(window));
        QTRY_COMPARE(again.countLogged("?") >= 1, askStatus);
    }

    // An operator outside the devices' group is told what to do, once for each device, while
    // the tick goes on retrying. As root (CI) the ticks run as `nobody`, root kept as the saved
    // user to come back to: a device node with mode 000 is then closed, where root opens it.
    void permissionProblemIsToldOncePerDevice()
    {
        PtyPeer first, second;
        for (const PtyPeer *peer : {&first, &second})
            QCOMPARE(::chmod(QFile::encodeName(peer->devicePath()).constData(), 0), 0);
        seedStore(first.devicePath(), true);
        MainWindow window;
        const passwd *nobody = ::getpwnam("nobody");
        const bool dropped =
            ::geteuid() == 0 && nobody && ::setresuid(nobody->pw_uid, nobody->pw_uid, 0) == 0;
        if (::geteuid() == 0)
            QSKIP("cannot take an operator's rights here");
        for (int i = 0; i < 6; ++i) {
            if (i == 3)
                window.UsePortForThisRun(second.devicePath(), 0);
            tick(&window);
        }
        QVERIFY(!dropped || ::setresuid(0, 0, 0) == 0);
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
