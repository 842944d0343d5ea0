#include "ProgramGenerator.h"
#include "Station.h"
#include "TestMain.h"

#include "editor/CodeEditor.h"
#include "link/SettingsDialog.h"
#include "link/TerminalCommunication.h"
#include "machine/ProgramLine.h"
#include "preview/OpenGLWidget.h"
#include "preview/PathInterpreter.h"

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>

#include <csignal>

using namespace WindowProbe;

namespace {

// Streams with nothing but the five-line window, counting lines and not bytes.
class LineWindowStreamer : public QObject
{
public:
    LineWindowStreamer(const QString &port, const QStringList &program) : queue(program)
    {
        Settings settings = dialog.settings();
        settings.name = port;
        dialog.setSettings(settings);
        connect(&link, &TerminalCommunication::LineReceived, this, [this](const QString &line) {
            if (line == "ok" || line.startsWith("error")) {
                inFlight = qMax(0, inFlight - 1);
                ++answers;
                pump();
            }
        });
    }
    bool start()
    {
        if (!link.TryToConnect(&dialog))
            return false;
        pump();
        return true;
    }
    int answers = 0;

private:
    void pump()
    {
        while (inFlight <= 4 && !queue.isEmpty()) {
            link.SendLine(queue.takeFirst());
            ++inFlight;
        }
    }
    SettingsDialog dialog;
    TerminalCommunication link;
    QStringList queue;
    int inFlight = 0;
};

} // namespace

class TestStreamingEndToEnd : public QObject
{
    Q_OBJECT

private:
    // Moves of a millimetre or two take a few milliseconds: the planner stays full and the
    // receive buffer is where the lines wait, as on a real machine cutting a part.
    static QStringList controllerArguments() { return {"--time-scale", "60"}; }

    static QStringList asSent(const QStringList &program)
    {
        QStringList lines;
        for (const QString &line : program)
            lines << ProgramLine::cleaned(line);
        lines.removeAll(QString());
        return lines;
    }

    static void send(Station &station, const QStringList &program)
    {
        station.load(program.join('\n'));
        QVERIFY(station.reaches("Idle"));
        station.click("pushButtonSendGCode");
    }

private slots:
    // A double click and a gamepad's second Start press alike: one job, each line once; 1.1's
    // receive buffer is a byte larger, and as strict.
    void programArrivesWholeAndInOrderOnce_data()
    {
        QTest::addColumn<QString>("grbl");
        QTest::newRow("0.9") << "0.9";
        QTest::newRow("1.1") << "1.1";
    }

    void programArrivesWholeAndInOrderOnce()
    {
        QFETCH(QString, grbl);
        Station station(controllerArguments() + QStringList{"--grbl", grbl});
        QVERIFY(station.start());
        const QStringList program = generatedProgram(1500);
        send(station, program);
        station.click("pushButtonSendGCode");
        QTRY_VERIFY_WITH_TIMEOUT(station.jobText().startsWith("finished in"), 60000);
        QCOMPARE(station.progress(), 100);
        QCOMPARE(station.received(), asSent(program));
        QCOMPARE(station.sim.stat("overflowed_bytes"), 0);
        QCOMPARE(station.sim.stat("errors"), 0);
        QVERIFY2(station.sim.stat("planner_waits") > program.size() / 2,
                 "the planner was not kept full");
    }

    // Keeps the model honest: counting lines alone must corrupt a program of long lines.
    void lineWindowAloneOverflowsTheController()
    {
        SimProcess sim(controllerArguments());
        QVERIFY(sim.start());
        const QStringList program = generatedProgram(1500);
        LineWindowStreamer streamer(sim.linkPath(), program);
        QVERIFY(streamer.start());
        QTRY_VERIFY_WITH_TIMEOUT(sim.stat("overflowed_bytes") > 0, 30000);
        QVERIFY(sim.stat("planner_waits") > 0);
        // The damage shows once the line that lost bytes has been taken in.
        const auto received = [&sim] {
            QStringList lines = sim.loggedLines();
            lines.removeAll("?");
            return lines;
        };
        QTRY_VERIFY_WITH_TIMEOUT(received() != program.mid(0, received().size()), 20000);
    }

    // A CAM program from its "%" to M30: two tool changes with a jog and a probe in the first,
    // a program pause, and lines after the end that are left out.
    void camProgramFromStartToEnd_data()
    {
        QTest::addColumn<QString>("grbl");
        QTest::newRow("0.9") << "0.9";
        QTest::newRow("1.1") << "1.1";
    }

    void camProgramFromStartToEnd()
    {
        QFETCH(QString, grbl);
        Station station({"--time-scale", "50", "--grbl", grbl});
        QVERIFY(station.start());
        const QStringList program = {"%",
                                     "(T1  D=6 CR=0 - flat end mill)",
                                     "(T2 D=3 ball)",
                                     "G90 G94",
                                     "G21",
                                     "T1 M6",
                                     "S12000 M3",
                                     "G0 X5 Y5",
                                     "Z5",
                                     "G1 Z0.5 F250",
                                     "G1 X10",
                                     "T2 M06",
                                     "S8000 M3",
                                     "G1 X12 Y6 F300",
                                     "M0",
                                     "G1 X14",
                                     "M5",
                                     "M30",
                                     "G0 X99",
                                     "%"};
        station.load(program.join('\n'));
        QTRY_VERIFY_WITH_TIMEOUT(station.jobText().endsWith(", 2 tool change(s) and 1 pause(s) "
                                                            "not counted"),
                                 5000);
        QList<int> marked;
        for (const auto &band :
             station.widget<CodeEditor>("plainTextEditGCode")->extraSelections()) {
            if (band.format.background().color() == QColor(255, 190, 120))
                marked << band.cursor.blockNumber() + 1;
        }
        QCOMPARE(marked, (QList<int>{6, 12, 15}));
        send(station, program);
        QTRY_COMPARE_WITH_TIMEOUT(station.jobText(),
                                  QStringLiteral("Tool change at line 6: T1 (D=6 CR=0 - flat end "
                                                 "mill). Change the tool, then press Cycle Start."),
                                  5000);
        station.widget<QRadioButton>("radioButton1mm")->click();
        station.click("pushButtonPlusX");
        station.click("pushButtonOpenProbeDialog");
        auto *probing = WindowProbe::child<QDialog>(station.window.get(), "ProbingDialog");
        WindowProbe::child<QPushButton>(probing, "pushButtonProbe")->click();
        QTRY_VERIFY_WITH_TIMEOUT(station.terminal().contains("Probe: contact at machine Z -5.000"),
                                 5000);
        station.click("pushButtonCycleStartCmd");
        QTRY_VERIFY_WITH_TIMEOUT(station.jobText().startsWith("Tool change at line 12: T2 (D=3 "
                                                              "ball)"),
                                 10000);
        station.click("pushButtonCycleStartCmd");
        QTRY_COMPARE_WITH_TIMEOUT(station.jobText(),
                                  QStringLiteral("paused by the program at line 15"), 10000);
        QVERIFY(station.reaches("Hold")); // the controller's own hold, told as the program's
        station.click("pushButtonCycleStartCmd");
        QTRY_VERIFY_WITH_TIMEOUT(station.jobText().startsWith("finished in"), 10000);
        QVERIFY(station.jobText().contains("1 line(s) after the program's end left out"));

        const QString jog = grbl == "0.9" ? "G01 X+1 F1500" : "$J=G91 X+1 F1500";
        QStringList expected = {"G90 G94", "G21", "M5"};
        expected << (grbl == "0.9" ? QStringList{"G91", jog} : QStringList{jog});
        expected << QStringList{"G91",          "G38.2 Z-20 F20",
                                "G92 Z1.55",    "G90",
                                "G90",          "S12000 M3",
                                "G0 X5 Y5",     "Z5",
                                "G1 Z0.5 F250", "G1 X10",
                                "M5",           "G90 M3 S12000",
                                "S8000 M3",     "G1 X12 Y6 F300",
                                "M0",           "G1 X14",
                                "M5",           "M30"};
        QCOMPARE(station.received().filter(QRegularExpression("^[GMSZ$]")), expected);
        QCOMPARE(station.sim.stat("errors"), 0);
    }

    // The controller itself would hold at "!" wherever it stands in the line.
    void commentsHoldingRealtimeBytesAreNotSent()
    {
        Station station({"--time-scale", "20"});
        QVERIFY(station.start());
        QStringList program = generatedProgram(60, 4);
        program[20] += " (check!)";
        program[40] = "(~ resume? ~)";
        send(station, program);
        QTRY_VERIFY_WITH_TIMEOUT(station.jobText().startsWith("finished in"), 20000);
        QCOMPARE(station.received(), asSent(program));
        QVERIFY(!station.terminal().contains("<Hold"));
    }

    void refusedLineHoldsUntilCycleStart()
    {
        Station station(controllerArguments());
        QVERIFY(station.start());
        QStringList program = generatedProgram(200, 7);
        program.insert(120, "G99"); // Unsupported command
        send(station, program);
        QTRY_VERIFY_WITH_TIMEOUT(
            station.jobText() == "error at line 121: error: Unsupported command", 20000);
        QVERIFY(station.reaches("Hold"));
        const qint64 linesAtHold = station.sim.stat("lines");
        QTest::qWait(500);
        QCOMPARE(station.sim.stat("lines"), linesAtHold);
        QVERIFY(station.received().size() < program.size());

        station.click("pushButtonCycleStartCmd");
        QTRY_VERIFY_WITH_TIMEOUT(station.jobText().startsWith("finished in"), 20000);
        QVERIFY(station.jobText().contains("1 line(s) refused by the controller"));
        QCOMPARE(station.received(), asSent(program));
        QCOMPARE(station.sim.stat("overflowed_bytes"), 0);
    }

    void feedHoldPausesTheJob()
    {
        Station station({"--time-scale", "20"});
        QVERIFY(station.start());
        const QStringList program = generatedProgram(400, 3);
        station.load(program.join('\n'));
        QTRY_VERIFY_WITH_TIMEOUT(station.jobText().startsWith("estimated "), 5000);
        send(station, program);
        QTRY_VERIFY_WITH_TIMEOUT(station.sim.stat("lines") > 40, 10000);

        // The editor marks the line the controller took last, the preview the path up to it.
        station.click("pushButtonFeedHoldCmd");
        QVERIFY(station.reaches("Hold", 3000));
        QTest::qWait(600); // the controller takes lines into its planner until it is full
        QVERIFY(station.jobText().startsWith("held at line"));
        const int line = station.jobText().section(' ', 3, 3).chopped(1).toInt();
        QCOMPARE(station.widget<CodeEditor>("plainTextEditGCode")->runningLine(), line);
        auto *preview = station.widget<OpenGLWidget>("GLWidget");
        QVector<PathPoint> upToLine;
        PathInterpreter::interpretText(program.mid(0, line).join('\n'), upToLine);
        QCOMPARE(preview->donePoints(), upToLine.size());
        const qint64 linesAtHold = station.sim.stat("lines");
        QTest::qWait(1200);
        QCOMPARE(station.sim.stat("lines"), linesAtHold); // planner full, nothing taken in

        station.click("pushButtonCycleStartCmd");
        QTRY_VERIFY_WITH_TIMEOUT(station.jobText().startsWith("finished in"), 30000);
        QVERIFY2(station.jobText().contains(" (estimated "), qPrintable(station.jobText()));
        QCOMPARE(station.received(), asSent(program));
        QCOMPARE(station.sim.stat("overflowed_bytes"), 0);
    }

    // A pulled and re-plugged cable: the controller carries on with what it has, the job
    // ends naming the last confirmed line, and nothing of it follows after reconnecting.
    void lostLinkInterruptsTheJob()
    {
        Station station({"--time-scale", "20"});
        QVERIFY(station.start());
        const QStringList program = generatedProgram(400, 5);
        send(station, program);
        QTRY_VERIFY_WITH_TIMEOUT(station.sim.stat("lines") > 30, 10000);

        ::kill(pid_t(station.sim.process().processId()), SIGUSR1);
        QTRY_VERIFY_WITH_TIMEOUT(station.jobText().startsWith("interrupted at line "), 2500);
        const int lastConfirmed = station.jobText().split(' ').at(3).chopped(1).toInt();
        QTRY_COMPARE_WITH_TIMEOUT(ledColor(station.window.get()), QColor(Qt::green), 3500);
        QVERIFY(station.reaches("Idle"));
        const QStringList received = station.received();
        QVERIFY(received.size() >= lastConfirmed && received.size() <= lastConfirmed + 5);
        QCOMPARE(received, asSent(program).mid(0, received.size()));
        QTest::qWait(500);
        QCOMPARE(station.received(), received);
        QVERIFY(station.widget<QPushButton>("pushButtonSendGCode")->isEnabled());
    }

    // A controller that starts afresh lost whatever it held: the rest of the program must not
    // run with that gap, so nothing more of it is sent.
    void killedControllerGetsNothingMoreAfterRestart()
    {
        Station station({"--time-scale", "40"});
        QVERIFY(station.start());
        send(station, generatedProgram(400, 9));
        QTRY_VERIFY_WITH_TIMEOUT(station.sim.stat("lines") > 30, 10000);

        station.sim.kill();
        QTRY_COMPARE_WITH_TIMEOUT(station.state(), QStringLiteral("offline"), 2500);
        SimProcess again;
        again.useLink(station.sim.linkPath());
        QVERIFY(again.start());
        QTRY_VERIFY_WITH_TIMEOUT(station.jobText().startsWith("interrupted at line"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(station.state(), QStringLiteral("Idle"), 5000);
        QTest::qWait(500);
        QCOMPARE(again.loggedLines().filter(QRegularExpression("^G")), QStringList());
    }
};

ORLO_TEST_MAIN(TestStreamingEndToEnd)
#include "tst_StreamingEndToEnd.moc"
