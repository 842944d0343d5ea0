#pragma once

#include "program/JobProgram.h"

#include <QString>

// One run of a program, from Send to its end, as a state machine without a clock or a link:
// the session tells it what happened and asks it what to send next.
//
//   Idle -> Running <-> Holding -> Finished | Failed | Stopped | Interrupted
//
// A line the controller refuses holds the job (feeding stops until Cycle Start); a reset ends
// it, a lost link interrupts it. What the controller has taken in is counted apart from what
// the machine has finished: the line shown, the progress and every outcome name the first line
// not known to be finished, so that a restart from it never skips a cut.
class Job
{
public:
    enum class State
    {
        Idle,
        Running,
        Holding,
        Finished,
        Failed,
        Stopped,
        Interrupted
    };
    enum class Hold
    {
        None,
        Operator,    // feed hold: the controller pauses, lines may still be queued
        Error,       // a refused line: nothing more is sent until the operator goes on
        ToolChange,  // at rest, spindle stopped, waiting for the operator's new tool
        ProgramPause // M0 / M1: the controller holds until Cycle Start
    };

    Job() = default;
    // Without stopping on errors (the controller's check mode, where nothing moves), a refused
    // line is only counted and told.
    explicit Job(JobProgram program, bool stopOnError = true);

    State state() const { return current; }
    Hold hold() const { return holdReason; }
    bool isActive() const { return current == State::Running || current == State::Holding; }
    bool isOver() const { return current > State::Holding; }

    // The next entry to write, with nothing-to-send entries passed over (and counted done);
    // -1 when none may go now.
    int nextToSend();
    void sent(int index);
    void confirmed(int index);
    void refused(int index, const QString &reply);
    void feedHold();
    void cycleStart();
    void reset();
    void linkLost();
    void alarm(const QString &text);
    // The controller holds (a report says Hold): with the program's own pause the oldest line
    // it has not answered, that pause has begun.
    void controllerHeld();
    // Every entry before `entry` is finished (see ExecutionTracker).
    void finishedBefore(int entry);
    // The controller reported itself at rest. A job whose lines are all answered may still be
    // moving through the controller's planner; it is finished only once the machine stands.
    // So is a tool change: it holds the job only once everything before it has been done.
    void machineStopped();
    bool isDraining() const { return current == State::Running && draining; }
    bool waitsForRest() const { return isDraining() || toolChangeDue(); }

    const JobProgram &program() const { return lines; }
    int total() const { return lines.size(); }
    // Confirmed by "ok", or passed with nothing to send.
    int confirmed() const { return confirmedCount; }
    // Entries known to be finished by the machine.
    int done() const { return current == State::Finished ? lines.size() : unfinished; }
    int percent() const;
    // Editor line of the first line not known to be finished (the last one once all are); and
    // of the last finished one, 0 before the first.
    int runningLine() const;
    int finishedLine() const;
    // The editor line and the reply of the refusal or alarm that held or ended the job.
    int faultLine() const { return failedLine; }
    int refusedLines() const { return refusedCount; }
    const QString &faultReply() const { return failure; }

    // "finished in 12:04", "failed at line 57: error: ...", "stopped at line 812",
    // "interrupted at line 300: link lost", "error at line 57: ..." while held on an error.
    QString describe(qint64 elapsedMs) const;
    static QString duration(qint64 ms);

private:
    bool toolChangeDue() const; // every line before the next tool change is answered
    QString toolChangePrompt() const;
    void finishIfDone();
    void end(State state);

    JobProgram lines;
    State current = State::Idle;
    Hold holdReason = Hold::None;
    int nextIndex = 0;
    int confirmedCount = 0;
    int answeredCount = 0; // confirmed, refused or passed: the job is over when all are
    int refusedCount = 0;
    bool draining = false;
    bool stopOnError = true;
    int changedAt = -1; // the tool change the operator has done
    int pauseSent = -1; // a pause line on its way: nothing more until it is answered
    int unfinished = 0; // every entry before it is finished
    int failedLine = 0;
    QString failure;
};
