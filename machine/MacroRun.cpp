#include "MacroRun.h"

#include <QRegularExpression>

MacroRun::MacroRun(const Macro &macro)
    : macroName(macro.name),
      macroLines(macro.lines.join(QLatin1Char('\n'))
                     .split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))),
      active(true)
{
}

bool MacroRun::advance()
{
    active = active && ++at < macroLines.size();
    return active;
}

QString MacroRun::notRun(const QString &why) const
{
    return QStringLiteral("Macro \"%1\" not run: %2").arg(macroName, why);
}

QString MacroRun::stop(const QString &why)
{
    active = false;
    return QStringLiteral("Macro \"%1\" stopped at line %2 of %3: %4")
        .arg(macroName)
        .arg(at + 1)
        .arg(macroLines.size())
        .arg(why);
}

QString MacroRun::finished() const
{
    return QStringLiteral("Macro \"%1\": all %2 line(s) taken by the controller")
        .arg(macroName)
        .arg(macroLines.size());
}
