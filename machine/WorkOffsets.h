#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// The work coordinate systems as the controller's "$#" answer tells them: G54..G59 live in its
// settings store and survive resets and power cycles; the G92 offset lives in memory only and
// a reset clears it. Values are machine coordinates, as the controller reports them.
struct WorkOffsets
{
    using Axes = std::array<double, 3>;
    std::array<std::optional<Axes>, 6> systems; // G54..G59
    std::optional<Axes> g92;

    // One line of the answer, "[G55:10.000,0.000,-5.000]": true when it is one of those kept
    // here and changed what is known. Other lines and unreadable values change nothing.
    bool read(const QString &line);
    // Known and not zero on some axis, as far as three decimals tell.
    bool hasG92() const;
    static bool isZero(double value) { return value > -0.0005 && value < 0.0005; }
    // "X 10.000  Y 0.000  Z -5.000", or "not known yet".
    static QString describe(const std::optional<Axes> &axes);

    // Axes are bits, X 1, Y 2, Z 4. "G92 X0 Z0": lost at the next reset.
    static QString g92ZeroLine(int axes);
    // The work position reads 0 on `axes` in `system` (54..59), kept by the controller:
    // G10 L20. It writes a G92 offset in force into the system, so that a reset would bring
    // it back; the G92 offset is cleared first, and set again on the other axes so that their
    // work position `work` (mm) stays what it is.
    static QStringList systemZeroLines(int axes, int system, const Axes &g92, const Axes &work,
                                       bool inches);
};
