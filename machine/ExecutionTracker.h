#pragma once

#include "program/MachineState.h"

#include <QStringView>

#include <array>
#include <deque>

// Which line of a job the machine is cutting. An "ok" means only that the controller took a
// line into its planner, up to sixteen moves ahead of the tool; so a line counts as finished
// once the reported position lies on the path of a later line, or the machine has stood still
// with nothing left to do. The search goes from the oldest unfinished line forward and stops
// at the first line whose path holds the position: a path that crosses itself can make the
// answer too early, never too late, so a restart from it never skips a cut.
//
// Lines whose path cannot be known from the program alone (a probe, moves in machine
// coordinates, a changed work offset) are passed only once the machine has been seen at rest,
// which also puts the reading back in step with the controller.
class ExecutionTracker
{
public:
    using Point = std::array<double, 3>;
    // How far a reported position may lie from the path it is on: the report's three decimals,
    // steps as coarse as 40 a millimetre, and the chords the controller cuts arcs into.
    static constexpr double tolerance = 0.05;

    // The reading state the job starts in, its position the machine's work position, and the
    // work system in use (54 .. 59).
    void start(const MachineState &initial, int workSystem = 54);
    // Job entry `entry` was taken in (entries are confirmed in order): its cleaned text.
    void confirmed(int entry, QStringView line);
    // A status report's work position; atRest when the controller reported Idle.
    void reported(const Point &work, bool atRest);
    // Every entry before it is finished.
    int firstUnfinished() const { return first; }

private:
    struct Step
    {
        enum Kind
        {
            Still, // nothing moves
            Straight,
            Arc,
            Unknown // moves or shifts the coordinates in a way the program does not tell
        };
        int entry = 0;
        Kind kind = Still;
        Point start{};
        Point end{};
        Point centre{};
        bool clockwise = false;
    };

    static bool onStep(const Step &step, const Point &p);
    void finishAll(const Point &work);

    MachineState reader;
    int system = 54;
    std::deque<Step> pending; // confirmed, not known to be finished
    int nextEntry = 0;
    int first = 0;
    int restReports = 0; // Idle reports in a row without a new line taken in
};
