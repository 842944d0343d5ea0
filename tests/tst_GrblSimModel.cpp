#include "SerialClient.h"
#include "SimProcess.h"
#include "TestMain.h"

#include "preview/RunTimeEstimate.h"

#include <QElapsedTimer>
#include <QRegularExpression>

namespace {

struct Position
{
    double x = 0, y = 0, z = 0;
};

QString lastReport(const QByteArray &bytes)
{
    const QList<QByteArray> lines = bytes.split('\n');
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (line->startsWith('<'))
            return QString::fromLatin1(line->trimmed());
    }
    return {};
}

Position field(const QString &report, const QString &tag)
{
    const QRegularExpression pattern(tag + ":(-?[0-9.]+),(-?[0-9.]+),(-?[0-9.]+)");
    const auto match = pattern.match(report);
    return {match.captured(1).toDouble(), match.captured(2).toDouble(),
            match.captured(3).toDouble()};
}

} // namespace

// The virtual controller against a bare serial client: what it answers, when, and what it
// loses, as the firmware would.
class TestGrblSimModel : public QObject
{
    Q_OBJECT

private:
    SimProcess *sim = nullptr;
    SerialClient *client = nullptr;

    void startController(const QStringList &arguments = {"--time-scale", "10"})
    {
        sim = new SimProcess(arguments);
        QVERIFY(sim->start());
        client = new SerialClient(sim->linkPath());
        QVERIFY(client->isOpen());
        QVERIFY(client->readUntil("help]\r\n").endsWith("help]\r\n"));
    }

    QByteArray ask(const QByteArray &bytes, const QByteArray &until = "ok\r\n")
    {
        client->write(bytes);
        return client->readUntil(until, 3000);
    }

    QString status() { return lastReport(ask("?", ">\r\n")); }

private slots:
    void cleanup()
    {
        delete client;
        delete sim;
        client = nullptr;
        sim = nullptr;
    }

    void errorsInTheFirmwaresWords_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("reply");
        const QList<QPair<const char *, const char *>> cases = {
            {"hello", "error: Bad number format"},
            {"FOO", "error: Bad number format"},
            {"G1 X", "error: Bad number format"},
            {"G1 X-", "error: Bad number format"},
            {"$Q", "error: Bad number format"},
            {"G99", "error: Unsupported command"},
            {"M200", "error: Unsupported command"},
            {"Q1", "error: Unsupported command"},
            {"#", "error: Expected command letter"},
            {"G0 X1 X2", "error: Invalid gcode ID:25"},
            {"G0 G1 X1", "error: Invalid gcode ID:21"},
            {"G1 X5", "error: Invalid gcode ID:22"},
            {"G4", "error: Invalid gcode ID:28"},
            {"G2 X10 Y0 F100", "error: Invalid gcode ID:35"},
            {"G2 X10 Y0 I1 F100", "error: Invalid gcode ID:33"},
            {"$999=1", "error: Invalid statement"},
            {"$0=2", "error: Value < 3 usec"},
            {"$1=-4", "error: Value < 0"},
            {"G1 X1 Y2 Z3 F100 (long comments do not count)", "ok"},
            {"G1 X1.00000000000000000000000000000000000000000000000000000000000000000000000000 "
             "F100",
             "error: Line overflow"},
            {"g0 x1 ; lower case and a line comment", "ok"},
        };
        for (const auto &[line, reply] : cases)
            QTest::newRow(line) << QByteArray(line) << QByteArray(reply);
    }

    void errorsInTheFirmwaresWords()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, reply);
        startController({"--instant"});
        QCOMPARE(ask(line + '\n', "\r\n"), reply + "\r\n");
    }

    void settingsListingIsTheFactorys()
    {
        startController();
        QFile factory(QFINDTESTDATA("data/settings-0.9j.txt"));
        QVERIFY(factory.open(QIODevice::ReadOnly));
        QByteArray expected = factory.readAll().trimmed().replace("\n", "\r\n") + "\r\nok\r\n";
        QCOMPARE(ask("$$\n"), expected);

        QCOMPARE(ask("$110=750.5\n$2=5\n$1=300\n"), QByteArray("ok\r\nok\r\nok\r\n"));
        const QByteArray listing = ask("$$\n");
        QVERIFY(listing.contains("$110=750.500 (x max rate, mm/min)\r\n"));
        QVERIFY(listing.contains("$2=5 (step port invert mask:00000101)\r\n"));
        QVERIFY(listing.contains("$1=300 (step idle delay, msec)\r\n"));
    }

    void systemCommands()
    {
        startController();
        QCOMPARE(ask("$I\n"), QByteArray("[0.9j.20160726:]\r\nok\r\n"));
        QCOMPARE(ask("$G\n"), QByteArray("[G0 G54 G17 G21 G90 G94 M0 M5 M9 T0 F0. S0.]\r\nok\r\n"));
        QCOMPARE(ask("G91 G1 F300 M3 S1000\n$G\n", "]\r\nok\r\n"),
                 QByteArray("ok\r\n[G1 G54 G17 G21 G91 G94 M0 M3 M9 T0 F300. S1000.]\r\nok\r\n"));
        QCOMPARE(ask("$X\n"), QByteArray("[Caution: Unlocked]\r\nok\r\n"));
        QCOMPARE(ask("$N\n"), QByteArray("$N0=\r\n$N1=\r\nok\r\n"));
        QVERIFY(ask("$#\n").contains("[G92:0.000,0.000,0.000]\r\n"));
        QVERIFY(ask("$\n").startsWith("$$ (view Grbl settings)\r\n"));
    }

    void checkModeParsesWithoutMoving()
    {
        startController();
        QCOMPARE(ask("$C\n"), QByteArray("[Enabled]\r\nok\r\n"));
        QVERIFY(status().startsWith("<Check,"));
        QCOMPARE(ask("G0 X50\nG1 X\n", "error: Bad number format\r\n"),
                 QByteArray("ok\r\nerror: Bad number format\r\n"));
        QCOMPARE(field(status(), "MPos").x, 0.0);
        QVERIFY(ask("$C\n", "help]\r\n").startsWith("[Disabled]\r\nok\r\n"));
        QVERIFY(status().startsWith("<Idle,"));
    }

    void okWhenQueuedNotWhenDone()
    {
        startController({"--time-scale", "1"});
        QByteArray moves; // 10 mm at 500 mm/min: 1.2 s each, none ends while we look
        for (int i = 1; i <= 30; ++i)
            moves += "G1 X" + QByteArray::number(i * 10) + " F500\n";
        client->write(moves.left(200)); // stays within the receive buffer
        QTest::qWait(300);
        client->write(moves.mid(200, 100));
        QTest::qWait(300);
        // Sixteen blocks fit the planner; the seventeenth line waits for a free block.
        QCOMPARE(client->readFor(300).count("ok"), 16);
        QVERIFY(status().startsWith("<Run,"));
    }

    void fullPlannerLetsTheReceiveBufferOverflow()
    {
        startController({"--time-scale", "1"});
        QByteArray moves;
        int firstSeventeen = 0;
        for (int i = 1; i <= 40; ++i) {
            moves += "G1 X" + QByteArray::number(i * 10) + ".0000 Y1.0000 F500 (a pass)\n";
            if (i == 17)
                firstSeventeen = moves.size();
        }
        client->write(moves);
        QTest::qWait(500);
        QTRY_VERIFY(sim->stat("overflowed_bytes") > 0);
        // 16 in the planner, one waiting, and 127 bytes behind them; the rest is gone.
        QCOMPARE(sim->stat("overflowed_bytes"), moves.size() - firstSeventeen - 127);
        QCOMPARE(sim->stat("lines"), 17);
        QVERIFY(client->readFor(100).count("ok") <= 16);
    }

    void motionRunsAtTheFeed()
    {
        startController({"--time-scale", "5"});
        // 10 mm at F600, limited to the 500 mm/min of the factory settings, speeding up and
        // slowing down at 10 mm/s^2 over 3.5 mm each: 2.03 s, 0.41 s here.
        QElapsedTimer clock;
        QCOMPARE(ask("G91\nG1 X10 F600\n", "ok\r\nok\r\n"), QByteArray("ok\r\nok\r\n"));
        clock.start();
        const QString moving = status();
        QVERIFY2(moving.startsWith("<Run,"), qPrintable(moving));
        QVERIFY(field(moving, "MPos").x < 10);
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith("<Idle,"), 2000);
        QVERIFY(clock.elapsed() >= 390);
        QCOMPARE(status(),
                 QStringLiteral("<Idle,MPos:10.000,0.000,0.000,WPos:10.000,0.000,0.000>"));
    }

    // The station's estimate of a program's running time against the run itself, through the
    // serial link: corners, straight runs, reversals, short moves the planner's 16 blocks
    // slow down, arcs, inches, dwells and a spindle stop.
    void runTakesWhatTheStationEstimates_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("square, dwell, rapid")
            << "G21 G90 G1 X10 F600\nY10\nX0\nY0\nG4 P0.5\nG0 X5 Y5 Z2";
        QTest::newRow("straight on, back, spindle")
            << "G1 X3 F450\nX6\nX9\nX2\nM3 S1000\nG1 Y3\nM5\nG0 Y0";
        QString zigzag = "G91 G1 F500";
        for (int n = 0; n < 60; ++n)
            zigzag += QString("\nX0.3 Y%1").arg(n % 2 ? 0.2 : -0.2);
        QTest::newRow("short zigzag") << zigzag;
        QTest::newRow("arcs both ways")
            << "G1 X2 F400\nG2 X6 Y0 I2 J0\nG3 X10 Y0 R2\nG3 X10 Y0 I-1 Z-1\nG2 X2 R-6";
        QTest::newRow("inches, incremental") << "G20 G91 G1 X0.4 F20\nY0.4\nX-0.4\nY-0.4";
    }

    void runTakesWhatTheStationEstimates()
    {
        QFETCH(QString, program);
        startController({"--time-scale", "10"});
        const double estimated = estimateRunTime(program).totalSeconds;
        const double measured = client->runProgram(program.split('\n'), 10);
        QVERIFY2(qAbs(measured - estimated) <= 0.05 * estimated,
                 qPrintable(QString("ran %1 s, estimated %2 s").arg(measured).arg(estimated)));
    }

    void offsetsUnitsAndArcs()
    {
        startController({"--instant"});
        ask("G0 X5 Y5 Z-1\nG92 X0 Y0\n", "ok\r\nok\r\n");
        QCOMPARE(status(),
                 QStringLiteral("<Idle,MPos:5.000,5.000,-1.000,WPos:0.000,0.000,-1.000>"));
        ask("G20 G0 X1\n");
        QCOMPARE(field(status(), "MPos").x, 30.4);
        ask("G21 G90 G0 X0 Y0\nG2 X10 Y0 I5 J0 F500\n", "ok\r\nok\r\n");
        QCOMPARE(field(status(), "WPos").x, 10.0);
        QCOMPARE(field(status(), "WPos").y, 0.0);
        ask("G91 G3 X0 Y0 I-2 J0 Z-2\n");
        QCOMPARE(field(status(), "WPos").x, 10.0);
        QCOMPARE(field(status(), "WPos").z, -3.0);
    }

    void holdResumeAndReset()
    {
        startController({"--time-scale", "2"});
        ask("G91 G1 X10 F500\n");
        QTest::qWait(200);
        client->write("!");
        QTest::qWait(100);
        const QString held = status();
        QVERIFY2(held.startsWith("<Hold,"), qPrintable(held));
        QTest::qWait(300);
        QCOMPARE(status(), held); // frozen while held
        client->write("~");
        QTest::qWait(150);
        QVERIFY(status().startsWith("<Run,"));
        QVERIFY(field(status(), "MPos").x > field(held, "MPos").x);

        const QByteArray reset = ask("\x18", "unlock]\r\n");
        QCOMPARE(reset, QByteArray("ALARM: Abort during cycle\r\n\r\nGrbl 0.9j ['$' for help]\r\n"
                                   "['$H'|'$X' to unlock]\r\n"));
        const double stoppedAt = field(status(), "MPos").x;
        QVERIFY(stoppedAt > 0 && stoppedAt < 10);
        QTest::qWait(200);
        QCOMPARE(field(status(), "MPos").x, stoppedAt);
        QVERIFY(status().startsWith("<Alarm,"));
        QCOMPARE(ask("G0 X0\n", "\r\n"), QByteArray("error: Alarm lock\r\n"));
        ask("$X\n");
        QVERIFY(status().startsWith("<Idle,"));
    }

    void resetClearsWhatWasWaiting()
    {
        startController({"--time-scale", "1"});
        QByteArray moves;
        for (int i = 1; i <= 20; ++i)
            moves += "G1 X" + QByteArray::number(i) + " F500\n";
        client->write(moves);
        QTest::qWait(200);
        ask("\x18", "unlock]\r\n");
        ask("$X\n");
        client->readFor(100);
        QTest::qWait(300);
        QVERIFY(status().startsWith("<Idle,"));
        QCOMPARE(client->readFor(200).count("ok"), 0);
    }

    void dwellHoldsTheFollowingLines()
    {
        startController({"--time-scale", "10"});
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ask("G4 P2\nG0 X1\n", "ok\r\nok\r\n"), QByteArray("ok\r\nok\r\n"));
        QVERIFY(clock.elapsed() >= 180);
    }

    void pacedLineTakesItsTime()
    {
        startController({"--instant", "--baud", "9600"});
        const QByteArray lines = QByteArray("G0 X1\n").repeated(80); // 480 bytes: 0.5 s at 9600
        QElapsedTimer clock;
        clock.start();
        client->write(lines);
        const QByteArray replies = client->readUntil(QByteArray("ok\r\n").repeated(80), 5000);
        QCOMPARE(replies.count("ok"), 80);
        QVERIFY2(clock.elapsed() >= 480, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(sim->stat("overflowed_bytes"), 0);
    }

    void barStatusForm()
    {
        startController({"--instant", "--bar-status"});
        QCOMPARE(status(),
                 QStringLiteral("<Idle|MPos:0.000,0.000,0.000|FS:0,0|WCO:0.000,0.000,0.000>"));
        QCOMPARE(status(), QStringLiteral("<Idle|MPos:0.000,0.000,0.000|FS:0,0>"));
        ask("G0 X3\nG92 X1\n", "ok\r\nok\r\n");
        QCOMPARE(status(),
                 QStringLiteral("<Idle|MPos:3.000,0.000,0.000|FS:0,0|WCO:2.000,0.000,0.000>"));
    }

    void probeTouchesTheSurface()
    {
        startController({"--time-scale", "20", "--probe-surface", "-4.5"});
        QCOMPARE(ask("G91\nG38.2 Z-20 F100\n", ":1]\r\nok\r\n"),
                 QByteArray("ok\r\n[PRB:0.000,0.000,-4.500:1]\r\nok\r\n"));
        QCOMPARE(field(status(), "MPos").z, -4.5);
        QVERIFY(status().startsWith("<Idle,"));

        const QByteArray miss = ask("G38.2 Z+5 F100\n");
        QCOMPARE(miss, QByteArray("ALARM: Probe fail\r\n[PRB:0.000,0.000,0.500:0]\r\nok\r\n"));
        QVERIFY(status().startsWith("<Alarm,"));
        ask("$X\n");
        QVERIFY(status().startsWith("<Idle,"));
    }

    void homingGoesToTheMachineOrigin()
    {
        startController({"--time-scale", "20"});
        ask("G0 X4 Y-3 Z-1\nG92 X0 Y0 Z0\n", "ok\r\nok\r\n");
        QTRY_VERIFY(status().startsWith("<Idle,"));
        client->write("$H\n");
        QVERIFY(status().startsWith("<Home,"));
        QCOMPARE(client->readUntil("ok\r\n"), QByteArray("ok\r\n"));
        QCOMPARE(status(), QStringLiteral("<Idle,MPos:0.000,0.000,0.000,WPos:-4.000,3.000,1.000>"));
    }
};

ORLO_TEST_MAIN(TestGrblSimModel)
#include "tst_GrblSimModel.moc"
