#include "JobProgram.h"

#include "ProgramLine.h"
#include "StartFromLine.h"

#include <utility>

namespace {

bool has(const QVector<ProgramLine::Word> &words, char letter, std::initializer_list<int> values)
{
    for (const ProgramLine::Word &word : words) {
        for (const int value : values) {
            if (word.letter == letter && word.value == value)
                return true;
        }
    }
    return false;
}

} // namespace

JobProgram JobProgram::read(QStringView text, const ModalState &startModes,
                            const StartFromLine *from)
{
    JobProgram program;
    program.modal = startModes;
    int line = 1;
    int start = 0;
    bool wayInTaken = !from;
    QString prefix = from ? from->motionPrefix : QString();
    for (int i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        const QChar c = end ? QLatin1Char('\n') : text.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        const QStringView piece = text.mid(start, i - start);
        if (from && line < from->line) {
            program.skip(piece);
        } else {
            if (!std::exchange(wayInTaken, true)) {
                for (const QString &wayIn : from->wayIn)
                    program.add(wayIn, line);
            }
            if (!prefix.isEmpty() && !ProgramLine::cleaned(piece).isEmpty())
                program.add(std::exchange(prefix, QString()) + piece.toString(), line);
            else if (i > start)
                program.add(piece, line);
        }
        if (c == QLatin1Char('\n'))
            ++line;
        start = i + 1;
    }
    return program;
}

void JobProgram::add(QStringView line, int editorLine)
{
    QString kept = ProgramLine::cleaned(line);
    if (ended) {
        afterEnd += !kept.isEmpty() && !ProgramLine::isDelimiter(kept);
        return;
    }
    rememberToolComment(line);
    if (ProgramLine::isDelimiter(kept))
        kept.clear();
    const ProgramLine::Check check = ProgramLine::check(kept);
    if (check.fault != ProgramLine::Fault::None) {
        if (!firstFault)
            firstFault = Refusal{editorLine, ProgramLine::faultText(check)};
        kept.clear();
    }
    const QVector<ProgramLine::Word> words = ProgramLine::words(kept);
    if (has(words, 'M', {6})) {
        addToolChange(kept, editorLine);
        return;
    }
    follow(kept);
    Kind kind = Kind::Line;
    if (has(words, 'M', {0, 1}))
        kind = Kind::Pause;
    if (has(words, 'M', {2, 30})) {
        kind = Kind::End;
        ended = true;
    }
    append(kept, editorLine, kind);
}

// A line before the start: it sends nothing, but its modes, tool and tool comments count.
void JobProgram::skip(QStringView line)
{
    rememberToolComment(line);
    const QString kept = ProgramLine::cleaned(line);
    if (ProgramLine::check(kept).fault == ProgramLine::Fault::None)
        follow(kept);
}

void JobProgram::append(const QString &kept, int editorLine, Kind kind)
{
    entries.append({int(text.size()), int(kept.size()), editorLine, kind});
    text.append(kept.toLatin1());
}

// The change itself is the operator's; afterwards the machine must be as the program left it
// (a jog or a probe in between may have changed modes and the feed, and the spindle stopped).
// What else stands on the M6 line is sent after the change, as a line of its own.
void JobProgram::addToolChange(const QString &kept, int editorLine)
{
    QVector<ProgramLine::Word> dropped;
    for (const ProgramLine::Word &word : ProgramLine::words(kept)) {
        if (word.letter == 'T' || (word.letter == 'M' && word.value == 6))
            dropped.append(word);
        if (word.letter == 'T')
            tool = ProgramLine::wholeValue(word).value_or(-1);
    }
    toolChanges.insert(entries.size(), {tool, toolComments.value(tool)});
    // Absurdly long feed and speed numbers may not fit one line together: then more lines.
    QStringList words;
    for (const QString &word : modal.resumeWords().split(QLatin1Char(' '))) {
        if (word.startsWith(QLatin1Char('S')) && !words.isEmpty())
            words.last() += QLatin1Char(' ') + word; // the spindle with its speed
        else
            words << word;
    }
    QString put;
    Kind kind = Kind::ToolChange;
    for (const QString &word : words) {
        if (!put.isEmpty() && put.size() + 1 + word.size() > ProgramLine::maxCharacters) {
            append(put, editorLine, std::exchange(kind, Kind::Line));
            put.clear();
        }
        put += (put.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    append(put, editorLine, kind);
    const QString rest = ProgramLine::without(kept, dropped);
    follow(rest);
    if (!rest.isEmpty())
        append(rest, editorLine, Kind::Line);
}

void JobProgram::follow(QStringView kept)
{
    modal.apply(kept);
    for (const ProgramLine::Word &word : ProgramLine::words(kept)) {
        if (word.letter == 'T' && ProgramLine::wholeValue(word).value_or(-1) >= 0)
            tool = *ProgramLine::wholeValue(word);
    }
}

// CAM programs name their tools in comments at the top: "(T1  D=6 CR=0 - flat end mill)".
void JobProgram::rememberToolComment(QStringView line)
{
    const QStringView trimmed = line.trimmed();
    if (!trimmed.startsWith(QLatin1String("(T")) || !trimmed.endsWith(QLatin1Char(')')))
        return;
    const QStringView inner = trimmed.mid(2, trimmed.size() - 3);
    int digits = 0;
    while (digits < inner.size() && digits < 6 && inner.at(digits).isDigit())
        ++digits;
    if (digits == 0 || (digits < inner.size() && !inner.at(digits).isSpace()))
        return;
    const int number = inner.left(digits).toInt();
    if (!toolComments.contains(number))
        toolComments.insert(number, inner.mid(digits).trimmed().toString());
}

QByteArray JobProgram::bytes(int index) const
{
    const Entry &entry = entries.at(index);
    return text.mid(entry.offset, entry.length);
}
