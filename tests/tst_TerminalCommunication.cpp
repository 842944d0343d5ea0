#include "PtyPeer.h"
#include "TestMain.h"
#include "Unprivileged.h"

#include "link/SettingsDialog.h"
#include "link/TerminalCommunication.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/stat.h>

// The serial link alone against a pseudo-terminal peer: lines framed as they arrive, bytes
// written as given, and a device that is refused or goes away.
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

    void writesAreExactAndOnlyWhileConnected()
    {
        QVERIFY(terminal->SendLine("$$"));
        QVERIFY(terminal->WriteRaw("?"));
        QVERIFY(terminal->SendLine(QString::fromUtf8("G1 X1 (Maß)")));
        QVERIFY(terminal->SendLine(QString(QChar(0x18))));
        QCOMPARE(peer->read(19), QByteArray("$$\n?G1 X1 (Ma\xc3\x9f)\n\x18\n"));

        usePort(QString()); // an empty name leaves the open port alone
        QVERIFY(!terminal->TryToConnect(dialog));
        QVERIFY(terminal->SendLine("ok?"));
        QCOMPARE(peer->read(4), QByteArray("ok?\n"));

        TerminalCommunication fresh;
        QVERIFY(!fresh.SendLine("G0 X1"));
        terminal->Disconnect();
        terminal->Disconnect(); // twice is harmless
        QVERIFY(!terminal->IsConnected());
        QVERIFY(!terminal->SendLine("G0 X1"));
        QVERIFY(!terminal->WriteRaw("?"));
        QCOMPARE(peer->read(1, 150), QByteArray());
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
};

ORLO_TEST_MAIN(TestTerminalCommunication)
#include "tst_TerminalCommunication.moc"
