#include "ProgramLine.h"

namespace ProgramLine {

QString cleaned(QStringView line)
{
    QString kept;
    kept.reserve(line.size());
    bool inComment = false;
    for (const QChar c : line) {
        if (inComment) {
            inComment = c != QLatin1Char(')');
        } else if (c == QLatin1Char('(')) {
            inComment = true;
        } else if (c == QLatin1Char(';')) {
            break;
        } else {
            kept.append(c);
        }
    }
    return kept.trimmed();
}

bool isRealtimeByte(ushort unicode)
{
    return unicode == '?' || unicode == '!' || unicode == '~' || unicode == 0x18 || unicode >= 0x80;
}

Check check(QStringView cleanedLine)
{
    int characters = 0;
    for (const QChar c : cleanedLine) {
        if (isRealtimeByte(c.unicode()))
            return {Fault::RealtimeByte, c};
        if (c.unicode() > ' ')
            ++characters;
    }
    if (characters > maxCharacters)
        return {Fault::TooLong, {}};
    return {};
}

QString faultText(const Check &check)
{
    switch (check.fault) {
    case Fault::RealtimeByte: {
        const ushort code = check.byte.unicode();
        const QString shown = code > ' ' && code < 0x7f
                                  ? QStringLiteral("'%1'").arg(check.byte)
                                  : QStringLiteral("U+%1").arg(code, 4, 16, QLatin1Char('0'));
        return QStringLiteral("it holds %1, which the controller would act on at once").arg(shown);
    }
    case Fault::TooLong:
        return QStringLiteral("it is longer than the controller's %1 characters")
            .arg(maxCharacters);
    case Fault::None:
        break;
    }
    return {};
}

namespace {

int skipBlanks(QStringView line, int at)
{
    while (at < line.size() && line.at(at).unicode() <= ' ')
        ++at;
    return at;
}

// Digits with at most one point, blanks between them skipped; false without a digit.
bool readNumber(QStringView line, int &at, double &value)
{
    at = skipBlanks(line, at);
    bool negative = false;
    if (at < line.size() && (line.at(at) == QLatin1Char('-') || line.at(at) == QLatin1Char('+')))
        negative = line.at(at++) == QLatin1Char('-');
    double number = 0;
    double scale = 0;
    bool digits = false;
    for (at = skipBlanks(line, at); at < line.size(); at = skipBlanks(line, at + 1)) {
        const QChar c = line.at(at);
        if (c.isDigit() && c.unicode() < 0x80) {
            digits = true;
            const int digit = c.unicode() - '0';
            if (scale == 0) {
                number = number * 10 + digit;
            } else {
                number += digit * scale;
                scale /= 10;
            }
        } else if (c == QLatin1Char('.') && scale == 0) {
            scale = 0.1;
        } else {
            break;
        }
    }
    value = negative ? -number : number;
    return digits;
}

} // namespace

std::optional<int> wholeValue(const Word &word)
{
    if (!(word.value >= -1e6 && word.value <= 1e6) || word.value != int(word.value))
        return std::nullopt;
    return int(word.value);
}

QVector<Word> words(QStringView cleanedLine)
{
    QVector<Word> found;
    int at = skipBlanks(cleanedLine, 0);
    while (at < cleanedLine.size()) {
        const QChar letter = cleanedLine.at(at).toUpper();
        if (letter < QLatin1Char('A') || letter > QLatin1Char('Z'))
            break;
        Word word{char(letter.unicode()), 0, at, at + 1};
        if (!readNumber(cleanedLine, word.end, word.value))
            break;
        found.append(word);
        at = skipBlanks(cleanedLine, word.end);
    }
    return found;
}

QString without(QStringView cleanedLine, const QVector<Word> &dropped)
{
    QString kept;
    int from = 0;
    for (const Word &word : dropped) {
        kept += cleanedLine.mid(from, word.start - from);
        from = word.end;
    }
    kept += cleanedLine.mid(from);
    return kept.simplified();
}

} // namespace ProgramLine
