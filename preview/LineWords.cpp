#include "LineWords.h"

#include <QString>

#include <array>
#include <limits>

namespace {

// What a character means to the scan: the slot of a word's letter, a line break, or nothing.
// A slot's bit marks its word as found.
enum Kind : qint8
{
    SlotX,
    SlotY,
    SlotZ,
    SlotI,
    SlotJ,
    SlotG,
    Other,
    LineEnd
};

constexpr std::array<qint8, 128> asciiKinds = [] {
    std::array<qint8, 128> kinds{};
    for (qint8 &kind : kinds)
        kind = Other;
    const char *const letters = "xyzijg";
    for (int slot = SlotX; slot <= SlotG; ++slot) {
        kinds[size_t(letters[slot])] = qint8(slot);
        kinds[size_t(letters[slot] - 'a' + 'A')] = qint8(slot);
    }
    kinds['\n'] = LineEnd;
    kinds['\r'] = LineEnd;
    return kinds;
}();

Kind kindOf(QChar c)
{
    const char16_t code = c.unicode();
    if (code < 128)
        return Kind(asciiKinds[code]);
    // A document's plain text turns these into line feeds.
    const bool lineEnd = code == 0x2028 || code == 0x2029 || code == 0xfdd0 || code == 0xfdd1;
    return lineEnd ? LineEnd : Other;
}

int digitOf(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9' ? c.unicode() - '0' : -1;
}

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

// Reads "-?[0-9]*\.?[0-9]*" from at on and converts it like QString::toFloat; at is left
// behind the number.
float readDecimal(const QChar *&at, const QChar *end)
{
    const QChar *const start = at;
    const bool negative = at < end && *at == QLatin1Char('-');
    at += negative;
    qint64 mantissa = 0;
    int significant = 0;
    int fractionDigits = 0;
    bool anyDigit = false;
    bool inFraction = false;
    for (; at < end; ++at) {
        const int digit = digitOf(*at);
        if (digit < 0) {
            if (*at != QLatin1Char('.') || inFraction)
                break;
            inFraction = true;
            continue;
        }
        anyDigit = true;
        fractionDigits += inFraction;
        if (mantissa == 0 && digit == 0)
            continue; // leading zeros
        if (++significant <= exactDigits)
            mantissa = mantissa * 10 + digit;
    }
    if (!anyDigit)
        return 0; // "", "-", "." and "-." are no numbers
    if (significant > exactDigits || fractionDigits > exactPowersOfTen)
        return QString::fromRawData(start, int(at - start)).toFloat();
    const double magnitude = double(mantissa) / powerOfTen(fractionDigits);
    return float(negative ? -magnitude : magnitude);
}

int readInteger(const QChar *&at, const QChar *end)
{
    qint64 value = 0;
    bool tooLarge = false;
    for (int digit; at < end && (digit = digitOf(*at)) >= 0; ++at) {
        value = value * 10 + digit;
        if (value > std::numeric_limits<int>::max()) {
            tooLarge = true; // a failed conversion gives 0, as the toolkit's does
            value = 0;
        }
    }
    return tooLarge ? 0 : int(value);
}

} // namespace

float wordNumberToFloat(QStringView digits)
{
    const QChar *at = digits.data();
    return readDecimal(at, at + digits.size());
}

int wordNumberToInt(QStringView digits)
{
    const QChar *at = digits.data();
    return readInteger(at, at + digits.size());
}

// Every word is the first match of its pattern, and a number holds no letters, so the line is
// read once: the first time a letter turns up, its number is read, and the scan goes on
// behind it.
LineWords readLineWords(QStringView text, qsizetype *length)
{
    LineWords words;
    float *const values[] = {&words.x, &words.y, &words.z, &words.i, &words.j};
    int found = 0;
    const QChar *const begin = text.data();
    const QChar *const end = begin + text.size();
    const QChar *at = begin;
    const QChar *lineEnd = end;
    while (at < end) {
        const Kind kind = kindOf(*at++);
        if (kind == Other || (kind != LineEnd && (found & (1 << kind))))
            continue;
        if (kind == LineEnd) {
            lineEnd = at - 1;
            break;
        }
        found |= 1 << kind;
        if (kind == SlotG)
            words.g = readInteger(at, end);
        else
            *values[kind] = readDecimal(at, end);
    }
    words.present = quint8(found & ~(1 << SlotG));
    if (length)
        *length = lineEnd - begin;
    return words;
}
