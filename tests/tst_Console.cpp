#include "PtyPeer.h"
#include "Station.h"
#include "TestMain.h"

#include "app/TerminalPane.h"

#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBlock>

using namespace WindowProbe;

using Line = QPair<QString, QColor>;

// The station against a pseudo-terminal peer that plays the controller by hand: every byte
// the station writes is checked, every reply is typed here.
class TestConsole : public QObject
{
    Q_OBJECT

private:
    PtyPeer *peer = nullptr;
    MainWindow *window = nullptr;

    template <typename T> T *widget(const char *name) { return child<T>(window, name); }
    void click(const char *button) { widget<QAbstractButton>(button)->click(); }

    void controllerSays(const QByteArray &bytes)
    {
        peer->write(bytes);
        QTest::qWait(30); // for the event loop to frame and dispatch the replies
    }

    QByteArray stationWrote(int atLeast = 1, int timeoutMs = 600)
    {
        const QByteArray first = peer->read(atLeast, timeoutMs);
        return first + peer->read(1 << 20, 20); // and whatever follows at once
    }

    void beIdle() { controllerSays("<Idle,MPos:0.000,0.000,0.000,WPos:0.000,0.000,0.000>\r\n"); }

    QString shown() { return widget<QPlainTextEdit>("plainTextEditSerial")->toPlainText(); }

    QList<Line> terminalLines()
    {
        QList<Line> lines;
        QTextDocument *document = widget<QPlainTextEdit>("plainTextEditSerial")->document();
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            const QColor colour = block.begin() != block.end()
                                      ? block.begin().fragment().charFormat().foreground().color()
                                      : QColor();
            lines.append({block.text(), colour});
        }
        return lines;
    }

private slots:
    void init()
    {
        peer = new PtyPeer;
        seedStore(peer->devicePath(), false);
        window = new MainWindow;
        tick(window);
        tick(window);
        QCOMPARE(ledColor(window), QColor(Qt::green));
    }

    void cleanup()
    {
        delete window;
        delete peer;
    }

    // An operator and a controller in turns, each step "verb:argument": send:N loads N numbered
    // lines and sends them to an idle controller; program: does so with the given text, load:
    // only loads it; say: is the controller's, wrote: what the station must have written by
    // then and nothing more; click:, type:, invoke: (a slot by name) and apply (the link's
    // settings, dropping it) are the operator's, tick the station's; text:NAME=.. (a trailing * for
    // a beginning), enabled:NAME=0|1, progress: and shows: (in the terminal) check the window.
    void dialogue_data()
    {
        QTest::addColumn<QStringList>("steps");
        const QString five = "wrote:G1 X1 F100\nG1 X2 F100\nG1 X3 F100\nG1 X4 F100\nG1 X5 F100\n";
        const auto row = [](const char *name, const QStringList &steps) {
            QTest::newRow(name) << steps;
        };
        // A byte the controller would act on at once (1.1 takes those of "Ä" for a safety door)
        // is never written; the line stays for mending.
        row("typed lines go out as the controller reads them",
            {"type:  G0 X1 (Maß Ä!)  ", "wrote:G0 X1\n", "text:lineEditCommand=", "type:", "wrote:",
             "type:G0 XÄ", "wrote:", "text:lineEditCommand=G0 XÄ", "shows:Not sent: G0 X",
             "type: ! ", "wrote:!"});
        // Sent lines are echoed blue, the controller's red.
        const auto button = [&row](const char *name, const QString &bytes, const char *echo) {
            row(name, {"say:<Idle,MPos:0,0,0>\r\n", "click:" + QString(name), "wrote:" + bytes,
                       "say:ok\r\n", "echo:" + QString(echo)});
        };
        button("pushButtonSettingsCmd", "$$\n", "$$");
        button("pushButtonKillLockCmd", "$X\n", "$X");
        button("pushButtonHomingCycleCmd", "$H\n", "$H");
        button("pushButtonCycleStartCmd", "~", "~");
        button("pushButtonFeedHoldCmd", "!", "!");
        button("pushButtonStatusCmd", "?", "?");
        button("pushButtonResetGRBLCmd", "\x18", "\x18");
        button("pushButtonZeroAll", "G92 X0 Y0 Z0\n", "G92 X0 Y0 Z0");
        button("pushButtonZeroZ", "G92 Z0\n", "G92 Z0");
        row("spindle on and off", {"say:<Idle,MPos:0,0,0>\r\n", "click:pushButtonSpindle",
                                   "text:pushButtonSpindle=Spindle Off", "click:pushButtonSpindle",
                                   "wrote:M3\nM5\n", "text:pushButtonSpindle=Spindle On"});
        row("coolant on and off",
            {"click:pushButtonCoolant", "text:pushButtonCoolant=Coolant Off",
             "click:pushButtonCoolant", "wrote:M7\nM9\n", "text:pushButtonCoolant=Coolant On"});
        // Reports drive the positions and what may be pressed; 1.1 sends one position, the
        // other comes from the last work offset; a hidden report still counts.
        const QString gated = "enabled:pushButtonSpindle=%1#enabled:pushButtonOpenProbeDialog=%1#"
                              "enabled:pushButtonSendGCode=%1";
        row("status reports",
            QString("click:checkBoxHideStatusMessage#"
                    "say:<Idle,MPos:1.000,2.000,3.000,WPos:0.500,0.000,-1.250>\r\n#"
                    "text:labelGrblStatus=Idle#lacks:<Idle#%1#positions:1,2,3,0.5,0,-1.25#"
                    "click:checkBoxHideStatusMessage#say:<Run|MPos:7.000,8.000,9.000|FS:500,0>\r\n#"
                    "shows:<Run#%2#positions:7,8,9,6.5,6,4.75#wrote:$I\n#"
                    "say:<Run|WPos:1.000,1.000,1.000|WCO:2.000,0.000,0.000>\r\n#"
                    "positions:3,1,1,1,1,1#say:<Idle,MPos:4.000,5.000>\r\n#%1#"
                    "positions:3,1,1,1,1,1#say:<idle,MPos:1,1,1,WPos:1,1,1>\r\n#%2#"
                    "say:<>\r\n#text:labelGrblStatus=#%2#"
                    "say:<Idle,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19>\r\n#%1#"
                    "positions:1,1,1,1,1,1")
                .arg(gated.arg(1), gated.arg(0))
                .split('#'));
        // The bar truncates; the job ends once the machine, asked, stands.
        row("five lines outstanding, one job at a time", {"send:7",
                                                          "enabled:pushButtonSendGCode=0",
                                                          "invoke:on_pushButtonSendGCode_clicked",
                                                          five,
                                                          "say:ok\r\n",
                                                          "wrote:G1 X6 F100\n",
                                                          "say:ok\r\n",
                                                          "wrote:G1 X7 F100\n",
                                                          "say:ok\r\n",
                                                          "progress:42",
                                                          "say:ok\r\nok\r\nok\r\nok\r\n",
                                                          "progress:100",
                                                          "wrote:?",
                                                          "enabled:pushButtonSendGCode=0",
                                                          "say:<Run,MPos:9,0,0,WPos:9,0,0>\r\n",
                                                          "text:labelJob=running: 7 of 7*",
                                                          "say:<Idle,MPos:9,0,0,WPos:9,0,0>\r\n",
                                                          "text:labelJob=finished in 0:00*",
                                                          "enabled:pushButtonSendGCode=1",
                                                          "say:ok\r\nok\r\n",
                                                          "progress:100"});
        // A refused line holds the controller and stops the feeding; Cycle Start goes on,
        // Reset ends the job as failed, and nothing after that moves the bar.
        row("a refused line holds the job",
            {"send:10",
             five,
             "say:ok\r\n",
             "wrote:G1 X6 F100\n",
             "say:error:20\r\n",
             "wrote:!",
             "say:ok\r\nok\r\n",
             "wrote:",
             "text:labelJob=error at line 2: error:20 Unsupported command",
             "shows:error at line 2: error:20 Unsupported command",
             "click:pushButtonCycleStartCmd",
             "wrote:~G1 X7 F100\nG1 X8 F100\nG1 X9 F100\n",
             "say:error: Bad number format\r\n",
             "wrote:!",
             "click:pushButtonResetGRBLCmd",
             "wrote:\x18",
             "text:labelJob=failed at line 5: error: Bad number format",
             "progress:30",
             "say:ok\r\n\r\nGrbl 0.9j ['$' for help]\r\n",
             "click:pushButtonHelpCmd",
             "say:ok\r\nok\r\n",
             "progress:30"});
        row("a controller that resets itself ends the job",
            {"send:10", five, "say:ok\r\nok\r\n", "wrote:G1 X6 F100\nG1 X7 F100\n",
             "say:\r\nGrbl 0.9j ['$' for help]\r\nok\r\n",
             "wrote:", "text:labelJob=stopped at line 2", "progress:20",
             "click:pushButtonStatusCmd", "wrote:?"});
        row("a command outstanding at Send keeps its answer",
            {"click:pushButtonHelpCmd", "wrote:$\n", "send:10",
             "wrote:G1 X1 F100\nG1 X2 F100\nG1 X3 F100\nG1 X4 F100\n", "say:ok\r\n", "progress:0",
             "say:ok\r\n", "progress:10"});
        // While a job runs only realtime bytes reach the controller; what was refused is said.
        const QStringList locked{"say:ok\r\n",
                                 "wrote:G1 X6 F100\n",
                                 "shows:Not sent while a program runs: ",
                                 "text:pushButtonCoolant=Coolant On",
                                 "click:pushButtonFeedHoldCmd",
                                 "click:pushButtonStatusCmd",
                                 "wrote:!?"};
        row("typed line during a job",
            QStringList{"send:10", five, "type:G0 X5", "text:lineEditCommand=G0 X5"} + locked);
        row("step jog during a job",
            QStringList{"send:10", five, "click:radioButton10mm", "click:pushButtonMinusX"} +
                locked);
        row("coolant during a job",
            QStringList{"send:10", five, "click:pushButtonCoolant"} + locked);
        row("unlock during a job",
            QStringList{"send:10", five, "click:pushButtonKillLockCmd"} + locked);
        // What goes out is what the controller keeps of each line; a line it cannot take at all
        // refuses the whole program.
        row("comments, blanks, delimiters",
            {"program:%\n  \r\nG1 X1 (check!) ; this~\r\n\r\n\tM3\r\n%", "wrote:G1 X1\nM3\n",
             "text:plainTextEditGCode=%\n  \nG1 X1 (check!) ; this~\n\n\tM3\n%"});
        row("nothing to send", {"program:\n\r\n\n", "wrote:", "say:ok\r\nok\r\n", "progress:0",
                                "enabled:pushButtonSendGCode=1"});
        row("a feed hold outside a comment",
            {"program:G0 X1\nG1 X2 F100 !\nG0 X3", "wrote:", "enabled:pushButtonSendGCode=1",
             "shows:Program not started: line 2: it holds '!'"});
        // The slot itself checks: a button is not refreshed while the link is down.
        for (const char *state : {"Idle", "Run", "Hold", "Alarm", "idle"}) {
            const QString report = QString("say:<%1,MPos:0,0,0>\r\n").arg(state);
            row(state, {"load:G0 X1\nG0 X2", report, "invoke:on_pushButtonSendGCode_clicked",
                        state == QString("Idle") ? "wrote:G0 X1\nG0 X2\n" : "wrote:"});
        }
        row("no state yet", {"load:G0 X1", "invoke:on_pushButtonSendGCode_clicked", "wrote:"});
        row("offline",
            {"load:G0 X1", "say:<Idle,MPos:0,0,0>\r\n", "apply", "tick",
             "text:labelGrblStatus=offline", "invoke:on_pushButtonSendGCode_clicked", "wrote:"});
        row("disconnected", {"apply", "click:pushButtonHelpCmd", "type:G0 X5",
                             "wrote:", "text:lineEditCommand=G0 X5", "enabled:pushButtonSpindle=0",
                             "enabled:pushButtonCoolant=0", "click:pushButtonCoolant",
                             "text:pushButtonCoolant=Coolant On"});
    }

    void dialogue()
    {
        QFETCH(QStringList, steps);
        for (const QString &step : steps) {
            const QString verb = step.section(':', 0, 0);
            const QString argument = step.section(':', 1);
            const QString name = argument.section('=', 0, 0);
            const QString value = argument.section('=', 1);
            if (verb == "send" || verb == "program" || verb == "load") {
                QStringList lines{argument};
                if (verb == "send") {
                    lines.clear();
                    for (int i = 1; i <= argument.toInt(); ++i)
                        lines << QString("G1 X%1 F100").arg(i);
                }
                widget<QPlainTextEdit>("plainTextEditGCode")->setPlainText(lines.join('\n'));
                if (verb != "load") {
                    beIdle();
                    click("pushButtonSendGCode");
                }
            } else if (verb == "say") {
                controllerSays(argument.toLatin1());
            } else if (verb == "wrote") {
                const QByteArray bytes = argument.toLatin1();
                QCOMPARE(bytes.isEmpty() ? stationWrote(1, 150) : stationWrote(bytes.size()),
                         bytes);
            } else if (verb == "click") {
                click(qPrintable(argument));
            } else if (verb == "type") {
                widget<QLineEdit>("lineEditCommand")->setText(argument);
                QTest::keyClick(widget<QLineEdit>("lineEditCommand"), Qt::Key_Return);
            } else if (verb == "invoke") {
                QMetaObject::invokeMethod(window, qPrintable(argument));
            } else if (verb == "apply") {
                child<QPushButton>(topLevel("SettingsDialog"), "applyButton")->click();
            } else if (verb == "tick") {
                tick(window);
            } else if (verb == "text") {
                QWidget *shown = widget<QWidget>(qPrintable(name));
                const QVariant text = shown->property("text");
                const QString actual =
                    text.isValid() ? text.toString() : shown->property("plainText").toString();
                if (value.endsWith('*'))
                    QVERIFY2(actual.startsWith(value.chopped(1)), qPrintable(actual));
                else
                    QCOMPARE(actual, value);
            } else if (verb == "enabled") {
                QCOMPARE(widget<QWidget>(qPrintable(name))->isEnabled(), value == "1");
            } else if (verb == "progress") {
                QCOMPARE(widget<QProgressBar>("progressBar")->value(), argument.toInt());
            } else if (verb == "positions") { // machine X, Y, Z, work X, Y, Z
                QStringList values;
                for (const char *axis :
                     {"MachineX", "MachineY", "MachineZ", "WorkX", "WorkY", "WorkZ"})
                    values << QString::number(
                        widget<QLCDNumber>(qPrintable(QString("lcdNumber") + axis))->value());
                QCOMPARE(values.join(','), argument);
            } else if (verb == "echo") { // the station's line blue, the controller's answer red
                QTRY_COMPARE(terminalLines().mid(terminalLines().size() - 2),
                             (QList<Line>{{argument, Qt::blue}, {"ok", Qt::red}}));
            } else if (verb == "lacks") {
                QTest::qWait(TerminalPane::flushIntervalMs + 20); // written in batches
                QVERIFY2(!shown().contains(argument), qPrintable(argument));
            } else if (verb == "shows") {
                QTRY_VERIFY2(shown().contains(argument), qPrintable(argument));
            } else {
                QFAIL(qPrintable("no such step: " + step));
            }
        }
    }
};

ORLO_TEST_MAIN(TestConsole)
#include "tst_Console.moc"
