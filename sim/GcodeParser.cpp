#include "GcodeParser.h"

#include "Dialect.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

constexpr double mmPerInch = 25.4;
constexpr double maxToolNumber = 255; // 1.1 refuses more; 0.9 has no use for T

// The firmware's number reader: optional sign, digits with at most one point, at least one
// digit. No exponent.
bool readNumber(const std::string &line, std::size_t &at, double &value)
{
    std::size_t i = at;
    bool negative = false;
    if (i < line.size() && (line[i] == '-' || line[i] == '+'))
        negative = line[i++] == '-';
    double number = 0;
    double scale = 0;
    int digits = 0;
    for (; i < line.size(); ++i) {
        const char c = line[i];
        if (c >= '0' && c <= '9') {
            ++digits;
            if (scale == 0) {
                number = number * 10 + (c - '0');
            } else {
                number += (c - '0') * scale;
                scale /= 10;
            }
        } else if (c == '.' && scale == 0) {
            scale = 0.1;
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;
    value = negative ? -number : number;
    at = i;
    return true;
}

struct Words
{
    std::map<char, double> values;
    std::vector<int> gWords; // G number times 10, so G38.2 is 382
    std::vector<int> mWords;
    bool has(char letter) const { return values.count(letter) > 0; }
    double get(char letter) const { return values.at(letter); }
};

int modalGroupOfG(int g)
{
    switch (g) {
    case 40:
    case 100:
    case 280:
    case 300:
    case 530:
    case 920:
    case 921:
        return 0;
    case 0:
    case 10:
    case 20:
    case 30:
    case 382:
    case 383:
    case 800:
        return 1;
    case 170:
    case 180:
    case 190:
        return 2;
    case 900:
    case 910:
        return 3;
    case 930:
    case 940:
        return 5;
    case 200:
    case 210:
        return 6;
    case 400:
        return 7;
    case 431:
    case 490:
        return 8;
    case 540:
    case 550:
    case 560:
    case 570:
    case 580:
    case 590:
        return 12;
    default:
        return -1;
    }
}

int modalGroupOfM(int m)
{
    switch (m) {
    case 0:
    case 1:
    case 2:
    case 30:
        return 4;
    case 3:
    case 4:
    case 5:
        return 7;
    case 8: // M7 too, but both default builds leave mist coolant out
    case 9:
        return 8;
    default:
        return -1;
    }
}

bool usesAxisWords(int g)
{
    const bool nonModalUser = g == 100 || g == 280 || g == 300 || g == 920;
    const bool motionUser = modalGroupOfG(g) == 1 && g != 800;
    return nonModalUser || motionUser || g == 431 || g == 490;
}

int collectWords(const std::string &line, Words &words)
{
    std::size_t at = 0;
    std::map<int, int> groups;
    int axisUsers = 0;
    while (at < line.size()) {
        const char letter = line[at];
        if (letter < 'A' || letter > 'Z')
            return ExpectedCommandLetter;
        ++at;
        double value = 0;
        if (!readNumber(line, at, value))
            return BadNumberFormat;
        if (letter == 'G' || letter == 'M') {
            const double tenths = value * 10;
            const int code = static_cast<int>(std::lround(tenths));
            if (std::fabs(tenths - code) > 1e-6 || std::fabs(value) > 1000)
                return letter == 'G' ? UnsupportedCommand : CommandValueNotInteger;
            const int group =
                letter == 'G' ? modalGroupOfG(code) : (code % 10 ? -1 : modalGroupOfM(code / 10));
            if (group < 0)
                return UnsupportedCommand;
            // One command per line uses the axis words: a motion, G10/G28/G30/G92, G43.1 or
            // G49. The firmware looks at that before the modal groups, word by word.
            if (letter == 'G' && usesAxisWords(code) && axisUsers++)
                return AxisCommandConflict;
            const int key = (letter == 'G' ? 0 : 100) + group;
            if (groups[key]++)
                return ModalGroupViolation;
            (letter == 'G' ? words.gWords : words.mWords)
                .push_back(letter == 'G' ? code : code / 10);
            continue;
        }
        if (std::string("FIJKLNPRSTXYZ").find(letter) == std::string::npos)
            return UnsupportedCommand;
        if (words.has(letter))
            return WordRepeated;
        words.values[letter] = value;
    }
    return Ok;
}

bool hasAxisWords(const Words &words)
{
    return words.has('X') || words.has('Y') || words.has('Z');
}

// The plane's first and second axis and its normal, as axis indices.
void planeAxes(int plane, int &first, int &second, int &normal)
{
    first = plane == 18 ? 2 : plane == 19 ? 1 : 0;
    second = plane == 18 ? 0 : plane == 19 ? 2 : 1;
    normal = plane == 18 ? 1 : plane == 19 ? 0 : 2;
}

// The centre of an arc given by its radius, as an offset from the start: on the chord's
// perpendicular bisector, to the right of the chord for a clockwise arc with a positive radius;
// a negative radius takes the longer arc.
void centreFromRadius(double radius, double dx, double dy, bool clockwise, double &i, double &j)
{
    const double chord = std::hypot(dx, dy);
    double h = -std::sqrt(std::max(0.0, 4 * radius * radius - chord * chord)) / chord;
    if (!clockwise)
        h = -h;
    if (radius < 0)
        h = -h;
    i = 0.5 * (dx - dy * h);
    j = 0.5 * (dy + dx * h);
}

// The arc as the firmware runs it: straight segments, as many as keep each chord within the arc
// tolerance of the circle, the last one ending exactly on the target, with the normal axis
// moving evenly along (a helix).
int arcMoves(const ParserState &state, const Words &words, int motion, Vec3 target, double unit,
             double tolerance, std::vector<LineAction::Move> &moves)
{
    int a = 0, b = 1, n = 2;
    planeAxes(state.plane, a, b, n);
    const char axisLetters[] = {'X', 'Y', 'Z'};
    const char offsetLetters[] = {'I', 'J', 'K'};
    if (!words.has(axisLetters[a]) && !words.has(axisLetters[b]))
        return NoAxisWordsInPlane;
    const Vec3 start = state.position;
    const double dx = target[a] - start[a];
    const double dy = target[b] - start[b];
    double i = 0, j = 0;
    if (words.has('R')) {
        const double radius = words.get('R') * unit;
        const double chord = std::hypot(dx, dy);
        if (chord > 2 * std::fabs(radius) + 1e-9 || chord == 0)
            return InvalidTarget;
        centreFromRadius(radius, dx, dy, motion == 2, i, j);
    } else {
        if (!words.has(offsetLetters[a]) && !words.has(offsetLetters[b]))
            return NoOffsetsInPlane;
        i = words.has(offsetLetters[a]) ? words.get(offsetLetters[a]) * unit : 0;
        j = words.has(offsetLetters[b]) ? words.get(offsetLetters[b]) * unit : 0;
        const double error = std::fabs(std::hypot(dx - i, dy - j) - std::hypot(i, j));
        if (error > 0.005 && (error > 0.5 || error > 0.001 * std::hypot(i, j)))
            return InvalidTarget;
    }
    const double radius = std::hypot(i, j);
    // From the centre to the start and to the target; equal directions make a full circle.
    const double r0 = -i, r1 = -j, t0 = dx - i, t1 = dy - j;
    double sweep = std::atan2(r0 * t1 - r1 * t0, r0 * t0 + r1 * t1);
    if (motion == 2 && sweep >= -5e-7)
        sweep -= 2 * M_PI;
    else if (motion == 3 && sweep <= 5e-7)
        sweep += 2 * M_PI;
    const double room = tolerance * (2 * radius - tolerance);
    const double exact =
        room > 0 ? std::floor(std::fabs(0.5 * sweep * radius) / std::sqrt(room)) : 1;
    const int segments = static_cast<int>(std::clamp(exact, 1.0, 100000.0));
    Vec3 from = start;
    for (int k = 1; k <= segments; ++k) {
        Vec3 point = target;
        if (k < segments) {
            const double angle = sweep * k / segments;
            point[a] = start[a] + i + r0 * std::cos(angle) - r1 * std::sin(angle);
            point[b] = start[b] + j + r0 * std::sin(angle) + r1 * std::cos(angle);
            point[n] = start[n] + (target[n] - start[n]) * k / segments;
        }
        moves.push_back({point, length(point - from), state.feed});
        from = point;
    }
    return Ok;
}

// Where the axis words of a line lead, in machine coordinates.
Vec3 axisTarget(const Words &words, const ParserState &state, bool machineCoordinates)
{
    const double unit = state.inches ? mmPerInch : 1.0;
    const Vec3 offset = state.workOffset();
    Vec3 target = state.position;
    const char axisLetters[] = {'X', 'Y', 'Z'};
    for (int axis = 0; axis < 3; ++axis) {
        if (!words.has(axisLetters[axis]))
            continue;
        const double value = words.get(axisLetters[axis]) * unit;
        if (machineCoordinates)
            target[axis] = value;
        else if (state.absolute)
            target[axis] = value + offset[axis];
        else
            target[axis] = state.position[axis] + value;
    }
    return target;
}

// G10 L2 sets a work system's origin in machine coordinates; L20 so that the machine's place
// now gets the given work coordinates.
int setCoordinateSystem(const Words &words, ParserState &state)
{
    if (!words.has('L') || !words.has('P'))
        return ValueWordMissing;
    const double l = words.get('L');
    const double p = words.get('P');
    if (l != 2 && l != 20)
        return UnsupportedCommand;
    if (p != std::floor(p) || p > 6)
        return UnsupportedCoordinateSystem;
    if (!hasAxisWords(words))
        return NoAxisWords;
    Vec3 &system = state.systems[p == 0 ? state.system : static_cast<std::size_t>(p) - 1];
    const double unit = state.inches ? mmPerInch : 1.0;
    const char axisLetters[] = {'X', 'Y', 'Z'};
    for (int axis = 0; axis < 3; ++axis) {
        if (!words.has(axisLetters[axis]))
            continue;
        const double value = words.get(axisLetters[axis]) * unit;
        system[axis] = l == 2 ? value
                              : state.position[axis] - state.g92[axis] - value -
                                    (axis == 2 ? state.toolLength : 0);
    }
    return Ok;
}

} // namespace

int parseGcodeLine(const std::string &line, ParserState &state, LineAction &action,
                   double arcTolerance, bool grbl11)
{
    Words words;
    if (const int status = collectWords(line, words); status != Ok)
        return status;

    for (char letter : {'F', 'N', 'P', 'S', 'T'}) {
        if (words.has(letter) && words.get(letter) < 0)
            return NegativeValue;
    }
    if (words.has('N') && words.get('N') > 9999999)
        return InvalidLineNumber;
    if (words.has('T') && words.get('T') != std::floor(words.get('T')))
        return CommandValueNotInteger;
    if (grbl11 && words.has('T') && words.get('T') > maxToolNumber)
        return ToolNumberTooLarge;

    ParserState next = state;
    LineAction result;
    int nonModal = -1;
    int motion = -1;
    bool machineCoordinates = false;
    bool toolLengthFromLine = false;
    for (int g : words.gWords) {
        switch (modalGroupOfG(g)) {
        case 0:
            if (g == 530)
                machineCoordinates = true;
            else
                nonModal = g;
            break;
        case 1:
            motion = g;
            break;
        case 2:
            next.plane = g / 10;
            break;
        case 3:
            next.absolute = g == 900;
            break;
        case 5:
            next.inverseTime = g == 930;
            break;
        case 6:
            next.inches = g == 200;
            break;
        case 8:
            toolLengthFromLine = g == 431;
            if (g == 490)
                next.toolLength = 0;
            break;
        case 12:
            next.system = static_cast<std::size_t>(g - 540) / 10;
            break;
        default:
            break; // G40: the only mode of its group here
        }
    }
    for (int m : words.mWords) {
        if (m == 3 || m == 4 || m == 5) {
            result.synchronise = result.synchronise || m != next.spindle;
            next.spindle = m;
        } else if (m == 8 || m == 9) {
            const bool flood = m == 8;
            result.synchronise = result.synchronise || next.mist || flood != next.flood;
            next.mist = false;
            next.flood = flood;
        } else if (m == 2 || m == 30) {
            result.programEnd = true;
        } else if (m == 0) {
            // The program waits for the motion before it, then holds until cycle start. M1, an
            // optional stop, has no switch to obey and is ignored.
            result.synchronise = true;
            result.pause = true;
        }
    }
    if (grbl11)
        next.tool = words.has('T') ? static_cast<int>(words.get('T')) : 0;
    if (words.has('T') && words.get('T') <= maxToolNumber)
        result.toolNamed = static_cast<int>(words.get('T'));

    const double unit = next.inches ? mmPerInch : 1.0;
    const bool axisWords = hasAxisWords(words);
    const bool nonModalUsesAxes =
        nonModal == 920 || nonModal == 280 || nonModal == 300 || nonModal == 100;
    const bool motionCommand =
        motion >= 0 || (axisWords && !nonModalUsesAxes && !toolLengthFromLine);
    if (motion >= 0)
        next.motion = motion;
    const int mode = next.motion;

    // In G93 every move needs its own F; 0.9 asks it even of a rapid.
    if (next.inverseTime && motionCommand && !words.has('F') &&
        !(grbl11 && (mode == 0 || mode == 800)))
        return UndefinedFeedRate;
    // F is kept from line to line only in G94, and not into it from G93.
    if (words.has('F'))
        next.feed = words.get('F') * (next.inverseTime ? 1.0 : unit);
    else if (next.inverseTime || state.inverseTime)
        next.feed = 0;
    if (words.has('S')) {
        result.synchronise =
            result.synchronise || (next.spindle != 5 && words.get('S') != next.spindleSpeed);
        next.spindleSpeed = words.get('S');
    }

    if (toolLengthFromLine) {
        if (!words.has('Z') || words.has('X') || words.has('Y'))
            return ToolLengthAxis;
        next.toolLength = words.get('Z') * unit;
    }

    const Vec3 target = axisTarget(words, next, machineCoordinates);
    const char axisLetters[] = {'X', 'Y', 'Z'};

    if (nonModal == 40) {
        if (!words.has('P'))
            return ValueWordMissing;
        result.synchronise = true;
        result.dwellSeconds = words.get('P');
    } else if (nonModal == 100) {
        if (const int status = setCoordinateSystem(words, next); status != Ok)
            return status;
        state = next;
        action = result;
        return Ok;
    } else if (nonModal == 920) {
        if (!axisWords)
            return NoAxisWords;
        for (int axis = 0; axis < 3; ++axis) {
            if (words.has(axisLetters[axis]))
                next.g92[axis] = next.position[axis] - next.systems[next.system][axis] -
                                 words.get(axisLetters[axis]) * unit -
                                 (axis == 2 ? next.toolLength : 0);
        }
        state = next;
        action = result;
        return Ok;
    } else if (nonModal == 921) {
        next.g92 = {};
    } else if (nonModal == 280 || nonModal == 300) {
        if (axisWords)
            result.moves.push_back({target, length(target - next.position), 0});
        const Vec3 from = axisWords ? target : next.position;
        result.moves.push_back({Vec3{}, length(Vec3{} - from), 0});
        next.position = Vec3{};
        state = next;
        action = result;
        return Ok;
    }

    if (motionCommand && mode == 800 && axisWords)
        return AxisWordsUnused;
    if (motionCommand && mode != 0 && mode != 800) {
        // Every motion but a rapid needs a feed, even a line that goes nowhere.
        if (next.feed <= 0)
            return UndefinedFeedRate;
        if ((mode == 382 || mode == 383 || mode == 20 || mode == 30) && !axisWords)
            return NoAxisWords;
    }
    if (motionCommand && axisWords && mode != 800) {
        LineAction::Move move{target, length(target - next.position), mode == 0 ? 0 : next.feed};
        if (mode == 382 || mode == 383) {
            if (move.length == 0)
                return InvalidTarget;
            result.synchronise = true;
            result.probe = mode == 382 ? 2 : 3;
        }
        if (mode == 20 || mode == 30) {
            if (const int status =
                    arcMoves(next, words, mode / 10, target, unit, arcTolerance, result.moves);
                status != Ok)
                return status;
        } else {
            result.moves.push_back(move);
        }
        if (next.inverseTime && mode != 0) {
            // The whole line takes 1/F minutes.
            double total = 0;
            for (const LineAction::Move &part : result.moves)
                total += part.length;
            for (LineAction::Move &part : result.moves)
                part.feed = next.feed * total;
        }
        next.position = target;
    }

    if (result.programEnd) {
        next.motion = 10;
        next.plane = 17;
        next.absolute = true;
        next.inverseTime = false;
        next.system = 0;
        next.spindle = 5;
        next.mist = next.flood = false;
    }
    state = next;
    action = result;
    return Ok;
}

int parseJogLine(const std::string &line, ParserState &state, LineAction &action)
{
    Words words;
    if (const int status = collectWords(line, words); status != Ok)
        return status;
    // The firmware's order: the feed first, then the commands, then the other words. A jog
    // without axis words is taken and goes nowhere.
    if (words.has('F') && words.get('F') < 0)
        return NegativeValue;
    if (!words.has('F') || words.get('F') == 0)
        return UndefinedFeedRate;
    ParserState jog = state;
    bool machineCoordinates = false;
    for (int g : words.gWords) {
        if (g == 200 || g == 210)
            jog.inches = g == 200;
        else if (g == 900 || g == 910)
            jog.absolute = g == 900;
        else if (g == 530)
            machineCoordinates = true;
        else
            return InvalidJogCommand;
    }
    if (!words.mWords.empty())
        return InvalidJogCommand;
    for (const auto &[letter, value] : words.values) {
        if (std::string("XYZF").find(letter) == std::string::npos)
            return UnusedWords;
    }
    action = LineAction{};
    action.jog = true;
    if (!hasAxisWords(words))
        return Ok;
    const Vec3 target = axisTarget(words, jog, machineCoordinates);
    const double feed = words.get('F') * (jog.inches ? mmPerInch : 1.0);
    action.moves.push_back({target, length(target - state.position), feed});
    state.position = target;
    return Ok;
}
