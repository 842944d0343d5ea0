#pragma once

#include <array>
#include <deque>
#include <vector>

// The controller's settings that decide how long its motion takes: the factory values until the
// controller's own are read.
struct MachineLimits
{
    std::array<double, 3> maxRate{500, 500, 500};   // $110-$112, mm/min
    std::array<double, 3> acceleration{10, 10, 10}; // $120-$122, mm/s^2
    double junctionDeviation = 0.01;                // $11, mm
    double arcTolerance = 0.002;                    // $12, mm

    // Takes one "$n=value" of the controller's; false for a setting that is none of these.
    bool set(int number, double value);
};

// Times straight moves the way the controller's planner runs them: each at its feed within
// every axis's maximum rate, speeding up and slowing down at the acceleration every axis
// allows, joining the next move at the speed the junction deviation allows for the angle
// between them. The planner holds 16 moves and plans them so that the last can stop at its
// end; a program streamed fast enough keeps it full, so a move ends at the speed that the 15
// moves after it allow.
class MotionTimeline
{
public:
    static constexpr int plannerMoves = 16;

    // lineEnds[line] becomes the time at which the controller finishes a move of that line;
    // lines whose moves are all finished later keep the latest.
    MotionTimeline(const MachineLimits &limits, std::vector<double> &lineEnds);

    // feed in mm/min; 0 for a rapid move, as fast as the axes go.
    void addMove(const std::array<double, 3> &from, const std::array<double, 3> &to, double feed,
                 int line);
    // The controller lets the planned motion run out before the line, then waits.
    void stop(double dwellSeconds, int line);
    // Runs out what is planned; the total in seconds.
    double finish();

private:
    struct Planned
    {
        std::array<double, 3> unit;
        double length = 0;       // mm
        double nominal = 0;      // mm/s
        double acceleration = 0; // mm/s^2
        double maxEntry = 0;     // mm/s, by the junction with the move before
        int line = 0;
    };

    double junctionSpeed(const Planned &move) const;
    double exitLimit() const;
    void runFront();

    MachineLimits limits;
    std::vector<double> &lineEnds;
    std::deque<Planned> planner;
    Planned last;          // the move planned last; its nominal 0 while at rest
    double frontEntry = 0; // mm/s
    double seconds = 0;
};
