#include "SerialClient.h"
#include "SimProcess.h"
#include "TestMain.h"

#include <QFileInfo>

#include <csignal>

class TestGrblSim : public QObject
{
    Q_OBJECT

private slots:
    void greetsAndAnswersEveryLine()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        SerialClient client(sim.linkPath());
        QVERIFY(client.isOpen());
        QCOMPARE(client.readUntil("help]\r\n"), QByteArray("\r\nGrbl 0.9j ['$' for help]\r\n"));

        client.write("G0 X1\n\n   \n(just a comment)\n");
        QCOMPARE(client.readUntil("ok\r\nok\r\nok\r\nok\r\n"),
                 QByteArray("ok\r\nok\r\nok\r\nok\r\n"));
        client.write("\r\n");
        QCOMPARE(client.readUntil("ok\r\nok\r\n"), QByteArray("ok\r\nok\r\n"));
        QCOMPARE(client.readFor(100), QByteArray());
        QCOMPARE(sim.loggedLines(), (QStringList{"G0 X1", "", "   ", "(just a comment)", "", ""}));
    }

    // "?" is acted on where it falls, never becomes part of a line and gets no "ok".
    void statusQueryAnywhereInTheStream()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        SerialClient client(sim.linkPath());
        client.readUntil("help]\r\n");
        client.write("?");
        QCOMPARE(client.readUntil(">\r\n"),
                 QByteArray("<Idle,MPos:0.000,0.000,0.000,WPos:0.000,0.000,0.000>\r\n"));
        QCOMPARE(client.readFor(100), QByteArray());

        client.write("G1 X1?0 F1?00");
        QCOMPARE(client.readUntil(">\r\n>\r\n").count("<Idle,"), 2);
        client.write("\n");
        QCOMPARE(client.readUntil("ok\r\n"), QByteArray("ok\r\n"));
        QCOMPARE(sim.loggedLines(), (QStringList{"?", "?", "?", "G1 X10 F100"}));
    }

    void survivesTheStationReopeningThePort()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        for (int round = 0; round < 20; ++round) {
            SerialClient client(sim.linkPath());
            QVERIFY(client.isOpen());
            client.write(QByteArray("G4 P0 ; round ") + QByteArray::number(round) + "\n");
            QCOMPARE(client.readUntil("ok\r\n").right(4), QByteArray("ok\r\n"));
        }
        QCOMPARE(sim.loggedLines().size(), 20);
        QCOMPARE(sim.process().state(), QProcess::Running);
    }

    void endsCleanlyOnSignals_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
    }

    void endsCleanlyOnSignals()
    {
        QFETCH(int, signal);
        SimProcess sim;
        QVERIFY(sim.start());
        QVERIFY(QFileInfo(sim.linkPath()).isSymLink());
        ::kill(pid_t(sim.process().processId()), signal);
        QVERIFY(sim.process().waitForFinished(3000));
        QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process().exitCode(), 0);
        QVERIFY(!QFileInfo::exists(sim.linkPath()));
        QVERIFY(!QFileInfo(sim.linkPath()).isSymLink());
    }

    void replacesALinkLeftByACrashButNoFile()
    {
        SimProcess crashed;
        QVERIFY(crashed.start());
        crashed.kill();
        QVERIFY(QFileInfo(crashed.linkPath()).isSymLink());

        SimProcess again;
        again.useLink(crashed.linkPath());
        QVERIFY(again.start());
        SerialClient client(again.linkPath());
        client.write("\n");
        QVERIFY(client.readUntil("ok\r\n").endsWith("ok\r\n"));
        again.terminate();

        QFile file(crashed.linkPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("operator's notes");
        file.close();
        SimProcess refused;
        refused.useLink(crashed.linkPath());
        QVERIFY(!refused.start());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("operator's notes"));
    }
};

ORLO_TEST_MAIN(TestGrblSim)
#include "tst_GrblSim.moc"
