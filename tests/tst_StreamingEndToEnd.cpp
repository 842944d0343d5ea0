#include "ProgramGenerator.h"
#include "Station.h"
#include "TestMain.h"

#include "editor/CodeEditor.h"
#include "machine/ProgramLine.h"
#include "preview/OpenGLWidget.h"
#include "preview/PathInterpreter.h"

#include <QDialog>
#include <QPushButton>
#include <QRadioButton>

#include <csignal>

using namespace WindowProbe;

class TestStreamingEndToEnd : public QObject
{
    Q_OBJECT

private:
    // Moves of a millimetre or two take a few milliseconds: the planner stays full and the
    // receive buffer is where the lines wait, as on a real machine cutting a part.
    static QStringList controllerArguments() { return {"--time-scale", "150"}; }

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
    // 1,500 lines kept within the receive buffer (1.1's a byte larger, and as strict) with the
    // planner full; a second Send, as a double click or a gamepad's second Start press, sends
    // nothing more; a comment holding bytes the controller acts on wherever they stand is not
    // sent.
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
        QStringList program = generatedProgram(1500);
        program[20] += " (check!)";
        program[40] = "(~ resume? ~)";
        send(station, program);
        station.click("pushButtonSendGCode");
        QTRY_VERIFY_WITH_TIMEOUT(station.jobText().startsWith("finished in"), 60000);
        QVERIFY2(station.jobText().contains(" (estimated "), qPrintable(station.jobText()));
        QCOMPARE(station.progress(), 100);
        QCOMPARE(station.received(), asSent(program));
        QCOMPARE(station.sim.stat("overflowed_bytes"), 0);
        QCOMPARE(station.sim.stat("errors"), 0);
        QVERIFY2(station.sim.stat("planner_waits") > program.size() / 2,
                 "the planner was not kept full");
        QVERIFY(!station.terminal().contains("<Hold"));
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

    // Held, the editor marks the line the controller took last, the preview the path up to it,
    // and the machine takes nothing more in. Then a pulled and re-plugged cable: the controller
    // carries on with what it has, the job ends naming the last confirmed line, and nothing of
    // it follows after reconnecting.
    void heldThenCablePulled()
    {
        Station station({"--time-scale", "20"});
        QVERIFY(station.start());
        const QStringList program = generatedProgram(400, 3);
        send(station, program);
        QTRY_VERIFY_WITH_TIMEOUT(station.sim.stat("lines") > 40, 10000);
        station.click("pushButtonFeedHoldCmd");
        QVERIFY(station.reaches("Hold", 3000));
        QTest::qWait(600); // the controller takes lines into its planner until it is full
        QVERIFY(station.jobText().startsWith("held at line"));
        const int line = station.jobText().section(' ', 3, 3).chopped(1).toInt();
        QCOMPARE(station.widget<CodeEditor>("plainTextEditGCode")->runningLine(), line);
        QVector<PathPoint> upToLine;
        PathInterpreter::interpretText(program.mid(0, line).join('\n'), upToLine);
        QCOMPARE(station.widget<OpenGLWidget>("GLWidget")->donePoints(), upToLine.size());
        const qint64 linesAtHold = station.sim.stat("lines");
        QTest::qWait(500);
        QCOMPARE(station.sim.stat("lines"), linesAtHold);

        station.click("pushButtonCycleStartCmd");
        QTRY_VERIFY_WITH_TIMEOUT(station.sim.stat("lines") > linesAtHold + 20, 10000);
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
};

ORLO_TEST_MAIN(TestStreamingEndToEnd)
#include "tst_StreamingEndToEnd.moc"
