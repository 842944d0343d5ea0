#pragma once

#include <QStringView>

// What one program line says, read the way the controller reads it: comments in parentheses
// and from a semicolon to the end of the line are dropped, blanks are dropped everywhere (also
// inside a number), letters may be lower case, and every word is a letter followed by a number
// (an optional sign, digits and at most one point). Numbers are 32-bit floats, as in the
// controller.
//
// The controller refuses a whole line that holds a malformed word, a letter it does not know,
// a letter given twice, a G number it does not know or two motion commands; such a line is
// marked refused and means nothing at all.
struct LineWords
{
    enum Word : quint8
    {
        X = 1,
        Y = 2,
        Z = 4,
        I = 8,
        J = 16,
        R = 32,
        F = 64,
        P = 128,
        Axes = X | Y | Z
    };
    // The motion modal group; the first four values are the G numbers.
    enum Motion : qint8
    {
        NoMotion = -1,
        Rapid = 0,
        Linear = 1,
        Clockwise = 2,
        CounterClockwise = 3,
        Probe = 4, // G38.2 to G38.5
        Cancel = 5 // G80
    };
    enum Distance : quint8
    {
        DistanceUnsaid,
        Absolute,   // G90
        Incremental // G91
    };
    enum Units : quint8
    {
        UnitsUnsaid,
        Millimetres, // G21
        Inches       // G20
    };
    enum Plane : quint8
    {
        PlaneUnsaid,
        XY, // G17
        ZX, // G18
        YZ  // G19
    };

    float x = 0;
    float y = 0;
    float z = 0;
    float i = 0;
    float j = 0;
    float r = 0;
    float f = 0;
    float p = 0;
    quint8 present = 0; // Word bits
    qint8 motion = NoMotion;
    quint8 distance : 2; // a Distance
    quint8 units : 2;    // a Units
    // G4, G10, G28, G30, G43.1, G53 or G92: the line's axis words are no move in program
    // coordinates.
    quint8 special : 1;
    quint8 dwell : 1; // G4 (special too)
    // The controller lets all planned motion run out before the line: G4, and the M words of
    // program stops, the spindle and the coolant.
    quint8 stops : 1;
    quint8 refused : 1;
    quint8 toolLength : 1;  // G43.1 (special too)
    quint8 plane : 2;       // a Plane
    quint8 inverseTime : 1; // G93
    quint8 workOffset : 1;  // G10, G92, G92.1 (special too): the work coordinates change

    LineWords()
        : distance(DistanceUnsaid), units(UnitsUnsaid), special(0), dwell(0), stops(0), refused(0),
          toolLength(0), plane(PlaneUnsaid), inverseTime(0), workOffset(0)
    {
    }

    bool has(Word word) const { return present & word; }
};

// Reads the first line of text: up to its first CR or LF, or the line or paragraph separator
// that a document holds where its plain text has a line feed. Stores the line's length in
// *length, when given.
LineWords readLineWords(QStringView text, qsizetype *length = nullptr);

// The toolkit's own conversion (QString::toFloat) for the text of a word's number without
// blanks: failures give 0, as there; a number beyond the float range gives infinity, as there.
float programNumberToFloat(QStringView digits);
