#include "LevelledProgram.h"

#include <QRegularExpression>

#include "LineLeveller.h"

#include <algorithm>
#include <cmath>

namespace {

// A line the controller cannot take at all: the job refuses the program and names the line in
// the operator's own numbering, so it goes to the job as the operator wrote it.
LevelledProgram asWritten(QStringView program, const QString &why)
{
    LevelledProgram levelled;
    levelled.text = program.toString();
    const int lines = int(program.count(QLatin1Char('\n'))) + 1;
    levelled.sourceLine.reserve(lines);
    for (int line = 1; line <= lines; ++line)
        levelled.sourceLine << line;
    levelled.warnings << why + QStringLiteral("; nothing is levelled");
    return levelled;
}

// A map probed or read is always sane; one made otherwise may not be.
bool usable(const HeightMap &map)
{
    if (map.isEmpty() || !(map.spacing() > 0 && map.spacing() <= 1e6))
        return false;
    for (int row = 0; row < map.rows(); ++row) {
        for (int column = 0; column < map.columns(); ++column) {
            if (!(std::fabs(map.height(column, row)) <= 1e6))
                return false;
        }
    }
    return true;
}

} // namespace

// Lines end at LF; a CR ends a line for the controller too, so the part after it is a line of
// its own, from the same editor line (an empty one, as in CR LF, is none).
LevelledProgram LevelledProgram::level(QStringView program, const HeightMap &map,
                                       double arcTolerance)
{
    LevelledProgram levelled;
    if (!usable(map)) {
        levelled.refusal = QStringLiteral("there is no usable height map to follow");
        return levelled;
    }
    LineLeveller leveller(map, arcTolerance);
    leveller.text.reserve(std::min<qsizetype>(program.size() * 2, 1 << 27));
    leveller.sourceLine.reserve(int(std::min<qsizetype>(program.size() / 16, 1 << 24)));
    int line = 1;
    qsizetype start = 0;
    bool lineBegins = true;
    for (qsizetype i = 0; i <= program.size(); ++i) {
        const QChar c = i == program.size() ? QLatin1Char('\n') : program.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        if (lineBegins || i > start) {
            switch (leveller.take(program.mid(start, i - start), line)) {
            case LineLeveller::Outcome::Taken:
                break;
            case LineLeveller::Outcome::Refused:
                levelled.refusal = leveller.refusal();
                return levelled;
            case LineLeveller::Outcome::Unsendable:
                return asWritten(program, leveller.refusal());
            }
        }
        lineBegins = c == QLatin1Char('\n');
        line += lineBegins;
        start = i + 1;
    }
    levelled.text = std::move(leveller.text);
    levelled.text.chop(1); // every line ends with LF, the last has none
    levelled.sourceLine = std::move(leveller.sourceLine);
    levelled.warnings = leveller.warnings();
    return levelled;
}

int LevelledProgram::operatorLine(int line, const QVector<int> &sourceLine)
{
    if (line <= 0 || sourceLine.isEmpty())
        return line;
    return sourceLine.value(std::min(line, int(sourceLine.size())) - 1);
}

QString LevelledProgram::inOperatorLines(const QString &text, const QVector<int> &sourceLine)
{
    if (sourceLine.isEmpty())
        return text;
    static const QRegularExpression lineNumber(QStringLiteral("\\bline (\\d+)"));
    QString told;
    qsizetype from = 0;
    for (auto found = lineNumber.globalMatch(text); found.hasNext();) {
        const QRegularExpressionMatch match = found.next();
        told += QStringView(text).mid(from, match.capturedStart(1) - from);
        told += QString::number(operatorLine(match.captured(1).toInt(), sourceLine));
        from = match.capturedEnd(1);
    }
    told += QStringView(text).mid(from);
    return told;
}
