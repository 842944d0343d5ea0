#include "JogCommands.h"

namespace JogCommands {

QString stepText(Step step, double customStep)
{
    switch (step) {
    case Step::Mm100:
        return QStringLiteral("100");
    case Step::Mm10:
        return QStringLiteral("10");
    case Step::Mm1:
        return QStringLiteral("1");
    case Step::Mm01:
        return QStringLiteral("0.1");
    case Step::Mm001:
        return QStringLiteral("0.01");
    case Step::Custom:
        return QString::number(customStep, 'g', 6);
    case Step::Continuous:
        break;
    }
    return QStringLiteral("0.0");
}

QString direction(GamepadButton button)
{
    static const char *const directions[] = {"X+", "X-", "Y+", "Y-", "Z+", "Z-"};
    return button >= XPlus && button <= ZMinus ? QLatin1String(directions[button]) : QString();
}

int stepFeed(const QString &direction, int feed)
{
    return direction.startsWith(QLatin1Char('Z')) && feed > zFeedLimit ? zFeedLimit : feed;
}

} // namespace JogCommands
