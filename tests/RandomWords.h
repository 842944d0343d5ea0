#pragma once

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <algorithm>

// Random numbers and program lines that stress the word rules rather than look like a real
// program.
namespace RandomWords {

// At least `least` digits, and up to `more - 1` more.
inline QString digits(QRandomGenerator &random, int least, int more = 1)
{
    QString text;
    for (int n = least + random.bounded(more); n > 0; --n)
        text += QChar('0' + random.bounded(10));
    return text;
}

inline QString number(QRandomGenerator &random)
{
    const int form = random.bounded(16);
    if (form < 4 || form == 7) // no digits at all, or a negative zero
        return QStringList{"", "-", ".", "-.", "", "", "", "-0"}.at(form);
    switch (form) {
    case 4:
        return "+" + digits(random, 1, 3);
    case 5:
        return digits(random, 16, 30); // beyond exact doubles, some beyond floats
    case 6:
        return "0." + QString(random.bounded(40), QChar('0')) + digits(random, 3);
    case 8:
        return QString(random.bounded(1, 6), QChar('0')) + digits(random, 2);
    case 9:
        return digits(random, 1, 4) + ".";
    case 10:
        return "." + digits(random, 1, 4);
    case 11:
        return digits(random, 1, 3) + "." + digits(random, 1, 3) + "." + digits(random, 1);
    default:
        return (random.bounded(3) == 0 ? "-" : "") + digits(random, 1, 3) + "." +
               digits(random, 0, 7);
    }
}

// Lines a controller mostly takes, in every form it reads: modal and non-modal G words, units
// and distance modes, arcs by offsets and by radius (some too short for their chord), blanks
// inside words, lower case, comments holding letters; now and then a fault that makes it refuse
// the whole line.
inline QString coordinate(QRandomGenerator &random)
{
    const QString sign = random.bounded(3) == 0 ? "-" : random.bounded(8) == 0 ? "+" : "";
    switch (random.bounded(10)) {
    case 0:
        return sign + QStringLiteral(".") + digits(random, 1, 3);
    case 1:
        return sign + digits(random, 1, 2) + QStringLiteral(".");
    case 2:
        return sign + digits(random, 18); // beyond the exact digits of a double
    default:
        return sign + QString::number(random.bounded(60)) + "." + digits(random, 0, 5);
    }
}

inline QString spaced(QRandomGenerator &random, const QString &word)
{
    static const char *const noise[] = {" ", "\t", "(x1 g2)", "/"};
    QString text;
    for (const QChar c : word) {
        text += random.bounded(3) == 0 ? c.toLower() : c;
        if (random.bounded(12) == 0)
            text += QString::fromLatin1(noise[random.bounded(int(std::size(noise)))]);
    }
    return text;
}

inline QString commandWord(QRandomGenerator &random)
{
    static const char *const commands[] = {
        "G0",    "G00",     "G1",         "G01", "G1.0",  "G2",    "G02", "G3",
        "G03",   "G90",     "G91",        "G20", "G21",   "G17",   "G54", "G94",
        "G80",   "G4 P0.5", "G10 L20 P1", "G28", "G30",   "G53",   "G92", "G92.1",
        "G43.1", "G38.2",   "G91.1",      "M3",  "M5 M9", "S1000", "T1",  "N10"};
    return QString::fromLatin1(commands[random.bounded(int(std::size(commands)))]);
}

inline QString fault(QRandomGenerator &random)
{
    static const char *const faults[] = {"X",   "Y-",   "Z.", "Q1",     "%", "X1X2", "G0G1",
                                         "G99", "G1.5", "ä",  "X1.2.3", ")", "E5",   "G90G91"};
    return QString::fromUtf8(faults[random.bounded(int(std::size(faults)))]);
}

inline QString controllerLine(QRandomGenerator &random)
{
    QStringList words;
    for (int n = random.bounded(3); n > 0; --n)
        words << commandWord(random);
    for (const char *letter : {"X", "Y", "Z"}) {
        if (random.bounded(2) == 0)
            words << letter + coordinate(random);
    }
    for (int n = random.bounded(3) == 0 ? random.bounded(1, 3) : 0; n > 0; --n)
        words << QString("IJR")[random.bounded(3)] + coordinate(random); // offsets, radius
    if (random.bounded(5) == 0)
        words << "F" + QString::number(random.bounded(1, 2000));
    if (random.bounded(25) == 0)
        // As an int: Qt 6's size type would take another overload, and another stream.
        words.insert(random.bounded(int(words.size()) + 1), fault(random));
    std::shuffle(words.begin(), words.end(), random);
    QString line = spaced(random, words.join(random.bounded(4) ? " " : ""));
    if (random.bounded(6) == 0)
        line += random.bounded(2) ? QStringLiteral(" (tool change: x max depth)")
                                  : QStringLiteral(" ; g2 x4 r1");
    return line;
}

inline QString controllerProgram(QRandomGenerator &random, int lines)
{
    static const char *const breaks[] = {"\n", "\n", "\n", "\r\n", "\r", "\n\n"};
    QString text;
    for (int n = 0; n < lines; ++n)
        text += controllerLine(random) +
                QString::fromLatin1(breaks[random.bounded(int(std::size(breaks)))]);
    return text;
}

} // namespace RandomWords
