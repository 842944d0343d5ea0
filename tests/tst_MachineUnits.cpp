#include <QtTest>

#include "machine/ControllerCodes.h"
#include "machine/Dialect.h"
#include "machine/Job.h"
#include "machine/ProbeCycle.h"
#include "machine/ProgramLine.h"
#include "machine/StatusReport.h"
#include "machine/StreamWindow.h"

#include <QQueue>

// The session's pure parts, without a display or a link: cleaning, refusals, the job's state
// machine driven by scripted answers, the byte budget, the dialects, their numbers and their
// status reports.
class TestMachineUnits : public QObject
{
    Q_OBJECT

private:
    // Plays a script against a job: "send" writes the next line, "ok"/"error" answer the
    // oldest outstanding one, the rest are the session's other events.
    static void play(Job &job, const QStringList &script)
    {
        QQueue<int> outstanding;
        for (const QString &event : script) {
            if (event == "send") {
                const int index = job.nextToSend();
                if (index >= 0) {
                    job.sent(index);
                    outstanding.enqueue(index);
                }
            } else if (event == "ok") {
                job.confirmed(outstanding.isEmpty() ? -1 : outstanding.dequeue());
            } else if (event.startsWith("error")) {
                job.refused(outstanding.isEmpty() ? -1 : outstanding.dequeue(), event);
            } else if (event == "!") {
                job.feedHold();
            } else if (event == "~") {
                job.cycleStart();
            } else if (event == "reset") {
                job.reset();
            } else if (event == "lost") {
                job.linkLost();
            } else if (event.startsWith("ALARM")) {
                job.alarm(event);
            } else if (event == "idle") {
                job.machineStopped();
            } else {
                QFAIL(qPrintable("unknown event " + event));
            }
        }
    }

    // All a report says in one line: "state[/sub] M:x,y,z W:.. O:.. F S Ov Pn A Ln".
    static QString summary(const StatusReport &report)
    {
        QStringList parts{report.subState.isEmpty() ? report.state
                                                    : report.state + "/" + report.subState};
        const std::pair<const char *, const std::optional<StatusReport::Position> *> positions[] = {
            {"M:", &report.machine}, {"W:", &report.work}, {"O:", &report.offset}};
        for (const auto &[tag, position] : positions) {
            if (*position)
                parts << tag + (*position)->text.join(',');
        }
        if (report.feed)
            parts << "F" + QString::number(*report.feed);
        if (report.spindle)
            parts << "S" + QString::number(*report.spindle);
        if (const auto &ov = report.overrides)
            parts << QString("Ov:%1,%2,%3").arg((*ov)[0]).arg((*ov)[1]).arg((*ov)[2]);
        if (report.pins)
            parts << "Pn:" + *report.pins;
        if (report.accessories)
            parts << "A:" + *report.accessories;
        if (report.line)
            parts << "Ln" + QString::number(*report.line);
        return parts.join(' ');
    }

private slots:
    // What reaches the controller, by editor line; and the first line it could not take.
    void programs_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("sent"); // "line:bytes", "line:kind:bytes" for stops
        QTest::addColumn<int>("refusedLine");
        QTest::newRow("CAM header, delimiters, comments, blanks")
            << "%\n(T1 D=6)\n\n\tG90 (check!) G94 ; absolute ~?\r\nT1 M6\nG0 X1 (never closed\n%"
            << QStringList{"1:", "2:", "4:G90  G94", "5:change:G90", "6:G0 X1", "7:"} << 0;
        QTest::newRow("tool change restores spindle and distance mode")
            << "G91\nS12000 M3\nG0 X1 t2 M06\nG1 X1 F100"
            << QStringList{"1:G91", "2:S12000 M3", "3:change:G91 M3 S12000", "3:G0 X1",
                           "4:G1 X1 F100"}
            << 0;
        QTest::newRow("M6 twice, last line")
            << "M4 S500\nM5\nM6 M6" << QStringList{"1:M4 S500", "2:M5", "3:change:G90"} << 0;
        QTest::newRow("numbers beyond any code (found by fuzzing)")
            << "G90 M30000000000000000000000\nT99999999999999999999 M6"
            << QStringList{"1:G90 M30000000000000000000000", "2:change:G90"} << 0;
        QTest::newRow("T without M6 is sent") << "T3\nG0 X1" << QStringList{"1:T3", "2:G0 X1"} << 0;
        QTest::newRow("pauses") << "G0 X1\nM0\nm01 (optional)"
                                << QStringList{"1:G0 X1", "2:pause:M0", "3:pause:m01"} << 0;
        QTest::newRow("end: nothing after it")
            << "M3\nM30\nG0 X1\n(comment)\n%\nG0 X2" << QStringList{"1:M3", "2:end:M30"} << 0;
        QTest::newRow("lone CR splits a line")
            << "G0 X1\rG0 X2\nM5" << QStringList{"1:G0 X1", "1:G0 X2", "2:M5"} << 0;
        QTest::newRow("feed hold outside a comment")
            << "G0 X1\nG1 X2 F100 !\nG0 X3" << QStringList{"1:G0 X1", "2:", "3:G0 X3"} << 2;
        QTest::newRow("non-ASCII outside a comment, not inside")
            << QString::fromUtf8("G0 X1 (Maß Ä)\nG0 Y\u00b2") << QStringList{"1:G0 X1", "2:"} << 2;
        QTest::newRow("ctrl-X") << QString("M3\n\nG0\x18") << QStringList{"1:M3", "3:"} << 3;
        QTest::newRow("79 characters fit, blanks not counted")
            << "G1 " + QString(76, 'X') + "   " << QStringList{"1:G1 " + QString(76, 'X')} << 0;
        QTest::newRow("80 do not") << "G1" + QString(78, '1') << QStringList{"1:"} << 1;
    }

    void programs()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, sent);
        QFETCH(int, refusedLine);
        const JobProgram program = JobProgram::read(text);
        QStringList entries;
        const char *kinds[] = {"", "change:", "pause:", "end:"};
        for (int i = 0; i < program.size(); ++i)
            entries << QString::number(program.editorLine(i)) + ":" + kinds[int(program.kind(i))] +
                           program.bytes(i);
        QCOMPARE(entries, sent);
        QCOMPARE(program.refusal() ? program.refusal()->line : 0, refusedLine);
    }

    void lifeOfAJob_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("description");
        const QString four = "G1 X1 F100\nG1 X2\nG1 X3\nG1 X4";
        const QStringList sendAll{"send", "send", "send", "send"};
        QTest::newRow("all confirmed, still moving")
            << four << sendAll + QStringList{"ok", "ok", "ok", "ok"} << int(Job::State::Running)
            << 100 << "running: 4 of 4 lines, 0:00";
        QTest::newRow("finished once at rest")
            << four << sendAll + QStringList{"ok", "ok", "ok", "ok", "idle"}
            << int(Job::State::Finished) << 100 << "finished in 0:00";
        QTest::newRow("at rest too early")
            << four << sendAll + QStringList{"ok", "idle"} << int(Job::State::Running) << 25
            << "running: 1 of 4 lines, 0:00";
        QTest::newRow("refused line holds and sends nothing more")
            << four << QStringList{"send", "send", "ok", "error:20", "send"}
            << int(Job::State::Holding) << 25 << "error at line 2: error:20";
        QTest::newRow("reset after a refused line fails")
            << four << QStringList{"send", "send", "send", "ok", "error:20", "reset", "ok"}
            << int(Job::State::Failed) << 25 << "failed at line 2: error:20";
        QTest::newRow("cycle start goes on, the refusal is told")
            << four
            << QStringList{"send", "send", "ok",  "error: Bad number format", "~", "send", "send",
                           "ok",   "ok",   "idle"}
            << int(Job::State::Finished) << 75
            << "finished in 0:00, 1 line(s) refused by the controller";
        QTest::newRow("feed hold and resume")
            << four << QStringList{"send", "ok", "!", "send"} << int(Job::State::Holding) << 25
            << "held at line 1, 0:00";
        QTest::newRow("reset stops")
            << four << QStringList{"send", "send", "ok", "reset", "ok", "ok"}
            << int(Job::State::Stopped) << 25 << "stopped at line 1";
        QTest::newRow("lost link before any ok")
            << four << QStringList{"send", "lost"} << int(Job::State::Interrupted) << 0
            << "interrupted before the first line: link lost";
        QTest::newRow("alarm fails")
            << four << QStringList{"send", "send", "ok", "ALARM:1"} << int(Job::State::Failed) << 25
            << "failed at line 1: ALARM:1";
        const QString change = "(T1 D=6 flat)\nS1000 M3\nG0 X1\nT1 M6\nG0 X2";
        QTest::newRow("tool change once everything before it is done")
            << change << QStringList{"send", "send", "send", "ok", "ok", "idle", "send"}
            << int(Job::State::Holding) << 60
            << "Tool change at line 4: T1 (D=6 flat). Change the tool, then press Cycle Start.";
        QTest::newRow("at rest before the last answer is no tool change")
            << change << QStringList{"send", "send", "send", "ok", "idle"}
            << int(Job::State::Running) << 40 << "running: 2 of 5 lines, 0:00";
        QTest::newRow("cycle start after the change goes on")
            << change << QStringList{"send", "send", "ok", "ok", "idle", "~",
                                     "send", "send", "ok", "ok", "idle"}
            << int(Job::State::Finished) << 100 << "finished in 0:00";
        QTest::newRow("program pause")
            << "G0 X1\nM0\nG0 X2" << QStringList{"send", "send", "send", "ok", "ok"}
            << int(Job::State::Holding) << 66 << "paused by the program at line 2";
        QTest::newRow("program end, the rest left out")
            << "G0 X1\nM30\nG0 X2\n%" << QStringList{"send", "send", "ok", "ok", "idle"}
            << int(Job::State::Finished) << 100
            << "finished in 0:00, 1 line(s) after the program's end left out";
        QTest::newRow("lines with nothing to send count as passed")
            << "%\n(header)\nG0 X1\n\n;note\n%" << QStringList{"send", "ok", "send", "idle"}
            << int(Job::State::Finished) << 100 << "finished in 0:00";
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

    void durations_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("seconds") << qint64(9'999) << "0:09";
        QTest::newRow("minutes") << qint64(724'000) << "12:04";
        QTest::newRow("hours") << qint64(3'723'000) << "1:02:03";
    }

    void durations()
    {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(Job::duration(ms), text);
    }

    // How many lines of the given sizes go out before the budget refuses one.
    void byteBudget_data()
    {
        QTest::addColumn<int>("buffer");
        QTest::addColumn<QList<int>>("sizes");
        QTest::addColumn<int>("admitted");
        QTest::newRow("five short lines at most") << 127 << QList<int>{6, 6, 6, 6, 6, 6} << 5;
        QTest::newRow("exactly full") << 127 << QList<int>{100, 27, 1} << 2;
        QTest::newRow("1.1's larger buffer") << 128 << QList<int>{100, 28, 1} << 2;
        QTest::newRow("oversized alone") << 127 << QList<int>{300, 1} << 1;
        QTest::newRow("oversized waits") << 127 << QList<int>{10, 300} << 1;
    }

    void byteBudget()
    {
        QFETCH(int, buffer);
        QFETCH(QList<int>, sizes);
        QFETCH(int, admitted);
        StreamWindow window;
        window.setBufferBytes(buffer);
        int count = 0;
        for (int bytes : sizes) {
            if (!window.admits(bytes))
                break;
            window.sent(bytes, count++);
        }
        QCOMPARE(count, admitted);
        QCOMPARE(window.answered(), 0); // the oldest first
        window.reset();
        QCOMPARE(window.answered(-9), -9);
    }

    void dialects_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("described"); // "" when the line tells nothing
        QTest::newRow("0.9 banner") << "Grbl 0.9j ['$' for help]"
                                    << "Grbl 0.9j";
        QTest::newRow("1.1 banner") << "Grbl 1.1h ['$' for help]"
                                    << "Grbl 1.1h";
        QTest::newRow("unknown version") << "Grbl 2.0a ['$' for help]"
                                         << "Grbl 2.0a (unknown version, treated as 1.1)";
        QTest::newRow("1.1 build info") << "[VER:1.1h.20190830:]"
                                        << "Grbl 1.1h";
        QTest::newRow("0.9 build info") << "[0.9j.20160726:]"
                                        << "Grbl 0.9j";
        QTest::newRow("not a version") << "Grbl is great"
                                       << "";
        QTest::newRow("coordinate system") << "[G54:0.000,0.000,0.000]"
                                           << "";
        QTest::newRow("endless version") << "Grbl 1." + QString(100, '1') << "";
    }

    void dialects()
    {
        QFETCH(QString, line);
        QFETCH(QString, described);
        const auto dialect =
            line.startsWith('[') ? Dialect::fromBuildInfo(line) : Dialect::fromBanner(line);
        QCOMPARE(dialect ? dialect->describe() : QString(), described);
        QCOMPARE(Dialect::receiveBufferFromOptions("[OPT:V,15,128]"), std::optional<int>(128));
        QCOMPARE(Dialect::receiveBufferFromOptions("[OPT:V,15,12]"), std::optional<int>());
    }

    void numbersReadable_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("shown");
        QTest::newRow("error") << "error:20"
                               << "error:20 Unsupported command";
        QTest::newRow("alarm") << "ALARM:4"
                               << "ALARM:4 Probe fail: probe already triggered before the cycle";
        QTest::newRow("undefined error") << "error:99"
                                         << "error:99";
        QTest::newRow("undefined alarm") << "ALARM:0"
                                         << "ALARM:0";
        QTest::newRow("not a number") << "error:2x"
                                      << "error:2x";
        QTest::newRow("huge") << "ALARM:99999999999999"
                              << "ALARM:99999999999999";
    }

    void numbersReadable()
    {
        QFETCH(QString, line);
        QFETCH(QString, shown);
        QCOMPARE(ControllerCodes::readable(line), shown);
    }

    void probeReports_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<bool>("contact");
        QTest::newRow("contact") << "[PRB:0.000,0.000,-5.000:1]" << true << true;
        QTest::newRow("none") << "[PRB:1.5,2,-20.000:0]" << true << false;
        QTest::newRow("0.9's $# without flag") << "[PRB:0.000,0.000,0.000]" << false << false;
        QTest::newRow("garbage") << "[PRB:x,y,z:1]" << false << false;
        QTest::newRow("two values") << "[PRB:1,2:1]" << false << false;
        QTest::newRow("huge") << "[PRB:1e999,0,0:1]" << false << false;
    }

    void probeReports()
    {
        QFETCH(QString, line);
        QFETCH(bool, readable);
        QFETCH(bool, contact);
        const auto report = ProbeCycle::readReport(line);
        QCOMPARE(bool(report), readable);
        QCOMPARE(report && report->contact, contact);
    }

    // As 0.9j and 1.1h send them, and hostile: an unreadable field is left out, the rest read.
    void statusReports_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("read");
        const auto row = [](const char *line, const char *read) {
            QTest::newRow(line) << line << read;
        };
        row("<Idle,MPos:1.000,2.000,3.000,WPos:0.500,0.000,-1.250>",
            "Idle M:1.000,2.000,3.000 W:0.500,0.000,-1.250");
        row("<Run,MPos:0.460,0.000,0.000,WPos:0.460,0.000,0.000,Buf:3,RX:12,Ln:57>",
            "Run M:0.460,0.000,0.000 W:0.460,0.000,0.000 Ln57");
        row("<Idle|MPos:0.000,0.000,0.000|FS:0,0|Pn:PXYZRHS|WCO:0.000,0.000,0.000>",
            "Idle M:0.000,0.000,0.000 O:0.000,0.000,0.000 F0 S0 Pn:PXYZRHS");
        row("<Hold:0|WPos:10.000,5.000,0.000|Bf:15,128|F:500|Ov:120,50,100|A:SF|Ln:12>",
            "Hold/0 W:10.000,5.000,0.000 F500 Ov:120,50,100 A:SF Ln12");
        row("<Jog|FS:100,0|WCO:-7,3,0|MPos:3,8,0>", "Jog M:3,8,0 O:-7,3,0 F100 S0");
        row("<Idle|MPos:1,2,3|WCO:1,2>", "Idle M:1,2,3");
        row("<Idle|MPos:|FS:>", "Idle");
        row("<Idle,MPos:abc,,-0,WPos: 1 ,x,>", "Idle");
        row("<Idle|MPos:1e999,0,0|Ov:1e20,100,100>", "Idle");
        row("<Idle||MPos:1,2,3|||Pn:1|Foo:1,2|Bar>", "Idle M:1,2,3");
        row("<Idle,1,2,3,4,5,6,7,8,9>", "Idle");
        row("<Idle,MPos:1,2,3,WPos:4,5,6", "Idle M:1,2,3 W:4,5,6");
        row("<>", "");
        row("<", "");
        row("<idle|MPos:0,0,0>", "idle M:0,0,0");
        QString many = "<Run";
        for (int i = 0; i < 10000; ++i)
            many += "|X" + QString::number(i) + ":1";
        QTest::newRow("ten thousand fields") << many + "|MPos:1,1,1>"
                                             << "Run M:1,1,1";
    }

    void statusReports()
    {
        QFETCH(QString, line);
        QFETCH(QString, read);
        QCOMPARE(summary(parseStatusReport(line)), read);
    }
};

QTEST_GUILESS_MAIN(TestMachineUnits)
#include "tst_MachineUnits.moc"
