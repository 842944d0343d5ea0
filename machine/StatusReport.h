#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <optional>

// What one "<...>" status line says, read by field name in both of the controller's forms:
// 0.9's "<Idle,MPos:1,2,3,WPos:1,2,3>" and 1.1's "<Hold:0|MPos:1,2,3|FS:0,0|WCO:0,0,0>".
// Fields may come in any order after the state; unknown ones are ignored, and one that cannot
// be read (values missing, too many, not numbers, beyond a double) is left out, so a report
// never puts a wrong value on the screen.
struct StatusReport
{
    struct Position
    {
        std::array<double, 3> value{};
        QStringList text; // as the controller wrote it; derived ones with three decimals
    };

    QString state;    // the state word: "Hold" of "Hold:0"; "" when absent
    QString subState; // "0" of "Hold:0"
    bool barForm = false;
    std::optional<Position> machine;             // MPos
    std::optional<Position> work;                // WPos
    std::optional<Position> offset;              // WCO: machine = work + offset
    std::optional<double> feed;                  // FS's first value, or F
    std::optional<double> spindle;               // FS's second value
    std::optional<std::array<int, 3>> overrides; // Ov: feed, rapid, spindle in percent
    std::optional<QString> pins;                 // Pn: letters of the triggered inputs
    std::optional<QString> accessories;          // A: S, C, F, M; 1.1 leaves it out when off
    std::optional<int> line;                     // Ln
};

StatusReport parseStatusReport(QStringView line);

// The position three decimals long, as the controller writes them.
StatusReport::Position positionOf(const std::array<double, 3> &value);
