#include "WorkSurface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

bool readNumbers(const std::string &text, std::vector<double> &numbers)
{
    numbers.clear();
    const char *at = text.c_str();
    for (;;) {
        char *end = nullptr;
        const double value = std::strtod(at, &end);
        if (end == at || !std::isfinite(value) || std::fabs(value) > 1e6)
            return false;
        numbers.push_back(value);
        if (*end == '\0')
            return true;
        if (*end != ',')
            return false;
        at = end + 1;
    }
}

bool WorkSurface::parse(const std::string &text)
{
    std::vector<double> fields;
    if (!readNumbers(text, fields))
        return false;
    if (fields.size() != 3 && !(fields.size() == 7 && fields[6] > 0))
        return false;
    fields.resize(7, 0.0);
    z0 = fields[0];
    slopeX = fields[1];
    slopeY = fields[2];
    bump = fields[3];
    bumpX = fields[4];
    bumpY = fields[5];
    radius = fields[6];
    return true;
}

double WorkSurface::heightAt(double x, double y) const
{
    double height = z0 + slopeX * x + slopeY * y;
    const double distance = std::hypot(x - bumpX, y - bumpY);
    if (distance < radius)
        height += bump * (1 + std::cos(M_PI * distance / radius)) / 2;
    return height;
}

// Above the surface while positive.
double WorkSurface::clearance(Vec3 from, Vec3 to, double along) const
{
    const Vec3 tool = from + (to - from) * along;
    return tool.z - heightAt(tool.x, tool.y);
}

// Along a plane the clearance changes evenly. Over a bump it is looked at every eighth of the
// bump's radius, and the first step that reaches the surface is halved down to where it does.
std::optional<Vec3> WorkSurface::contact(Vec3 from, Vec3 to) const
{
    const double start = clearance(from, to, 0);
    if (start <= 0)
        return std::nullopt;
    if (!(radius > 0)) {
        const double end = clearance(from, to, 1);
        return end > 0 ? std::nullopt
                       : std::optional<Vec3>(from + (to - from) * (start / (start - end)));
    }
    const double across = std::hypot(to.x - from.x, to.y - from.y);
    const int steps = int(std::clamp(std::ceil(across / (radius / 8)), 1.0, 100000.0));
    double clear = 0;
    for (int k = 1; k <= steps; ++k) {
        double reached = double(k) / steps;
        if (clearance(from, to, reached) > 0) {
            clear = reached;
            continue;
        }
        for (int halving = 0; halving < 60; ++halving) {
            const double middle = (clear + reached) / 2;
            (clearance(from, to, middle) > 0 ? clear : reached) = middle;
        }
        return from + (to - from) * reached;
    }
    return std::nullopt;
}
