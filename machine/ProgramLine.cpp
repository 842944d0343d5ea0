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

} // namespace ProgramLine
