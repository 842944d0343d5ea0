#include "JobProgram.h"

#include "ProgramLine.h"

JobProgram JobProgram::read(QStringView text)
{
    JobProgram program;
    int line = 1;
    int start = 0;
    for (int i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        const QChar c = end ? QLatin1Char('\n') : text.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        if (i > start)
            program.add(text.mid(start, i - start), line);
        if (c == QLatin1Char('\n'))
            ++line;
        start = i + 1;
    }
    return program;
}

void JobProgram::add(QStringView line, int editorLine)
{
    QString kept = ProgramLine::cleaned(line);
    if (ProgramLine::isDelimiter(kept))
        kept.clear();
    const ProgramLine::Check check = ProgramLine::check(kept);
    if (check.fault != ProgramLine::Fault::None) {
        if (!firstFault)
            firstFault = Refusal{editorLine, ProgramLine::faultText(check)};
        kept.clear();
    }
    entries.append({text.size(), kept.size(), editorLine});
    text.append(kept.toLatin1());
}

QByteArray JobProgram::bytes(int index) const
{
    const Entry &entry = entries.at(index);
    return text.mid(entry.offset, entry.length);
}
