#include "PtyPeer.h"
#include "TestMain.h"
#include "Unprivileged.h"

#include "link/SettingsDialog.h"
#include "link/TerminalCommunication.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {
void settle(int ms)
{
    QTest::qWait(ms);
}
} // namespace

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

    QStringList linesFor(const QList<QByteArray> &deliveries, int pauseMs = 20)
    {
        QSignalSpy spy(terminal, &TerminalCommunication::LineReceived);
        for (const QByteArray &chunk : deliveries) {
            peer->write(chunk);
            settle(pauseMs);
        }
        settle(60);
        QStringList lines;
        for (const auto &arguments : spy)
            lines << arguments.at(0).toString();
        return lines;
    }

private slots:
    void init()
    {
        peer = new PtyPeer;
        QVERIFY(peer->isOpen());
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

    void framing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("CR LF gives one line") << QByteArray("ok\r\n") << QStringList{"ok"};
        QTest::newRow("blank lines give none") << QByteArray("ok\n\n") << QStringList{"ok"};
        QTest::newRow("lone CR") << QByteArray("\r") << QStringList{};
        QTest::newRow("lone LF") << QByteArray("\n") << QStringList{};
        QTest::newRow("CR and LF both end lines") << QByteArray("a\rb\n") << QStringList{"a", "b"};
        QTest::newRow("NUL cuts the line") << QByteArray("ab\0cd\n", 6) << QStringList{"ab"};
        QTest::newRow("leading NUL gives empty line") << QByteArray("\0xy\n", 4) << QStringList{""};
        QTest::newRow("UTF-8") << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                             "e\n")
                               << QStringList{QString::fromUtf8("Grüße")};
        QTest::newRow("invalid UTF-8")
            << QByteArray("\xff\xfeok\n")
            << QStringList{QString(2, QChar(QChar::ReplacementCharacter)) + "ok"};
    }

    void framing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QCOMPARE(linesFor({bytes}), lines);
    }

    void lineSplitOverDeliveriesArrivesWhole()
    {
        QCOMPARE(linesFor({"<Idle,MP", "os:0.000", ",0.000>", "\r\n"}, 100),
                 QStringList{"<Idle,MPos:0.000,0.000>"});
    }

    void fragmentIsDroppedAfterSilence()
    {
        QCOMPARE(linesFor({"ok", "\r\n"}, 450), QStringList{});
        QCOMPARE(linesFor({"next\n"}), QStringList{"next"});
    }

    void endlessLineIsCutNotHoarded()
    {
        const QStringList lines = linesFor({QByteArray(200 * 1024, 'x') + '\n'}, 200);
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().size(), LineFramer::maxLineLength);
    }

    void writesAreExact()
    {
        QVERIFY(terminal->SendLine("$$"));
        QCOMPARE(peer->read(3), QByteArray("$$\n"));
        QVERIFY(terminal->WriteRaw("?"));
        QCOMPARE(peer->read(1), QByteArray("?"));
        QVERIFY(terminal->SendLine(QString::fromUtf8("G1 X1 (Maß)")));
        QCOMPARE(peer->read(13), QByteArray("G1 X1 (Ma\xc3\x9f)\n"));
        QVERIFY(terminal->SendLine(QString(QChar(0x18))));
        QCOMPARE(peer->read(2), QByteArray("\x18\n"));
        QCOMPARE(peer->read(1, 100), QByteArray());
    }

    void nothingIsWrittenWhileDisconnected()
    {
        TerminalCommunication fresh;
        QVERIFY(!fresh.IsConnected());
        QVERIFY(!fresh.SendLine("G0 X1"));
        QVERIFY(!fresh.WriteRaw("?"));
        terminal->Disconnect();
        QVERIFY(!terminal->IsConnected());
        QVERIFY(!terminal->SendLine("G0 X1"));
        QVERIFY(!terminal->WriteRaw("?"));
        QCOMPARE(peer->read(1, 150), QByteArray());
        terminal->Disconnect(); // twice is harmless
        QVERIFY(!terminal->IsConnected());
    }

    void emptyPortNameLeavesOpenPortAlone()
    {
        usePort(QString());
        QVERIFY(!terminal->TryToConnect(dialog));
        QVERIFY(terminal->IsConnected());
        QVERIFY(terminal->SendLine("ok?"));
        QCOMPARE(peer->read(4), QByteArray("ok?\n"));
    }

    void missingDeviceFailsQuietly()
    {
        usePort(QStringLiteral("/nonexistent/ttyNothing"));
        QVERIFY(!terminal->TryToConnect(dialog));
        QVERIFY(!terminal->IsConnected());
        QVERIFY(!terminal->SendLine("G0"));
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
        QCOMPARE(told.count(), refusal == "permission" ? 1 : 0);
        if (!told.isEmpty())
            QCOMPARE(told.first().first().toString(), device);
    }

    void vanishedDeviceIsNotConnected()
    {
        QVERIFY(terminal->SendLine("G4 P1"));
        peer->hangUp();
        QTRY_VERIFY(!terminal->IsConnected());
        QVERIFY(!terminal->SendLine("G0 X1"));
    }

    // A port opened under a typed link stays connected while the link leads to the same
    // device, and counts as gone once the link is removed or leads elsewhere.
    void presenceFollowsTheDevicePath()
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
        QVERIFY(terminal->IsConnected());
        QVERIFY(terminal->SendLine("$I"));
        QCOMPARE(other.read(3), QByteArray("$I\n"));
    }
};

ORLO_TEST_MAIN(TestTerminalCommunication)
#include "tst_TerminalCommunication.moc"
