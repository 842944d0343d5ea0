#include "LineLeveller.h"

#include "ArcSegments.h"
#include "ModalState.h"
#include "ProgramLine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double mmPerInch = 25.4;
// A coordinate farther out than this is a mistake in the program, not a place to level.
constexpr double largest = 1e6;
// Levelling a million lines makes some seventy million characters; a program that would grow
// far beyond that is refused before it takes the memory.
constexpr qsizetype maxCharacters = 128'000'000;
constexpr int shortestPiece = 12; // "G1 X0 Y0 Z0\n"
// A line of the operator's that makes more pieces is no move on any machine: a circle of a
// kilometre, say. As many as an arc's segments at their most.
constexpr double maxPiecesPerLine = ArcSegments::maxSegments;
constexpr int maxWarnings = 20;
constexpr quint8 allAxes = LineWords::Axes;

// Plain decimals as the controller reads them: millimetres to 3 places, inches to 4, no
// trailing zeros and no exponent. Written into a buffer: a levelled program of millions of
// pieces must not cost a string a number. Returns the characters written.
int writeNumber(char *into, double millimetres, bool inches)
{
    int places = inches ? 4 : 3;
    const qint64 units = qRound64(inches ? millimetres / mmPerInch * 1e4 : millimetres * 1e3);
    quint64 rest = units < 0 ? quint64(-units) : quint64(units);
    char digits[24];
    char *const end = digits + sizeof digits;
    char *at = end;
    while (places > 0 && rest % 10 == 0) {
        rest /= 10;
        --places;
    }
    for (int place = 0; place < places; ++place, rest /= 10)
        *--at = char('0' + rest % 10);
    if (places > 0)
        *--at = '.';
    do {
        *--at = char('0' + rest % 10);
        rest /= 10;
    } while (rest > 0);
    if (units < 0)
        *--at = '-';
    std::copy(at, end, into);
    return int(end - at);
}

// The words of a line the controller has accepted, read as LineWords reads them (blanks and
// '/' anywhere, letters in either case), one after another without a list of them: a million
// move lines must not cost a vector each.
template <typename Take> void eachWord(QStringView kept, Take take)
{
    const auto skip = [kept](int at) {
        while (at < kept.size() && (kept[at].unicode() <= ' ' || kept[at] == QLatin1Char('/')))
            ++at;
        return at;
    };
    for (int at = skip(0); at < kept.size();) {
        const char letter = char(kept[at].unicode());
        ProgramLine::Word word{letter >= 'a' ? char(letter - ('a' - 'A')) : letter, 0, at, at + 1};
        at = skip(at + 1);
        const bool negative = at < kept.size() && kept[at] == QLatin1Char('-');
        if (at < kept.size() && (negative || kept[at] == QLatin1Char('+')))
            at = skip(at + 1);
        double scale = 0;
        for (; at < kept.size(); at = skip(at + 1)) {
            const ushort c = kept[at].unicode();
            if (c >= '0' && c <= '9' && scale == 0) {
                word.value = word.value * 10 + (c - '0');
            } else if (c >= '0' && c <= '9') {
                word.value += (c - '0') * scale;
                scale /= 10;
            } else if (c == '.' && scale == 0) {
                scale = 0.1;
            } else {
                break;
            }
            word.end = at + 1;
        }
        if (negative)
            word.value = -word.value;
        take(word);
    }
}

// The G number in tenths (G38.2 is 382); -1 for another letter.
int gTenths(const ProgramLine::Word &word)
{
    if (word.letter != 'G' || !(std::fabs(word.value) < 1e4))
        return -1;
    return int(std::lround(word.value * 10));
}

// The words a levelled move writes anew: its motion, distance mode, axes and arc centre.
bool isMoveWord(const ProgramLine::Word &word, bool arc)
{
    switch (word.letter) {
    case 'X':
    case 'Y':
    case 'Z':
        return true;
    case 'I':
    case 'J':
    case 'R':
        return arc;
    case 'G': {
        const int code = gTenths(word);
        return code == 0 || code == 10 || code == 20 || code == 30 || code == 900 || code == 910;
    }
    default:
        return false;
    }
}

bool actsAfterMotion(const ProgramLine::Word &word)
{
    if (word.letter != 'M')
        return false;
    const std::optional<int> code = ProgramLine::wholeValue(word);
    return code == 0 || code == 1 || code == 2 || code == 30;
}

// "G53" for the first of the given G numbers (in tenths) on the line; empty when none is.
QString gName(QStringView kept, std::initializer_list<int> tenths)
{
    for (const ProgramLine::Word &word : ProgramLine::words(kept)) {
        const int code = gTenths(word);
        if (std::find(tenths.begin(), tenths.end(), code) != tenths.end())
            return QStringLiteral("G%1").arg(ModalState::plainNumber(code / 10.0));
    }
    return {};
}

bool endsProgram(QStringView kept)
{
    for (const ProgramLine::Word &word : ProgramLine::words(kept)) {
        const std::optional<int> code = ProgramLine::wholeValue(word);
        if (word.letter == 'M' && (code == 2 || code == 30))
            return true;
    }
    return false;
}

// The comments of a line, "(...)" and ";...", as they stand.
QString commentsOf(QStringView line)
{
    QString comments;
    for (qsizetype at = 0; at < line.size(); ++at) {
        const QChar c = line.at(at);
        if (c != QLatin1Char('(') && c != QLatin1Char(';'))
            continue;
        qsizetype end = c == QLatin1Char(';') ? line.size() : line.indexOf(QLatin1Char(')'), at);
        end = end < 0 ? line.size() : std::min(end + 1, line.size());
        if (!comments.isEmpty())
            comments += QLatin1Char(' ');
        comments += line.mid(at, end - at);
        at = end - 1;
    }
    return comments;
}

int visibleLength(QStringView text)
{
    return int(std::count_if(text.begin(), text.end(), [](QChar c) { return c.unicode() > ' '; }));
}

bool inRange(const Move &move)
{
    for (const float value : move.end) {
        if (!(std::fabs(value) <= float(largest)))
            return false;
    }
    // The centre may lie as far again beyond the end.
    return std::fabs(move.i) <= 2 * largest && std::fabs(move.j) <= 2 * largest;
}

// An arc by its centre whose end is not on its circle: the controller allows a little of it,
// relative to the radius, and refuses more.
bool refusedArc(const Move &move, const LineWords &words)
{
    if (move.kind != Move::Arc || words.has(LineWords::R))
        return false;
    const double dx = double(move.end[0]) - double(move.start[0]);
    const double dy = double(move.end[1]) - double(move.start[1]);
    const double radius = std::hypot(move.i, move.j);
    const double error = std::fabs(std::hypot(dx - move.i, dy - move.j) - radius);
    return error > 0.005 && (error > 0.5 || error > 0.001 * radius);
}

QString axisNames(const bool (&known)[3])
{
    QStringList names;
    for (int axis = 0; axis < 3; ++axis) {
        if (!known[axis])
            names << QString(QLatin1Char("XYZ"[axis]));
    }
    const QString last = names.takeLast();
    return names.isEmpty() ? last
                           : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

} // namespace

LineLeveller::LineLeveller(const HeightMap &map, double arcTolerance)
    : map(map), tolerance(arcTolerance), spacing(map.spacing()), lift(std::max(0.0, map.highest()))
{
    // Kept through every line: emptied, not freed.
    rest.words.reserve(ProgramLine::maxCharacters);
    rest.afterMove.reserve(16);
}

LineLeveller::Outcome LineLeveller::take(QStringView line, int editorLine)
{
    number = editorLine;
    if (ended) {
        put(line);
        return Outcome::Taken;
    }
    // Without comments, cleaning leaves the line as it stands but for blanks at its ends.
    hasComments = line.contains(QLatin1Char('(')) || line.contains(QLatin1Char(';'));
    const QString cleaned = hasComments ? ProgramLine::cleaned(line) : QString();
    const QStringView kept = hasComments ? QStringView(cleaned) : line.trimmed();
    const ProgramLine::Check check = ProgramLine::check(kept);
    if (check.fault != ProgramLine::Fault::None && !ProgramLine::isDelimiter(kept)) {
        why = QStringLiteral("line %1: %2").arg(number).arg(ProgramLine::faultText(check));
        return Outcome::Unsendable;
    }
    const LineWords words = readLineWords(kept);
    if (words.refused) { // the controller refuses it: nothing changes
        put(line);
        return Outcome::Taken;
    }
    if (const QString reason = whyNotLevelled(words, kept); !reason.isEmpty())
        return refuse(reason);
    const Outcome outcome = run(words, kept, line);
    if (outcome == Outcome::Taken && text.size() > maxCharacters)
        return refuse(tooLong());
    return outcome;
}

LineLeveller::Outcome LineLeveller::run(LineWords words, QStringView kept, QStringView line)
{
    if (words.plane != LineWords::PlaneUnsaid)
        plane = words.plane;
    // A dwell does not keep the axis words of the line from being a move.
    if (words.dwell && !words.toolLength)
        words.special = 0;
    const qint8 motion = words.motion != LineWords::NoMotion ? words.motion : machine.motion;
    const MachineState before = machine;
    const Move move = machine.run(words);
    ended = words.stops && endsProgram(kept);
    if (words.special) {
        passSpecial(words, kept);
    } else if (motion == LineWords::Probe && (words.present & allAxes)) {
        lose(words, QStringLiteral("line %1: a probe is not levelled").arg(number));
    } else if (move.kind != Move::None) {
        return runMove(move, words, before, kept, line);
    }
    put(line);
    return Outcome::Taken;
}

LineLeveller::Outcome LineLeveller::runMove(const Move &move, const LineWords &words,
                                            const MachineState &before, QStringView kept,
                                            QStringView line)
{
    incrementalBefore = before.incremental;
    if (!inRange(move))
        return refuse(QStringLiteral("line %1: a coordinate beyond %2 mm")
                          .arg(number)
                          .arg(QString::number(largest, 'f', 0)));
    if (move.motion == LineWords::Rapid) {
        raiseRapid(move, words, kept, line);
    } else if (move.feed <= 0 || refusedArc(move, words)) { // the controller refuses it
        machine = before;
        put(line);
    } else if (!positionKnown()) {
        return refuse(QStringLiteral("line %1: a feed move before the program has set %2")
                          .arg(number)
                          .arg(axisNames(known)));
    } else if (!followSurface(move, kept, line)) {
        return Outcome::Refused;
    }
    return Outcome::Taken;
}

QString LineLeveller::tooLong() const
{
    return QStringLiteral("line %1: levelled, the program would be longer than %2 million "
                          "characters")
        .arg(number)
        .arg(maxCharacters / 1000000);
}

QStringList LineLeveller::warnings() const
{
    if (unsaid == 0)
        return said;
    return said + QStringList{QStringLiteral("%1 more warnings").arg(unsaid)};
}

LineLeveller::Outcome LineLeveller::refuse(const QString &reason)
{
    why = reason;
    return Outcome::Refused;
}

// What the map cannot be applied through: another time base, other work coordinates, an arc
// whose plane holds Z.
QString LineLeveller::whyNotLevelled(const LineWords &words, QStringView kept) const
{
    if (words.inverseTime)
        return QStringLiteral("line %1: G93 inverse time cannot be levelled").arg(number);
    if (words.workOffset)
        return QStringLiteral("line %1: %2 changes the work coordinates the map is in")
            .arg(number)
            .arg(gName(kept, {100, 920, 921}));
    const int arcPlane = words.plane != LineWords::PlaneUnsaid ? words.plane : plane;
    const qint8 motion = words.motion != LineWords::NoMotion ? words.motion : machine.motion;
    const bool arc = motion == LineWords::Clockwise || motion == LineWords::CounterClockwise;
    if (arc && arcPlane != LineWords::XY && (words.present & allAxes) && !words.special)
        return QStringLiteral("line %1: an arc in G%2 cannot be levelled")
            .arg(number)
            .arg(arcPlane == LineWords::ZX ? 18 : 19);
    return {};
}

// G28 and G30 go to a stored place, G53 moves in machine coordinates: the map, in work
// coordinates, cannot follow them, and the program does not know where they end.
void LineLeveller::passSpecial(const LineWords &words, QStringView kept)
{
    if (words.dwell || words.toolLength)
        return;
    const QString home = gName(kept, {280, 300});
    if (!home.isEmpty()) {
        LineWords moved = words;
        if (!(moved.present & allAxes)) // without axis words, every axis goes
            moved.present |= allAxes;
        lose(moved, QStringLiteral("line %1: %2 goes to a stored place, not levelled")
                        .arg(number)
                        .arg(home));
    } else if ((words.present & allAxes) && !gName(kept, {530}).isEmpty()) {
        lose(words,
             QStringLiteral("line %1: G53 moves in machine coordinates, not levelled").arg(number));
    }
}

void LineLeveller::lose(const LineWords &words, const QString &warning)
{
    for (int axis = 0; axis < 3; ++axis) {
        if (words.present & (LineWords::X << axis))
            known[axis] = false;
    }
    zWritten = zWritten && known[2];
    warn(warning);
}

// Rapids are not cut: they only rise clear of the surface's highest point, wherever they end.
void LineLeveller::raiseRapid(const Move &move, const LineWords &words, QStringView kept,
                              QStringView line)
{
    for (int axis = 0; axis < 3; ++axis) {
        if (words.present & (LineWords::X << axis))
            known[axis] = known[axis] || !machine.incremental;
    }
    quint8 axes = words.present & (LineWords::X | LineWords::Y);
    if ((axes & LineWords::X && !known[0]) || (axes & LineWords::Y && !known[1]) ||
        (words.has(LineWords::Z) && !known[2])) {
        // Relative to a place the program does not know: it can only go as it stands, in the
        // rapid mode a levelled feed move before it may have left.
        zWritten = false;
        if (words.motion == LineWords::NoMotion)
            put(QStringLiteral("G0"));
        put(line);
        return;
    }
    const double at[3] = {move.end[0], move.end[1], move.end[2] + lift};
    if (known[2] && (words.has(LineWords::Z) || !zWritten || writtenZ != at[2]))
        axes |= LineWords::Z;
    beginMoves(kept, line, false);
    writeMove('0', at, axes);
    endMoves();
}

// Feed moves follow the surface: arcs cut into the controller's own segments, every segment
// into pieces no longer than the map's spacing, each piece's end raised by the height under it.
bool LineLeveller::followSurface(const Move &move, QStringView kept, QStringView line)
{
    const Point start{move.start[0], move.start[1], move.start[2]};
    farthestOut = map.outside(start[0], start[1]);
    beginMoves(kept, line, move.kind == Move::Arc);
    if (move.kind == Move::Arc) {
        const ArcSegments arc(move, tolerance);
        Point from = start;
        for (int k = 1; k <= arc.count(); ++k) {
            const Point to = arc.end(k);
            if (!cut(from, to))
                return false;
            from = to;
        }
    } else if (!cut(start, {move.end[0], move.end[1], move.end[2]})) {
        return false;
    }
    endMoves();
    if (farthestOut > spacing && roomToWarn())
        said << QStringLiteral("line %1 leaves the map by %2 mm")
                    .arg(number)
                    .arg(QString::number(farthestOut, 'f', 1));
    return true;
}

bool LineLeveller::cut(const Point &from, const Point &to)
{
    const double dx = to[0] - from[0], dy = to[1] - from[1];
    const double length = std::sqrt(dx * dx + dy * dy);
    const double pieces = std::max(1.0, std::ceil(length / spacing));
    if (!(piecesOfLine + pieces <= maxPiecesPerLine)) {
        refuse(QStringLiteral("line %1: a move of more than %2 pieces cannot be levelled")
                   .arg(number)
                   .arg(maxPiecesPerLine));
        return false;
    }
    if (!(pieces <= double(maxCharacters - text.size()) / shortestPiece)) {
        refuse(tooLong());
        return false;
    }
    piecesOfLine += pieces;
    const int count = int(pieces);
    for (int k = 1; k <= count; ++k) {
        double at[3] = {to[0], to[1], to[2]};
        if (k < count) {
            for (int axis = 0; axis < 3; ++axis)
                at[axis] = from[axis] + (to[axis] - from[axis]) * k / count;
        }
        farthestOut = std::max(farthestOut, map.outside(at[0], at[1]));
        at[2] += map.at(at[0], at[1]);
        writeMove('1', at, allAxes);
    }
    return true;
}

// What else the line says goes with its first move; the first move leaves G91 for the
// absolute coordinates it is written in.
void LineLeveller::beginMoves(QStringView kept, QStringView line, bool arc)
{
    piecesOfLine = 0;
    rest.words.resize(0);
    rest.afterMove.resize(0);
    rest.comments.clear(); // seldom any: no buffer kept for them
    eachWord(kept, [&](const ProgramLine::Word &word) {
        if (isMoveWord(word, arc))
            return;
        QString &into = actsAfterMotion(word) ? rest.afterMove : rest.words;
        if (!into.isEmpty())
            into += QLatin1Char(' ');
        into += kept.mid(word.start, word.end - word.start);
    });
    rest.visible = visibleLength(rest.words);
    if (hasComments)
        rest.comments = commentsOf(line);
    firstMove = true;
}

void LineLeveller::writeMove(char motion, const double (&at)[3], quint8 axes)
{
    char move[96];
    int length = 0;
    if (firstMove && incrementalBefore)
        length = int(std::strlen(std::strcpy(move, "G90 ")));
    move[length++] = 'G';
    move[length++] = motion;
    for (int axis = 0; axis < 3; ++axis) {
        if (!(axes & (LineWords::X << axis)))
            continue;
        move[length++] = ' ';
        move[length++] = "XYZ"[axis];
        length += writeNumber(move + length, at[axis], machine.inches);
    }
    if (axes & LineWords::Z) {
        writtenZ = at[2];
        zWritten = true;
    }
    const qsizetype begin = text.size();
    text += QLatin1String(move, length);
    if (std::exchange(firstMove, false)) {
        const int visible = length - int(std::count(move, move + length, ' '));
        addRest(begin, visible + rest.visible <= ProgramLine::maxCharacters);
    }
    text += QLatin1Char('\n');
    sourceLine << number;
}

// On the first move's line when the controller can take the two together, else on a line of
// its own before it.
void LineLeveller::addRest(qsizetype moveBegins, bool fits)
{
    if (rest.words.isEmpty() && rest.comments.isEmpty())
        return;
    if (fits) {
        text += QLatin1Char(' ');
        appendRest(text);
        return;
    }
    QString line;
    appendRest(line);
    text.insert(moveBegins, line + QLatin1Char('\n'));
    sourceLine << number;
}

void LineLeveller::appendRest(QString &into) const
{
    into += rest.words;
    if (!rest.words.isEmpty() && !rest.comments.isEmpty())
        into += QLatin1Char(' ');
    into += rest.comments;
}

void LineLeveller::endMoves()
{
    if (machine.incremental)
        put(QStringLiteral("G91"));
    if (!rest.afterMove.isEmpty())
        put(rest.afterMove);
}

void LineLeveller::put(QStringView line)
{
    text += line;
    text += QLatin1Char('\n');
    sourceLine << number;
}

void LineLeveller::warn(const QString &warning)
{
    if (roomToWarn())
        said << warning;
}

// A program far off the map would warn of every line: those beyond the first few are counted,
// without the cost of their words.
bool LineLeveller::roomToWarn()
{
    unsaid += said.size() == maxWarnings;
    return said.size() < maxWarnings;
}

bool LineLeveller::positionKnown() const
{
    return known[0] && known[1] && known[2];
}
