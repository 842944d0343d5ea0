#pragma once

#include "link/Settings.h"
#include "machine/MachineSession.h"
#include "machine/SafeStop.h"
#include "program/HeightMap.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <optional>

// Streams one program from a terminal: connects, waits for the controller, runs the job with
// the same rules as the window, draws its progress, and says by its exit code how it went:
// 0 only when every line was confirmed without an error.
class TerminalSender : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString port;
        qint32 baud = 115200;
        QString file;
        bool check = false;  // the controller's check mode: nothing moves, every error is told
        int fromLine = 0;    // a start from this line, after its way in; 0: from the top
        HeightMap heightMap; // the program is levelled by it, unless it is empty
    };

    TerminalSender(const Options &options, std::FILE *out, std::FILE *err);
    // Runs until the job has ended; the exit code.
    int run();

    // "line 57 of 1200, 4 %, 0:12 elapsed, 4:40 remaining"; the remaining time once known.
    static QString progressText(int line, int total, int percent, qint64 elapsedMs,
                                std::optional<qint64> remainingMs);

    // Ctrl-C: the job is held, then the controller reset once it stands; a second one does not
    // wait. The reason, when given, is said first.
    void interrupt(const QString &reason = {});

private:
    enum class Phase
    {
        Connecting,
        Waiting,
        EnteringCheck,
        Running,
        Stopping,
        Done
    };

    void tick();
    void startJob();
    void jobChanged();
    void notice(const QString &text);
    void lineReceived(const QString &line);
    void operatorInput();
    void askStartChoice(const QStringList &differences);
    void stopped();
    void finish(int code, const QString &message);
    void showProgress(bool force);
    void say(std::FILE *stream, const QString &text);
    bool level();
    int operatorLine(int line) const;
    QString inOperatorLines(const QString &text) const;

    Options options;
    std::FILE *out;
    std::FILE *err;
    bool terminalOutput;
    Settings settings;
    MachineSession session;
    SafeStop safeStop{session};
    QTimer ticker;
    QSocketNotifier input;
    Phase phase = Phase::Connecting;
    QString program;
    QVector<int> sourceLines; // of a levelled program: the operator's line of each of its lines
    qint64 waitedMs = 0;
    qint64 lastPlainProgress = -1;
    bool progressShown = false;
    int exitCode = 1;
    bool choosingStart = false; // Enter sets the usual modes and starts
};
