#pragma once

#include "dialogs/GamepadButton.h"

#include <QString>

// The texts of jog moves: every move is relative G-code at a feed in mm/min.
namespace JogCommands {

// Step lengths to choose from; Continuous means "while held".
enum class Step
{
    Continuous,
    Mm100,
    Mm10,
    Mm1,
    Mm01,
    Mm001,
    Custom
};

constexpr int zFeedLimit = 500; // Z jogs no faster than this

QString stepText(Step step, double customStep);
// "X+", "X-", "Y+", "Y-", "Z+", "Z-" for the six direction inputs; empty for the others.
QString direction(GamepadButton button);
// The feed of a single step: Z capped at the Z limit.
int stepFeed(const QString &direction, int feed);

} // namespace JogCommands
