#pragma once

#include <QRandomGenerator>
#include <QString>

// Random program lines that stress the word rules rather than look like a real program:
// comments with letters in them, spaced and unspaced words, lone signs and points, G words the
// preview ignores, huge and tiny numbers, letters no rule knows.
namespace RandomWords {

inline QString digits(QRandomGenerator &random, int count)
{
    QString text;
    for (int n = 0; n < count; ++n)
        text += QChar('0' + random.bounded(10));
    return text;
}

inline QString number(QRandomGenerator &random)
{
    switch (random.bounded(16)) {
    case 0:
        return QString();
    case 1:
        return QStringLiteral("-");
    case 2:
        return QStringLiteral(".");
    case 3:
        return QStringLiteral("-.");
    case 4:
        return QStringLiteral("+") + digits(random, 1 + random.bounded(3));
    case 5:
        return digits(random, 16 + random.bounded(30)); // beyond exact doubles, some beyond floats
    case 6:
        return QStringLiteral("0.") + QString(random.bounded(40), QChar('0')) + digits(random, 3);
    case 7:
        return QStringLiteral("-0");
    case 8:
        return QString(random.bounded(1, 6), QChar('0')) + digits(random, 2);
    case 9:
        return digits(random, 1 + random.bounded(4)) + QStringLiteral(".");
    case 10:
        return QStringLiteral(".") + digits(random, 1 + random.bounded(4));
    case 11:
        return digits(random, 1 + random.bounded(3)) + "." + digits(random, 1 + random.bounded(3)) +
               "." + digits(random, 1);
    default: {
        const QString sign = random.bounded(3) == 0 ? QStringLiteral("-") : QString();
        return sign + digits(random, 1 + random.bounded(3)) + "." +
               digits(random, random.bounded(7));
    }
    }
}

inline QString gWord(QRandomGenerator &random)
{
    static const char *const numbers[] = {
        "0",           "00",        "1",  "01", "2",   "02",
        "3",           "03",        "17", "20", "21",  "38.2",
        "90",          "91",        "",   "4",  "2.5", "0000000000000000000000003",
        "99999999999", "2147483648"};
    return QString::fromLatin1(numbers[random.bounded(int(std::size(numbers)))]);
}

inline QString word(QRandomGenerator &random)
{
    static const QString letters = QStringLiteral("GgXxYyZzIiJjXYZIJGNnMmFfKkRrSsTPH");
    const QChar letter = letters[random.bounded(letters.size())];
    if (letter.toUpper() == QLatin1Char('G'))
        return letter + gWord(random);
    return letter + number(random);
}

inline QString filler(QRandomGenerator &random)
{
    static const char *const pieces[] = {
        " ",           "",  "  ", "\t", "(max depth)", "(tool change)", "(a (nested) note)",
        "(unclosed x", ")", "ä",  "%",  "(X1 Y2)",     "; g2 x4",       " - ",
        " . "};
    return QString::fromUtf8(pieces[random.bounded(int(std::size(pieces)))]);
}

inline QString line(QRandomGenerator &random)
{
    QString text;
    const int words = random.bounded(7);
    for (int n = 0; n < words; ++n) {
        if (random.bounded(3) == 0)
            text += filler(random);
        text += word(random);
        if (random.bounded(2) == 0)
            text += QLatin1Char(' ');
    }
    if (random.bounded(4) == 0)
        text += filler(random);
    return text;
}

inline QString program(QRandomGenerator &random, int lines)
{
    static const char *const breaks[] = {"\n", "\n", "\n", "\r\n", "\r", "\n\n"};
    QString text;
    for (int n = 0; n < lines; ++n)
        text += line(random) + QString::fromLatin1(breaks[random.bounded(int(std::size(breaks)))]);
    return text;
}

} // namespace RandomWords
