#include "HighlightSpans.h"

namespace {

constexpr int noRule = -1;

int ruleOfLetter(QChar c)
{
    switch (c.unicode() | 0x20) { // folds ASCII letters only onto lower case
    case 'n':
        return int(HighlightRule::N);
    case 'm':
        return int(HighlightRule::M);
    case 'g':
        return int(HighlightRule::G);
    case 'x':
        return int(HighlightRule::X);
    case 'y':
        return int(HighlightRule::Y);
    case 'z':
        return int(HighlightRule::Z);
    case 'i':
        return int(HighlightRule::I);
    case 'j':
        return int(HighlightRule::J);
    case 'k':
        return int(HighlightRule::K);
    case 'r':
        return int(HighlightRule::R);
    case 's':
        return int(HighlightRule::S);
    case 'f':
        return int(HighlightRule::F);
    default:
        return noRule;
    }
}

bool isDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

int skipDigits(QStringView text, int at)
{
    while (at < text.size() && isDigit(text[at]))
        ++at;
    return at;
}

int skipChar(QStringView text, int at, char wanted)
{
    return at < text.size() && text[at] == QLatin1Char(wanted) ? at + 1 : at;
}

int endOfWord(QStringView line, int letterAt, HighlightRule rule)
{
    if (rule == HighlightRule::N || rule == HighlightRule::M || rule == HighlightRule::G)
        return skipDigits(line, letterAt + 1);
    const int afterSign = skipChar(line, letterAt + 1, '-');
    return skipDigits(line, skipChar(line, skipDigits(line, afterSign), '.'));
}

} // namespace

QVector<HighlightSpan> highlightSpans(QStringView line)
{
    QVector<HighlightSpan> spans;
    for (int at = 0; at < line.size();) {
        const int rule = ruleOfLetter(line[at]);
        if (rule == noRule) {
            ++at;
            continue;
        }
        const int end = endOfWord(line, at, HighlightRule(rule));
        spans.append({at, end - at, HighlightRule(rule)});
        at = end;
    }
    for (int at = 0;;) {
        const qsizetype open = line.indexOf(QLatin1Char('('), at);
        const qsizetype close = open < 0 ? -1 : line.indexOf(QLatin1Char(')'), open + 1);
        if (close < 0)
            break;
        spans.append({int(open), int(close - open + 1), HighlightRule::Comment});
        at = int(close + 1);
    }
    return spans;
}
