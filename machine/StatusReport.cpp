#include "StatusReport.h"

#include <QRegularExpression>

namespace {

QString fieldAt(const QStringList &fields, int index)
{
    return index < fields.size() ? fields.at(index) : QString();
}

std::optional<QStringList> positionAfter(const QStringList &fields, int tagIndex,
                                         const QString &tag)
{
    if (fieldAt(fields, tagIndex) != tag || fields.size() <= tagIndex + 3)
        return std::nullopt;
    return fields.mid(tagIndex + 1, 3);
}

} // namespace

StatusReport parseStatusReport(const QString &line)
{
    static const QRegularExpression separators(QStringLiteral("[,|:]"));
    const QString inner = line.mid(1, line.size() - 2);
    const QStringList fields = inner.split(separators, Qt::KeepEmptyParts);

    StatusReport report;
    report.state = fieldAt(fields, 0);
    report.machine = positionAfter(fields, 1, QStringLiteral("MPos"));
    report.work = positionAfter(fields, 5, QStringLiteral("WPos"));
    return report;
}
