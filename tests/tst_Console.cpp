#include "EventLoopWatch.h"
#include "PtyPeer.h"
#include "Station.h"
#include "TestMain.h"

#include "app/TerminalPane.h"

#include <QCheckBox>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
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
            } else if (verb == "shows") {
                QTRY_VERIFY2(shown().contains(argument), qPrintable(argument));
            } else {
                QFAIL(qPrintable("no such step: " + step));
            }
        }
    }

    // Sent lines are echoed blue, the controller's red.
    void fixedButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char *button, const char *bytes, int clicks = 1) {
            QTest::newRow(button) << button << clicks << QByteArray(bytes);
        };
        row("pushButtonSettingsCmd", "$$\n");
        row("pushButtonKillLockCmd", "$X\n");
        row("pushButtonHomingCycleCmd", "$H\n");
        row("pushButtonCycleStartCmd", "~");
        row("pushButtonFeedHoldCmd", "!");
        row("pushButtonStatusCmd", "?");
        row("pushButtonResetGRBLCmd", "\x18");
        row("pushButtonZeroAll", "G92 X0 Y0 Z0\n");
        row("pushButtonZeroZ", "G92 Z0\n");
        row("pushButtonSpindle", "M3\nM5\n", 2);
        row("pushButtonCoolant", "M7\nM9\n", 2);
    }

    void fixedButtons()
    {
        QFETCH(QString, button);
        QFETCH(int, clicks);
        QFETCH(QByteArray, bytes);
        beIdle();
        for (int i = 0; i < clicks; ++i)
            click(qPrintable(button));
        QCOMPARE(stationWrote(bytes.size()), bytes);
        controllerSays("ok\r\n");
        const QString last = QString::fromLatin1(bytes).split('\n', Qt::SkipEmptyParts).last();
        QTRY_COMPARE(terminalLines().mid(terminalLines().size() - 2),
                     (QList<Line>{{last, Qt::blue}, {"ok", Qt::red}}));
    }

    void hiddenStatusReportsStillCount()
    {
        widget<QCheckBox>("checkBoxHideStatusMessage")->setChecked(true);
        controllerSays("<Run,MPos:1.000,2.000,3.000,WPos:0.500,0.000,-1.250>\r\n");
        QCOMPARE(widget<QLabel>("labelGrblStatus")->text(), QStringLiteral("Run"));
        QTest::qWait(TerminalPane::flushIntervalMs + 20); // written in batches
        QVERIFY(!shown().contains("<Run"));
        widget<QCheckBox>("checkBoxHideStatusMessage")->setChecked(false);
        beIdle();
        QTRY_COMPARE(terminalLines().last().first.left(6), QStringLiteral("<Idle,"));
    }

    void statusReportsDriveTheDisplays()
    {
        const auto positions = [this] {
            QList<double> values;
            for (const char *name : {"MachineX", "MachineY", "MachineZ", "WorkX", "WorkY", "WorkZ"})
                values << widget<QLCDNumber>(qPrintable(QString("lcdNumber") + name))->value();
            return values;
        };
        const auto enabled = [this] {
            return QList<bool>{widget<QPushButton>("pushButtonSpindle")->isEnabled(),
                               widget<QPushButton>("pushButtonOpenProbeDialog")->isEnabled(),
                               widget<QPushButton>("pushButtonSendGCode")->isEnabled()};
        };
        const QList<bool> all{true, true, true}, none{false, false, false};
        controllerSays("<Idle,MPos:1.000,2.000,3.000,WPos:0.500,0.000,-1.250>\r\n");
        QCOMPARE(widget<QLabel>("labelGrblStatus")->text(), QStringLiteral("Idle"));
        QCOMPARE(enabled(), all);
        QCOMPARE(positions(), (QList<double>{1, 2, 3, 0.5, 0, -1.25}));
        // 1.1 sends one position; the other comes from the last work offset.
        controllerSays("<Run|MPos:7.000,8.000,9.000|FS:500,0>\r\n");
        QCOMPARE(enabled(), none);
        QCOMPARE(positions(), (QList<double>{7, 8, 9, 6.5, 6, 4.75}));
        QCOMPARE(stationWrote(), QByteArray("$I\n")); // 1.1 tells its buffer when asked
        controllerSays("<Run|WPos:1.000,1.000,1.000|WCO:2.000,0.000,0.000>\r\n");
        QCOMPARE(positions(), (QList<double>{3, 1, 1, 1, 1, 1}));
        controllerSays("<Idle,MPos:4.000,5.000>\r\n");
        QCOMPARE(enabled(), all);
        QCOMPARE(positions(), (QList<double>{3, 1, 1, 1, 1, 1}));
        controllerSays("<idle,MPos:1,1,1,WPos:1,1,1>\r\n");
        QCOMPARE(enabled(), none);
        controllerSays("<>\r\n");
        QCOMPARE(widget<QLabel>("labelGrblStatus")->text(), QString());
        QCOMPARE(enabled(), none);
        controllerSays("<Idle,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19>\r\n");
        QCOMPARE(enabled(), all);
        QCOMPARE(positions(), (QList<double>{1, 1, 1, 1, 1, 1})); // unnamed values are none
    }

    // Whatever a broken or wrongly configured controller sends, the station stays usable and
    // its event loop is never kept from running for long.
    void randomBytesLeaveTheStationUsable()
    {
        QRandomGenerator random(42);
        QByteArray noise(10 * 1024 * 1024, '\0');
        for (char &byte : noise)
            byte = char(random.bounded(256));
        for (int at = 0; at + 2 < noise.size(); at += 997) { // to the status and $ parsers
            noise[at] = '\n';
            noise[at + 1] = at % 2 ? '<' : '$';
        }
        EventLoopWatch watch;
        for (int at = 0; at < noise.size(); at += 64 * 1024)
            peer->write(noise.mid(at, 64 * 1024));
        QTest::qWait(400);
        qInfo("longest stall of the event loop: %.1f ms", watch.longestGapMs());
        QVERIFY(watch.longestGapMs() < 100);

        peer->write("\r\n<Idle,MPos:1.000,2.000,3.000,WPos:1.000,2.000,3.000>\r\n");
        QTRY_COMPARE(widget<QLabel>("labelGrblStatus")->text(), QStringLiteral("Idle"));
        peer->read(1 << 20, 50);
        click("pushButtonStatusCmd");
        QCOMPARE(peer->read(1), QByteArray("?"));
    }
};

ORLO_TEST_MAIN(TestConsole)
#include "tst_Console.moc"
