#pragma once

#include <QStringView>

// What one program line says to the preview: the first X, Y, Z, I, J and G word of the raw line,
// comments included. A letter followed by no number still counts (its value is 0), only the
// first G word counts, and every other letter is ignored.
struct LineWords
{
    enum Word : quint8
    {
        X = 1,
        Y = 2,
        Z = 4,
        I = 8,
        J = 16
    };

    float x = 0;
    float y = 0;
    float z = 0;
    float i = 0;
    float j = 0;
    int g = -1; // -1: no G word
    quint8 present = 0;

    bool has(Word word) const { return present & word; }
};

// Reads the first line of text: up to its first CR or LF, or the line or paragraph separator
// that a document holds where its plain text has a line feed. Stores the line's length in
// *length, when given.
LineWords readLineWords(QStringView text, qsizetype *length = nullptr);

// The toolkit's own text-to-number conversions (QString::toFloat, QString::toInt in base 10),
// for the texts a word's number can be: "-?[0-9]*\.?[0-9]*" and "[0-9]*". Failures give 0, as
// there; a number beyond the float range gives infinity, as there.
float wordNumberToFloat(QStringView digits);
int wordNumberToInt(QStringView digits);
