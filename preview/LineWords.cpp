#include "LineWords.h"

#include <QString>

#include <array>
#include <limits>

namespace {

// Slots of the words in the order they are looked for.
enum Slot
{
    SlotX,
    SlotY,
    SlotZ,
    SlotI,
    SlotJ,
    SlotG,
    SlotCount
};

int slotOfLetter(QChar c)
{
    switch (c.unicode()) {
    case 'x':
    case 'X':
        return SlotX;
    case 'y':
    case 'Y':
        return SlotY;
    case 'z':
    case 'Z':
        return SlotZ;
    case 'i':
    case 'I':
        return SlotI;
    case 'j':
    case 'J':
        return SlotJ;
    case 'g':
    case 'G':
        return SlotG;
    default:
        return -1;
    }
}

bool isDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

int skipDigits(QStringView text, int from)
{
    while (from < text.size() && isDigit(text[from]))
        ++from;
    return from;
}

// End of "-?[0-9]*\.?[0-9]*" starting at from.
int endOfDecimal(QStringView text, int from)
{
    int at = from;
    if (at < text.size() && text[at] == QLatin1Char('-'))
        ++at;
    at = skipDigits(text, at);
    if (at < text.size() && text[at] == QLatin1Char('.'))
        ++at;
    return skipDigits(text, at);
}

// Up to 15 significant digits divided by a power of ten of at most 22 is exact in both operands,
// so one division rounds correctly, as the toolkit's own conversion does. Longer numbers take the
// toolkit's path.
constexpr int exactDigits = 15;
constexpr int exactPowersOfTen = 22;

bool decimalByDivision(QStringView text, double *value)
{
    qint64 mantissa = 0;
    int significant = 0;
    int fractionDigits = 0;
    int pendingZeros = 0; // fraction zeros that only count once a non-zero digit follows
    bool inFraction = false;
    bool anyDigit = false;
    for (QChar c : text) {
        if (c == QLatin1Char('.')) {
            inFraction = true;
            continue;
        }
        if (!isDigit(c))
            continue; // the sign
        anyDigit = true;
        const int digit = c.unicode() - '0';
        if (inFraction) {
            if (digit == 0) {
                ++pendingZeros;
                continue;
            }
            fractionDigits += pendingZeros + 1;
        }
        if (mantissa == 0) {
            pendingZeros = 0; // leading zeros carry no digits
            if (digit == 0)
                continue;
        }
        significant += pendingZeros + 1;
        if (significant > exactDigits)
            return false;
        for (; pendingZeros > 0; --pendingZeros)
            mantissa *= 10;
        mantissa = mantissa * 10 + digit;
    }
    if (!anyDigit || fractionDigits > exactPowersOfTen)
        return false;
    static const std::array<double, exactPowersOfTen + 1> powers = [] {
        std::array<double, exactPowersOfTen + 1> table{};
        double power = 1;
        for (double &entry : table) {
            entry = power;
            power *= 10;
        }
        return table;
    }();
    const double magnitude = double(mantissa) / powers[fractionDigits];
    *value = text.startsWith(QLatin1Char('-')) ? -magnitude : magnitude;
    return true;
}

bool hasDigit(QStringView text)
{
    for (QChar c : text) {
        if (isDigit(c))
            return true;
    }
    return false;
}

} // namespace

float wordNumberToFloat(QStringView digits)
{
    if (!hasDigit(digits))
        return 0; // "", "-", "." and "-." are no numbers
    double value;
    if (decimalByDivision(digits, &value))
        return float(value);
    return QString::fromRawData(digits.data(), int(digits.size())).toFloat();
}

int wordNumberToInt(QStringView digits)
{
    qint64 value = 0;
    for (QChar c : digits) {
        value = value * 10 + (c.unicode() - '0');
        if (value > std::numeric_limits<int>::max())
            return 0; // out of range fails, and a failed conversion gives 0
    }
    return int(value);
}

LineWords readLineWords(QStringView line)
{
    std::array<int, SlotCount> first;
    first.fill(-1);
    int found = 0;
    for (int at = 0; at < line.size() && found < SlotCount; ++at) {
        const int slot = slotOfLetter(line[at]);
        if (slot >= 0 && first[slot] < 0) {
            first[slot] = at;
            ++found;
        }
    }

    LineWords words;
    float *const values[] = {&words.x, &words.y, &words.z, &words.i, &words.j};
    for (int slot = SlotX; slot <= SlotJ; ++slot) {
        if (first[slot] < 0)
            continue;
        const int from = first[slot] + 1;
        *values[slot] = wordNumberToFloat(line.mid(from, endOfDecimal(line, from) - from));
        words.present |= quint8(1 << slot);
    }
    if (first[SlotG] >= 0) {
        const int from = first[SlotG] + 1;
        words.g = wordNumberToInt(line.mid(from, skipDigits(line, from) - from));
    }
    return words;
}
