#include "SafeStop.h"

namespace {
constexpr char feedHold = '!';
constexpr char softReset = 0x18;
} // namespace

SafeStop::SafeStop(MachineSession &session, QObject *parent) : QObject(parent), session(session)
{
    poll.setInterval(pollMs);
    connect(&poll, &QTimer::timeout, this, [this] {
        if (!this->session.isConnected())
            resetNow(); // nothing can reach the controller any more: nothing to wait for
        else
            this->session.pollStatus();
    });
    deadline.setSingleShot(true);
    deadline.setInterval(restTimeoutMs);
    connect(&deadline, &QTimer::timeout, this, [this] {
        emit notice(QStringLiteral("The machine did not come to rest within %1 s: reset anyway")
                        .arg(restTimeoutMs / 1000));
        resetNow();
    });
    connect(&session, &MachineSession::statusReported, this, &SafeStop::reported);
}

void SafeStop::start()
{
    if (running)
        return;
    running = true;
    heldAt.reset();
    restBefore = false;
    session.holdJog({}, 0); // a held jog would keep queueing moves
    session.holdFeeding();
    if (session.currentJob().state() != Job::State::Holding)
        session.sendRealtime(feedHold);
    session.pollStatus();
    poll.start();
    deadline.start();
}

void SafeStop::resetNow()
{
    if (!running)
        return;
    running = false;
    poll.stop();
    deadline.stop();
    session.sendRealtime(softReset);
    emit finished();
}

void SafeStop::reported()
{
    if (running && standsStill())
        resetNow();
}

// A reset while the axes still move would lose their position. At rest means two reports in a
// row in a state where nothing moves, at the same place: a single report may have been asked
// for before the hold, and 0.9 says "Hold" from the start of the hold to its end.
bool SafeStop::standsStill()
{
    const StatusReport &report = session.lastReport();
    static const QStringList resting = {QStringLiteral("Idle"), QStringLiteral("Queue"),
                                        QStringLiteral("Check"), QStringLiteral("Alarm")};
    const bool rest = resting.contains(report.state) ||
                      (report.state == QLatin1String("Hold") &&
                       (report.subState.isEmpty() || report.subState == QLatin1String("0")));
    const auto position = session.machinePosition();
    const bool unmoved = position && heldAt && position->value == *heldAt;
    const bool still = rest && restBefore && unmoved;
    restBefore = rest;
    heldAt = position ? std::optional(position->value) : std::nullopt;
    return still;
}
