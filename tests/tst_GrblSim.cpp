#include "FirmwareBoard.h"
#include "ProgramGenerator.h"
#include "PtyPeer.h"
#include "SimProcess.h"
#include "TestMain.h"

#include "preview/RunTimeEstimate.h"
#include "program/JobProgram.h"
#include "program/LevelledProgram.h"

#include <QDeadlineTimer>

#include <cmath>
#include <csignal>

static const QStringList v09{"--instant"};
static const QStringList v11{"--instant", "--grbl", "1.1"};
static const QByteArray banner11 = "\r\nGrbl 1.1h ['$' for help]\r\n";
// What is sent, and what comes back for it.
using Turns = QVector<QPair<QByteArray, QByteArray>>;

// The virtual controller against a bare client: what it answers, when, and what it loses, as
// each dialect of the firmware would; the station's own tests are only as good as this. And
// orlo-send against it, as an operator runs it from a shell.
class TestGrblSim : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<PtyPeer> client;

    // What a device answers to the turns of matchesTheFirmware, a line an entry.
    static QByteArrayList transcript(const QString &link, const QByteArrayList &turns)
    {
        std::unique_ptr<PtyPeer> port;
        QByteArrayList lines;
        QByteArray arrived;
        const QByteArrayList all = QByteArrayList{"1 reopen"} + turns;
        for (const QByteArray &turn : all) {
            const int space = turn.indexOf(' ');
            int answers = turn.left(space).toInt();
            const QByteArray bytes = turn.mid(space + 1);
            if (bytes == "reopen") {
                port.reset();
                port = std::make_unique<PtyPeer>(link);
            } else if (bytes == "?hold") {
                // The pause begins once the motion before it has run out: asked until then.
                for (int tries = 0; tries < 50; ++tries) {
                    port->write("?");
                    if (port->readUntil(">\r\n").startsWith("<Hold"))
                        break;
                }
                port->write("?");
            } else {
                port->write(bytes);
            }
            const bool last = &turn == &all.last();
            for (QDeadlineTimer deadline(15000); (answers > 0 || last) && !deadline.hasExpired();) {
                const QByteArray more = port->read(std::numeric_limits<int>::max(), 300, "\n");
                if (more.isEmpty() && answers <= 0)
                    break; // what the last turn set off is all there
                arrived += more;
                for (int end; (end = arrived.indexOf('\n')) >= 0; arrived.remove(0, end + 1)) {
                    QByteArray line = arrived.left(end).trimmed();
                    if (line.isEmpty())
                        continue;
                    if (line == "ok" || line.startsWith("error") || line.startsWith('<') ||
                        line.startsWith("Grbl "))
                        --answers;
                    if (line.startsWith('<')) // 1.1's reports by state and position alone
                        line = QString(line)
                                   .remove(QRegularExpression("\\|(?![MW]Pos)[^|>]*"))
                                   .toLatin1();
                    lines << line;
                }
            }
            if (answers > 0)
                lines << "(no answer to " + bytes + ")";
        }
        return lines;
    }

    void startController(const QStringList &arguments)
    {
        sim = std::make_unique<SimProcess>(arguments);
        QVERIFY(sim->start());
        client = std::make_unique<PtyPeer>(sim->linkPath());
        QVERIFY(client->readUntil("help]\r\n").endsWith("help]\r\n"));
    }

private slots:
    void cleanup() { sim.reset(); } // its client goes at the next start

    // What is sent, then what comes back, in turns. A turn's reply is read until it has all
    // come; the last turn's may go on.
    void conversation_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Turns>("turns");
        const auto row = [](const char *name, const QStringList &arguments, const Turns &turns) {
            QTest::newRow(name) << arguments << turns;
        };
        // What the settings store holds is read only at rest.
        row("1.1 offsets only at rest", {"--time-scale", "1", "--grbl", "1.1"},
            {{"G1 X100 F100\n", "ok\r\n"}, {"$#\n", "error:8\r\n"}});
        // Work 10,5 at machine 3,8 once G54 is at -7,3; $10 picks MPos or WPos and Bf.
        const QByteArray wpos = "ok\r\n<Idle|WPos:10.000,5.000,";
        row("1.1 status report", v11,
            {{"?", "<Idle|MPos:0.000,0.000,0.000|FS:0,0|WCO:0.000,0.000,0.000>\r\n"},
             {"?", "<Idle|MPos:0.000,0.000,0.000|FS:0,0|Ov:100,100,100>\r\n"},
             {"G10 L20 P1 X7 Y-3\n?",
              "ok\r\n<Idle|MPos:0.000,0.000,0.000|FS:0,0|WCO:-7.000,3.000,0.000>\r\n"},
             {"G0 X10 Y5\n?", "ok\r\n<Idle|MPos:3.000,8.000,0.000|FS:0,0>\r\n"},
             {"$10=0\n?", wpos + "0.000|FS:0,0>\r\n"},
             {"$10=2\n?", wpos + "0.000|Bf:15,128|FS:0,0>\r\n"},
             {"M4 S2000 M8\n?", wpos + "0.000|Bf:15,128|FS:0,1000|Ov:100,100,100|A:CF>\r\n"},
             {"M3 S500\n\x9A\x9A?", wpos + "0.000|Bf:15,128|FS:0,600|Ov:100,100,120|A:SF>\r\n"},
             {"M5 M9 G53 G0 Z-6\n?", wpos + "-6.000|Bf:15,128|FS:0,0|Pn:P|Ov:100,100,120>\r\n"},
             {"$H\n?", "ok\r\n<Idle|WPos:7.000,-3.000,0.000|Bf:15,128|FS:0,0>\r\n"}});

        row("1.1 reset while moving", {"--grbl", "1.1"},
            {{"G1 X10 F100\n\x18",
              "ok\r\nALARM:3\r\n" + banner11 + "[MSG:'$H'|'$X' to unlock]\r\n"},
             {"G0 X0\n", "error:9\r\n"}});
        row("1.1 check mode", v11,
            {{"$C\n?", "[MSG:Enabled]\r\nok\r\n"
                       "<Check|MPos:0.000,0.000,0.000|FS:0,0|WCO:0.000,0.000,0.000>\r\n"},
             {"G0 X50\nG1 X\n?",
              "ok\r\nerror:2\r\n<Check|MPos:0.000,0.000,0.000|FS:0,0|Ov:100,100,100>\r\n"},
             {"$C\n", "[MSG:Disabled]\r\nok\r\n" + banner11}});
        // Jogs in machine, work, inch and relative terms; the parser stays in G0 G21 G90.
        row("1.1 jogs leave the modal state", v11,
            {{"G10 L2 P1 X2\n$J=G53 X5 F100\n$J=X1 F100\n$J=G20 G91 X1 F10\n$G\n",
              "ok\r\nok\r\nok\r\nok\r\n[GC:G0 G54 G17 G21 G90 G94 M5 M9 T0 F0 S0]\r\nok\r\n"},
             {"?", "<Idle|MPos:28.400,0.000,0.000|FS:0,0|WCO:2.000,0.000,0.000>\r\n"}});
        row("1.1 no jog while a program runs", {"--grbl", "1.1"},
            {{"G1 X100 F100\n$J=G91 X1 F100\n", "ok\r\nerror:8\r\n"}});
        // The state a report names after a line and realtime bytes.
        const QStringList slow09{"--time-scale", "1"}, slow11{"--time-scale", "1", "--grbl", "1.1"};
        row("0.9 hold", slow09, {{"G1 X100 F100\n!?", "ok\r\n<Hold,"}});
        row("1.1 hold", slow11, {{"G1 X100 F100\n!?", "ok\r\n<Hold:0|"}});
        row("1.1 door", slow11, {{"G1 X100 F100\n\x84?", "ok\r\n<Door:0|"}});
        row("1.1 resume after the door", slow11, {{"G1 X100 F100\n\x84~?", "ok\r\n<Run|"}});
        row("1.1 jog cancel spares a program", slow11, {{"G1 X100 F100\n\x85?", "ok\r\n<Run|"}});
        row("1.1 jog", slow11, {{"$J=G91 X100 F100\n?", "ok\r\n<Jog|"}});
        row("1.1 cancelled jog", slow11, {{"$J=G91 X100 F100\n\x85?", "ok\r\n<Idle|"}});
        row("1.1 locks G-code out while it jogs", slow11,
            {{"$J=G91 X100 F100\nG1 X1 F100\n?", "ok\r\nerror:9\r\n<Jog|"}});
        row("0.9 takes bytes from 0x80 up into the line", v09,
            {{"G0 X1\x91 Y2\n", "error: Expected command letter\r\n"}});
        row("1.1 acts on bytes from 0x80 up inside a line", v11,
            {{"G0 X1\x97\x91 Y2\n?",
              "ok\r\n<Idle|MPos:1.000,2.000,0.000|FS:0,0|WCO:0.000,0.000,0.000>\r\n"},
             {"?", "<Idle|MPos:1.000,2.000,0.000|FS:0,0|Ov:110,25,100>\r\n"}});

        // A probe stops where the tool first reaches the stock's top: a tilted plane at two
        // places and on a move down across it; a bump's top, and its side met from beside it.
        row("0.9 probe on a tilted surface", {"--instant", "--surface", "-5,0.1,-0.05"},
            {{"G0 X20 Y0 Z0\nG38.2 Z-20 F100\n", "ok\r\n[PRB:20.000,0.000,-3.000:1]\r\nok\r\n"},
             {"G0 Z0\nG0 X0 Y40\nG38.2 Z-20 F100\n",
              "ok\r\nok\r\n[PRB:0.000,40.000,-7.000:1]\r\nok\r\n"},
             {"G0 Z0\nG0 X0 Y0\nG38.3 X20 Z-20 F100\n",
              "ok\r\nok\r\n[PRB:4.545,0.000,-4.545:1]\r\nok\r\n"}});
        row("1.1 probe on a bump", {"--instant", "--grbl", "1.1", "--surface", "-5,0,0,2,10,10,5"},
            {{"G0 X10 Y10 Z0\nG38.2 Z-20 F100\n", "ok\r\n[PRB:10.000,10.000,-3.000:1]\r\nok\r\n"},
             {"G0 Z0\nG0 X0 Y10\nG0 Z-4\nG38.2 X21 F100\n",
              "ok\r\nok\r\nok\r\n[PRB:7.500,10.000,-4.000:1]\r\nok\r\n"}});
    }

    void conversation()
    {
        QFETCH(QStringList, arguments);
        QFETCH(Turns, turns);
        startController(arguments);
        for (const auto &[sent, expected] : turns) {
            if (sent == "reopen") { // as a station that connects again
                client.reset();
                client = std::make_unique<PtyPeer>(sim->linkPath());
            } else {
                client->write(sent);
            }
            const QByteArray reply = client->readUntil(expected, 3000);
            const bool last = &expected == &turns.last().second;
            QVERIFY2(last ? reply.startsWith(expected) : reply == expected,
                     qPrintable(QString::fromLatin1(sent + " -> " + reply)));
        }
    }

    // A line is answered once the planner (16 blocks in 0.9, 15 in 1.1) takes it; with the
    // planner full, the next line waits and the receive buffer behind it (127 bytes, and 128 as
    // 1.1's "$I" states) fills up, then loses what comes.
    void fullPlannerLetsTheReceiveBufferOverflow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<int>("ring");
        QTest::newRow("0.9") << QStringList{"--time-scale", "1"} << 16 << 127;
        QTest::newRow("1.1") << QStringList{"--time-scale", "1", "--grbl", "1.1"} << 15 << 128;
    }

    void fullPlannerLetsTheReceiveBufferOverflow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, blocks);
        QFETCH(int, ring);
        startController(arguments);
        QByteArray moves; // 10 mm at 500 mm/min: none ends while we look
        int taken = 0;
        for (int i = 1; i <= 40; ++i) {
            moves += "G1 X" + QByteArray::number(i * 10) + ".0000 Y1.0000 F500 (a pass)\n";
            if (i == blocks + 1)
                taken = moves.size();
        }
        client->write(moves);
        QTRY_VERIFY(sim->stat("overflowed_bytes") > 0);
        QCOMPARE(sim->stat("overflowed_bytes"), moves.size() - taken - ring);
        QCOMPARE(sim->stat("lines"), blocks + 1);
        QCOMPARE(client->read(1 << 20, 200).count("ok"), blocks);
        client->write("?");
        QVERIFY(client->readUntil(">\r\n").contains("<Run"));
    }

    // The same lines to grblsim and to the real firmware of the same version: the same answers,
    // line for line (status reports by state and position), up to the final $G and $#. Each turn
    // is "N bytes": send, then wait for N answers (ok, error, status report, banner); "reopen"
    // closes the port and opens it again. Motion stays short: the firmware runs in real time;
    // "?" goes alone, after a G4 has waited for the motion: sent with lines, it may overtake them.
    void matchesTheFirmware_data()
    {
        QTest::addColumn<bool>("grbl11");
        QTest::addColumn<QByteArrayList>("turns");
        // "?" is acted on where it falls and is no part of a line; CR and LF each end one, and
        // every line, empty or a comment, is answered.
        const QByteArrayList pauseEndResetOpen{"6 G0 X0.1\n\n   \n(just a comment)\n\r\n",
                                               "1 G4 P0\n",
                                               "1 G1 X0.2?0 F100",
                                               "1 \n",
                                               "3 G10 L20 P2 X3\nG55 G43.1 Z2\nG92 Y1\n",
                                               "2 G1 X0.5 F300\nG4 P0\nM0\nG0 X0.2\nM1\n",
                                               "1 ?hold",
                                               "3 ~",
                                               "1 G4 P0\n",
                                               "1 ?",
                                               "4 M8 G91 G93 T5\nM30\n$G\n$#\n",
                                               "2 G90 G0 X0.3 Z0.2\nG4 P0\n",
                                               "1 ?",
                                               "1 \x18",
                                               "2 $G\n$#\n",
                                               "1 ?",
                                               "1 reopen",
                                               "2 $G\n$#\n",
                                               "1 ?"};
        const QByteArrayList feedsCoolantProbe{
            "9 G1\nG2\nG38.2\nG0\nG1 F0\nM7\nM8\nM9\n$G\n",
            "7 G43.1 Z1 G49\nG0 G49\nG92 Z1 G43.1 Z2\nG92.1 G43.1 Z1\nG0 G1 X1\nT255\nT256\n",
            "9 G1 F100\nG1\nG2\nG3\nG38.2\nG43.1 X1\nG49\nT7\n$G\n",
            "7 G93\n$G\nG1 X0.1 F600\nG1 X0.2\nG0 X0\nG94\n$G\n",
            "1 G38.2 Z0.5 F100\n", // upward, so grblsim's work surface is never met
            "3 $G\n$X\n$G\n",
            "1 ?",
            "1 $#\n"};
        // A turn a line, from a fresh start: faults in 0.9's words and by 1.1's numbers (a refused
        // line changes nothing), system commands, work offsets, and jogs, which leave
        // the parser's modes as they were.
        const auto oneAnswerEach = [](const QByteArray &lines) {
            QByteArrayList turns;
            for (const QByteArray &line : lines.split('|'))
                turns << "1 " + line + "\n";
            return turns;
        };
        const QByteArrayList words = oneAnswerEach(
            "hello|$Q|G99|#|G0 X1 X2|M7|G38.2|G2 M1|G0 F0|G0 G1 X1|G1 G80|G1 X5|G2 X10 Y0 F100|"
            "G10 L2 P1 X1|G10 L2 P7 X1|G10 L2 P1 G1 X1|$999=1|$0=2|"
            "G1 X1 Y2 Z3 F100 (long comments do not count)|G1 F0|G1|G38.2|G43.1 X1|G93 G0 X1|G94|"
            "g0 x1 ; lower case and a line comment|G4 P0|$I|$$|$|$N|$X|"
            "G91 G1 F300 M3 S1000|$G|G10 L2 P1 X1 Y2 Z3|G10 L20 P2 X1|G90 G0 X5|G92 X1|G4 P0|$#|"
            "G10 L2 P1 X2|$J=G53 X5 F100|$J=X1 F100|$J=G20 G91 X0.1 F10|$J=G91 X1|$J=X1 X2 F100|"
            "$J=G91 F100|$J=X1 S100 F100|$J=M3 X1 F100|$J=G1 X1|$J=X1 F0|$J=X1 F-1|"
            "$J=g20 g90 g53 x0.01 y0.01 z0.01 f10 (all a jog may hold)|$G|"
            "G1 X1." + // last: 0.9 answers twice, the rest of the line being read as a new one
            QByteArray(74, '0') +
            " F100");
        for (const bool grbl11 : {false, true}) {
            const QByteArray version = grbl11 ? "1.1 " : "0.9 ";
            QTest::newRow(version + "faults, system commands, offsets, jogs") << grbl11 << words;
            QTest::newRow(version + "pause, program end, reset, open")
                << grbl11 << pauseEndResetOpen;
            QTest::newRow(version + "feeds, coolant, probe") << grbl11 << feedsCoolantProbe;
        }
    }

    void matchesTheFirmware()
    {
        QFETCH(bool, grbl11);
        QFETCH(QByteArrayList, turns);
        SimProcess sim(QStringList{"--time-scale", "10"} +
                       (grbl11 ? QStringList{"--grbl", "1.1"} : QStringList{}));
        QVERIFY(sim.start());
        const QByteArrayList simulated = transcript(sim.linkPath(), turns);
        FirmwareBoard board(grbl11);
        QVERIFY2(board.start(), qPrintable("the firmware cannot be run: " + board.error()));
        const QByteArrayList real = transcript(board.linkPath(), turns);
        QVERIFY2(real.size() > turns.size(), qPrintable(real.join('\n')));
        int same = 0;
        while (same < simulated.size() && same < real.size() && simulated[same] == real[same])
            ++same;
        const QByteArray after = same ? "after '" + real[same - 1] + "'" : "at the start";
        QVERIFY2(simulated == real, qPrintable(after + ": grblsim '" + simulated.value(same) +
                                               "', the firmware '" + real.value(same) + "'"));
    }

    // The station's estimate of a program's running time against the run itself: corners,
    // straight runs, reversals, short moves the planner's blocks slow down, arcs, inches,
    // dwells and a spindle stop.
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
        // Corners the junction speed treats differently from a right angle: as the angle between
        // the two moves of a corner (180 goes straight on).
        // Each move heads `turn` degrees on from the last, or, zigzagging, off X either way.
        const auto polyline = [](int moves, double step, double turn, bool zigzag) {
            QString program = "G91 G1 F600";
            for (int n = 0; n < moves; ++n) {
                const double heading = (zigzag ? (n % 2 ? turn : -turn) : n * turn) * M_PI / 180;
                program += QString::asprintf("\nX%.4f Y%.4f", step * std::cos(heading),
                                             step * std::sin(heading));
            }
            return program;
        };
        QTest::newRow("zigzag, 150 degree corners") << polyline(30, 2, 15, true);
        QTest::newRow("zigzag, 30 degree corners") << polyline(30, 2, 75, true);
        QTest::newRow("hexagon twice round") << polyline(12, 5, 60, false);
        QTest::newRow("170 degree corners round a circle") << polyline(36, 2, 10, false);
    }

    // Against the time the controller itself ran, not the wall clock: on its virtual clock, a
    // client that is late to send (a loaded host, a sanitizer) neither starves its planner nor
    // counts.
    void runTakesWhatTheStationEstimates()
    {
        QFETCH(QString, program);
        startController({"--time-scale", "10", "--virtual-clock"});
        const double estimated = estimateRunTime(program).totalSeconds;
        QVERIFY(client->runProgram(program.split('\n'), 10) >= 0);
        // The controller writes its counters at the end.
        sim->terminate();
        const double ran = sim->stat("motion_ms") / 1000.0;
        qInfo("ran %.3f s, estimated %.3f s", ran, estimated);
        QVERIFY2(qAbs(ran - estimated) <= 0.05 * estimated,
                 qPrintable(QString("ran %1 s, estimated %2 s").arg(ran).arg(estimated)));
    }

    // orlo-send, PORT and FILE standing for the controller's link and the program: what it says
    // goes to stdout on success, to stderr otherwise; a run that ends early holds the machine,
    // then resets it at rest.
    void sender_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("event");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("said");
        const auto row = [](const char *name, const QString &program, int exitCode,
                            const QStringList &said, const QString &event = "",
                            const QStringList &arguments = {"--port", "PORT", "FILE"}) {
            QTest::newRow(name) << arguments << program << event << exitCode << said;
        };
        const QString many = generatedProgram(400).join('\n');
        row("every line confirmed", generatedProgram(120).join('\n'), 0, {"finished in"});
        row("an error holds, then resets", "G0 X1\nG1 X2 F300\nG99\nG1 X3\nG1 X4", 1,
            {"failed at line 3: error: Unsupported command"});
        row("a line the controller cannot take", "G0 X1\nG1 X2 F300 !", 1,
            {"Program not started: line 2: it holds '!', which the controller would act on"});
        row("Ctrl-C", many, 1, {"stopped at line", "The rest of the part: --from-line "},
            "interrupt");
        // Only the way in and the lines from the start on reach the controller, and only once
        // it has a work zero.
        const QString five = "G0 X1\nG0 X2\nG1 X3 F100\n(here)\nG1 X4\nG1 Y5";
        const QStringList fromFour{"--from-line", "4", "--port", "PORT", "FILE"};
        row("from a line", five, 0,
            {"From line 5, after: G17 G21 G90 G94 G54 | G0 Z5 | G0 X3 | G90 G1 F100", "finished"},
            "G10 L2 P1 Z-10", fromFour); // a work zero on one axis is one
        row("from a line without a work offset", five, 1,
            {"no work offset: home the machine and set the work zero first"}, "", fromFour);
        row("Ctrl-C on 1.1", many, 1, {"stopped at line"}, "interrupt",
            {"sim:--grbl", "sim:1.1", "--port", "PORT", "FILE"});
        row("SIGHUP", many, 1, {"Hangup: stopping as for Ctrl-C", "stopped at line"}, "hangup");
        row("cable pulled", many, 1, {"interrupted at line"}, "unplug");
        row("a tool change without an operator", "S100 M3\nG0 X1\nT2 M6\nG0 X2", 1,
            {"stopped at line 3"});
        row("check mode tells every error", "G0 X10\nG1 X\nT1 M6\nG99\nM30", 1,
            {"error at line 2 (G1 X): error: Bad number format",
             "error at line 4 (G99): error: Unsupported command"},
            "", {"--check", "--port", "PORT", "FILE"});
        row("check, Ctrl-C", generatedProgram(20000).join('\n'), 1, {"stopped at line"},
            "interrupt", {"--check", "--port", "PORT", "FILE"});
        // A board that starts locked ($22=1) is neither checked nor run before it is unlocked.
        for (const char *name : {"check, locked", "run, locked"})
            row(name, "G0 X1", 1, {"The controller is in alarm"}, "$22=1",
                QString(name).startsWith("check") ? QStringList{"--check", "--port", "PORT", "FILE"}
                                                  : QStringList{"--port", "PORT", "FILE"});
        // A board that keeps its state when opened, left in inches: nobody answers the question.
        row("modes, no operator", "G0 X1", 1, {"Program not started: cancelled"}, "G20",
            {"sim:--no-auto-reset", "--port", "PORT", "FILE"});
        row("help", "", 0, {"Usage:"}, "", {"--help"});
        row("no port", "G0 X1", 2, {"Usage:"}, "", {"FILE"});
        row("unknown option", "G0 X1", 2, {"Unknown option 'fast'."}, "", {"--fast", "FILE"});
        for (const char *baud : {"-5", "0", "4000001", "9600x"})
            row(baud, "G0 X1", 2, {"Usage:"}, "", {"--port", "PORT", "--baud", baud, "FILE"});
        for (const char *line : {"0", "x"})
            row(line, "G0 X1", 2, {"Usage:"}, "", {"--port", "PORT", "--from-line", line, "FILE"});
        row("missing file", "", 1, {"/nonexistent.nc: cannot be read"}, "",
            {"--port", "PORT", "/nonexistent.nc"});
        // Levelled by a height map (MAP, from the event "map:"): the controller receives the
        // levelled program; a map or a program that cannot be used sends nothing.
        const QString plane = "map:0,0,0\n10,0,1\n20,0,2\n0,10,-0.5\n10,10,0.5\n20,10,1.5\n"
                              "0,20,-1\n10,20,0\n20,20,1\n";
        const QStringList levelling{"--height-map", "MAP", "--port", "PORT", "FILE"};
        row("levelled", "G21 G90\nG0 X0 Y0 Z5\nG1 Z-1 F300\nG1 X40 Y10\nG0 Z5\nM30", 0,
            {"line 4 leaves the map by 20.0 mm", "Levelled by the height map: 6 lines became 10",
             "finished"},
            plane, levelling);
        row("a map that is no map", "G0 X1", 2, {": line 1 is not a point \"x,y,z\""}, "",
            {"--height-map", "FILE", "--port", "PORT", "FILE"});
        row("a program that cannot be levelled", "G0 X0 Y0 Z1\nG92 X0", 1,
            {"cannot be levelled: line 2: G92 changes the work coordinates the map is in"}, plane,
            levelling);
        row("from a line, levelled", "G0 X1", 2, {"--from-line cannot be used with --height-map"},
            plane, {"--from-line", "2", "--height-map", "MAP", "--port", "PORT", "FILE"});
    }

    void sender()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, program);
        QFETCH(QString, event);
        QFETCH(int, exitCode);
        QFETCH(QStringList, said);
        QStringList simArguments = arguments.filter(QRegularExpression("^sim:"));
        arguments = arguments.mid(simArguments.size());
        SimProcess sim(QStringList{"--time-scale", "20"} +
                       simArguments.replaceInStrings("sim:", ""));
        QVERIFY(sim.start());
        const bool setup = event.startsWith('$') || event.startsWith('G');
        if (setup) { // a setting or work offset the next start-up keeps
            PtyPeer console(sim.linkPath());
            console.write(event.toLatin1() + '\n');
            QVERIFY(console.readUntil("ok\r\n").endsWith("]\r\nok\r\n"));
        }
        QTemporaryFile file, map;
        QVERIFY(file.open() && file.write(program.toUtf8()) >= 0 && file.flush());
        const bool mapped = event.startsWith("map:");
        QVERIFY(!mapped || (map.open() && map.write(event.mid(4).toUtf8()) >= 0 && map.flush()));
        QProcess sender;
        sender.start(ORLO_SEND_PATH,
                     arguments.replaceInStrings(QRegularExpression("^MAP$"), map.fileName())
                         .replaceInStrings("PORT", sim.linkPath())
                         .replaceInStrings("FILE", file.fileName()));
        sender.closeWriteChannel(); // no operator at the keyboard
        if (!event.isEmpty() && !setup && !mapped) {
            QTRY_VERIFY_WITH_TIMEOUT(sim.stat("lines") >= 40, 10000);
            ::kill(pid_t(event == "unplug" ? sim.process().processId() : sender.processId()),
                   event == "unplug"   ? SIGUSR1
                   : event == "hangup" ? SIGHUP
                                       : SIGINT);
        }
        QVERIFY(sender.waitForFinished(30000));
        QCOMPARE(sender.exitCode(), exitCode);
        const QString progress = sender.readAllStandardOutput();
        const QString told = exitCode == 0 ? progress : sender.readAllStandardError();
        for (const QString &part : said)
            QVERIFY2(told.contains(part), qPrintable(told));
        const QStringList log = sim.loggedLines();
        // Stopped: held, and reset only at rest, so the machine keeps its position (no alarm);
        // the last progress names the line the end names, the one being cut.
        if (event == "interrupt" || event == "hangup" || said.first().startsWith("failed")) {
            QVERIFY(log.indexOf("!") >= 0 && log.indexOf("!") < log.indexOf("\x18"));
            QVERIFY2(!told.contains("ALARM"), qPrintable(told));
        }
        if (event == "interrupt" || event == "hangup") {
            const QRegularExpression progressLine("line (\\d+) of"), endLine("at line (\\d+)");
            QCOMPARE(progressLine.match(progress.section('\n', -2)).captured(1),
                     endLine.match(told).captured(1));
            QCOMPARE(QRegularExpression("--from-line (\\d+)").match(told).captured(1),
                     arguments.contains("--check") ? QString() : endLine.match(told).captured(1));
        }
        if (arguments.contains("--check")) // nothing was cut: nothing to go on with
            QVERIFY2(!told.contains("--from-line"), qPrintable(told));
        if (exitCode != 0 && !told.contains(" at line ")) // never started
            QCOMPARE(log.filter(QRegularExpression("^(G|\\$C)")).mid(setup), QStringList());
        if (arguments.contains("--check") && event.isEmpty()) {
            const QStringList commands = log.filter(QRegularExpression("^([GM]|\\$C)"));
            QCOMPARE(commands.first(), QStringLiteral("$C"));
            QCOMPARE(commands.last(), QStringLiteral("$C"));
            QCOMPARE(sim.stat("errors"), 2);
        }
        if (arguments.contains("--from-line") && exitCode == 0)
            QCOMPARE(log.filter(QRegularExpression("^G")).value(setup), "G17 G21 G90 G94 G54");
        if (mapped && exitCode == 0) {
            const LevelledProgram levelled =
                LevelledProgram::level(program, std::get<HeightMap>(HeightMap::read(event.mid(4))));
            const JobProgram job = JobProgram::read(levelled.text);
            QStringList lines;
            for (int i = 0; i < job.size(); ++i)
                lines << job.bytes(i);
            QCOMPARE(log.filter(QRegularExpression("^[GM]")),
                     lines.filter(QRegularExpression("^[GM]")));
        }
        if (!log.isEmpty()) // it was talked to
            QCOMPARE(sim.stat("overflowed_bytes"), 0);
    }
};

ORLO_TEST_MAIN(TestGrblSim)
#include "tst_GrblSim.moc"
