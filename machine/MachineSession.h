#pragma once

#include "Dialect.h"
#include "ExecutionTracker.h"
#include "GridProbe.h"
#include "Job.h"
#include "MacroRun.h"
#include "ProbeCycle.h"
#include "StatusReport.h"
#include "StreamWindow.h"
#include "WorkOffsets.h"

#include "link/Settings.h"
#include "link/TerminalCommunication.h"
#include "program/ModalState.h"
#include "program/StartFromLine.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QQueue>
#include <QTimer>

#include <array>

// The one owner of everything that reaches the controller. Every line from anyone (the
// program, the command line, the buttons, the jog, the tools) goes through its one queue and
// one byte budget; realtime bytes go out at once. It decides who may command the machine now:
// a running job or probe locks out every other line until it ends. It keeps what the
// controller last reported as values, and runs the job and the probing cycle.
//
// It needs no display: the window is one view of it, a terminal program could be another.
class MachineSession : public QObject
{
    Q_OBJECT

public:
    explicit MachineSession(QObject *parent = nullptr);

    // The link is supervised by the session's owner: reconnect() while it is down, once a
    // second or so; a link found down that was up ends whatever ran on it.
    bool isConnected() const { return link.IsConnected(); }
    void reconnect(const Settings &settings);
    void disconnectLink();
    // "?" without an echo: the periodic poll.
    void pollStatus();

    // One line to the controller; false when it was not sent: offline (quietly), locked by a
    // job or a probe, or a line the controller cannot take (both said in a notice). Comments
    // are removed first; a line of a single realtime byte goes out as that byte.
    bool SendCommand(const QString &line);
    // '?', '!', '~' or ctrl-X, at once and never refused while connected; on 1.1 also the
    // override bytes and jog cancel (0x80 and up), which 0.9 would take for text.
    bool sendRealtime(char byte);
    bool isMotionLocked() const
    {
        return job.isActive() || probe.isActive() || grid.isActive() || starting;
    }
    // A program waits for the controller's modes or the operator's choice before it starts.
    bool isStarting() const { return starting; }
    // A stop is on its way: nothing more is written, the job's lines included, until the
    // controller is reset or the link is dropped. Realtime bytes still go out.
    void holdFeeding();
    // Jogging and probing are locked out too, except while a job waits for a tool change: the
    // operator may have to move the machine and touch off the new tool.
    bool isJogLocked() const
    {
        return probe.isActive() || grid.isActive() || starting ||
               (job.isActive() && job.hold() != Job::Hold::ToolChange);
    }
    // "a program runs", "the probe is moving": what holds the lock.
    QString lockReason() const;
    // Lines accepted and not yet written, waiting for room in the controller's buffer.
    int queuedLines() const { return queue.size(); }

    // A macro's lines go as typed lines do, cleaned, checked and refused the same way, each once
    // the controller has accepted the one before. A line the station cannot send at all refuses
    // the whole macro before anything goes; the first line refused on its turn (locked by a job
    // or a probe, or answered with an error) ends it, and so do a reset, an alarm and a lost
    // link: each said in a notice naming the macro and the line. Offline, quietly nothing.
    void runMacro(const Macro &macro);
    bool isMacroRunning() const { return macroRun.isActive(); }

    // Starts the editor's program; false when it cannot start now (offline, not idle, a job
    // or probe running: quietly; a line the controller cannot take: with a notice). A check
    // run (the controller in its check mode) goes on after errors and tells each of them.
    // The controller is asked for its modes first: where they differ from those the program is
    // read in (or a G92 offset set here was lost), startNeedsChoice waits for chooseStart.
    // Given `from`, the job starts at its line after its way in (StartFromLine::plan).
    bool startJob(QStringView program, bool check = false, const StartFromLine *from = nullptr);
    enum class StartChoice
    {
        UsualState, // the usual modes are set first
        AsItIs,     // the program runs in the controller's modes
        Cancel
    };
    void chooseStart(StartChoice choice);
    // The controller's modes as far as known: its last "$G" answer and every line it accepted
    // since.
    const ModalState &controllerModes() const { return modes; }
    // Axes ("X, Z") whose G92 offset, set through this station, a reset has cleared since.
    QString lostOffsetAxes() const;
    // The controller's work coordinates differ from its machine coordinates on some axis.
    bool hasWorkOffset() const;
    const Job &currentJob() const { return job; }
    qint64 jobElapsedMs() const;

    // Why a probe cannot start; empty when it started.
    QString startProbe(const ProbeRequest &request);
    QString probeRefusal() const;
    // The machine Z at which the reference tool touched the tool length switch, kept for the
    // session while the machine keeps its position.
    const std::optional<double> &toolReference() const { return referenceTouch; }
    const ProbeCycle &probeCycle() const { return probe; }

    // Why a height map cannot be probed now; empty when its probing started. It holds the
    // motion lock as a probe does; gridProbeProgress follows each point, gridProbeFinished
    // tells the end. The heights are work Z, so the controller must know a work zero on Z.
    QString startGridProbe(const GridProbeRequest &request);
    // Ends the run at once and sends nothing more for it; the caller stops the machine (a feed
    // hold, and a reset once it stands, throw away the move under way).
    void stopGridProbe();
    const GridProbe &gridProbe() const { return grid; }

    // One jog step: "$J=G91 X-10 F1500" on 1.1; "G91", "G01 X-10 F1500" and a status query
    // on 0.9, whose controller is then left in G91. Direction "X+" ... "Z-".
    bool jogStep(const QString &direction, const QString &step, int feed);
    // 1.1's continuous jog: a few short jog moves kept queued while a direction is held, and
    // jog cancel the moment it is released (an empty direction). 0.9 jogs by steps instead.
    void holdJog(const QString &direction, int feed);
    static QString jogLine(const QString &direction, const QString &step, int feed);

    // Which Grbl this is; Unknown until its banner, its build info or a 1.1 status report.
    const Dialect &dialect() const { return grbl; }

    // What the controller last reported; the state is "" before the first report and after
    // the link was lost or the controller restarted. A position the report did not carry is
    // derived from the other and the last work offset, or kept as it was when it cannot be.
    const QString &state() const { return machineState; }
    // A 1.1 jog makes the machine busy before any report can say so: G-code sent meanwhile
    // would be locked out.
    bool isIdle() const
    {
        return isConnected() && machineState == QLatin1String("Idle") && !jogUnreported;
    }
    // Nothing planned is left to run: Idle, or the check mode where nothing moves.
    bool atRestState() const
    {
        return machineState == QLatin1String("Idle") || machineState == QLatin1String("Check");
    }
    const StatusReport &lastReport() const { return report; }
    const std::optional<StatusReport::Position> &machinePosition() const { return machine; }
    const std::optional<StatusReport::Position> &workPositionReported() const { return work; }
    double workPosition(int axis) const;
    // Units, distance mode and work coordinate system from the last "$G" answer: "G21 G90 G54".
    const QString &modalState() const { return modal; }
    // The work coordinate system in use, 54..59, as far as known (see controllerModes).
    int coordinateSystem() const { return modes.system; }
    // The systems and the G92 offset as the controller last told them; asked again after
    // every line that may change them.
    const WorkOffsets &workOffsets() const { return workSystems; }
    // Sets the work zero on `axes` (bits X 1, Y 2, Z 4) where the machine stands: a G92 offset,
    // or into the system in use, which the controller keeps across resets. Why not now; empty
    // when its lines went out or were refused (which the session says itself).
    QString zeroWork(int axes, bool intoSystem);

signals:
    void lineReceived(const QString &line);
    void lineSent(const QString &line);
    void notice(const QString &text);
    void statusReported();
    void jobChanged();
    void probeFinished(bool contact, const QString &message);
    void gridProbeProgress(int done, int total, int secondsLeft);
    void gridProbeFinished(const GridProbeOutcome &outcome);
    void dialectChanged();
    // The controller's modes differ from those the program is read in: chooseStart decides.
    void startNeedsChoice(const QStringList &differences);
    void modesChanged();
    void workOffsetChanged();
    // The port exists but this user may not open it.
    void permissionDenied(const QString &device);
    void modalStateChanged();
    // The system in use, or what is known of the systems' offsets, changed.
    void coordinateSystemsChanged();

private:
    enum Tag
    {
        CommandTag = -1,
        ProbeTag = -2,
        RestoreTag = -3, // puts back the modes a jog or a probe changed
        JogTag = -4,     // a continuous jog's move, dropped unsent when released
        NoTag = -5,
        StartCheckTag = -6, // the "$G" asked before a program starts
        SettingsTag = -7,   // the "$$" asked for the machine's limits
        GridTag = -8,       // a line of a grid probe
        OffsetsTag = -9,    // the "$#" asked after a line that may have moved an offset
        MacroTag = -16      // and below: a macro's line, a value of its own for each run
    };
    struct Queued
    {
        QByteArray bytes;
        int tag;
    };

    void readLine(const QString &line);
    void readStatus(const QString &line);
    void answered(bool ok, const QString &reply);
    void alarmed(const QString &line);
    void controllerRestarted(const QString &banner);
    void linkLost();
    void SendQueuedLines();
    bool write(const QByteArray &bytes, int tag);
    void enqueue(const QByteArray &bytes, int tag);
    void payOwedRestore();
    ModalState expectedModes() const;
    void readSetting(const QString &line);
    void readOffsets(const QString &line);
    void wantOffsets();
    void askOffsets();
    void tellSystem();
    void followAccepted(const QByteArray &line);
    void offsetLost();
    void decideStart(bool ok, const QString &reply);
    void beginJob(const ModalState &start);
    void cancelStart(const QString &why);
    void pumpJog09();
    void tellAlarmHint();
    double jogSpeed09(int axis, int feed) const;
    void dropEverything();
    void endProbe(const ProbeCycle::Ending &ending, bool sendLines);
    void forgetToolReference(const QString &why);
    void gridAnswered(bool ok, const QString &reply);
    void pumpGrid();
    void showGridProgress();
    void endGrid(const GridProbeOutcome &outcome, bool sendLines);
    void jobRefusedLine(int index, const QString &reply);
    void pollWhileDraining();
    void jobMayHaveChanged();
    bool sendLine(const QString &line, bool locked);
    QString refusal(const QString &line, const QString &cleaned, bool locked) const;
    void pumpMacro();
    void macroAnswered(bool ok, const QByteArray &line, const QString &reply);
    void endMacro(const QString &why);
    // An answer for a run that ended (an alarm does not drop what is on its way) is not taken
    // for the next run's.
    int macroTag() const { return MacroTag - macroRuns % 4096; }
    void readIdentity(const QString &line);
    void learnDialect(const Dialect &dialect);
    void readModalState(const QString &line);
    void derivePositions();
    void pumpJog();
    void cancelJog();

    TerminalCommunication link;
    bool linkWasUp = false;
    bool feedingHeld = false;
    QQueue<Queued> queue;
    StreamWindow window;
    Job job;
    Job::State shownState = Job::State::Idle; // what the last jobChanged told
    Job::Hold shownHold = Job::Hold::None;
    QElapsedTimer jobClock;
    qint64 jobEndedMs = -1;
    QTimer drainPoll;
    bool drainPolled = false;
    ProbeCycle probe;
    QTimer probeTimer;
    QByteArray restoreOwed;  // refused in an alarm or cut off: sent before the next line
    QByteArray probeRestore; // what the running probe's lines change, put back
    std::optional<double> referenceTouch;
    GridProbe grid;
    QElapsedTimer gridClock;
    QByteArray gridRestore;       // what a grid probe's lines change, put back
    QByteArray jogRestore;        // what a 0.9 continuous jog's lines change, put back
    QQueue<QByteArray> sentLines; // beside the window: what each outstanding answer is for
    ModalState modes;
    ExecutionTracker tracker;
    bool starting = false; // a program waits for the controller's modes or the operator
    QString startText;
    std::optional<StartFromLine> startFrom;
    bool startCheck = false;
    int offsetAxes = 0; // bits X=1, Y=2, Z=4: a G92 offset set through this station
    int lostAxes = 0;
    bool offsetCheckOwed = false; // a reconnect without a banner: is the G92 offset still there?
    bool connectQuestionsOwed = false; // "$G" and "$#" once the controller has shown it is up
    WorkOffsets workSystems;
    bool offsetsWanted = false; // a line or a link may have changed them since the last "$#"
    bool offsetsAsked = false;
    // "$#" is refused while the machine moves: asked again once a report says it is at rest.
    bool offsetsAwaitReport = false;
    bool jogUnreported = false; // a jog was written and no report has come since its ok
    bool inParameters = false;  // between "$#"'s first line and its "ok"
    int offsetsTries = 0;
    int shownSystem = 54;
    std::array<double, 3> maxRate{500, 500, 500};   // $110-$112, factory values until read
    std::array<double, 3> acceleration{10, 10, 10}; // $120-$122
    std::optional<bool> homingEnabled;              // $22
    bool settingsAsked = false;
    bool alarmHintOwed = false;
    bool settingsRead = false;
    double jogSentDistance = 0; // 0.9: mm sent along the jog's axis since it began
    std::optional<double> jogStartPosition;
    Dialect grbl;
    bool buildInfoAsked = false;
    QString machineState;
    StatusReport report;
    std::optional<StatusReport::Position> machine;
    std::optional<StatusReport::Position> work;
    std::optional<StatusReport::Position> offset;
    // A line the controller accepted, or a reset, changed the work offset since the last report
    // that told it: positions in work coordinates cannot be read from it yet.
    bool offsetUnreported = false;
    QString modal;
    QString jogDirection;
    int jogFeed = 0;
    QTimer jogPump;
    QElapsedTimer jogClock;
    double jogQueuedUntil = 0; // seconds on jogClock up to which jog moves are queued
    MacroRun macroRun;
    int macroRuns = 0;
};
