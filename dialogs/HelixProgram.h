#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

// What the hole cutter's form asks for; lengths in mm, the feed in mm/min.
struct HelixInputs
{
    bool clockwise = false;
    double centreX = 0;
    double centreY = 0;
    double diameter = 10;
    double depth = 10;     // final depth below Z 0, positive
    double startDepth = 0; // depth at which cutting starts, positive
    double infeed = 1.5;   // depth gained per full turn
    int feedRate = 720;
    double toolDiameter = 3;
    int safetyHeight = 20;
    bool startAtSafetyHeight = false;
};

// The debug words of the input rules that fail, in rule order; empty when the inputs are usable.
QStringList helixInputProblems(const HelixInputs &inputs);

// The hole-cutting program, one line an entry: the tool spirals down the wall in arcs of 120°,
// each a third of the infeed deeper, turns once more flat at the depth and retracts. Empty when
// an input rule fails.
QStringList helixProgram(const HelixInputs &inputs);

// "X3.5000 Y0.0000": two letters with their numbers to four decimals.
QString coordinatePair(double a, double b, QChar p, QChar q);
