#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// "G38.2 Z-20 F20": a straight probe along one axis over a signed distance; a distance of
// 0 or more carries an explicit "+".
QString probeCommand(QChar axis, double distance, int feed);
// "G92 Z1.55": the probed axis's work coordinate set to the switch height.
QString setPositionCommand(QChar axis, double height);

struct ProbeRequest
{
    ProbeRequest(QChar axis = QLatin1Char('Z'), double distance = -20, int feed = 20,
                 std::optional<double> setHeight = {})
        : axis(axis), distance(distance), feed(feed), setHeight(setHeight)
    {
    }

    QChar axis;
    double distance;
    int feed;
    std::optional<double> setHeight; // G92 on contact, when given
    // A tool's length on a fixed switch: the first touch is the reference tool's; a later one
    // sets the tool length offset (G43.1) to its difference from that touch, so a new tool cuts
    // where the reference tool would without zeroing Z again.
    bool toolLength = false;
    bool asReference = false;             // this tool is the reference, whatever came before
    std::optional<double> referenceTouch; // machine Z; none: this touch is the reference
};

// "G43.1 Z3.5": the offset of a tool that touched at machine Z `touch` from the reference.
QString toolLengthCommand(double touch, double reference);

// One probing move, from the line that starts it to the controller's own word on it: the
// "[PRB:x,y,z:1]" report of a contact. A state word of a status report cannot tell when the
// probe ended (it may end between two reports, and any later move looks the same), so only
// the report, or a definite failure, ends the cycle; nothing is sent for it afterwards.
class ProbeCycle
{
public:
    enum State
    {
        ProbeSent = 0,    // waiting for the controller's report
        ProbeRunning = 1, // and the machine has been seen moving
        ProbeIdle = 2
    };

    struct Ending
    {
        bool contact = false;
        QString message;
        QStringList lines;               // to send now: G92 or G43.1/G49 on contact, then G90
        std::optional<double> toolTouch; // a tool length touch's machine Z
    };

    // The lines that start a cycle: relative mode for the move, then the move.
    static QStringList startLines(const ProbeRequest &request);
    // How long the move may take: twice its time at the feed, and five seconds to spare.
    static int timeoutMs(const ProbeRequest &request);

    State state() const { return probeState; }
    bool isActive() const { return probeState != ProbeIdle; }
    QChar axis() const { return probing.axis; }
    const ProbeRequest &request() const { return probing; }

    void start(const ProbeRequest &request);
    void machineState(const QString &state);
    // Any line: nullopt unless it is a "[PRB:" report that ends a running cycle (a report
    // the cycle cannot read ends it too, as a failure).
    std::optional<Ending> probeReport(const QString &line);
    // The cycle ends without a contact: an alarm, a refused line, a reset, no answer.
    Ending fail(const QString &why);

    // The three machine coordinates and the contact flag of "[PRB:x,y,z:f]".
    struct Report
    {
        std::array<double, 3> position{};
        bool contact = false;
    };
    static std::optional<Report> readReport(const QString &line);

private:
    ProbeRequest probing;
    State probeState = ProbeIdle;
};
