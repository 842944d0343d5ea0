#pragma once

#include <QString>
#include <QStringView>
#include <QVector>

#include <optional>

// What the controller makes of one line, and whether it can take it at all. Its protocol layer
// throws comments away before anything else reads the line, and acts on some bytes wherever they
// stand, inside a comment too; so a line is cleaned before it is checked and sent.
namespace ProgramLine {

// The controller keeps at most this many characters of a line, blanks not counted.
constexpr int maxCharacters = 79;

// Comments "( ... )" (an unclosed one runs to the end) and ";" to the end removed, blanks at
// both ends trimmed. Blanks inside stay: the controller skips them anyway.
QString cleaned(QStringView line);

// '?', '!', '~' and ctrl-X act the moment they arrive, and 1.1 takes every byte from 0x80 up as
// a command of its own (a safety door, an override); none of them can be part of a line.
bool isRealtimeByte(ushort unicode);

enum class Fault
{
    None,
    RealtimeByte,
    TooLong
};

struct Check
{
    Fault fault = Fault::None;
    QChar byte; // the realtime byte found
};
Check check(QStringView cleanedLine);

// Why the line cannot be sent, for the operator; empty when it can.
QString faultText(const Check &check);

// One word of a line as the controller reads it: a letter (upper case) and its number.
struct Word
{
    char letter;
    double value;
    int start; // where it stands in the line it was read from, and where it ends
    int end;
};

// The word's number when it is a whole number of a sane size (codes, tool numbers).
std::optional<int> wholeValue(const Word &word);

// The words of a cleaned line: letters in either case, blanks anywhere skipped, a number with
// an optional sign and at most one point. Reading stops at anything else (the controller would
// refuse the line, and says so itself).
QVector<Word> words(QStringView cleanedLine);

// The line without the given words, blanks around them included.
QString without(QStringView cleanedLine, const QVector<Word> &dropped);

// Program delimiters the controller does not know and answers with an error.
inline bool isDelimiter(QStringView cleanedLine)
{
    return cleanedLine == QLatin1String("%");
}

} // namespace ProgramLine
