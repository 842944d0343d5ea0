#include "ModalState.h"

#include "ProgramLine.h"

#include <cmath>

namespace {

constexpr double mmPerInch = 25.4;

// An arc or a probe cannot be put back without its axis words, nor a feed move without a feed
// (the controller refuses "G1" alone then); with motion cancelled, a line of axis words alone
// is refused, as it would have been, rather than run as a move nobody meant.
QString motionWord(int motion, bool feedKnown)
{
    if (motion == 0 || (motion == 10 && feedKnown))
        return QStringLiteral("G%1").arg(motion / 10);
    return QStringLiteral("G80");
}

} // namespace

// The firmware reads plain decimals only: no exponent, whatever the size.
QString ModalState::plainNumber(double value)
{
    QString text = QString::number(value, 'f', 4);
    while (text.contains(QLatin1Char('.')) && text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

void ModalState::apply(QStringView cleanedLine)
{
    const QVector<ProgramLine::Word> words = ProgramLine::words(cleanedLine);
    bool programEnd = false;
    bool toolLengthGiven = false;
    for (const ProgramLine::Word &word : words) {
        const double tenths = std::round(word.value * 10);
        if (word.letter == 'G' && std::fabs(word.value) < 1000) {
            const int code = int(tenths);
            if (code == 0 || code == 10 || code == 20 || code == 30 || code == 800 ||
                (code >= 382 && code <= 385))
                motion = code;
            else if (code == 170 || code == 180 || code == 190)
                plane = code / 10;
            else if (code == 200 || code == 210)
                inches = code == 200;
            else if (code == 900 || code == 910)
                incremental = code == 910;
            else if (code == 930 || code == 940)
                inverseTime = code == 930;
            else if (code >= 540 && code <= 590 && code % 10 == 0)
                system = code / 10;
            else if (code == 490)
                toolLength.reset();
            else if (code == 431)
                toolLengthGiven = true;
        } else if (word.letter == 'M') {
            const std::optional<int> code = ProgramLine::wholeValue(word);
            if (code == 3 || code == 4 || code == 5)
                spindle = *code;
            else if (code == 7)
                mist = true;
            else if (code == 8)
                flood = true;
            else if (code == 9)
                mist = flood = false;
            else if (code == 2 || code == 30)
                programEnd = true;
        }
    }
    // Inverse time asks for a feed on every line: the controller forgets it after each.
    if (inverseTime)
        feed = 0;
    for (const ProgramLine::Word &word : words) {
        if (word.letter == 'F')
            feed = word.value * (inches ? mmPerInch : 1);
        else if (word.letter == 'S')
            speed = word.value;
        else if (word.letter == 'T')
            tool = ProgramLine::wholeValue(word).value_or(tool);
        else if (word.letter == 'Z' && toolLengthGiven)
            toolLength = word.value * (inches ? mmPerInch : 1);
    }
    if (programEnd) {
        motion = 10;
        plane = 17;
        incremental = false;
        inverseTime = false;
        system = 54;
        spindle = 5;
        mist = flood = false;
    }
}

std::optional<ModalState> ModalState::fromParserState(const QString &line)
{
    if (!line.startsWith(QLatin1Char('[')) || !line.endsWith(QLatin1Char(']')))
        return std::nullopt;
    QStringView inner = QStringView(line).mid(1, line.size() - 2);
    if (inner.startsWith(QLatin1String("GC:")))
        inner = inner.mid(3);
    else if (!inner.startsWith(QLatin1Char('G')) || inner.contains(QLatin1Char(':')))
        return std::nullopt;
    ModalState state;
    state.apply(inner);
    return state;
}

QString ModalState::feedWord() const
{
    return QStringLiteral("F") + plainNumber(inches ? feed / mmPerInch : feed);
}

QString ModalState::restoreWords(const ModalState &now) const
{
    QStringList words;
    if (now.inches != inches)
        words << (inches ? QStringLiteral("G20") : QStringLiteral("G21"));
    if (now.inverseTime != inverseTime)
        words << (inverseTime ? QStringLiteral("G93") : QStringLiteral("G94"));
    words << (incremental ? QStringLiteral("G91") : QStringLiteral("G90"))
          << motionWord(motion, feed > 0 && !inverseTime);
    if (!inverseTime)
        words << feedWord();
    return words.join(QLatin1Char(' '));
}

QStringList ModalState::differencesFrom(const ModalState &expected) const
{
    QStringList differences;
    if (inches != expected.inches)
        differences << (inches ? QStringLiteral("G20 inches instead of G21 millimetres")
                               : QStringLiteral("G21 millimetres instead of G20 inches"));
    if (incremental != expected.incremental)
        differences << (incremental ? QStringLiteral("G91 incremental instead of G90 absolute")
                                    : QStringLiteral("G90 absolute instead of G91 incremental"));
    if (plane != expected.plane)
        differences << QStringLiteral("plane G%1 instead of G%2").arg(plane).arg(expected.plane);
    if (inverseTime != expected.inverseTime)
        differences << (inverseTime ? QStringLiteral("G93 inverse time instead of G94")
                                    : QStringLiteral("G94 instead of G93 inverse time"));
    if (system != expected.system)
        differences << QStringLiteral("coordinate system G%1 instead of G%2")
                           .arg(system)
                           .arg(expected.system);
    return differences;
}

QString ModalState::startWords() const
{
    return QStringLiteral("G%1 G%2 G%3 G%4 G%5")
        .arg(inches ? 20 : 21)
        .arg(incremental ? 91 : 90)
        .arg(plane)
        .arg(inverseTime ? 93 : 94)
        .arg(system);
}

QString ModalState::resumeWords() const
{
    QStringList words{inches ? QStringLiteral("G20") : QStringLiteral("G21"),
                      incremental ? QStringLiteral("G91") : QStringLiteral("G90"),
                      motionWord(motion, feed > 0 && !inverseTime)};
    if (!inverseTime)
        words << feedWord();
    if (spindle != 5)
        words << QStringLiteral("M%1 S%2").arg(spindle).arg(plainNumber(speed));
    if (flood)
        words << QStringLiteral("M8");
    if (mist)
        words << QStringLiteral("M7");
    return words.join(QLatin1Char(' '));
}

MachineState ModalState::reading() const
{
    MachineState state;
    state.inches = inches;
    state.incremental = incremental;
    state.feed = float(feed);
    const int motions[][2] = {{0, LineWords::Rapid},
                              {10, LineWords::Linear},
                              {20, LineWords::Clockwise},
                              {30, LineWords::CounterClockwise},
                              {800, LineWords::Cancel}};
    state.motion = LineWords::Probe;
    for (const auto &[code, reading] : motions) {
        if (motion == code)
            state.motion = qint8(reading);
    }
    return state;
}
