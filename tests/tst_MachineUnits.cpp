#include <QtTest>

#include "app/CommandLine.h"
#include "app/StationIdentity.h"
#include "machine/ExecutionTracker.h"
#include "machine/Job.h"
#include "machine/StreamWindow.h"
#include "machine/WorkOffsets.h"
#include "preview/PathInterpreter.h"
#include "program/HeightMap.h"
#include "program/LevelledProgram.h"
#include "program/ProgramLine.h"
#include "program/StartFromLine.h"

#include <QQueue>

// The pure parts, without a display or a link: the program as sent and refused, the job's
// state machine driven by scripted answers, the byte budget, and the station's command line.
class TestMachineUnits : public QObject
{
    Q_OBJECT

private:
    // Plays a script against a job: "send" writes the next line, "ok"/"error" answer the
    // oldest outstanding one, the rest are the session's other events.
    static void play(Job &job, const QStringList &script)
    {
        static const QMap<QString, void (Job::*)()> plain{
            {"!", &Job::feedHold},          {"~", &Job::cycleStart},
            {"reset", &Job::reset},         {"lost", &Job::linkLost},
            {"idle", &Job::machineStopped}, {"held", &Job::controllerHeld}}; // a report says Hold
        QQueue<int> outstanding;
        for (const QString &event : script) {
            if (plain.contains(event)) {
                (job.*plain[event])();
            } else if (event == "send") {
                const int index = job.nextToSend();
                if (index >= 0) {
                    job.sent(index);
                    outstanding.enqueue(index);
                }
            } else if (event == "ok") {
                job.confirmed(outstanding.isEmpty() ? -1 : outstanding.dequeue());
            } else if (event.startsWith("error")) {
                job.refused(outstanding.isEmpty() ? -1 : outstanding.dequeue(), event);
            } else if (event.startsWith("ALARM")) {
                job.alarm(event);
            } else if (event.startsWith("at:")) { // the tracker: entries before it finished
                job.finishedBefore(event.mid(3).toInt());
            } else {
                QFAIL(qPrintable("unknown event " + event));
            }
        }
    }

    // z = 0.1 x - 0.05 y over 0..20 by 0..10, probed every 5 mm: highest 2 at (20, 0).
    static HeightMap tiltedPlane()
    {
        QVector<double> heights;
        for (int k = 0; k < 15; ++k) // by rows of 5 columns
            heights << 0.5 * (k % 5) - 0.25 * (k / 5);
        return HeightMap({0, 0, 20, 10, 5, 3}, heights);
    }

    QTemporaryDir dir;
    QString program;

private slots:
    void initTestCase()
    {
        StationIdentity::describe();
        program = dir.filePath("part.nc");
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(QDir::setCurrent(dir.path()));
    }

    // What reaches the controller, by editor line; and the first line it could not take.
    void programs_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("sent"); // "line:bytes", "line:kind:bytes" for stops
        QTest::addColumn<int>("refusedLine");
        QTest::addColumn<int>("from");      // a start from that line; 0: from the top
        QTest::addColumn<bool>("levelled"); // by tiltedPlane(); "warning:" entries come first
        const auto row = [](const char *name, const QString &text, const QString &sent,
                            int refused = 0, int from = 0) {
            QTest::newRow(name) << text << sent.split('|') << refused << from << false;
        };
        const auto levelled = [](const char *name, const QString &text, const QString &sent,
                                 int refused = 0) {
            QTest::newRow(name) << text << sent.split('|') << refused << 0 << true;
        };
        row("CAM header, delimiters, comments, blanks",
            "%\n(T1 D=6)\n\n\tG90 (check!) G94 ; absolute ~?\r\nT1 M6\nG0 X1 (never closed\n%",
            "1:|2:|4:G90  G94|5:change:G21 G90 G0 F0|6:G0 X1|7:");
        // A jog or a probe during the change may leave other modes and another feed behind.
        row("tool change restores modes, feed and spindle",
            "G20 G91 G1 F4\nS12000 M3 M8\nG0 X1 t2 M06\nG1 X1 F100",
            "1:G20 G91 G1 F4|2:S12000 M3 M8|3:change:G20 G91 G1 F4 M3 S12000 M8|3:G0 X1|"
            "4:G1 X1 F100");
        row("a feed and a speed too long for one line together",
            "F111111111111111111111111111111111111\nS222222222222222222222222222222222222 M3\nM6",
            "1:F111111111111111111111111111111111111|2:S222222222222222222222222222222222222 "
            "M3|3:change:G21 G90 G0 F111111111111111095328132959658049536|"
            "3:M3 S222222222222222190656265919316099072");
        row("an arc's mode is not put back", "G2 X1 I1 F100\nM6",
            "1:G2 X1 I1 F100|2:change:G21 G90 G80 F100");
        row("M6 twice, last line", "M4 S500\nM5\nM6 M6", "1:M4 S500|2:M5|3:change:G21 G90 G0 F0");
        row("numbers beyond any code (found by fuzzing)",
            "G90 M30000000000000000000000\nT99999999999999999999 M6",
            "1:G90 M30000000000000000000000|2:change:G21 G90 G0 F0");
        row("T without M6 is sent", "T3\nG0 X1", "1:T3|2:G0 X1");
        row("pauses", "G0 X1\nM0\nm01 (optional)", "1:G0 X1|2:pause:M0|3:pause:m01");
        row("end: nothing after it", "M3\nM30\nG0 X1\n(comment)\n%\nG0 X2", "1:M3|2:end:M30");
        row("lone CR splits a line", "G0 X1\rG0 X2\nM5", "1:G0 X1|1:G0 X2|2:M5");
        row("feed hold outside a comment", "G0 X1\nG1 X2 F100 !\nG0 X3", "1:G0 X1|2:|3:G0 X3", 2);
        row("non-ASCII outside a comment, not inside",
            QString::fromUtf8("G0 X1 (Maß Ä)\nG0 Y\u00b2"), "1:G0 X1|2:", 2);
        row("79 characters fit, blanks not counted", "G1 " + QString(76, 'X') + "   ",
            "1:G1 " + QString(76, 'X'));
        row("80 do not", "G1" + QString(78, '1'), "1:", 1);
        row("from a line",
            "G21 G90 G54\nS10000 M3\nG43.1 Z2\nG0 X10 Y10\nG1 Z-1 F200\nG1 X20 F800\n"
            "G1 Y20\nM30",
            "7:G17 G21 G90 G94 G54|7:G43.1 Z2|7:M3 S10000|7:G4 P3|7:G0 Z5|7:G0 X20 Y10|"
            "7:G1 Z-1 F200|7:G90 G1 F800|7:G1 Y20|8:end:M30",
            0, 7);
        row("from an arc, in inches, G55, after a G91 stretch",
            "G20 G55 G90\nM4 S2000 M8\nG0 X1 Y1 Z0.2\nG91 G1 Z-0.3 F10\nG1 X0.5 F20\n"
            "G2 X0.5 Y0.5 I0 J0.5\nX0.5 Y-0.5 I0.5 J0",
            "7:G17 G20 G90 G94 G55|7:M4 S2000|7:G4 P3|7:M8|7:G0 Z0.2|7:G0 X2 Y1.5|7:G1 Z-0.1 F10|"
            "7:G91 G80 F20|7:G2 X0.5 Y-0.5 I0.5 J0",
            0, 7);
        row("from after a tool change: its tool first",
            "(T2 D=3 ball)\nT1 M6\nS100 M3\nG0 X1 Y1 Z1\nT2 M6\nG0 X2\nG1 Z-1 F50",
            "7:G17 G21 G90 G94 G54|7:change:G21 G90 G0 F0 M3 S100|7:M3 S100|7:G4 P3|7:G0 Z5|"
            "7:G0 X2 Y1|7:G1 Z1 F100|7:G90 G0 F0|7:G1 Z-1 F50",
            0, 7);
        row("from after the end", "G0 X1\nM30\nG0 X2",
            "refused:line 3 comes after the program's end", 0, 3);
        for (const char *lost : {"G38.2 Z-10 F50", "G28", "G53 G0 Z-2", "G92 Z0"})
            row(lost, QString(lost) + "\nG0 X1\nG1 Z-1 F100",
                "refused:where the program stands "
                "before line 3 is not known after line 1 (a probe, G28, G30, G53 or G92)",
                0, 3);
        row("from after a G91 stretch with no absolute point", "G91 G0 X5\nG1 X1 F100\nG90 Y2\nX3",
            "refused:where the program stands before line 4 is not known: line 1 moves by G91 "
            "before any absolute point",
            0, 4);
        row("from a line in G93", "G0 X1\nG93 G1 X2 F10\nX3 F10",
            "refused:line 3 moves in G93 inverse time, which no way in can lead into", 0, 3);
        row("from after a tool length in inches", "G20\nG43.1 Z0.1\nG0 X1\nG0 X2",
            "4:G17 G20 G90 G94 G54|4:G43.1 Z0.1|4:G0 Z0.1969|4:G0 X1|4:G90 G0 F0|4:G0 X2", 0, 4);
        row("from a bare counter-clockwise arc", "G0 X1 Y0\nG3 X0 Y1 I-1 J0 F100\nX-1 Y0 I0 J-1",
            "3:G17 G21 G90 G94 G54|3:G0 Z5|3:G0 X0 Y1|3:G90 G80 F100|3:G3 X-1 Y0 I0 J-1", 0, 3);
        // Levelled: feed moves cut into pieces that follow the surface, rapids clear of it.
        levelled("levelled: a plunge, a cut longer than the spacing, rapids, the end",
                 "G21 G90\nG0 X0 Y0 Z5\nG1 Z-1 F100\nG1 X12 Y0 S900 M3 (cut)\nG0 Z5\nM30\nG0 X1",
                 "1:G21 G90|2:G0 X0 Y0 Z7|3:G1 X0 Y0 Z-1 F100|4:G1 X4 Y0 Z-0.6 S900 M3|"
                 "4:G1 X8 Y0 Z-0.2|4:G1 X12 Y0 Z0.2|5:G0 Z7|6:end:M30");
        levelled("levelled: inches, G91 put back, an arc in the controller's segments",
                 "G20 G90 G0 X0 Y0.2 Z0.1\nG91 G1 Z-0.14 F10\nX0.4\nG3 X-0.2 Y0.2 I-0.2 J0\n"
                 "G90 G0 Z0.1",
                 "1:G0 X0 Y0.2 Z0.1787 G20|2:G1 X0 Y0.2 Z-0.05 F10|2:G91|"
                 "3:G90 G1 X0.1333 Y0.2 Z-0.0367|3:G1 X0.2667 Y0.2 Z-0.0233|3:G1 X0.4 Y0.2 Z-0.01|"
                 "3:G91|4:G90 G1 X0.3732 Y0.3 Z-0.0177|4:G1 X0.3 Y0.3732 Z-0.0287|"
                 "4:G1 X0.2 Y0.4 Z-0.0397|4:G91|5:G90 G0 Z0.1787");
        levelled("levelled: a helix comes down along its segments",
                 "G0 X10 Y5 Z1\nG3 X8 Y7 I-2 J0 Z0 F100",
                 "1:G0 X10 Y5 Z3|2:G1 X9.414 Y6.414 Z1.121 F100|2:G1 X8 Y7 Z0.45");
        levelled("levelled: the rest of a move's line, a pause after it, CR LF",
                 "G0 X0 Y0 Z1\r\nN7 G1 X5 F300 M0 (slot)\r\nX10\r\n",
                 "1:G0 X0 Y0 Z3|2:G1 X5 Y0 Z1.5 N7 F300|2:pause:M0|3:G1 X10 Y0 Z2");
        levelled("levelled: without a feed, or off its circle, still refused",
                 "G0 X0 Y0 Z1\nG1 X5\nG2 X5 Y0 I1 J0 F100\nG1 X5 F100",
                 "1:G0 X0 Y0 Z3|2:G1 X5|3:G2 X5 Y0 I1 J0 F100|4:G1 X5 Y0 Z1.5 F100");
        levelled("levelled: a probe, G28 and G53 as they are, then set again",
                 "G0 X0 Y0 Z1\nG38.2 Z-5 F50\nG28\nG53 G0 Z-1\nG91 X1\nG90 G0 X1 Y1 Z1\n"
                 "G1 X2 F100",
                 "warning:line 2: a probe is not levelled|"
                 "warning:line 3: G28 goes to a stored place, not levelled|"
                 "warning:line 4: G53 moves in machine coordinates, not levelled|1:G0 X0 Y0 Z3|"
                 "2:G38.2 Z-5 F50|3:G28|4:G53 G0 Z-1|5:G0|5:G91 X1|6:G90 G0 X1 Y1 Z3|"
                 "7:G1 X2 Y1 Z1.15 F100");
        levelled("levelled: a rapid without Z after a cut rises clear all the same",
                 "G0 X0 Y0 Z1\nG1 X5 F100\nG0 X0", "1:G0 X0 Y0 Z3|2:G1 X5 Y0 Z1.5 F100|3:G0 X0 Z3");
        levelled("levelled: the program's end on a cut, after its last piece",
                 "G0 X0 Y0 Z1\nG1 X12 F100 M30\nG0 X1",
                 "1:G0 X0 Y0 Z3|2:G1 X4 Y0 Z1.4 F100|2:G1 X8 Y0 Z1.8|2:G1 X12 Y0 Z2.2|2:end:M30");
        levelled("levelled: NUL is a blank", QString::fromLatin1("G0 X0 Y0 Z1\nG1 X5\0 F100", 24),
                 "1:G0 X0 Y0 Z3|2:G1 X5 Y0 Z1.5 F100");
        levelled("levelled: a line the controller cannot take leaves the program as it is",
                 "G0 X0 Y0 Z1\nG1 X5 F100 \x18",
                 "warning:line 2: it holds U+0018, which the controller would act on at once; "
                 "nothing is levelled|1:G0 X0 Y0 Z1|2:",
                 2);
        const char *const unlevelled[][2] = {
            {"G0 X0 Y0 Z1\nG18 G2 X1 Z0 I0.5 K0 F100", "line 2: an arc in G18 cannot be levelled"},
            {"G93 G1 X1 F1", "line 1: G93 inverse time cannot be levelled"},
            {"G0 X0 Y0\nG1 X5 F100", "line 2: a feed move before the program has set Z"},
            {"G0 X0 Y0 Z1\nG2 X1 Y0 I99999999 J0 F100", "line 2: a coordinate beyond 1000000 mm"},
            {"G0 X0 Y0 Z1\nG2 X0 Y0 I999999 J0 F100",
             "line 2: a move of more than 100000 pieces cannot be levelled"}};
        for (const auto &[text, refusal] : unlevelled)
            levelled(refusal, text, QStringLiteral("refused:") + refusal);
    }

    void programs()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, sent);
        QFETCH(int, refusedLine);
        QFETCH(int, from);
        QFETCH(bool, levelled);
        const StartFromLine start = StartFromLine::plan(text, from, {});
        const LevelledProgram result =
            levelled ? LevelledProgram::level(text, tiltedPlane(), 0.1) : LevelledProgram();
        const QString refusal = from > 0 ? start.refusal : result.refusal;
        if (!refusal.isEmpty()) {
            QCOMPARE(QStringList{"refused:" + refusal}, sent);
            return;
        }
        QStringList entries;
        for (const QString &warning : result.warnings)
            entries << "warning:" + warning;
        const JobProgram program =
            JobProgram::read(levelled ? result.text : text, {}, from > 0 ? &start : nullptr);
        const char *kinds[] = {"", "change:", "pause:", "end:"};
        for (int i = 0; i < program.size(); ++i) // by the operator's lines when levelled
            entries << QString::number(LevelledProgram::operatorLine(program.editorLine(i),
                                                                     result.sourceLine)) +
                           ":" + kinds[int(program.kind(i))] + program.bytes(i);
        QCOMPARE(entries, sent);
        QCOMPARE(program.refusal() ? program.refusal()->line : 0, refusedLine);
    }

    // From every line, what the job sends draws, after its way in, the path the program itself
    // draws from that line on: nothing skipped, nothing cut twice, nothing moved.
    void startAnywhereCutsTheRest()
    {
        const QString text =
            "(T1 D=6 flat)\n(T2 D=3 ball)\nG20 G90 G55\nT1 M6\nS9000 M3 M8\nG0 X0.5 Y0.5 Z0.2\n"
            "G1 Z-0.05 F10\nG2 X1.5 Y0.5 I0.5 J0 F20\nX2.5 Y0.5 I0.5 J0\nG91 G1 X0.2 Y0.1\n"
            "Y0.1\nG90 G0 Z0.2\nT2 M6\nS12000 M4\nG0 X1 Y1\nG1 Z-0.02 F8\nG3 X1 Y1 I0.2 J0\n"
            "G0 Z0.5\nM5 M9\nM30";
        PathInterpreter whole;
        whole.replaceBlocks(0, 0, QString(text).replace('\n', QChar::ParagraphSeparator));
        QVector<PathPoint> path;
        QVERIFY(whole.update(path));
        // The way in names the point in the program's words: 4 decimals of an inch are 2.5 µm.
        const auto same = [](const PathPoint &a, const PathPoint &b) {
            return std::fabs(a.x - b.x) < 0.005f && std::fabs(a.y - b.y) < 0.005f &&
                   std::fabs(a.z - b.z) < 0.005f && a.moveType == b.moveType;
        };
        int started = 0;
        for (int line = 1; line <= whole.blockCount(); ++line) {
            const StartFromLine start = StartFromLine::plan(text, line, {});
            if (!start.refusal.isEmpty()) {
                QVERIFY2(start.refusal.contains("after the program's end"),
                         qPrintable(start.refusal));
                continue;
            }
            const JobProgram job = JobProgram::read(text, {}, &start);
            QStringList sent;
            for (int i = 0; i < job.size(); ++i)
                sent << job.bytes(i);
            QVector<PathPoint> resumed;
            PathInterpreter::interpretText(sent.join('\n'), resumed);
            const int from = whole.firstPointOfBlock(start.line - 1);
            const int rest = path.size() - from;
            QVERIFY2(resumed.size() >= rest &&
                         std::equal(path.begin() + from, path.end(), resumed.end() - rest, same),
                     qPrintable(QString("from line %1: %2").arg(line).arg(sent.join(" | "))));
            ++started;
        }
        QVERIFY(started > 10);
    }

    void lifeOfAJob_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("description");
        using S = Job::State;
        const auto row = [](const char *name, const QString &program, const char *script, S state,
                            int percent, const char *description) {
            QTest::newRow(name) << program << QString(script).split(' ') << int(state) << percent
                                << QString(description);
        };
        const QString four = "G1 X1 F100\nG1 X2\nG1 X3\nG1 X4";
        // What is confirmed is only planned: the machine says what it has finished.
        row("all confirmed, still moving", four, "send send send send ok ok ok ok at:3", S::Running,
            75, "running: 3 of 4 lines, 0:00");
        row("at rest too early", four, "send send send send ok idle at:1", S::Running, 25,
            "running: 1 of 4 lines, 0:00");
        row("never beyond what was sent", four, "send send ok at:3", S::Running, 50,
            "running: 2 of 4 lines, 0:00");
        row("refused line holds and sends nothing more", four, "send send ok error:20 send",
            S::Holding, 0, "error at line 2: error:20");
        row("cycle start goes on, the refusal is told", four,
            "send send ok error:2 ~ send send ok ok idle", S::Finished, 100,
            "finished in 0:00, 1 line(s) refused by the controller");
        // The first line not known to be cut: a restart from it never skips one.
        row("reset stops at the line being cut", four, "send send send ok ok at:1 reset ok ok",
            S::Stopped, 25, "stopped at line 2");
        row("a refusal gone on from is not why a reset stopped", four,
            "send send ok error:2 ~ send ok at:2 reset", S::Stopped, 50, "stopped at line 3");
        row("the alarm of a reset in motion is told", four, "send ok reset ALARM:3", S::Stopped, 0,
            "stopped at line 1: ALARM:3");
        row("lost link before any ok", four, "send lost", S::Interrupted, 0,
            "interrupted before the first line: link lost");
        row("alarm fails", four, "send send ok at:1 ALARM:1", S::Failed, 25,
            "failed at line 2: ALARM:1");
        const QString change = "(T1 D=6 flat)\nS1000 M3\nG0 X1\nT1 M6\nG0 X2";
        row("at rest before the last answer is no tool change", change, "send send send ok idle",
            S::Running, 0, "running: 0 of 5 lines, 0:00");
        // Hold is the program's pause only once the pause is the oldest line unanswered.
        row("held before the pause is reached", "G0 X1\nM0\nG0 X2", "send send held", S::Running, 0,
            "running: 0 of 3 lines, 0:00");
        row("lines with nothing to send count as passed", "%\n(header)\nG0 X1\n\n;note\n%",
            "send ok send idle", S::Finished, 100, "finished in 0:00");
    }

    void lifeOfAJob()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, script);
        QFETCH(int, state);
        QFETCH(int, percent);
        QFETCH(QString, description);
        Job job(JobProgram::read(program));
        play(job, script);
        QCOMPARE(int(job.state()), state);
        QCOMPARE(job.percent(), percent);
        QCOMPARE(job.describe(0), description);
    }

    // The line the machine is cutting, from the lines the controller took in ("ok") and the
    // positions it reports ("at:x,y,z", "idle:x,y,z"): never later than the real one.
    void cuttingLine_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("line");
        const auto row = [](const char *name, const char *program, const char *events, int line) {
            QTest::newRow(name) << QString(program) << QString(events).split(' ') << line;
        };
        const char *square = "G1 X10 F100\nY10\nX0 Y0\nX10 Y10";
        row("on the diagonal", square, "ok ok ok ok at:7,7,0", 3);
        row("where the path crosses itself, the earlier line", square,
            "ok ok ok at:3,3,0 ok at:6,6,0", 3);
        row("at a corner, the line that ends there", square, "ok ok ok ok at:10,10,0", 2);
        row("a position off the path changes nothing", square, "ok ok ok at:10,5,0 at:3,4,0", 2);
        row("only lines taken in", square, "ok at:10,5,0", 1);
        row("along an arc", "G0 X10\nG3 X-10 Y0 I-10 J0 F100\nG1 X-20", "ok ok ok at:0,10,0", 2);
        row("beyond the arc's sweep", "G0 X10\nG3 X0 Y10 I-10 J0 F100\nG1 X0 Y-10",
            "ok ok ok at:0,-5,0", 3);
        row("a helix", "G0 X10\nG2 X10 Y0 I-10 J0 Z-4 F100\nG1 Z5", "ok ok ok at:-10,0,-2", 2);
        row("incremental", "G91 G1 X5 F100\nX5\nX5", "ok ok ok at:12,0,0", 3);
        row("inches", "G20 G1 X1 F10\nX2", "ok ok at:30,0,0", 2);
        row("lines that do not move are passed", "G1 X10 F100\n(c)\nM3 S1\nG4 P1\nG1 X20",
            "ok ok ok ok at:15,0,0", 5);
        // A stop right after an "ok" may still read Idle before the move has begun.
        row("idle before the last move began", "G1 X10 F100\nG1 X20", "ok ok idle:10,0,0", 1);
        row("idle at the end of everything", "G1 X10 F100\nG1 X20", "ok ok idle:20,0,0", 3);
        row("idle twice", "G1 X10 F100\nG1 X20", "ok ok idle:10,0,0 idle:10,0,0", 3);
        row("idle, then a new line", "G1 X10 F100\nG1 X20", "ok idle:10,0,0 ok idle:10,0,0", 2);
        // A new offset: the program's coordinates no longer match the reports until at rest.
        row("no match beyond a G92", "G1 X10 F100\nG92 X0\nG1 X5", "ok ok ok at:2,0,0", 1);
        row("in step again after rest", "G1 X10 F100\nG92 X0\nG1 X5\nG1 X9",
            "ok ok ok idle:5,0,0 idle:5,0,0 ok at:7,0,0", 4);
        row("probe", "G38.2 Z-5 F10\nG0 Z5", "ok ok at:0,0,3", 1);
        row("a tool length offset", "G43.1 Z2\nG1 X10 F100\nX20", "ok ok ok at:15,0,0", 1);
        row("the work system in use named", "G54 G21 G90\nG1 X10 F100\nX20", "ok ok ok at:15,0,0",
            3);
        row("another work system", "G55\nG1 X10 F100\nX20", "ok ok ok at:15,0,0", 1);
    }

    void cuttingLine()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, events);
        QFETCH(int, line);
        const JobProgram lines = JobProgram::read(program);
        ExecutionTracker tracker;
        tracker.start(MachineState());
        int next = 0;
        for (const QString &event : events) {
            if (event == "ok") {
                while (lines.bytes(next).isEmpty())
                    ++next;
                tracker.confirmed(next, QString::fromLatin1(lines.bytes(next)));
                ++next;
                continue;
            }
            const QStringList xyz = event.section(':', 1).split(',');
            tracker.reported({xyz[0].toDouble(), xyz[1].toDouble(), xyz[2].toDouble()},
                             event.startsWith("idle"));
        }
        int entry = tracker.firstUnfinished();
        while (entry < lines.size() && lines.bytes(entry).isEmpty())
            ++entry;
        QCOMPARE(entry < lines.size() ? lines.editorLine(entry) : lines.size() + 1, line);
    }

    // How many lines of the given sizes go out before the budget refuses one.
    void byteBudget_data()
    {
        QTest::addColumn<QList<int>>("sizes");
        QTest::addColumn<int>("admitted");
        QTest::newRow("five short lines at most") << QList<int>{6, 6, 6, 6, 6, 6} << 5;
        QTest::newRow("exactly full") << QList<int>{100, 27, 1} << 2;
        QTest::newRow("oversized alone") << QList<int>{300, 1} << 1;
        QTest::newRow("oversized waits") << QList<int>{10, 300} << 1;
    }

    void byteBudget()
    {
        QFETCH(QList<int>, sizes);
        QFETCH(int, admitted);
        StreamWindow window; // 0.9's 127 bytes
        int count = 0;
        for (; count < sizes.size() && window.admits(sizes[count]); ++count)
            window.sent(sizes[count], count);
        QCOMPARE(count, admitted);
        QCOMPARE(window.answered(), 0); // the oldest first
        window.reset();
        QCOMPARE(window.answered(-9), -9);
    }

    // A "$#" line read into the offsets kept (G55, G92; "-" unknown), once, or nothing changed:
    // another kind of line, values missing or unreadable. Of more axes, X, Y, Z come first.
    void offsetLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("known");
        for (const char *row :
             {"[G55:1.000,-2.500,3.000] 1,-2.5,3 -", "[G92:1,2,3,4] - 1,2,3", "[G55:1,2] - -",
              "[G55:1,x,3] - -", "[G55:nan,0,0] - -", "[G60:1,2,3] - -", "[G28:1,2,3] - -",
              "[GC:G0] - -", "[TLO:1.000] - -", "[G55:1,2,3 - -"})
            QTest::newRow(row) << QString(row).section(' ', 0, 0) << QString(row).section(' ', 1);
    }

    void offsetLines()
    {
        QFETCH(QString, line);
        QFETCH(QString, known);
        WorkOffsets offsets;
        QCOMPARE(offsets.read(line) && !offsets.read(line), known != "- -");
        QStringList shown;
        for (const auto &axes : {offsets.systems[1], offsets.g92})
            shown << (axes ? QString("%1,%2,%3").arg((*axes)[0]).arg((*axes)[1]).arg((*axes)[2])
                           : "-");
        QCOMPARE(shown.join(' '), known);
    }

    // Zeroing into G55 under G92: G92 goes, and comes back on the other axes in inches.
    void systemZeroLines()
    {
        const WorkOffsets::Axes g92{0, 2, 0}, work{25.4, 50.8, -12.7};
        QCOMPARE(WorkOffsets::systemZeroLines(1, 55, g92, work, true),
                 (QStringList{"G92.1", "G10 L20 P2 X0", "G92 Y2"}));
    }

    // A map file in any order, with comments and CR LF, reads as z = 0.01 x - 0.02 y + 1 (bilinear
    // is exact on a plane), clamped outside, and writes back the same; else the reason why not.
    void heightMapFiles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal");
        const auto row = [](const char *name, const QString &text, const QString &refusal = {}) {
            QTest::newRow(name) << text << refusal;
        };
        const QString plane = "# probed 2026-12-07\r\n0,10,0.8\r\n10,0,1.1\r\n0,0,1\r\n"
                              "20,10,1\n\n20,0,1.2\n10,10,0.9\n";
        const QString notAPoint = "line 1 is not a point \"x,y,z\"";
        const QString tooFew = "a map needs at least 2 columns and 2 rows of points";
        row("plane, any order", plane);
        row("uneven spacing", "0,0,1\n3,0,1.03\n20,0,1.2\n0,10,0.8\n3,10,0.83\n20,10,1\n");
        row("a point twice", plane + "0,0.00001,3\n", "line 9: a second point at x 0, y 0");
        row("four numbers", "0,0,1,4\n", notAPoint);
        row("not a number", "0,0,nan\n", notAPoint);
        row("absurd", "0,0,1e300\n", notAPoint);
        row("binary", QString::fromLatin1("0,0\0,1\n", 7), notAPoint);
        row("one row", "0,0,1\n5,0,1\n", tooFew);
    }

    void heightMapFiles()
    {
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        const auto read = HeightMap::read(text);
        QCOMPARE(std::holds_alternative<QString>(read) ? std::get<QString>(read) : QString(),
                 refusal);
        if (!refusal.isEmpty())
            return;
        const HeightMap map = std::get<HeightMap>(read);
        const auto surface = [](double x, double y) {
            return 0.01 * std::clamp(x, 0.0, 20.0) - 0.02 * std::clamp(y, 0.0, 10.0) + 1;
        };
        for (const auto &[x, y] : QVector<std::pair<double, double>>{
                 {7.3, 2.9}, {0, 10}, {19.9, 0.1}, {-5, 4}, {25, 30}, {12, -1}})
            QVERIFY2(qAbs(map.at(x, y) - surface(x, y)) < 1e-9,
                     qPrintable(QString("%1 at %2, %3").arg(map.at(x, y)).arg(x).arg(y)));
        QCOMPARE(map.outside(23, 14), 5.0);
        QCOMPARE(map.outside(20, 10), 0.0);
        const HeightMap again = std::get<HeightMap>(HeightMap::read(map.write({"grid", "G54"})));
        QCOMPARE(again.write({}), map.write({}));
        QVERIFY(map.write({"a\nb"}).startsWith("# a b\n0,0,1\n"));
    }

    // A grid no probe can walk is refused (the order it is walked in: tst_ToolDialogs).
    void gridFaults()
    {
        QCOMPARE((HeightMap::Grid{0, 0, 10, 10, 1, 5}.fault()),
                 QString("a grid needs at least 2 columns and 2 rows"));
        QCOMPARE((HeightMap::Grid{0, 0, 10, 10, 400, 400}.fault()),
                 QString("a grid may have 100000 points at most"));
        for (const HeightMap::Grid flat : {HeightMap::Grid{0, 0, 0, 10, 2, 2}, {0, 0, 10, 0, 2, 2}})
            QCOMPARE(flat.fault(), QString("the area must have a width and a depth"));
        // The spacing levelled moves are cut by is the widest gap, of the columns or the rows.
        QCOMPARE(HeightMap({0, 0, 4, 20, 3, 3}, QVector<double>(9)).spacing(), 10.0);
    }

    // Help, version, a rate in words and the toolkit's own options: tst_InstallAndPackage.sh.
    void arguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode"); // -1: the station starts
        QTest::addColumn<QString>("said"); // a part of the message; started: file|port|rate
        const auto row = [](const char *tag, const QStringList &arguments, int code,
                            const QString &said) {
            QTest::newRow(tag) << arguments << code << said;
        };
        const QString gone = dir.filePath("gone.nc");
        row("nothing", {}, -1, "||0");
        row("file in the current folder", {"part.nc"}, -1, program + "||0");
        row("port with =, file after it", {"--port=/dev/serial/by-id/usb-x", program}, -1,
            program + "|/dev/serial/by-id/usb-x|0");
        row("highest rate", {"--baud", "4000000"}, -1, "||4000000");
        row("rate too high", {"--baud", "4000001"}, 2, "--baud");
        row("empty port", {"--port", ""}, 2, "--port");
        row("two files", {program, program}, 2, "one FILE");
        row("mistake before a missing file", {"--baud", "x", gone}, 2, "--baud");
        row("missing file", {gone}, 1, gone + ": no such file");
        row("folder", {dir.path()}, 1, "folder");
    }

    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        const CommandLine command = CommandLine::parse(QStringList{"orlo-cnc-control"} + arguments);
        QCOMPARE(command.exitCode, exitCode);
        if (!command.exits())
            QCOMPARE(QString("%1|%2|%3").arg(command.file, command.port).arg(command.baudRate),
                     said);
        else
            QVERIFY2(command.message.contains(said), qPrintable(command.message));
        if (exitCode == CommandLine::usageError)
            QVERIFY2(command.message.contains("Usage:"), qPrintable(command.message));
    }
};

QTEST_GUILESS_MAIN(TestMachineUnits)
#include "tst_MachineUnits.moc"
