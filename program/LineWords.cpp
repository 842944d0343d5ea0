#include "LineWords.h"

#include <QString>

#include <array>
#include <cmath>

namespace {

// What a character is to the controller's receiving side.
enum Kind : quint8
{
    Kept,
    LowerCase,
    Dropped,    // blanks, control characters, and '/' (block delete, which it ignores)
    Comment,    // '(' up to ')'
    RestOfLine, // ';'
    LineEnd
};

constexpr std::array<quint8, 128> asciiKinds = [] {
    std::array<quint8, 128> kinds{};
    for (size_t c = 0; c < kinds.size(); ++c) {
        kinds[c] = c <= ' ' ? Dropped : c >= 'a' && c <= 'z' ? LowerCase : Kept;
    }
    kinds['/'] = Dropped;
    kinds['('] = Comment;
    kinds[';'] = RestOfLine;
    kinds['\n'] = LineEnd;
    kinds['\r'] = LineEnd;
    return kinds;
}();

bool isLineEnd(char16_t c)
{
    // A document's plain text turns these into line feeds.
    return c < 128 ? asciiKinds[c] == LineEnd
                   : c == 0x2028 || c == 0x2029 || c == 0xfdd0 || c == 0xfdd1;
}

// Walks a line as the controller's receiving side hands it on: blanks, control characters,
// '/' and comments left out, letters made upper case. It stops at the line's end, which a
// comment never hides.
class LineCursor
{
public:
    LineCursor(const QChar *begin, const QChar *end) : at(begin), end(end) {}

    // The next character the controller keeps, not yet taken; 0 at the line's end.
    char16_t peek()
    {
        while (at < end) {
            const char16_t c = at->unicode();
            if (c >= 128)
                return isLineEnd(c) ? 0 : c;
            switch (asciiKinds[c]) {
            case Kept:
                return c;
            case LowerCase:
                return char16_t(c - ('a' - 'A'));
            case Dropped:
                ++at;
                break;
            case Comment:
            case RestOfLine:
                skipComment(asciiKinds[c] == Comment);
                break;
            default:
                return 0;
            }
        }
        return 0;
    }

    void take() { ++at; }
    // For a scan straight over the text, where nothing is left out.
    const QChar *rawEnd() const { return end; }
    void moveTo(const QChar *to) { at = to; }
    void skipToLineEnd()
    {
        while (at < end && !isLineEnd(at->unicode()))
            ++at;
    }
    const QChar *position() const { return at; }

private:
    void skipComment(bool closes)
    {
        for (++at; at < end && !isLineEnd(at->unicode()); ++at) {
            if (closes && at->unicode() == ')') {
                ++at;
                return;
            }
        }
    }

    const QChar *at;
    const QChar *end;
};

// Up to 15 significant digits divided by a power of ten of at most 22 is exact in both operands,
// so one division rounds correctly, as the toolkit's own conversion does. Longer numbers take the
// toolkit's own path.
constexpr int exactDigits = 15;
constexpr int exactPowersOfTen = 22;

double powerOfTen(int exponent)
{
    static const std::array<double, exactPowersOfTen + 1> powers = [] {
        std::array<double, exactPowersOfTen + 1> table{};
        double power = 1;
        for (double &entry : table) {
            entry = power;
            power *= 10;
        }
        return table;
    }();
    return powers[size_t(exponent)];
}

// The characters of the number between two positions of a cursor, without what it leaves out.
QString numberText(LineCursor from, const LineCursor &to)
{
    QString text;
    for (char16_t c = from.peek(); from.position() < to.position(); from.take(), c = from.peek())
        text += QChar(c);
    return text;
}

// Reads "[+-]?[0-9]*\.?[0-9]*" with at least one digit, converted like QString::toFloat; the
// cursor is left behind the number.
bool readNumber(LineCursor &from, float &value)
{
    const LineCursor start = from;
    LineCursor cursor = from; // a local copy stays in registers
    char16_t c = cursor.peek();
    const bool negative = c == '-';
    if (c == '-' || c == '+') {
        cursor.take();
        c = cursor.peek();
    }
    qint64 mantissa = 0;
    int significant = 0;
    int fractionDigits = 0;
    bool anyDigit = false;
    bool inFraction = false;
    for (;;) {
        // Digits one after another, the common case, straight from the text.
        const QChar *at = cursor.position();
        const QChar *const end = cursor.rawEnd();
        for (; at < end; ++at) {
            const unsigned digit = unsigned(at->unicode()) - '0';
            if (digit > 9)
                break;
            anyDigit = true;
            fractionDigits += inFraction;
            if (significant <= exactDigits) {
                mantissa = mantissa * 10 + digit;
                significant += mantissa != 0;
            }
        }
        cursor.moveTo(at);
        c = cursor.peek();
        if (c >= '0' && c <= '9')
            continue; // after a blank or a comment
        if (c != '.' || inFraction)
            break;
        inFraction = true;
        cursor.take();
    }
    from = cursor;
    if (!anyDigit)
        return false;
    if (significant > exactDigits || fractionDigits > exactPowersOfTen) {
        value = numberText(start, cursor).toFloat();
    } else {
        const double magnitude =
            fractionDigits ? double(mantissa) / powerOfTen(fractionDigits) : double(mantissa);
        value = float(negative ? -magnitude : magnitude);
    }
    return true;
}

// The groups within which one line may hold one command only.
enum Group : quint8
{
    MotionGroup = 1,
    DistanceGroup = 2,
    UnitsGroup = 4,
    SpecialGroup = 8,
    PlaneGroup = 16, // the plane an arc turns in
    AxisGroup = 32,  // whose axis words: a move, G10/28/30/92, G43.1 or G49, one of them
    OtherGroup = 0   // work systems, feed modes, ...: nothing the path depends on
};

// Takes one G word; false for a number the controller does not know, or a second command of a
// group. The number counts to two decimals, as the controller's does: G1, G01 and G1.0 are G1.
bool takeG(LineWords &line, float value, quint8 &groups)
{
    if (!(std::fabs(value) < 1e6f))
        return false;
    const double hundredths = double(value) * 100;
    const long code = long(hundredths + (hundredths < 0 ? -0.5 : 0.5)); // std::lround, cheaper
    Group group = OtherGroup;
    switch (code) {
    case 0:
    case 100:
    case 200:
    case 300:
        line.motion = qint8(code / 100);
        group = MotionGroup;
        break;
    case 3820:
    case 3830:
    case 3840:
    case 3850:
        line.motion = LineWords::Probe;
        group = MotionGroup;
        break;
    case 8000:
        line.motion = LineWords::Cancel;
        group = MotionGroup;
        break;
    case 9000:
    case 9100:
        line.distance = code == 9000 ? LineWords::Absolute : LineWords::Incremental;
        group = DistanceGroup;
        break;
    case 2000:
    case 2100:
        line.units = code == 2000 ? LineWords::Inches : LineWords::Millimetres;
        group = UnitsGroup;
        break;
    case 400:
        line.dwell = line.stops = 1;
        line.special = 1;
        group = SpecialGroup;
        break;
    case 1000:
    case 9200:
    case 9210:
        line.workOffset = 1;
        line.special = 1;
        group = SpecialGroup;
        break;
    case 2800:
    case 2810:
    case 3000:
    case 3010:
    case 5300:
        line.special = 1;
        group = SpecialGroup;
        break;
    case 4310: // its Z word is the tool's length, no move
        line.special = line.toolLength = 1;
        break;
    case 1700:
    case 1800:
    case 1900:
        line.plane = quint8(LineWords::XY + (code - 1700) / 100);
        group = PlaneGroup;
        break;
    case 9300:
        line.inverseTime = 1;
        break;
    case 4000:
    case 4900:
    case 5400:
    case 5500:
    case 5600:
    case 5700:
    case 5800:
    case 5900:
    case 6100:
    case 9110:
    case 9400:
        break;
    default:
        return false;
    }
    const bool usesAxisWords = (group == MotionGroup && code != 8000) || code == 1000 ||
                               code == 2800 || code == 3000 || code == 9200 || code == 4310 ||
                               code == 4900;
    const quint8 taken = group | (usesAxisWords ? AxisGroup : 0);
    if (groups & taken)
        return false;
    groups |= taken;
    return true;
}

constexpr quint32 bitOf(char letter)
{
    return 1u << (letter - 'A');
}

constexpr quint32 knownLetters = [] {
    quint32 bits = 0;
    for (const char *letter = "FGIJKLMNPRSTXYZ"; *letter; ++letter)
        bits |= bitOf(*letter);
    return bits;
}();

bool takeValue(LineWords &line, char16_t letter, float value)
{
    switch (letter) {
    case 'X':
        line.x = value;
        line.present |= LineWords::X;
        break;
    case 'Y':
        line.y = value;
        line.present |= LineWords::Y;
        break;
    case 'Z':
        line.z = value;
        line.present |= LineWords::Z;
        break;
    case 'I':
        line.i = value;
        line.present |= LineWords::I;
        break;
    case 'J':
        line.j = value;
        line.present |= LineWords::J;
        break;
    case 'R':
        line.r = value;
        line.present |= LineWords::R;
        break;
    case 'F':
        line.f = value;
        line.present |= LineWords::F;
        break;
    case 'P':
        line.p = value;
        line.present |= LineWords::P;
        break;
    default:
        break; // K, L, N, S, T: nothing the path or its timing depends on
    }
    return true;
}

// One word; false when the controller would refuse the line for it.
bool takeWord(LineWords &line, char16_t letter, float value, quint32 &lettersSeen, quint8 &groups)
{
    const quint32 bit = bitOf(char(letter));
    if (!(knownLetters & bit))
        return false;
    if (letter == 'G')
        return takeG(line, value, groups);
    if (letter == 'M') {
        // M0 to M9 and M30 wait for the motion: program stops, spindle and coolant.
        line.stops |= (value >= 0 && value < 9.5f) || value == 30;
        return true;
    }
    if (lettersSeen & bit)
        return false;
    lettersSeen |= bit;
    return takeValue(line, letter, value);
}

} // namespace

float programNumberToFloat(QStringView digits)
{
    LineCursor cursor(digits.data(), digits.data() + digits.size());
    float value = 0;
    return readNumber(cursor, value) ? value : 0;
}

LineWords readLineWords(QStringView text, qsizetype *length)
{
    LineWords line;
    LineCursor cursor(text.data(), text.data() + text.size());
    quint32 lettersSeen = 0;
    quint8 groups = 0;
    while (const char16_t letter = cursor.peek()) {
        cursor.take();
        float value = 0;
        const bool taken = letter >= 'A' && letter <= 'Z' && readNumber(cursor, value) &&
                           takeWord(line, letter, value, lettersSeen, groups);
        if (!taken) {
            line = LineWords();
            line.refused = 1;
            cursor.skipToLineEnd();
            break;
        }
    }
    if (length)
        *length = cursor.position() - text.data();
    return line;
}
