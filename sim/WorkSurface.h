#pragma once

#include "Vec3.h"

#include <optional>
#include <string>
#include <vector>

// "1,-2.5,3": finite numbers of at most a million, comma-separated; false for anything else.
bool readNumbers(const std::string &text, std::vector<double> &numbers);

// The top of the stock a probe touches, in machine coordinates: a plane, tilted or level, with
// an optional round bump on it, so that a probed height map has something to find.
class WorkSurface
{
public:
    // Level at machine Z `height`.
    explicit WorkSurface(double height = -5) : z0(height) {}

    // "Z0,SLOPEX,SLOPEY" or "Z0,SLOPEX,SLOPEY,BUMP,BX,BY,RADIUS"; false for anything else.
    bool parse(const std::string &text);

    // z = Z0 + SLOPEX x + SLOPEY y, and within RADIUS of (BX, BY) a bump of height BUMP at its
    // centre, falling off as a cosine to nothing at its rim.
    double heightAt(double x, double y) const;
    bool touches(Vec3 tool) const { return tool.z <= heightAt(tool.x, tool.y) + 1e-9; }
    // Where a move from `from` (clear of the surface) to `to` first meets it; nothing when it
    // stays clear.
    std::optional<Vec3> contact(Vec3 from, Vec3 to) const;

private:
    double clearance(Vec3 from, Vec3 to, double along) const;

    double z0;
    double slopeX = 0;
    double slopeY = 0;
    double bump = 0;
    double bumpX = 0;
    double bumpY = 0;
    double radius = 0;
};
