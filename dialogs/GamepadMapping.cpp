#include "GamepadMapping.h"

namespace GamepadMapping {

namespace {

constexpr quint16 deadBandLow = 31511;
constexpr quint16 deadBandHigh = 33511;

bool isButton(int assignment)
{
    return assignment >= 0 && assignment <= 31;
}

} // namespace

Inputs inputsFrom(const JoystickState &state, const Assignments &assignments)
{
    Inputs inputs{};
    if (state.x > deadBandHigh)
        inputs[XPlus] = true;
    else if (state.x < deadBandLow)
        inputs[XMinus] = true;
    if (state.y < deadBandLow)
        inputs[YPlus] = true;
    else if (state.y > deadBandHigh)
        inputs[YMinus] = true;
    for (int index = 0; index < assignmentCount; ++index) {
        const int assignment = assignments[size_t(index)];
        if (isButton(assignment) && (state.buttons >> assignment) & 1u)
            inputs[assignedInputs[size_t(index)]] = true;
    }
    return inputs;
}

bool learn(Assignments &assignments, quint32 buttonMask)
{
    if (buttonMask == 0)
        return false;
    int button = 0;
    while (!((buttonMask >> button) & 1u))
        ++button;
    bool waiting = false;
    for (int assignment : assignments)
        waiting = waiting || assignment == AssignmentWaiting;
    if (!waiting)
        return false;
    for (int &assignment : assignments) {
        if (assignment == button)
            assignment = AssignmentUndefined;
        if (assignment == AssignmentWaiting)
            assignment = button;
    }
    return true;
}

void startLearning(Assignments &assignments, int index)
{
    for (int other = 0; other < assignmentCount; ++other) {
        int &assignment = assignments[size_t(other)];
        if (assignment < 0)
            assignment = AssignmentUndefined;
        if (other == index)
            assignment = AssignmentWaiting;
    }
}

QString label(int assignment)
{
    if (assignment == AssignmentUndefined)
        return QStringLiteral("Undefined");
    if (assignment == AssignmentWaiting)
        return QStringLiteral("Press Button to Define");
    return QStringLiteral("Button %1").arg(assignment);
}

int fromStore(const QVariant &stored)
{
    bool isNumber = false;
    const int value = stored.toInt(&isNumber);
    return isNumber && isButton(value) ? value : AssignmentUndefined;
}

} // namespace GamepadMapping
