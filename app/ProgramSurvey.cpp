#include "ProgramSurvey.h"

#include "machine/Job.h"
#include "program/JobProgram.h"

#include <cmath>

ProgramSurvey surveyProgram(const QString &program, const MachineLimits &limits,
                            const MachineState &start)
{
    ProgramSurvey survey;
    survey.estimate = estimateRunTime(program, limits, start);
    const JobProgram lines = JobProgram::read(program);
    for (int index = 0; index < lines.size(); ++index) {
        if (lines.kind(index) == JobProgram::Kind::ToolChange)
            survey.toolChanges << lines.editorLine(index);
        else if (lines.kind(index) == JobProgram::Kind::Pause)
            survey.pauses << lines.editorLine(index);
    }
    return survey;
}

QString ProgramSurvey::describe() const
{
    if (estimate.totalSeconds == 0 && toolChanges.isEmpty() && pauses.isEmpty())
        return {};
    // An absurd program may promise an endless run; no estimate is better than a wrong one.
    if (!(estimate.totalSeconds > 0 && estimate.totalSeconds < 1e7))
        return QStringLiteral("no estimate");
    QString text = QStringLiteral("estimated %1")
                       .arg(Job::duration(qint64(std::llround(estimate.totalSeconds * 1000))));
    QStringList stops;
    if (!toolChanges.isEmpty())
        stops << QStringLiteral("%1 tool change(s)").arg(toolChanges.size());
    if (!pauses.isEmpty())
        stops << QStringLiteral("%1 pause(s)").arg(pauses.size());
    if (!stops.isEmpty())
        text += QStringLiteral(", %1 not counted").arg(stops.join(QStringLiteral(" and ")));
    return text;
}
