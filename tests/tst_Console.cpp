#include "PtyPeer.h"
#include "Station.h"
#include "TestMain.h"

#include <QDockWidget>
#include <QFile>
#include <QLCDNumber>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTextBlock>

using namespace WindowProbe;

using Line = QPair<QString, QColor>;

// The station against a pseudo-terminal peer that plays the controller by hand: every byte
// the station writes is checked, every reply is typed here.
class TestConsole : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PtyPeer> peer;
    std::unique_ptr<Station> station;
    QTemporaryDir dir; // the station's port: a link to the peer, as a USB adapter's by-id name
    QString port() const { return dir.filePath("ttyUSB"); }

    template <typename T> T *widget(const char *name) { return station->widget<T>(name); }
    bool grbl11() { return widget<QLabel>("labelController")->text().startsWith("Grbl 1.1"); }

private slots:
    void init()
    {
        peer = std::make_unique<PtyPeer>();
        QFile::remove(port());
        QVERIFY(QFile::link(peer->devicePath(), port()));
        station = std::make_unique<Station>(QStringList(), false);
        QVERIFY(station->open(port()));
        tick(station->window.get());
        tick(station->window.get());
        QCOMPARE(ledColor(station->window.get()), QColor(Qt::green));
        // Asked at every connect, once a report (here one without a state) shows the controller
        // did not restart: the modes and offsets a former session may have left.
        peer->write("<>\r\n");
        QCOMPARE(peer->read(4, 600), QByteArray("$G\n"));
        peer->write("[G0 G54 G17 G21 G90 G94 M0 M5 M9 T0 F0. S0.]\r\nok\r\n");
        QCOMPARE(peer->read(4, 600), QByteArray("$#\n"));
        peer->write("[G54:0.000,0.000,0.000]\r\n[G92:0.000,0.000,0.000]\r\nok\r\n");
        QTest::qWait(30);
    }

    void cleanup() { station.reset(); } // before its peer, which the next start replaces

    // An operator and a controller in turns, each step "verb:argument": send:N loads N numbered
    // lines and sends them to an idle controller, program: the given text, load: only loads it;
    // say: is the controller's, wrote: what the station must have written by then and nothing
    // more (polled: less its status queries); click:, type:, invoke: (a slot by name), apply (the
    // link's settings, dropping it), press:/release: (a button held), key:/keyup:NAME=KEY (on a
    // widget given the focus), set:NAME=N, dialog:WINDOW=BUTTON, close (answering yes) and
    // box:NAME=Yes|No are the operator's, wait:MS the clock's, unplug and replug (the same port,
    // no restart) the cable's; text:NAME=.. (a trailing * for a beginning) and the rest check.
    void dialogue_data()
    {
        QTest::addColumn<QStringList>("steps");
        const auto row = [](const char *name, const QString &steps) {
            // "\#" is a '#' of a step's own.
            QStringList split = steps.split(QRegularExpression("(?<!\\\\)#"));
            QTest::newRow(name) << split.replaceInStrings("\\#", "#");
        };
        const QString five = "wrote:G1 X1 F100\nG1 X2 F100\nG1 X3 F100\nG1 X4 F100\nG1 X5 F100\n";
        const QString job = "send:10#" + five; // ten lines sent, five outstanding
        // A byte the controller would act on at once (1.1 takes those of "Ä" for a safety door)
        // is never written; the line stays for mending.
        row("typed lines go out as the controller reads them",
            "type:  G0 X1 (Maß Ä!)  #wrote:G0 X1\n#text:lineEditCommand=#type:#wrote:#type:G0 XÄ#"
            "wrote:#text:lineEditCommand=G0 XÄ#shows:Not sent: G0 X#type: ! #wrote:!");
        // Sent lines are echoed blue, the controller's red. (The other command buttons are
        // clicked in the rows below.)
        const char *buttons[][2] = {{"pushButtonSettingsCmd", "$$\n"},
                                    {"pushButtonHomingCycleCmd", "$H\n"},
                                    {"pushButtonFeedHoldCmd", "!"}};
        for (const auto &[name, bytes] : buttons)
            row(name, QString("say:<Idle,MPos:0,0,0>\r\n#click:%1#wrote:%2#say:ok\r\n#echo:%3")
                          .arg(name, bytes, QString(bytes).remove('\n')));
        const QString grbl11 = "say:\r\nGrbl 1.1h ['$' for help]\r\n#wrote:$I\n#"
                               "say:[VER:1.1h.20190825:]\r\n[OPT:V,15,128]\r\nok\r\n#"
                               "say:<Idle|MPos:0.000,0.000,0.000|FS:0,0>\r\n#";
        // A jog is millimetres whatever the controller was left in, and leaves its modes as they
        // were.
        const QString stepAfter =
            "type:%1#wrote:%1\n#say:ok\r\n#click:radioButton1mm#click:pushButtonPlusX#wrote:%2";
        row("step jog in inches", stepAfter.arg("G20", "G91 G21\nG01 X+1 F1500\nG20 G90 G0 F0\n?"));
        // The caption tells what the controller accepted, a program's M3 and M5 among it.
        row("spindle on and off",
            "say:<Idle,MPos:0,0,0>\r\n#click:pushButtonSpindle#wrote:M3\n#"
            "text:pushButtonSpindle=Spindle On#say:ok\r\n#text:pushButtonSpindle=Spindle Off#"
            "click:pushButtonSpindle#wrote:M5\n#say:error:9\r\n#text:pushButtonSpindle=Spindle Off#"
            "type:M5 (typed)#wrote:M5\n#say:ok\r\n#text:pushButtonSpindle=Spindle On#"
            "type:S500 M4#say:ok\r\n#text:pushButtonSpindle=Spindle Off");
        // 1.1 tells the spindle and coolant (A:) only in reports with the overrides (Ov:).
        row("1.1 spindle read from reports with overrides",
            grbl11 +
                "click:pushButtonSpindle#wrote:M3\n#say:ok\r\n#"
                "say:<Idle|MPos:0.000,0.000,0.000|FS:0,0>\r\n#text:pushButtonSpindle=Spindle Off#"
                "say:<Idle|MPos:0.000,0.000,0.000|FS:0,0|Ov:100,100,100>\r\n#"
                "text:pushButtonSpindle=Spindle On");
        // On a laptop's screen every control is whole, the command field and the terminal wide
        // enough to use; 1.1's window, with its overrides, has the more to fit.
        row("1.1 fits a laptop", grbl11 + "fits:1280x800#fits:1366x768");
        row("coolant on and off",
            "click:pushButtonCoolant#wrote:M8\n#say:ok\r\n#text:pushButtonCoolant=Coolant Off#"
            "click:pushButtonCoolant#wrote:M9\n#say:ok\r\n#text:pushButtonCoolant=Coolant On");
        // A feed move cannot be put back without a feed: motion cancelled instead.
        row("step jog after G1 without a feed",
            stepAfter.arg("G1", "G91\nG01 X+1 F1500\nG90 G80 F0\n?"));
        row("1.1 step jog in inches", grbl11 + stepAfter.arg("G20", "$J=G21 G91 X+1 F1500\n"));
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
                .arg(gated.arg(1), gated.arg(0)));
        // What is taken in is only planned: the bar and the line follow the reported position,
        // and the job ends once the machine, asked, stands.
        row("five lines outstanding, one job at a time",
            "send:7#enabled:pushButtonSendGCode=0#invoke:on_pushButtonSendGCode_clicked#" + five +
                "#say:ok\r\n#wrote:G1 X6 F100\n#say:ok\r\n#wrote:G1 X7 F100\n#say:ok\r\n#"
                "progress:0#say:<Run,MPos:2.5,0,0,WPos:2.5,0,0>\r\n#progress:28#"
                "say:ok\r\nok\r\nok\r\nok\r\n#progress:28#wrote:?#enabled:pushButtonSendGCode=0#"
                "say:<Run,MPos:6.5,0,0,WPos:6.5,0,0>\r\n#text:labelJob=running: 6 of 7*#"
                "say:<Idle,MPos:7,0,0,WPos:7,0,0>\r\n#text:labelJob=finished in 0:00*#"
                "enabled:pushButtonSendGCode=1#say:ok\r\nok\r\n#progress:100");
        // A refused line holds the controller and stops the feeding; Cycle Start goes on,
        // Reset ends the job as failed, and nothing after that moves the bar.
        row("a refused line holds the job",
            job +
                "#say:ok\r\n#wrote:G1 X6 F100\n#say:error:20\r\n#wrote:!#say:ok\r\nok\r\n#wrote:#"
                "text:labelJob=error at line 2: error:20 Unsupported command#"
                "shows:error at line 2: error:20 Unsupported command#click:pushButtonCycleStartCmd#"
                "wrote:~G1 X7 F100\nG1 X8 F100\nG1 X9 F100\n#say:error: Bad number format\r\n#"
                "wrote:!#click:pushButtonResetGRBLCmd#wrote:\x18#text:labelJob=failed at line 5: "
                "error: Bad number format#progress:0#say:ok\r\n\r\nGrbl 0.9j ['$' for help]\r\n#"
                "click:pushButtonHelpCmd#say:ok\r\nok\r\n#progress:0");
        row("a controller that resets itself ends the job",
            job + "#say:ok\r\nok\r\n#wrote:G1 X6 F100\nG1 X7 "
                  "F100\n#say:<Run,MPos:1.5,0,0,WPos:1.5,0,0>"
                  "\r\n#say:\r\nGrbl 0.9j ['$' for help]\r\nok\r\n#wrote:#"
                  "text:labelJob=stopped at line 2#progress:10#click:pushButtonStatusCmd#wrote:?");
        row("a reset drops what waits for room",
            "type:G4 P1#type:G4 P1#type:G4 P1#type:G4 P1#type:G4 P1#type:G4 P2#"
            "wrote:G4 P1\nG4 P1\nG4 P1\nG4 P1\nG4 P1\n#click:pushButtonResetGRBLCmd#wrote:\x18#"
            "say:\r\nGrbl 0.9j ['$' for help]\r\n#type:G0 X1#wrote:G0 X1\n");
        // While a job runs only realtime bytes reach the controller; what was refused is said.
        const QString locked =
            "#say:ok\r\n#wrote:G1 X6 F100\n#shows:Not sent while a program runs: "
            "#text:pushButtonCoolant=Coolant On#click:pushButtonFeedHoldCmd#"
            "click:pushButtonStatusCmd#wrote:!?";
        row("typed line during a job", job + "#type:G0 X5#text:lineEditCommand=G0 X5" + locked);
        row("step jog during a job",
            job + "#click:radioButton10mm#click:pushButtonMinusX" + locked);
        row("coolant during a job", job + "#click:pushButtonCoolant" + locked);
        const QString file = __FILE__;
        row("opening a file during a job", job + "#open:" + file +
                                               "#shows:Not opened while a program runs: " + file +
                                               "#text:plainTextEditGCode=G1 X1 F100\nG1 X2*");
        row("nothing to send",
            "program:\n\r\n\n#wrote:#say:ok\r\nok\r\n#progress:0#enabled:pushButtonSendGCode=1");
        // A line the controller cannot take at all refuses the whole program.
        row("a feed hold outside a comment",
            "program:G0 X1\nG1 X2 F100 !\nG0 X3#wrote:#enabled:pushButtonSendGCode=1#"
            "shows:Program not started: line 2: it holds '!'");
        // The program's pause is told as such even when the operator held the machine first,
        // and nothing after it goes out before the controller has answered it.
        row("a feed hold before the program's pause",
            "program:G1 X1 F100\nM0\nG1 X2 F100#wrote:G1 X1 F100\nM0\n#"
            "click:pushButtonFeedHoldCmd#wrote:!#say:ok\r\n<Hold,MPos:0.5,0,0,WPos:0.5,0,0>\r\n#"
            "text:labelJob=held at line 1*#click:pushButtonCycleStartCmd#wrote:~#"
            "say:<Hold,MPos:1,0,0,WPos:1,0,0>\r\n#text:labelJob=paused by the program at line 2#"
            "click:pushButtonCycleStartCmd#wrote:~#say:ok\r\n#wrote:G1 X2 F100\n");
        // A held jog is a chain of short jogs at the feed set, ahead of the machine by a little;
        // released, it is cancelled, and what still waited for room never goes out.
        // The arrow key held on the button is the button held.
        for (const auto &[name, press, release] :
             {std::tuple{"a held 1.1 jog and its release", "press:", "release:"},
              std::tuple{"a held 1.1 jog key and its release", "key:", "keyup:"}})
            row(name,
                grbl11 +
                    QString("click:radioButtonContinious#set:spinBoxFeedRate=1234#%3"
                            "pushButtonPlusY%4#wrote:%1%1#wait:1000#wrote:%1%1%1#%5"
                            "pushButtonPlusY%4#wrote:%2#say:ok\r\nok\r\nok\r\nok\r\nok\r\n#wrote:")
                        .arg("$J=G91 Y+3.085 F1234\n", QChar(0x85), press,
                             QString(press) == "key:" ? "=Up" : "", release));
        // Keys jog where the operator looks at the machine, and edit where they edit.
        row("step jog keys",
            "click:radioButton1mm#key:pushButtonPlusX=Right#keyup:pushButtonPlusX=Right#"
            "wrote:G91\nG01 X+1 F1500\nG90 G0 F0\n?#say:ok\r\nok\r\nok\r\n#"
            "key:radioButton1mm=Left#keyup:radioButton1mm=Left#"
            "wrote:G91\nG01 X-1 F1500\nG90 G0 F0\n?#say:ok\r\nok\r\nok\r\n#"
            "key:GLWidget=PgDown#keyup:GLWidget=PgDown#wrote:G91\nG01 Z-1 F500\nG90 G0 F0\n?#"
            "key:lineEditCommand=Left#key:spinBoxFeedRate=PgUp#key:plainTextEditGCode=Up#"
            "key:checkBoxHideStatusMessage=Right#wrote:");
        // Closing during a job stops it first: a reset only once the hold has come to rest
        // (Hold:0), never while it slows down (Hold:1), which would lose the position.
        row("closing during a 1.1 job",
            grbl11 + job + "#close#polled:!#" +
                "say:<Hold:1|MPos:1.000,0.000,0.000|FS:40,0>\r\n#wait:150#"
                "say:<Hold:1|MPos:1.000,0.000,0.000|FS:10,0>\r\n#wait:250#polled:#"
                "say:<Hold:0|MPos:1.000,0.000,0.000|FS:0,0>\r\n#wait:150#"
                "say:<Hold:0|MPos:1.000,0.000,0.000|FS:0,0>\r\n#polled:\x18");
        // One that never comes to rest is reset all the same, after ten seconds.
        row("closing during a 1.1 job that never rests",
            grbl11 + job + "#close#polled:!#" +
                "say:<Hold:1|MPos:1.000,0.000,0.000|FS:40,0>\r\n#wait:9000#polled:#wait:1500#"
                "polled:\x18");
        // 0.9 says Hold from the start of the hold: at rest is where two reports agree.
        row("closing during a 0.9 job",
            job + "#close#polled:!#say:<Hold,MPos:1.000,0.000,0.000>\r\n#wait:150#"
                  "say:<Hold,MPos:1.200,0.000,0.000>\r\n#wait:250#polled:#"
                  "say:<Hold,MPos:1.250,0.000,0.000>\r\n#wait:150#"
                  "say:<Hold,MPos:1.250,0.000,0.000>\r\n#polled:\x18");
        // A probe cut off by the cable owes the controller its modes: they go before the next
        // line once it answers again without having restarted.
        row("the link lost during a probe",
            "say:<Idle,MPos:0,0,0>\r\n#click:pushButtonOpenProbeDialog#"
            "dialog:ProbingDialog=pushButtonProbe#wrote:G91\nG38.2 Z-20 F20\n#unplug#replug#"
            "say:<Idle,MPos:0,0,0>\r\n#type:G0 X1#wrote:$G\nG90 G0 F0\nG0 X1\n");
        // The place of the last probe that "$#" tells is not a touch of the probe under way.
        row("a probe started while the offsets are asked",
            "say:<Idle,MPos:0,0,0>\r\n#type:G92 X0#wrote:G92 X0\n#say:ok\r\n#wrote:$\\#\n#"
            "click:pushButtonOpenProbeDialog#dialog:ProbingDialog=pushButtonProbe#"
            "wrote:G91\nG38.2 Z-20 F20\n#say:[G54:0,0,0]\r\n[PRB:0.000,0.000,0.000:0]\r\nok\r\n#"
            "text:labelProbeResult=Probing ...#say:ok\r\n[PRB:0.000,0.000,-5.000:1]\r\nok\r\n#"
            "text:labelProbeResult=Probe: contact at machine Z -5.000*");
        // Back without a banner, the controller may or may not have kept a G92 offset set here.
        row("the link lost after zeroing",
            "click:pushButtonZeroAll#wrote:G92 X0 Y0 Z0\n#say:ok\r\n#unplug#replug#wrote:#"
            "say:<Idle,MPos:0,0,0>\r\n#wrote:$G\n#say:ok\r\n#wrote:$\\#\n#"
            "say:[G92:0.000,0.000,0.000]\r\nok\r\n#"
            "text:labelWorkOffset=The G92 offset on X, Y, Z was cleared by a reset*");
        // A zero moves the work offsets: they are asked again. Into the system in use, a G92
        // offset in force is cleared first (else a reset would bring it back), and set again on
        // the other axes; the axis zeroed there is not among those a reset clears.
        const QString offsets = "say:[G54:0.000,0.000,0.000]\r\n[G55:%1]\r\n[G92:%2]\r\nok\r\n#";
        row("zero buttons, with G92 or into the system in use",
            "click:pushButtonZeroZ#wrote:G92 Z0\n#say:ok\r\n#wrote:$\\#\n#" +
                offsets.arg("0.000,0.000,0.000", "0.000,0.000,-2.000") +
                "tip:pushButtonZeroZ=Zero Z with G92 (a reset clears it)#"
                "dialog:SettingsDialog=zeroInActiveSystemCheckBox#apply#invoke:Tick1000ms#"
                "say:<Idle,MPos:5,2,1>\r\n#wrote:$G\n#"
                "say:[G0 G55 G17 G21 G90 G94 M0 M5 M9 T0 F0. S0.]\r\nok\r\n#wrote:$\\#\n#" +
                offsets.arg("1.000,2.000,3.000", "4.000,0.000,-2.000") +
                "tip:pushButtonZeroZ=Zero Z in G55#text:comboBoxCoordinateSystem=G55#"
                "say:<Run,MPos:5,2,1,WPos:0,0,0>\r\n#click:pushButtonZeroZ#wrote:#shows:Not "
                "zeroed: a G92 offset is in force and the machine is not idle#"
                "say:<Idle,MPos:5,2,1,WPos:0,0,0>\r\n#click:pushButtonZeroZ#"
                "wrote:G92.1\nG10 L20 P2 Z0\nG92 X0\n#say:ok\r\nok\r\nok\r\n#wrote:$\\#\n#" +
                offsets.arg("1.000,2.000,1.000", "4.000,0.000,0.000") +
                "click:pushButtonResetGRBLCmd#wrote:\x18#say:\r\nGrbl 0.9j ['$' for help]\r\n#"
                "text:labelWorkOffset=The G92 offset on X was cleared by a reset*#"
                "say:<Idle,MPos:5,2,1,WPos:0,0,0>\r\n#click:pushButtonZeroZ#wrote:G10 L20 P1 Z0\n");
        // A height map: a grid of 2 x N points over 10 x 10 mm, each point up to Z 2, over, and
        // down to Z -2 until the controller reports the touch (in machine Z, the work zero on Z
        // being machine Z -10); one line at a time, and nothing else moves the machine meanwhile.
        const QString mapGrid = "set:doubleSpinBoxMapX1=10#set:doubleSpinBoxMapY1=10#"
                                "set:spinBoxMapColumns=2#set:spinBoxMapRows=%1#"
                                "dialog:HeightMapDialog=pushButtonMapProbe#";
        const auto touch = [](const QString &at, const QString &z, const QString &after = "") {
            return QString("wrote:G90 G0 Z2\n#say:ok\r\n#wrote:G0 %1\n#say:ok\r\n#"
                           "wrote:G38.2 Z-2 F50\n#say:[PRB:1.000,2.000,%2:1]\r\n%3ok\r\n#")
                .arg(at, z, after);
        };
        const QString zero09 = "say:<Idle,MPos:0.000,0.000,0.000,WPos:0.000,0.000,10.000>\r\n#";
        const QString done = "wrote:G0 Z2\n#say:ok\r\n#wrote:G90 G0 F0\n#say:ok\r\n#";
        // Kept across programs, the map levels what Send starts, the editor keeping the
        // operator's text; a program it cannot level is not started at all.
        row("a height map on 0.9, kept across programs and applied",
            zero09 + mapGrid.arg(2) +
                "type:G0 X5#shows:Not sent while the probe is moving: G0 X5#"
                "enabled:pushButtonMapProbe=0#" +
                touch("X0 Y0", "-10.100", "<Idle,MPos:0.000,0.000,-9.000,WPos:0,0,1>\r\n") +
                touch("X10 Y0", "-9.950") + touch("X10 Y10", "-10.000") +
                touch("X0 Y10", "-9.980") + done + "enabled:pushButtonMapProbe=1#open:" + file +
                "#text:plainTextEditGCode=\\#include*#text:labelHeightMap=map -0.100 … +0.050 mm#"
                "program:G1 X5 F100#shows:Not started: line 1: a feed move before the program has "
                "set#wrote:#program:G0 X0 Y0 Z1\nG1 X10 Z0 F100\nY10#wrote:G0 X0 Y0 Z1.05\nG1 X10 "
                "Y0 Z0.05 F100\nG1 X10 Y10 Z0\n#text:plainTextEditGCode=G0 X0 Y0 Z1\nG1 X10 Z0 "
                "F100\nY10#dialog:HeightMapDialog=pushButtonMapClear#text:labelHeightMap=");
        // A controller left in inches probes in millimetres.
        row("a height map from a controller in inches",
            zero09 + "type:G20#wrote:G20\n#say:ok\r\n#" + mapGrid.arg(2) + "wrote:G90 G21 G0 Z2\n");
        // Feed Hold and Cycle Start work; a touch that finds nothing ends the run there.
        row("a height map on 1.1, touched twice, no contact",
            grbl11 +
                "say:<Idle|MPos:0.000,0.000,0.000|FS:0,0|WCO:0.000,0.000,-10.000>\r\n#"
                "click:checkBoxMapSlowTouch#" +
                mapGrid.arg(2) + touch("X0 Y0", "-10.100") +
                "wrote:G0 Z0.9\n#say:ok\r\n#wrote:G38.2 Z-2 F12.5\n#click:pushButtonFeedHoldCmd#"
                "click:pushButtonCycleStartCmd#wrote:!~#say:[PRB:0,0,-10.080:1]\r\nok\r\n#"
                "wrote:G90 G0 Z2\n#say:ok\r\n#wrote:G0 X10 Y0\n#say:ok\r\n#wrote:G38.2 Z-2 F50\n#"
                "say:ALARM:5\r\n#wrote:G90 G0 F0\n$$\n#shows:Height map cut short: no contact at "
                "point 2 (x 10, y 0); 1 of 4 points probed#text:labelHeightMap=");
        row("a reset during a height map",
            zero09 + mapGrid.arg(2) +
                "wrote:G90 G0 Z2\n#say:ok\r\n#wrote:G0 X0 Y0\n#click:pushButtonResetGRBLCmd#"
                "wrote:\x18#text:labelMapProgress=Height map cut short: the controller was reset "
                "at point 1 (x 0, y 0); 0 of 4 points probed. The points probed do not make two "
                "whole rows of the grid: nothing is kept.#text:labelHeightMap=#"
                "say:\r\nGrbl 0.9j ['$' for help]\r\n#type:G0 X1#wrote:G0 X1\n");
        // Stopped, the machine is held and reset once it stands; whole rows may be kept.
        row("a height map stopped after two rows",
            zero09 + mapGrid.arg(3) + touch("X0 Y0", "-10.100") + touch("X10 Y0", "-9.950") +
                touch("X10 Y5", "-10.000") + touch("X0 Y5", "-9.980") +
                "wrote:G90 G0 Z2\n#say:ok\r\n#wrote:G0 X0 Y10\n#say:ok\r\n#"
                "wrote:G38.2 Z-2 F50\n#dialog:HeightMapDialog=pushButtonMapStop#polled:!#"
                "say:<Hold,MPos:0,10,-10.5,WPos:0,10,-0.5>\r\n#wait:150#"
                "say:<Hold,MPos:0,10,-10.5,WPos:0,10,-0.5>\r\n#polled:\x18#"
                "shows:stopped by the operator at point 5 (x 0, y 10); 4 of 6#"
                "box:keepPartialMapBox=Yes#text:labelHeightMap=map -0.100 … +0.050 mm#"
                "say:\r\nGrbl 0.9j ['$' for help]\r\n#program:G0 X0 Y0 Z1\nG1 X10 Y5 F100#"
                "wrote:G0 X0 Y0 Z1.05\nG1 X5 Y2.5 Z0.993 F100\nG1 X10 Y5 Z1\n");
        // The heights are work Z: without a work zero on Z they would mean nothing.
        // One just set is asked for first.
        const QString probeAgain = "dialog:HeightMapDialog=pushButtonMapProbe#wrote:";
        row("a height map needs a work zero and an idle machine",
            "say:<Idle,MPos:0.000,0.000,3.000,WPos:0.000,0.000,3.000>\r\n#" + mapGrid.arg(2) +
                "wrote:#text:labelMapProgress=Not started: the controller has no work zero on Z: "
                "the heights are measured from it, so set it on the stock first#"
                "type:G10 L20 P1 Z0#wrote:G10 L20 P1 Z0\n#say:ok\r\n#wrote:$\\#\n#say:ok\r\n#" +
                probeAgain +
                "?#text:labelMapProgress=Not started: the controller has not reported its work "
                "offset yet: try again in a moment#"
                "say:<Run,MPos:0.000,0.000,3.000,WPos:0.000,0.000,0.000>\r\n#" +
                probeAgain +
                "#text:labelMapProgress=Not started: the machine is not idle#"
                "say:<Idle,MPos:0.000,0.000,3.000,WPos:0.000,0.000,0.000>\r\n#" +
                probeAgain + "G90 G0 Z2\n");
        // The slot itself checks: a button is not refreshed while the link is down.
        for (const char *state : {"Idle", "Run", "Hold", "Alarm", "idle"})
            row(state, QString("load:G0 X1\nG0 X2#say:<%1,MPos:0,0,0>\r\n#"
                               "invoke:on_pushButtonSendGCode_clicked#wrote:%2")
                           .arg(state, state == QString("Idle") ? "$G\n" : ""));
        row("no state yet", "load:G0 X1#invoke:on_pushButtonSendGCode_clicked#wrote:");
        // A program is read in G17: another plane turns every arc, so the operator chooses.
        row("another plane", "load:G2 X1 I1 F100#say:<Idle,MPos:0,0,0>\r\n#"
                             "invoke:on_pushButtonSendGCode_clicked#wrote:$G\n#"
                             "say:[G0 G54 G18 G21 G90 G94 M0 M5 M9 T0 F0. S0.]\r\nok\r\n#wrote:#"
                             "shows:The controller is in plane G18 instead of G17");
        row("offline", "load:G0 X1#say:<Idle,MPos:0,0,0>\r\n#apply#invoke:Tick1000ms#"
                       "text:labelGrblStatus=offline#invoke:on_pushButtonSendGCode_clicked#wrote:");
        row("disconnected",
            "apply#click:pushButtonHelpCmd#type:G0 X5#wrote:#text:lineEditCommand=G0 X5#"
            "enabled:pushButtonSpindle=0#enabled:pushButtonCoolant=0");
    }

    void dialogue()
    {
        QFETCH(QStringList, steps);
        for (const QString &step : steps) {
            const QString verb = step.section(':', 0, 0), argument = step.section(':', 1);
            const QString name = argument.section('=', 0, 0), value = argument.section('=', 1);
            if (verb == "send" || verb == "program" || verb == "load") {
                QStringList lines;
                for (int i = 1; verb == "send" && i <= argument.toInt(); ++i)
                    lines << QString("G1 X%1 F100").arg(i);
                station->load(verb == "send" ? lines.join('\n') : argument);
                if (verb == "load")
                    continue;
                peer->write("<Idle,MPos:0.000,0.000,0.000,WPos:0.000,0.000,0.000>\r\n");
                QTest::qWait(30);
                station->click("pushButtonSendGCode");
                // A program starts once the controller has told its modes.
                if (const QByteArray asked = peer->read(3, 300); !asked.isEmpty()) {
                    QCOMPARE(asked, QByteArray("$G\n"));
                    peer->write(grbl11()
                                    ? "[GC:G0 G54 G17 G21 G90 G94 M5 M9 T0 F0 S0]\r\nok\r\n"
                                    : "[G0 G54 G17 G21 G90 G94 M0 M5 M9 T0 F0. S0.]\r\nok\r\n");
                    QTest::qWait(30);
                }
            } else if (verb == "say") {
                peer->write(argument.toLatin1());
                QTest::qWait(30);         // for the event loop to frame and dispatch the replies
            } else if (verb == "wrote") { // within a while, and whatever follows at once
                const QByteArray bytes = argument.toLatin1();
                const QByteArray first =
                    peer->read(qMax(1, bytes.size()), bytes.isEmpty() ? 150 : 600);
                QCOMPARE(first + peer->read(1 << 20, 20), bytes);
            } else if (verb == "polled") {
                const QByteArray last = argument.toLatin1().right(1);
                QByteArray written = peer->read(1 << 20, last.isEmpty() ? 300 : 3000, last);
                written += peer->read(1 << 20, 20);
                QCOMPARE(written.replace('?', ""), argument.toLatin1());
            } else if (verb == "click") {
                station->click(qPrintable(argument));
            } else if (verb == "press" || verb == "release") {
                auto *button = widget<QPushButton>(qPrintable(argument));
                verb == "press" ? QTest::mousePress(button, Qt::LeftButton)
                                : QTest::mouseRelease(button, Qt::LeftButton);
            } else if (verb == "key" || verb == "keyup") {
                // Keys go to the widget with the focus, as the keyboard's do.
                auto *focus = widget<QWidget>(qPrintable(name));
                QApplication::setActiveWindow(station->window.get());
                focus->setFocus();
                QTRY_COMPARE(QApplication::focusWidget(),
                             focus->focusProxy() ? focus->focusProxy() : focus);
                QKeyEvent event(verb == "key" ? QEvent::KeyPress : QEvent::KeyRelease,
                                keyNamed(value), Qt::NoModifier);
                QApplication::sendEvent(QApplication::focusWidget(), &event);
            } else if (verb == "fits") { // a laptop's screen, less its panel and title bar
                const QSize room(argument.section('x', 0, 0).toInt(),
                                 argument.section('x', 1).toInt() - 60);
                QMainWindow *window = station->window.get();
                window->show();
                window->resize(room);
                QVERIFY(QTest::qWaitForWindowExposed(window));
                QTest::qWait(100); // the docks laid out anew
                QCOMPARE(window->size().boundedTo(room), window->size());
                // Each dock in front of those it shares tabs with, in turn.
                for (QDockWidget *dock : window->findChildren<QDockWidget *>()) {
                    if (dock->isHidden())
                        continue;
                    dock->raise();
                    QTest::qWait(20);
                    QCOMPARE(clippedControls(window), QString());
                }
                QVERIFY(widget<QLineEdit>("lineEditCommand")->width() >= 200);
                const auto *terminal = widget<QPlainTextEdit>("plainTextEditSerial");
                QVERIFY(terminal->viewport()->width() >=
                        40 * terminal->fontMetrics().averageCharWidth());
            } else if (verb == "set") {
                widget<QWidget>(qPrintable(name))->setProperty("value", value.toInt());
            } else if (verb == "dialog") {
                child<QAbstractButton>(topLevel(qPrintable(name)), qPrintable(value))->click();
            } else if (verb == "box" || verb == "close") { // closing asks a question too
                QVERIFY(verb == "box" || !station->window->close());
                QMessageBox *box = nullptr;
                QTRY_VERIFY((box = station->window->findChild<QMessageBox *>(name)));
                // Enter never does the risky thing.
                QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
                box->button(value == "Yes" || verb == "close" ? QMessageBox::Yes : QMessageBox::No)
                    ->click();
            } else if (verb == "wait") {
                QTest::qWait(argument.toInt());
            } else if (verb == "unplug") {
                peer->hangUp();
                QTRY_VERIFY(ledColor(station->window.get()) != QColor(Qt::green));
            } else if (verb == "replug") {
                peer = std::make_unique<PtyPeer>();
                QVERIFY(QFile::remove(port()) && QFile::link(peer->devicePath(), port()));
                tick(station->window.get());
                QTRY_COMPARE(ledColor(station->window.get()), QColor(Qt::green));
            } else if (verb == "type") {
                station->type(argument);
            } else if (verb == "open") { // a file, as Open File or a recent file does
                station->window->OpenFile(argument);
            } else if (verb == "invoke") {
                QMetaObject::invokeMethod(station->window.get(), qPrintable(argument));
            } else if (verb == "apply") {
                child<QPushButton>(topLevel("SettingsDialog"), "applyButton")->click();
            } else if (verb == "text") {
                const QWidget *shown = widget<QWidget>(qPrintable(name));
                const char *property = shown->inherits("QComboBox")        ? "currentText"
                                       : shown->inherits("QPlainTextEdit") ? "plainText"
                                                                           : "text";
                const auto actual = [&] { return shown->property(property).toString(); };
                // The job's line is redrawn a few times a second, not for every report.
                if (value.endsWith('*'))
                    QTRY_VERIFY2(actual().startsWith(value.chopped(1)), qPrintable(actual()));
                else
                    QTRY_COMPARE(actual(), value);
            } else if (verb == "enabled") {
                QTRY_COMPARE(widget<QWidget>(qPrintable(name))->isEnabled(), value == "1");
            } else if (verb == "progress") {
                QTRY_COMPARE(station->progress(), argument.toInt());
            } else if (verb == "positions") { // machine X, Y, Z, work X, Y, Z
                const auto values = [this] {
                    QStringList shown;
                    for (const QString &axis :
                         QString("MachineX MachineY MachineZ WorkX WorkY WorkZ").split(' '))
                        shown << QString::number(
                            widget<QLCDNumber>(qPrintable("lcdNumber" + axis))->value());
                    return shown.join(',');
                };
                QTRY_COMPARE(values(), argument);
            } else if (verb == "echo") { // the station's line blue, the controller's answer red
                const auto lastTwo = [this] { // that hold text, each in the colour it begins with
                    const QTextBlock last =
                        widget<QPlainTextEdit>("plainTextEditSerial")->document()->lastBlock();
                    QList<Line> lines;
                    for (const QTextBlock &block : {last.previous(), last})
                        if (!block.begin().atEnd()) // neither empty nor before the first
                            lines << Line{
                                block.text(),
                                block.begin().fragment().charFormat().foreground().color()};
                    return lines;
                };
                QTRY_COMPARE(lastTwo(), (QList<Line>{{argument, Qt::blue}, {"ok", Qt::red}}));
            } else if (verb == "tip") {
                QTRY_COMPARE(widget<QWidget>(qPrintable(name))->toolTip(), value);
            } else if (verb == "shows" || verb == "lacks") { // in the terminal
                QTRY_VERIFY2(station->terminal().contains(argument) == (verb == "shows"),
                             qPrintable(argument));
            } else {
                QFAIL(qPrintable("no such step: " + step));
            }
        }
    }
};

ORLO_TEST_MAIN(TestConsole)
#include "tst_Console.moc"
