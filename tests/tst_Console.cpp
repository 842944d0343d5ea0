#include "EventLoopWatch.h"
#include "PtyPeer.h"
#include "StationStore.h"
#include "TestMain.h"
#include "WindowProbe.h"

#include "app/MainWindow.h"
#include "app/TerminalPane.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextBlock>

using namespace WindowProbe;

// Counts the paint events a widget receives.
struct PaintCounter : QObject
{
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
    int count = 0;
};

// The station against a pseudo-terminal peer that plays the controller by hand: every byte
// the station writes is checked, every reply is typed here.
class TestConsole : public QObject
{
    Q_OBJECT

private:
    PtyPeer *peer = nullptr;
    MainWindow *window = nullptr;

    template <typename T> T *widget(const char *name) { return child<T>(window, name); }

    void controllerSays(const QByteArray &bytes)
    {
        peer->write(bytes);
        // Replies arrive through the event loop; give it a moment to frame and dispatch them.
        QTest::qWait(30);
    }

    QByteArray stationWrote(int atLeast = 1, int timeoutMs = 300)
    {
        QByteArray bytes = peer->read(atLeast, timeoutMs);
        bytes += peer->read(1 << 20, 20); // and anything else that followed
        return bytes;
    }

    void loadProgram(const QString &text)
    {
        widget<QPlainTextEdit>("plainTextEditGCode")->setPlainText(text);
    }
    QString loadedText() { return widget<QPlainTextEdit>("plainTextEditGCode")->toPlainText(); }

    void beIdle() { controllerSays("<Idle,MPos:0.000,0.000,0.000,WPos:0.000,0.000,0.000>\r\n"); }

    static QString numberedLines(int count, const QString &pattern = "G1 X%1 F100")
    {
        QStringList lines;
        for (int i = 1; i <= count; ++i)
            lines << pattern.arg(i);
        return lines.join('\n');
    }

    // The pane is written in batches a few dozen times a second; wait for the next one.
    QString terminalText()
    {
        QTest::qWait(TerminalPane::flushIntervalMs + 20);
        return widget<QPlainTextEdit>("plainTextEditSerial")->toPlainText();
    }

    QList<QPair<QString, QColor>> terminalLines()
    {
        QTest::qWait(TerminalPane::flushIntervalMs + 20);
        QList<QPair<QString, QColor>> lines;
        QTextDocument *document = widget<QPlainTextEdit>("plainTextEditSerial")->document();
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            const QColor colour = block.begin() != block.end()
                                      ? block.begin().fragment().charFormat().foreground().color()
                                      : QColor();
            lines.append({block.text(), colour});
        }
        return lines;
    }

    // Picks the file (or cancels with an empty path) once the modal file dialog is up. The
    // absolute path goes into the name field: selecting a file in another folder would race
    // the dialog's change of folder. Any other modal box is closed, so a failure cannot hang.
    static void answerFileDialog(const QString &path, QString *startedIn = nullptr)
    {
        auto *poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [poll, path, startedIn] {
            QWidget *modal = QApplication::activeModalWidget();
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            if (!dialog) {
                if (auto *other = qobject_cast<QDialog *>(modal))
                    other->reject();
                return;
            }
            poll->stop();
            poll->deleteLater();
            if (startedIn)
                *startedIn = dialog->directory().absolutePath();
            if (path.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->findChild<QLineEdit *>("fileNameEdit")->setText(path);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        poll->start(50);
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
    // the bytes of "Ä" for a safety door) is never written.
    void commandLineSendsWhatTheControllerReads()
    {
        QLineEdit *line = widget<QLineEdit>("lineEditCommand");
        QTest::keyClicks(line, QString::fromUtf8("  G0 X1 (Maß Ä!)  "));
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(stationWrote(), QByteArray("G0 X1\n"));
        QCOMPARE(line->text(), QString());
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(stationWrote(1, 100), QByteArray());
        QCOMPARE(terminalLines().last().first, QStringLiteral("G0 X1"));

        QTest::keyClicks(line, QString::fromUtf8("G0 X\u00c4"));
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(stationWrote(1, 100), QByteArray());
        QCOMPARE(line->text(), QString::fromUtf8("G0 X\u00c4")); // kept for mending
        QVERIFY(terminalLines().last().first.startsWith("Not sent: G0 X"));
        line->setText(" ! ");
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(stationWrote(), QByteArray("!"));
    }

    void fixedButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("help") << "pushButtonHelpCmd" << QByteArray("$\n");
        QTest::newRow("settings") << "pushButtonSettingsCmd" << QByteArray("$$\n");
        QTest::newRow("parameters") << "pushButtonParameterCmd" << QByteArray("$#\n");
        QTest::newRow("parser state") << "pushButtonStateCmd" << QByteArray("$G\n");
        QTest::newRow("build info") << "pushButtonInfoCmd" << QByteArray("$I\n");
        QTest::newRow("startup blocks") << "pushButtonStartupBlocksCmd" << QByteArray("$N\n");
        QTest::newRow("check") << "pushButtonCheckCmd" << QByteArray("$C\n");
        QTest::newRow("unlock") << "pushButtonKillLockCmd" << QByteArray("$X\n");
        QTest::newRow("homing") << "pushButtonHomingCycleCmd" << QByteArray("$H\n");
        QTest::newRow("cycle start") << "pushButtonCycleStartCmd" << QByteArray("~");
        QTest::newRow("feed hold") << "pushButtonFeedHoldCmd" << QByteArray("!");
        QTest::newRow("status") << "pushButtonStatusCmd" << QByteArray("?");
        QTest::newRow("reset") << "pushButtonResetGRBLCmd" << QByteArray("\x18");
        QTest::newRow("zero all") << "pushButtonZeroAll" << QByteArray("G92 X0 Y0 Z0\n");
        QTest::newRow("zero X") << "pushButtonZeroX" << QByteArray("G92 X0\n");
        QTest::newRow("zero Y") << "pushButtonZeroY" << QByteArray("G92 Y0\n");
        QTest::newRow("zero Z") << "pushButtonZeroZ" << QByteArray("G92 Z0\n");
    }

    void fixedButtons()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, bytes);
        child<QPushButton>(window, qPrintable(button))->click();
        QCOMPARE(stationWrote(bytes.size()), bytes);
        const auto echoed = terminalLines().last();
        QCOMPARE(echoed.first, QString::fromLatin1(bytes).remove('\n'));
        QCOMPARE(echoed.second, QColor(Qt::blue));
    }

    void sentBlueReceivedRedInOrder()
    {
        widget<QPushButton>("pushButtonInfoCmd")->click();
        controllerSays("[0.9j.20160726:]\r\nok\r\n");
        widget<QPushButton>("pushButtonStateCmd")->click();
        controllerSays("ok\r\n");
        const auto lines = terminalLines().mid(terminalLines().size() - 5);
        const QList<QPair<QString, QColor>> expected = {{"$I", Qt::blue},
                                                        {"[0.9j.20160726:]", Qt::red},
                                                        {"ok", Qt::red},
                                                        {"$G", Qt::blue},
                                                        {"ok", Qt::red}};
        QCOMPARE(lines, expected);
    }

    void clearTerminal()
    {
        controllerSays("hello\r\n");
        widget<QPushButton>("pushButtonResetGRBLCmd_2")->click();
        QCOMPARE(terminalText(), QString());
    }

    void hiddenStatusReportsStillCount()
    {
        widget<QCheckBox>("checkBoxHideStatusMessage")->setChecked(true);
        controllerSays("<Run,MPos:1.000,2.000,3.000,WPos:0.500,0.000,-1.250>\r\n");
        QCOMPARE(widget<QLabel>("labelGrblStatus")->text(), QStringLiteral("Run"));
        QVERIFY(!terminalText().contains("<Run"));

        widget<QCheckBox>("checkBoxHideStatusMessage")->setChecked(false);
        beIdle();
        QCOMPARE(terminalLines().last(),
                 (qMakePair(QStringLiteral("<Idle,MPos:0.000,0.000,0.000,WPos:0.000,0.000,0.000>"),
                            QColor(Qt::red))));
    }

    void statusReportsDriveTheDisplays()
    {
        const auto value = [this](const char *name) { return widget<QLCDNumber>(name)->value(); };
        const auto enabled = [this] {
            return QList<bool>{widget<QPushButton>("pushButtonSpindle")->isEnabled(),
                               widget<QPushButton>("pushButtonOpenProbeDialog")->isEnabled(),
                               widget<QPushButton>("pushButtonSendGCode")->isEnabled()};
        };
        controllerSays("<Idle,MPos:1.000,2.000,3.000,WPos:0.500,0.000,-1.250>\r\n");
        QCOMPARE(widget<QLabel>("labelGrblStatus")->text(), QStringLiteral("Idle"));
        QCOMPARE(enabled(), (QList<bool>{true, true, true}));
        QCOMPARE(value("lcdNumberMachineX"), 1.0);
        QCOMPARE(value("lcdNumberMachineY"), 2.0);
        QCOMPARE(value("lcdNumberMachineZ"), 3.0);
        QCOMPARE(value("lcdNumberWorkX"), 0.5);
        QCOMPARE(value("lcdNumberWorkY"), 0.0);
        QCOMPARE(value("lcdNumberWorkZ"), -1.25);

        // 1.1 sends one position; the other comes from the last work offset.
        controllerSays("<Run|MPos:7.000,8.000,9.000|FS:500,0>\r\n");
        QCOMPARE(enabled(), (QList<bool>{false, false, false}));
        QCOMPARE(value("lcdNumberMachineX"), 7.0);
        QCOMPARE(value("lcdNumberWorkX"), 6.5);
        QCOMPARE(value("lcdNumberWorkZ"), 4.75);
        QCOMPARE(stationWrote(), QByteArray("$I\n")); // 1.1 tells its buffer when asked
        controllerSays("<Run|WPos:1.000,1.000,1.000|WCO:2.000,0.000,0.000>\r\n");
        QCOMPARE(value("lcdNumberMachineX"), 3.0);
        QCOMPARE(value("lcdNumberMachineZ"), 1.0);

        controllerSays("<Idle,MPos:4.000,5.000>\r\n");
        QCOMPARE(enabled(), (QList<bool>{true, true, true}));
        QCOMPARE(value("lcdNumberMachineX"), 3.0);

        controllerSays("<idle,MPos:1,1,1,WPos:1,1,1>\r\n");
        QCOMPARE(enabled(), (QList<bool>{false, false, false}));
        controllerSays("<>\r\n");
        QCOMPARE(widget<QLabel>("labelGrblStatus")->text(), QString());
        QCOMPARE(enabled(), (QList<bool>{false, false, false}));
        controllerSays("<Idle,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19>\r\n");
        QCOMPARE(enabled(), (QList<bool>{true, true, true}));
        QCOMPARE(value("lcdNumberWorkZ"), 1.0); // unnamed values are no position
    }

    // The marker follows the machine; a report that leaves it where it is draws nothing.
    void statusReportsRepaintThePreviewWhenTheToolMoves()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QWidget *preview = widget<QWidget>("GLWidget");
        PaintCounter paints(preview);
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
    }

    void sendOnlyWhenIdle()
    {
        QFETCH(QByteArray, report);
        QFETCH(bool, sends);
        loadProgram("G0 X1\nG0 X2");
        controllerSays(report);
        // The slot itself checks the state: a button is not refreshed while the link is down.
        QMetaObject::invokeMethod(window, "on_pushButtonSendGCode_clicked");
        QCOMPARE(stationWrote(1, 150), sends ? QByteArray("G0 X1\nG0 X2\n") : QByteArray());
    }

    void sendWaitsForOfflineToClear()
    {
        beIdle();
        child<QPushButton>(topLevel("SettingsDialog"), "applyButton")->click(); // drops the link
        tick(window);
        QCOMPARE(widget<QLabel>("labelGrblStatus")->text(), QStringLiteral("offline"));
        loadProgram("G0 X1");
        QMetaObject::invokeMethod(window, "on_pushButtonSendGCode_clicked");
        QCOMPARE(stationWrote(1, 150), QByteArray());
    }

    void streamProgressFollowsTheOks()
    {
        loadProgram(numberedLines(10));
        beIdle();
        widget<QPushButton>("pushButtonSendGCode")->click();
        QCOMPARE(stationWrote(),
                 QByteArray("G1 X1 F100\nG1 X2 F100\nG1 X3 F100\nG1 X4 F100\nG1 X5 F100\n"));
        for (int ok = 1; ok <= 5; ++ok) {
            controllerSays("ok\r\n");
            QCOMPARE(stationWrote(), QString("G1 X%1 F100\n").arg(ok + 5).toLatin1());
        }
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 50);
        for (int ok = 6; ok <= 10; ++ok)
            controllerSays("ok\r\n");
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 100);
        // Every line taken; the machine may still be working through them: it is asked.
        QCOMPARE(stationWrote(1, 600), QByteArray("?"));
        QVERIFY(!widget<QPushButton>("pushButtonSendGCode")->isEnabled());
        controllerSays("<Run,MPos:9,0,0,WPos:9,0,0>\r\n");
        QTRY_VERIFY(widget<QLabel>("labelJob")->text().startsWith("running: 10 of 10"));
        beIdle();
        QVERIFY(widget<QLabel>("labelJob")->text().startsWith("finished in 0:00"));
        QVERIFY(widget<QPushButton>("pushButtonSendGCode")->isEnabled());
        controllerSays("ok\r\nok\r\n"); // answers to nothing move nothing
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 100);
    }

    void progressIsTruncated()
    {
        loadProgram(numberedLines(7));
        beIdle();
        widget<QPushButton>("pushButtonSendGCode")->click();
        controllerSays("ok\r\nok\r\nok\r\n");
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 42);
    }

    // A refused line holds the controller and stops the feeding; Cycle Start goes on, Reset
    // ends the job as failed, and nothing after it moves the bar.
    void refusedLineHoldsTheJob()
    {
        loadProgram(numberedLines(10));
        beIdle();
        widget<QPushButton>("pushButtonSendGCode")->click();
        stationWrote();
        controllerSays("ok\r\n");
        QCOMPARE(stationWrote(), QByteArray("G1 X6 F100\n"));
        controllerSays("error:20\r\n");
        QCOMPARE(stationWrote(), QByteArray("!"));
        controllerSays("ok\r\nok\r\n");
        QCOMPARE(stationWrote(1, 100), QByteArray());
        QCOMPARE(widget<QLabel>("labelJob")->text(),
                 QStringLiteral("error at line 2: error:20 Unsupported command"));
        QVERIFY(terminalText().contains("error at line 2: error:20 Unsupported command"));
        widget<QPushButton>("pushButtonCycleStartCmd")->click();
        QCOMPARE(stationWrote(), QByteArray("~G1 X7 F100\nG1 X8 F100\nG1 X9 F100\n"));
        controllerSays("error: Bad number format\r\n");
        QCOMPARE(stationWrote(), QByteArray("!"));
        widget<QPushButton>("pushButtonResetGRBLCmd")->click();
        QCOMPARE(widget<QLabel>("labelJob")->text(),
                 QStringLiteral("failed at line 5: error: Bad number format"));
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 30);
        controllerSays("ok\r\n\r\nGrbl 0.9j ['$' for help]\r\n");
        widget<QPushButton>("pushButtonHelpCmd")->click();
        widget<QPushButton>("pushButtonInfoCmd")->click();
        controllerSays("ok\r\nok\r\n");
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 30);
    }

    // One job at a time: a second Send while the first is still starting does nothing.
    void secondSendDoesNothing()
    {
        loadProgram(numberedLines(10));
        beIdle();
        widget<QPushButton>("pushButtonSendGCode")->click();
        QVERIFY(!widget<QPushButton>("pushButtonSendGCode")->isEnabled());
        QMetaObject::invokeMethod(window, "on_pushButtonSendGCode_clicked");
        QCOMPARE(stationWrote(), numberedLines(5).toLatin1() + '\n');
    }

    // While a job runs, nothing but the realtime bytes reaches the controller; what was
    // refused is said, and a typed line stays in its field.
    void motionLockDuringAJob_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("typed line") << "type";
        QTest::newRow("zero all") << "pushButtonZeroAll";
        QTest::newRow("zero Z") << "pushButtonZeroZ";
        QTest::newRow("step jog") << "jog";
        QTest::newRow("coolant") << "pushButtonCoolant";
        QTest::newRow("unlock") << "pushButtonKillLockCmd";
        QTest::newRow("settings listing") << "pushButtonSettingsCmd";
    }

    void motionLockDuringAJob()
    {
        QFETCH(QString, action);
        loadProgram(numberedLines(10));
        beIdle();
        widget<QPushButton>("pushButtonSendGCode")->click();
        stationWrote();
        if (action == "type") {
            widget<QLineEdit>("lineEditCommand")->setText("G0 X5");
            QTest::keyClick(widget<QLineEdit>("lineEditCommand"), Qt::Key_Return);
            QCOMPARE(widget<QLineEdit>("lineEditCommand")->text(), QStringLiteral("G0 X5"));
        } else if (action == "jog") {
            widget<QRadioButton>("radioButton10mm")->click();
            widget<QPushButton>("pushButtonMinusX")->click();
        } else {
            widget<QPushButton>(qPrintable(action))->click();
        }
        controllerSays("ok\r\n");
        QCOMPARE(stationWrote(), QByteArray("G1 X6 F100\n"));
        QVERIFY(terminalText().contains("Not sent while a program runs: "));
        QCOMPARE(widget<QPushButton>("pushButtonCoolant")->text(), QStringLiteral("Coolant On"));
        widget<QPushButton>("pushButtonFeedHoldCmd")->click();
        widget<QPushButton>("pushButtonStatusCmd")->click();
        QCOMPARE(stationWrote(2), QByteArray("!?"));
    }

    // A command outstanding when Send is pressed keeps its place: its answer is not taken
    // for a program line's.
    void sendKeepsOutstandingCommands()
    {
        widget<QPushButton>("pushButtonHelpCmd")->click();
        stationWrote();
        loadProgram(numberedLines(10));
        beIdle();
        widget<QPushButton>("pushButtonSendGCode")->click();
        QCOMPARE(stationWrote().count('\n'), 4);
        controllerSays("ok\r\n");
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 0);
        controllerSays("ok\r\n");
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 10);
    }

    // A controller that answers too often, or with nonsense: the job still ends with a clear
    // outcome, nothing is left queued, and the station stays usable.
    void noisyAnswersDuringAJob()
    {
        loadProgram(numberedLines(6));
        beIdle();
        widget<QPushButton>("pushButtonSendGCode")->click();
        stationWrote();
        controllerSays("ok\r\n[PRB:1,2:1]\r\nok\r\nok\r\nok\r\nok\r\nok\r\nok\r\nok\r\n");
        QCOMPARE(stationWrote(11), QByteArray("G1 X6 F100\n"));
        QTest::qWait(300); // the machine is asked whether it stands
        beIdle();
        QVERIFY(widget<QLabel>("labelJob")->text().startsWith("finished in 0:00"));
        stationWrote(1, 50);
        QTest::keyClicks(widget<QLineEdit>("lineEditCommand"), "G0 X1");
        QTest::keyClick(widget<QLineEdit>("lineEditCommand"), Qt::Key_Return);
        QCOMPARE(stationWrote(), QByteArray("G0 X1\n"));
    }

    void emptyProgramSendsNothing()
    {
        widget<QProgressBar>("progressBar")->setValue(33);
        loadProgram("\n\r\n\n");
        beIdle();
        widget<QPushButton>("pushButtonSendGCode")->click();
        QCOMPARE(stationWrote(1, 100), QByteArray());
        controllerSays("ok\r\nok\r\n");
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 33);
    }

    void linesGoOutAsTheControllerReadsThem()
    {
        loadProgram("%\n  \r\nG1 X1 (check!) ; this~\r\n\r\n\tM3\r\n%");
        beIdle();
        widget<QPushButton>("pushButtonSendGCode")->click();
        QCOMPARE(stationWrote(), QByteArray("G1 X1\nM3\n"));
        QCOMPARE(loadedText(), QStringLiteral("%\n  \nG1 X1 (check!) ; this~\n\n\tM3\n%"));
    }

    void unsendableProgramIsRefusedWhole()
    {
        loadProgram("G0 X1\nG1 X2 F100 !\nG0 X3");
        beIdle();
        widget<QPushButton>("pushButtonSendGCode")->click();
        QCOMPARE(stationWrote(1, 150), QByteArray());
        QVERIFY(terminalText().contains("Program not started: line 2: it holds '!'"));
        QVERIFY(widget<QPushButton>("pushButtonSendGCode")->isEnabled());
    }

    // Five outstanding lines of 60 bytes would be 305 bytes: more than the controller keeps.
    void longLinesRespectTheReceiveBuffer()
    {
        const QString pattern = "G1 X%1 Y2.000000 Z-0.500000 I12.500000 J-3.250000 F1200";
        loadProgram(numberedLines(10, pattern));
        beIdle();
        widget<QPushButton>("pushButtonSendGCode")->click();
        const QByteArray first = stationWrote();
        QCOMPARE(first.count('\n'), 2);
        QVERIFY(first.size() <= 127);
        controllerSays("ok\r\n");
        QCOMPARE(stationWrote(), (pattern.arg(3) + '\n').toLatin1());
    }

    void controllerResetEndsTheStream()
    {
        loadProgram(numberedLines(10));
        beIdle();
        widget<QPushButton>("pushButtonSendGCode")->click();
        stationWrote();
        controllerSays("ok\r\nok\r\n");
        stationWrote();
        controllerSays("\r\nGrbl 0.9j ['$' for help]\r\n");
        controllerSays("ok\r\n");
        QCOMPARE(stationWrote(1, 150), QByteArray());
        QCOMPARE(widget<QLabel>("labelJob")->text(), QStringLiteral("stopped at line 2"));
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 20);
        widget<QPushButton>("pushButtonStatusCmd")->click();
        QCOMPARE(stationWrote(), QByteArray("?"));
    }

    void pressWhileDisconnectedDoesNothing()
    {
        child<QPushButton>(topLevel("SettingsDialog"), "applyButton")->click();
        const int before = terminalLines().size();
        widget<QPushButton>("pushButtonHelpCmd")->click();
        QTest::keyClicks(widget<QLineEdit>("lineEditCommand"), "G0 X5");
        QTest::keyClick(widget<QLineEdit>("lineEditCommand"), Qt::Key_Return);
        QCOMPARE(stationWrote(1, 100), QByteArray());
        QCOMPARE(terminalLines().size(), before);
        QCOMPARE(widget<QLineEdit>("lineEditCommand")->text(), QStringLiteral("G0 X5"));
        QVERIFY(!widget<QPushButton>("pushButtonSpindle")->isEnabled());
        QVERIFY(!widget<QPushButton>("pushButtonCoolant")->isEnabled());
        widget<QPushButton>("pushButtonCoolant")->click();
        QCOMPARE(widget<QPushButton>("pushButtonCoolant")->text(), QStringLiteral("Coolant On"));
    }

    void openFileStopsAtNul()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("part.nc");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("G0 X1\nG1 X2 F100\0G1 X666\n", 25));
        file.close();
        widget<QPlainTextEdit>("plainTextEditGCode")->setPlainText("old");

        answerFileDialog(path);
        widget<QPushButton>("pushButtonOpenFile")->click();
        QTRY_COMPARE(widget<QPlainTextEdit>("plainTextEditGCode")->toPlainText(),
                     QStringLiteral("G0 X1\nG1 X2 F100"));

        QString startedIn;
        answerFileDialog(QString(), &startedIn); // cancelled
        widget<QPushButton>("pushButtonOpenFile")->click();
        QTest::qWait(100);
        QCOMPARE(startedIn, dir.path()); // where the last program came from
        QCOMPARE(widget<QPlainTextEdit>("plainTextEditGCode")->toPlainText(),
                 QStringLiteral("G0 X1\nG1 X2 F100"));

        QFile other(dir.filePath("other.nc"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("G0 Y7\n");
        other.close();
        window->OpenFile(other.fileName()); // as the command line does
        QTRY_COMPARE(widget<QPlainTextEdit>("plainTextEditGCode")->toPlainText(),
                     QStringLiteral("G0 Y7\n"));
    }

    // Whatever a broken or wrongly configured controller sends, the station stays usable.
    void randomBytesLeaveTheStationUsable()
    {
        QRandomGenerator random(42);
        QByteArray noise(10 * 1024 * 1024, '\0');
        for (char &byte : noise)
            byte = char(random.bounded(256));
        // Line starts that reach the status parser and the parameter route.
        for (int at = 0; at + 2 < noise.size(); at += 997) {
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
        child<QPushButton>(window, "pushButtonResetGRBLCmd_2")->click();
        peer->read(1 << 20, 50);
        child<QPushButton>(window, "pushButtonStatusCmd")->click();
        QCOMPARE(peer->read(1), QByteArray("?"));
    }

    void endlessLineIsDropped()
    {
        peer->write(QByteArray(1024 * 1024, 'x'));
        QTest::qWait(400); // silence: the fragment times out
        peer->write("ok\r\n");
        QTRY_VERIFY(child<QPlainTextEdit>(window, "plainTextEditSerial")->toPlainText() ==
                    QStringLiteral("ok"));
        QVERIFY(
            !child<QPlainTextEdit>(window, "plainTextEditSerial")->toPlainText().contains("xxxx"));
    }
};

ORLO_TEST_MAIN(TestConsole)
#include "tst_Console.moc"
