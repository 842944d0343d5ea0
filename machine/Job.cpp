#include "Job.h"

Job::Job(JobProgram program, bool stopOnError)
    : lines(std::move(program)), current(State::Running), stopOnError(stopOnError)
{
    finishIfDone();
}

// A feed hold only pauses the machine: lines still go into its buffer. Anything else that
// holds the job stops the feeding, and so do a pause line on its way and a tool change ahead.
int Job::nextToSend()
{
    const bool feeding =
        current == State::Running || (current == State::Holding && holdReason == Hold::Operator);
    if (!feeding || pauseSent >= 0)
        return -1;
    while (nextIndex < lines.size()) {
        if (lines.kind(nextIndex) == JobProgram::Kind::ToolChange && changedAt != nextIndex)
            return -1;
        if (!lines.bytes(nextIndex).isEmpty())
            return nextIndex;
        ++nextIndex;
        ++confirmedCount;
        ++answeredCount;
        finishIfDone();
    }
    return -1;
}

void Job::sent(int index)
{
    if (index != nextIndex)
        return;
    if (lines.kind(index) == JobProgram::Kind::Pause)
        pauseSent = index;
    ++nextIndex;
}

void Job::confirmed(int index)
{
    if (!isActive() || index < 0 || index >= nextIndex)
        return;
    ++confirmedCount;
    ++answeredCount;
    // The controller answers its pause only once Cycle Start has ended it.
    if (index == pauseSent)
        pauseSent = -1;
    finishIfDone();
}

void Job::controllerHeld()
{
    if (current == State::Running && pauseSent >= 0 && answeredCount == pauseSent) {
        current = State::Holding;
        holdReason = Hold::ProgramPause;
    }
}

void Job::finishedBefore(int entry)
{
    unfinished = qBound(unfinished, entry, qMin(nextIndex, lines.size()));
}

int Job::runningLine() const
{
    for (int index = unfinished; index < lines.size(); ++index) {
        if (!lines.bytes(index).isEmpty())
            return lines.editorLine(index);
    }
    return lines.isEmpty() ? 0 : lines.editorLine(lines.size() - 1);
}

int Job::finishedLine() const
{
    const int count = done();
    return count > 0 ? lines.editorLine(count - 1) : 0;
}

void Job::machineStopped()
{
    if (isDraining()) {
        end(State::Finished);
    } else if (toolChangeDue()) {
        current = State::Holding;
        holdReason = Hold::ToolChange;
    }
}

// The controller goes on with what it already holds; a feed hold keeps the part from being
// cut with the wrong line missing until the operator has looked.
void Job::refused(int index, const QString &reply)
{
    if (!isActive() || index < 0 || index >= nextIndex)
        return;
    ++answeredCount;
    ++refusedCount;
    if (index == pauseSent)
        pauseSent = -1;
    failedLine = lines.editorLine(index);
    failure = reply;
    if (!stopOnError) {
        finishIfDone();
        return;
    }
    current = State::Holding;
    holdReason = Hold::Error;
}

void Job::feedHold()
{
    if (current != State::Running)
        return;
    current = State::Holding;
    holdReason = Hold::Operator;
}

void Job::cycleStart()
{
    if (current != State::Holding)
        return;
    if (holdReason == Hold::ToolChange)
        changedAt = nextIndex;
    current = State::Running;
    holdReason = Hold::None;
    finishIfDone();
}

void Job::reset()
{
    if (isActive() && holdReason != Hold::Error)
        failure.clear(); // a refusal the operator went on from is not why it stopped
    end(holdReason == Hold::Error ? State::Failed : State::Stopped);
}

void Job::linkLost()
{
    end(State::Interrupted);
}

void Job::alarm(const QString &text)
{
    // The alarm that follows a reset in motion tells why the position may be lost.
    if (current == State::Stopped && failure.isEmpty()) {
        failure = text;
        return;
    }
    if (!isActive())
        return;
    failedLine = runningLine();
    failure = text;
    end(State::Failed);
}

int Job::percent() const
{
    return lines.isEmpty() ? 0 : int(qint64(done()) * 100 / lines.size());
}

void Job::finishIfDone()
{
    draining = answeredCount >= lines.size();
}

void Job::end(State state)
{
    if (!isActive())
        return;
    current = state;
    holdReason = Hold::None;
}

bool Job::toolChangeDue() const
{
    return current == State::Running && nextIndex < lines.size() &&
           lines.kind(nextIndex) == JobProgram::Kind::ToolChange && changedAt != nextIndex &&
           answeredCount == nextIndex;
}

QString Job::toolChangePrompt() const
{
    const JobProgram::ToolChange change = lines.toolChange(nextIndex);
    QString tool;
    if (change.tool >= 0)
        tool = QStringLiteral(": T%1").arg(change.tool) +
               (change.comment.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(change.comment));
    return QStringLiteral("Tool change at line %1%2. Change the tool, then press Cycle Start.")
        .arg(lines.editorLine(nextIndex))
        .arg(tool);
}

QString Job::duration(qint64 ms)
{
    const qint64 seconds = qMax<qint64>(0, ms) / 1000;
    const QString ss = QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return QStringLiteral("%1:%2").arg(seconds / 60).arg(ss);
    const QString mm = QStringLiteral("%1").arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3").arg(seconds / 3600).arg(mm, ss);
}

QString Job::describe(qint64 elapsedMs) const
{
    const QString line = confirmedCount > 0 ? QStringLiteral("at line %1").arg(runningLine())
                                            : QStringLiteral("before the first line");
    switch (current) {
    case State::Idle:
        return {};
    case State::Running:
        return QStringLiteral("running: %1 of %2 lines, %3")
            .arg(done())
            .arg(lines.size())
            .arg(duration(elapsedMs));
    case State::Holding:
        switch (holdReason) {
        case Hold::Error:
            return QStringLiteral("error at line %1: %2").arg(failedLine).arg(failure);
        case Hold::ToolChange:
            return toolChangePrompt();
        case Hold::ProgramPause:
            return QStringLiteral("paused by the program at line %1")
                .arg(lines.editorLine(qMax(0, pauseSent)));
        default:
            return QStringLiteral("held %1, %2").arg(line, duration(elapsedMs));
        }
    case State::Finished: {
        QString text = QStringLiteral("finished in %1").arg(duration(elapsedMs));
        if (refusedCount > 0)
            text += QStringLiteral(", %1 line(s) refused by the controller").arg(refusedCount);
        if (lines.leftOut() > 0)
            text += QStringLiteral(", %1 line(s) after the program's end left out")
                        .arg(lines.leftOut());
        return text;
    }
    case State::Failed:
        if (failedLine == 0)
            return QStringLiteral("failed before the first line: %1").arg(failure);
        return QStringLiteral("failed at line %1: %2").arg(failedLine).arg(failure);
    case State::Stopped:
        return QStringLiteral("stopped %1").arg(line) +
               (failure.isEmpty() ? QString() : QStringLiteral(": ") + failure);
    case State::Interrupted:
        return QStringLiteral("interrupted %1: link lost").arg(line);
    }
    return {};
}
