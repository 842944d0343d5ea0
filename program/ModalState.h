#pragma once

#include "MachineState.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// What the controller's parser keeps from one line to the next, as far as the station must know
// it: to put back what its own lines (a jog, a probe) change, to tell whether a program starts
// in the state it was read in, and to show what the spindle and coolant were last told.
struct ModalState
{
    bool inches = false;      // G20
    bool incremental = false; // G91
    int plane = 17;           // G17, G18, G19
    bool inverseTime = false; // G93
    int system = 54;          // G54 .. G59
    int motion = 0;           // G number times 10: 0, 10, 20, 30, 382 .. 385, 800
    double feed = 0;          // mm/min; 0: none given, a feed move is refused
    int spindle = 5;          // M3, M4, M5
    double speed = 0;
    bool flood = false; // M8
    bool mist = false;  // M7
    int tool = 0;
    std::optional<double> toolLength; // G43.1 Z, mm; none after G49

    // A line the controller accepted, cleaned of comments.
    void apply(QStringView cleanedLine);
    // The answer to "$G": "[GC:G0 G54 G17 G21 G90 G94 M5 M9 T0 F0 S0]" (1.1) or
    // "[G0 G54 G17 G21 G90 G94 M0 M5 M9 T0 F0. S0.]" (0.9); nullopt for any other line.
    static std::optional<ModalState> fromParserState(const QString &line);

    // The words that put distance mode, motion mode and feed (and units and feed mode where
    // `now` differs) back as they are here, for a controller in state `now`: "G90 G0 F100".
    QString restoreWords(const ModalState &now) const;
    // Where the modes a program is read in (units, distance, plane, feed mode, coordinate
    // system) differ from `expected`, in words for the operator.
    QStringList differencesFrom(const ModalState &expected) const;
    // "G21 G90 G17 G94 G54": the modes a program is read in, as words.
    QString startWords() const;
    // The whole state a program relies on after a stop, for a tool change: modes, feed,
    // spindle and coolant.
    QString resumeWords() const;
    // The feed as the controller's F word says it, in the units in force.
    QString feedWord() const;
    // The path reading's state for a program that begins in these modes, at the origin.
    MachineState reading() const;
    // A number as the controller reads it: plain decimals to 4 places, no exponent.
    static QString plainNumber(double value);
};
