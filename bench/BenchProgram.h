#pragma once

#include "preview/PathPoint.h"
#include "program/HeightMap.h"

#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>
#include <QVector>

#include <cmath>
#include <fstream>
#include <random>
#include <string>

// What the benchmarks measure against: a program of a million lines (about 34 MB) that walks
// around the table with rapid, feed and arc moves, comments and feed rates, and a path of a
// million points of both colours.
namespace BenchProgram {

// The station's settings store in a folder of its own for the run, made before the application
// object: a benchmark neither reads nor changes the operator's (a dock hidden there would hide
// the preview here).
struct OwnSettingsStore
{
    QTemporaryDir folder;
    OwnSettingsStore() { qputenv("XDG_CONFIG_HOME", folder.path().toLocal8Bit()); }
};

inline QString millionLines(int lines = 1'000'000)
{
    QString text;
    text.reserve(lines * 36);
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> unit(-1, 1);
    double x = 0, y = 0;
    for (int n = 0; n < lines; ++n) {
        const int kind = n % 10;
        if (kind == 0) {
            text += QString::asprintf("G0 X%.3f Y%.3f Z5.000 (rapid)\n", x += unit(random),
                                      y += unit(random));
        } else if (kind < 7) {
            text +=
                QString::asprintf("G1 X%.3f Y%.3f Z%.3f F%d\n", x += 2 * unit(random),
                                  y += 2 * unit(random), -1 - 0.5 * unit(random), 600 + kind * 100);
        } else { // a short arc, either way round
            const bool clockwise = kind == 8;
            const double radius = 2 + unit(random), offset = M_PI * unit(random);
            const double i = radius * std::cos(offset), j = radius * std::sin(offset);
            const double end = std::atan2(-j, -i) + (clockwise ? -0.5 : 0.5);
            x += i + radius * std::cos(end);
            y += j + radius * std::sin(end);
            text +=
                QString::asprintf("G%d X%.3f Y%.3f I%.3f J%.3f\n", clockwise ? 2 : 3, x, y, i, j);
        }
    }
    return text;
}

inline QVector<PathPoint> millionPoints(int points = 1'000'000)
{
    QVector<PathPoint> path;
    path.reserve(points);
    std::mt19937 random(777);
    std::uniform_real_distribution<float> step(-1, 1);
    float x = 0, y = 0, z = 0;
    for (int n = 0; n < points; ++n) {
        x = std::clamp(x + step(random), -150.0f, 150.0f);
        y = std::clamp(y + step(random), -100.0f, 100.0f);
        z = std::clamp(z + 0.1f * step(random), -10.0f, 0.0f);
        path.append({x, y, z, float((n / 50) % 4 == 0 ? 0 : 1)});
    }
    return path;
}

// A tilted, gently waved surface over a square around the origin.
inline HeightMap wavedSurface(double half, int points)
{
    const HeightMap::Grid grid{-half, -half, half, half, points, points};
    QVector<double> heights(points * points);
    for (int row = 0; row < points; ++row) {
        for (int column = 0; column < points; ++column) {
            const double x = -half + 2 * half * column / (points - 1);
            const double y = -half + 2 * half * row / (points - 1);
            heights[row * points + column] = 0.001 * x - 0.0005 * y + 0.2 * std::sin(x / 40);
        }
    }
    return HeightMap(grid, heights);
}

inline double msSince(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

// A memory figure of this process from /proc/self/status in kB ("VmRSS:" resident now,
// "VmHWM:" its peak), 0 where the kernel does not give it.
inline long statusKb(const char *key)
{
    std::ifstream status("/proc/self/status");
    std::string word;
    long value = 0;
    while (status >> word) {
        if (word == key) {
            status >> value;
            return value;
        }
    }
    return 0;
}

inline long peakRssMb()
{
    return statusKb("VmHWM:") / 1024;
}

} // namespace BenchProgram
