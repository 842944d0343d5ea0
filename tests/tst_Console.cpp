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
#include <QRadioButton>
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
    void click(const char *button) { widget<QPushButton>(button)->click(); }
    QString job() { return widget<QLabel>("labelJob")->text(); }
    int progress() { return widget<QProgressBar>("progressBar")->value(); }

    void controllerSays(const QByteArray &bytes)
    {
        peer->write(bytes);
        QTest::qWait(30); // for the event loop to frame and dispatch the replies
    }

    QByteArray stationWrote(int atLeast = 1, int timeoutMs = 300)
    {
        const QByteArray first = peer->read(atLeast, timeoutMs);
        return first + peer->read(1 << 20, 20); // and whatever follows at once
    }

    void type(const QString &line)
    {
        widget<QLineEdit>("lineEditCommand")->setText(line);
        QTest::keyClick(widget<QLineEdit>("lineEditCommand"), Qt::Key_Return);
    }

    void beIdle() { controllerSays("<Idle,MPos:0.000,0.000,0.000,WPos:0.000,0.000,0.000>\r\n"); }

    void send(const QString &program)
    {
        widget<QPlainTextEdit>("plainTextEditGCode")->setPlainText(program);
        beIdle();
        click("pushButtonSendGCode");
    }

    static QString numberedLines(int count)
    {
        QStringList lines;
        for (int i = 1; i <= count; ++i)
            lines << QString("G1 X%1 F100").arg(i);
        return lines.join('\n');
    }

    QString terminalText()
    {
        QTest::qWait(TerminalPane::flushIntervalMs + 20); // it is written in batches
        return widget<QPlainTextEdit>("plainTextEditSerial")->toPlainText();
    }

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

    // What the controller would keep of the line; a byte it would act on at once (1.1 takes
    // the bytes of "Ä" for a safety door) is never written, and the line is kept for mending.
    void commandLineSendsWhatTheControllerReads()
    {
        auto *line = widget<QLineEdit>("lineEditCommand");
        QTest::keyClicks(line, QString::fromUtf8("  G0 X1 (Maß Ä!)  "));
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(stationWrote(), QByteArray("G0 X1\n"));
        QCOMPARE(line->text(), QString());
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(stationWrote(1, 100), QByteArray());
        QTRY_COMPARE(terminalLines().last().first, QStringLiteral("G0 X1"));

        type(QString::fromUtf8("G0 X\u00c4"));
        QCOMPARE(stationWrote(1, 100), QByteArray());
        QCOMPARE(line->text(), QString::fromUtf8("G0 X\u00c4"));
        QTRY_VERIFY(terminalLines().last().first.startsWith("Not sent: G0 X"));
        type(" ! ");
        QCOMPARE(stationWrote(), QByteArray("!"));
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
        QVERIFY(!terminalText().contains("<Run"));
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

    // The marker follows the machine; a report that leaves it where it is draws nothing.
    void statusReportsRepaintThePreviewWhenTheToolMoves()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        struct PaintCounter : QObject
        {
            bool eventFilter(QObject *, QEvent *event) override
            {
                count += event->type() == QEvent::Paint;
                return false;
            }
            int count = 0;
        } paints;
        widget<QWidget>("GLWidget")->installEventFilter(&paints);
        const QByteArray here = "<Idle,MPos:1,2,3,WPos:1.000,2.000,3.000>\r\n";
        controllerSays(here);
        QTRY_COMPARE(paints.count, 1);
        controllerSays(here);
        controllerSays("<Idle,MPos:1,2,3,WPos:1,2,3.0>\r\n"); // written apart, the same place
        QTest::qWait(100);
        QCOMPARE(paints.count, 1);
        controllerSays("<Run,MPos:1,2,3,WPos:1.000,2.500,3.000>\r\n");
        QTRY_COMPARE(paints.count, 2);
        widget<QCheckBox>("checkBoxTool")->click(); // the marker goes: one repaint of its own
        QTRY_COMPARE(paints.count, 3);
        controllerSays("<Run,MPos:1,2,3,WPos:5.000,2.500,3.000>\r\n");
        QTest::qWait(100);
        QCOMPARE(paints.count, 3);
    }

    // The slot itself checks: a button is not refreshed while the link is down.
    void sendOnlyWhenIdle_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<bool>("sends");
        QTest::newRow("idle") << QByteArray("<Idle,MPos:0,0,0>\r\n") << true;
        QTest::newRow("run") << QByteArray("<Run,MPos:0,0,0>\r\n") << false;
        QTest::newRow("hold") << QByteArray("<Hold,MPos:0,0,0>\r\n") << false;
        QTest::newRow("alarm") << QByteArray("<Alarm,MPos:0,0,0>\r\n") << false;
        QTest::newRow("lower case") << QByteArray("<idle,MPos:0,0,0>\r\n") << false;
        QTest::newRow("nothing yet") << QByteArray() << false;
        QTest::newRow("idle, then offline") << QByteArray("offline") << false;
    }

    void sendOnlyWhenIdle()
    {
        QFETCH(QByteArray, report);
        QFETCH(bool, sends);
        widget<QPlainTextEdit>("plainTextEditGCode")->setPlainText("G0 X1\nG0 X2");
        if (report == "offline") {
            beIdle();
            child<QPushButton>(topLevel("SettingsDialog"), "applyButton")->click();
            tick(window);
            QCOMPARE(widget<QLabel>("labelGrblStatus")->text(), QStringLiteral("offline"));
        } else {
            controllerSays(report);
        }
        QMetaObject::invokeMethod(window, "on_pushButtonSendGCode_clicked");
        QCOMPARE(stationWrote(1, 150), sends ? QByteArray("G0 X1\nG0 X2\n") : QByteArray());
    }

    // Five lines outstanding at most; a second Send while the job starts does nothing; the bar
    // truncates; the job ends once the machine, asked, stands.
    void streamProgressFollowsTheOks()
    {
        send(numberedLines(7));
        QVERIFY(!widget<QPushButton>("pushButtonSendGCode")->isEnabled());
        QMetaObject::invokeMethod(window, "on_pushButtonSendGCode_clicked");
        QCOMPARE(stationWrote(), numberedLines(5).toLatin1() + '\n');
        for (int ok = 1; ok <= 2; ++ok) {
            controllerSays("ok\r\n");
            QCOMPARE(stationWrote(), QString("G1 X%1 F100\n").arg(ok + 5).toLatin1());
        }
        controllerSays("ok\r\n");
        QCOMPARE(progress(), 42);
        controllerSays("ok\r\nok\r\nok\r\nok\r\n");
        QCOMPARE(progress(), 100);
        QCOMPARE(stationWrote(1, 600), QByteArray("?"));
        QVERIFY(!widget<QPushButton>("pushButtonSendGCode")->isEnabled());
        controllerSays("<Run,MPos:9,0,0,WPos:9,0,0>\r\n");
        QTRY_VERIFY(job().startsWith("running: 7 of 7"));
        beIdle();
        QVERIFY(job().startsWith("finished in 0:00"));
        QVERIFY(widget<QPushButton>("pushButtonSendGCode")->isEnabled());
        controllerSays("ok\r\nok\r\n"); // answers to nothing move nothing
        QCOMPARE(progress(), 100);
    }

    // A refused line holds the controller and stops the feeding; Cycle Start goes on, Reset
    // ends the job as failed, and nothing after it moves the bar.
    void refusedLineHoldsTheJob()
    {
        send(numberedLines(10));
        stationWrote();
        controllerSays("ok\r\n");
        QCOMPARE(stationWrote(), QByteArray("G1 X6 F100\n"));
        controllerSays("error:20\r\n");
        QCOMPARE(stationWrote(), QByteArray("!"));
        controllerSays("ok\r\nok\r\n");
        QCOMPARE(stationWrote(1, 100), QByteArray());
        QCOMPARE(job(), QStringLiteral("error at line 2: error:20 Unsupported command"));
        QVERIFY(terminalText().contains("error at line 2: error:20 Unsupported command"));
        click("pushButtonCycleStartCmd");
        QCOMPARE(stationWrote(), QByteArray("~G1 X7 F100\nG1 X8 F100\nG1 X9 F100\n"));
        controllerSays("error: Bad number format\r\n");
        QCOMPARE(stationWrote(), QByteArray("!"));
        click("pushButtonResetGRBLCmd");
        QCOMPARE(job(), QStringLiteral("failed at line 5: error: Bad number format"));
        QCOMPARE(progress(), 30);
        controllerSays("ok\r\n\r\nGrbl 0.9j ['$' for help]\r\n");
        click("pushButtonHelpCmd");
        click("pushButtonInfoCmd");
        controllerSays("ok\r\nok\r\n");
        QCOMPARE(progress(), 30);
    }

    // The controller reset itself: the job is over, and the link usable.
    void controllerResetEndsTheStream()
    {
        send(numberedLines(10));
        stationWrote();
        controllerSays("ok\r\nok\r\n");
        stationWrote();
        controllerSays("\r\nGrbl 0.9j ['$' for help]\r\nok\r\n");
        QCOMPARE(stationWrote(1, 150), QByteArray());
        QCOMPARE(job(), QStringLiteral("stopped at line 2"));
        QCOMPARE(progress(), 20);
        click("pushButtonStatusCmd");
        QCOMPARE(stationWrote(), QByteArray("?"));
    }

    // While a job runs, nothing but the realtime bytes reaches the controller; what was
    // refused is said, and a typed line stays in its field.
    void motionLockDuringAJob_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("typed line") << "type";
        QTest::newRow("step jog") << "jog";
        QTest::newRow("coolant") << "pushButtonCoolant";
        QTest::newRow("unlock") << "pushButtonKillLockCmd";
    }

    void motionLockDuringAJob()
    {
        QFETCH(QString, action);
        send(numberedLines(10));
        stationWrote();
        if (action == "type") {
            type("G0 X5");
            QCOMPARE(widget<QLineEdit>("lineEditCommand")->text(), QStringLiteral("G0 X5"));
        } else if (action == "jog") {
            widget<QRadioButton>("radioButton10mm")->click();
            click("pushButtonMinusX");
        } else {
            click(qPrintable(action));
        }
        controllerSays("ok\r\n");
        QCOMPARE(stationWrote(), QByteArray("G1 X6 F100\n"));
        QTRY_VERIFY(shown().contains("Not sent while a program runs: "));
        QCOMPARE(widget<QPushButton>("pushButtonCoolant")->text(), QStringLiteral("Coolant On"));
        click("pushButtonFeedHoldCmd");
        click("pushButtonStatusCmd");
        QCOMPARE(stationWrote(2), QByteArray("!?"));
    }

    // A command outstanding when Send is pressed keeps its place: its answer is not taken
    // for a program line's.
    void sendKeepsOutstandingCommands()
    {
        click("pushButtonHelpCmd");
        stationWrote();
        send(numberedLines(10));
        QCOMPARE(stationWrote().count('\n'), 4);
        controllerSays("ok\r\n");
        QCOMPARE(progress(), 0);
        controllerSays("ok\r\n");
        QCOMPARE(progress(), 10);
    }

    // A controller that answers too often, or with nonsense: the job still ends with a clear
    // outcome, nothing is left queued, and the station stays usable.
    void noisyAnswersDuringAJob()
    {
        send(numberedLines(6));
        stationWrote();
        controllerSays("ok\r\n[PRB:1,2:1]\r\nok\r\nok\r\nok\r\nok\r\nok\r\nok\r\nok\r\n");
        QCOMPARE(stationWrote(11), QByteArray("G1 X6 F100\n"));
        QTest::qWait(300); // the machine is asked whether it stands
        beIdle();
        QVERIFY(job().startsWith("finished in 0:00"));
        stationWrote(1, 50);
        type("G0 X1");
        QCOMPARE(stationWrote(), QByteArray("G0 X1\n"));
    }

    // What goes out is what the controller keeps of each line; a line it cannot take at all
    // refuses the whole program before anything is sent.
    void programGoesOutAsTheControllerReadsIt_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("said");
        QTest::newRow("comments, blanks, delimiters")
            << "%\n  \r\nG1 X1 (check!) ; this~\r\n\r\n\tM3\r\n%" << QByteArray("G1 X1\nM3\n")
            << "";
        QTest::newRow("nothing to send") << "\n\r\n\n" << QByteArray() << "";
        QTest::newRow("a feed hold outside a comment")
            << "G0 X1\nG1 X2 F100 !\nG0 X3" << QByteArray()
            << "Program not started: line 2: it holds '!'";
    }

    void programGoesOutAsTheControllerReadsIt()
    {
        QFETCH(QString, program);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, said);
        widget<QProgressBar>("progressBar")->setValue(33);
        send(program);
        QCOMPARE(stationWrote(1, 150), bytes);
        QCOMPARE(widget<QPlainTextEdit>("plainTextEditGCode")->toPlainText(),
                 QString(program).replace("\r\n", "\n"));
        if (bytes.isEmpty()) {
            controllerSays("ok\r\nok\r\n");
            QCOMPARE(progress(), 33);
            QVERIFY(widget<QPushButton>("pushButtonSendGCode")->isEnabled());
        }
        if (!said.isEmpty())
            QTRY_VERIFY(shown().contains(said));
    }

    void pressWhileDisconnectedDoesNothing()
    {
        child<QPushButton>(topLevel("SettingsDialog"), "applyButton")->click();
        const QString before = terminalText();
        click("pushButtonHelpCmd");
        type("G0 X5");
        QCOMPARE(stationWrote(1, 100), QByteArray());
        QCOMPARE(terminalText(), before);
        QCOMPARE(widget<QLineEdit>("lineEditCommand")->text(), QStringLiteral("G0 X5"));
        QVERIFY(!widget<QPushButton>("pushButtonSpindle")->isEnabled());
        QVERIFY(!widget<QPushButton>("pushButtonCoolant")->isEnabled());
        click("pushButtonCoolant");
        QCOMPARE(widget<QPushButton>("pushButtonCoolant")->text(), QStringLiteral("Coolant On"));
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
