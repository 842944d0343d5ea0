#include "ProgramGenerator.h"
#include "SimProcess.h"
#include "StationStore.h"
#include "TestMain.h"
#include "WindowProbe.h"

#include "app/MainWindow.h"
#include "link/SettingsDialog.h"
#include "link/TerminalCommunication.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
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
    static QStringList controllerArguments()
    {
        // Moves of a millimetre or two take a few milliseconds: the planner stays full and the
        // receive buffer is where the lines wait, as on a real machine cutting a part.
        return {"--time-scale", "60"};
    }

    static QString label(MainWindow &window)
    {
        return child<QLabel>(&window, "labelGrblStatus")->text();
    }

    static int progress(MainWindow &window)
    {
        return child<QProgressBar>(&window, "progressBar")->value();
    }

    static void startStream(MainWindow &window, const QStringList &program)
    {
        child<QPlainTextEdit>(&window, "plainTextEditGCode")->setPlainText(program.join('\n'));
        QTRY_COMPARE_WITH_TIMEOUT(label(window), QStringLiteral("Idle"), 5000);
        child<QPushButton>(&window, "pushButtonSendGCode")->click();
    }

    // The controller's log without the realtime bytes: exactly the lines it took in.
    static QStringList receivedLines(const SimProcess &sim)
    {
        QStringList lines = sim.loggedLines();
        lines.removeAll("?");
        lines.removeAll("!");
        lines.removeAll("~");
        return lines;
    }

private slots:
    void programArrivesWholeAndInOrder()
    {
        SimProcess sim(controllerArguments());
        QVERIFY(sim.start());
        seedStore(sim.linkPath(), true);
        MainWindow window;
        const QStringList program = generatedProgram(1500);
        startStream(window, program);
        QTRY_COMPARE_WITH_TIMEOUT(progress(window), 100, 60000);
        QCOMPARE(receivedLines(sim), program);
        QTRY_COMPARE(sim.stat("lines"), qint64(program.size()));
        QCOMPARE(sim.stat("overflowed_bytes"), 0);
        QCOMPARE(sim.stat("errors"), 0);
        QVERIFY2(sim.stat("planner_waits") > program.size() / 2, "the planner was not kept full");
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
        QTRY_VERIFY_WITH_TIMEOUT(receivedLines(sim) != program.mid(0, receivedLines(sim).size()),
                                 20000);
    }

    void errorLinesDoNotStopTheStream()
    {
        SimProcess sim(controllerArguments());
        QVERIFY(sim.start());
        seedStore(sim.linkPath(), true);
        MainWindow window;
        QStringList program = generatedProgram(200, 7);
        program.insert(50, "G1 X"); // Bad number format
        program.insert(120, "G99"); // Unsupported command
        program.append("#");        // Expected command letter
        startStream(window, program);
        QTRY_COMPARE_WITH_TIMEOUT(sim.stat("lines"), qint64(program.size()), 20000);
        QCOMPARE(receivedLines(sim), program);
        QTRY_COMPARE(sim.stat("errors"), 3);
        QTRY_COMPARE(progress(window), 200 * 100 / 203);
        const auto terminal = [&window] {
            return child<QPlainTextEdit>(&window, "plainTextEditSerial")->toPlainText();
        };
        QTRY_COMPARE(terminal().count("error: Expected command letter"), 1);
        QCOMPARE(terminal().count("error: Bad number format"), 1);
        QCOMPARE(terminal().count("error: Unsupported command"), 1);
    }

    void feedHoldPausesTheStream()
    {
        SimProcess sim({"--time-scale", "40"});
        QVERIFY(sim.start());
        seedStore(sim.linkPath(), true);
        MainWindow window;
        const QStringList program = generatedProgram(400, 3);
        startStream(window, program);
        QTRY_VERIFY_WITH_TIMEOUT(sim.stat("lines") > 40, 10000);

        child<QPushButton>(&window, "pushButtonFeedHoldCmd")->click();
        QTRY_COMPARE_WITH_TIMEOUT(label(window), QStringLiteral("Hold"), 3000);
        const qint64 linesAtHold = sim.stat("lines");
        QTest::qWait(1200);
        QCOMPARE(sim.stat("lines"), linesAtHold); // planner full, nothing taken in
        QCOMPARE(label(window), QStringLiteral("Hold"));

        child<QPushButton>(&window, "pushButtonCycleStartCmd")->click();
        QTRY_COMPARE_WITH_TIMEOUT(progress(window), 100, 30000);
        QStringList expected = program;
        QCOMPARE(receivedLines(sim).filter(QRegularExpression("^G")),
                 expected.filter(QRegularExpression("^G")));
        QCOMPARE(sim.stat("overflowed_bytes"), 0);
    }

    // A pulled and re-plugged cable: the controller carries on, the station keeps its queue,
    // empties its window at the next tick and goes on once answers come again.
    void lostLinkKeepsTheQueue()
    {
        SimProcess sim({"--time-scale", "20"});
        QVERIFY(sim.start());
        seedStore(sim.linkPath(), true);
        MainWindow window;
        const QStringList program = generatedProgram(400, 5);
        startStream(window, program);
        QTRY_VERIFY_WITH_TIMEOUT(sim.stat("lines") > 30, 10000);

        ::kill(pid_t(sim.process().processId()), SIGUSR1);
        QTRY_COMPARE_WITH_TIMEOUT(label(window), QStringLiteral("offline"), 2500);
        QTRY_COMPARE_WITH_TIMEOUT(ledColor(&window), QColor(Qt::green), 3500);
        QTRY_COMPARE_WITH_TIMEOUT(sim.stat("lines"), qint64(program.size()), 20000);

        // What arrived is the program in order; lines on the way when the cable went may be
        // missing, never more than the window held.
        const QStringList received = receivedLines(sim);
        int head = 0;
        while (head < received.size() && received[head] == program[head])
            ++head;
        const int tail = received.size() - head;
        QCOMPARE(received.mid(head), program.mid(program.size() - tail));
        QVERIFY(program.size() - received.size() <= 5);
        QCOMPARE(sim.stat("overflowed_bytes"), 0);
    }

    // A controller that starts afresh lost whatever it held: the rest of the program must not
    // run with that gap, so nothing more of it is sent.
    void restartedControllerEndsTheStream()
    {
        SimProcess sim({"--time-scale", "40"});
        QVERIFY(sim.start());
        seedStore(sim.linkPath(), true);
        MainWindow window;
        startStream(window, generatedProgram(400, 9));
        QTRY_VERIFY_WITH_TIMEOUT(sim.stat("lines") > 30, 10000);

        sim.kill();
        QTRY_COMPARE_WITH_TIMEOUT(label(window), QStringLiteral("offline"), 2500);
        SimProcess again;
        again.useLink(sim.linkPath());
        QVERIFY(again.start());
        QTRY_COMPARE_WITH_TIMEOUT(label(window), QStringLiteral("Idle"), 5000);
        child<QPushButton>(&window, "pushButtonStatusCmd")->click();
        QTest::qWait(500);
        QCOMPARE(receivedLines(again), QStringList{""}); // only the line feed after "?"
    }
};

ORLO_TEST_MAIN(TestStreamingEndToEnd)
#include "tst_StreamingEndToEnd.moc"
