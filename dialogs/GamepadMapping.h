#pragma once

#include "GamepadButton.h"
#include "JoystickSource.h"

#include <QString>
#include <QVariant>

#include <array>

// How a joystick reading becomes the twelve machine inputs, and how joystick buttons are
// assigned to the eight inputs that take one.
namespace GamepadMapping {

constexpr int AssignmentWaiting = -1;   // learning: the next pressed button is taken
constexpr int AssignmentUndefined = -2; // no button
constexpr int assignmentCount = 8;

using Inputs = std::array<bool, gamepadButtonCount>;
using Assignments = std::array<int, assignmentCount>;

// The inputs the assignments drive, in the order of the assignment list and the dialog.
constexpr std::array<GamepadButton, assignmentCount> assignedInputs = {
    ZPlus, ZMinus, ZeroAll, Slow, Medium, DefinedStep, Start, Spindle};

// The stick's dead band is 31511 to 33511 on both axes; at most one direction per axis is on.
// An assignment outside 0 to 31 (waiting, undefined, or anything stored) matches no button.
Inputs inputsFrom(const JoystickState &state, const Assignments &assignments);

// Learn mode: the lowest pressed button goes to the waiting assignment and is taken away from
// any other that had it. Returns whether anything changed.
bool learn(Assignments &assignments, quint32 buttonMask);

// A click on an assignment's button: any other pending learn is cancelled and this one waits.
void startLearning(Assignments &assignments, int index);

QString label(int assignment);

// A stored assignment as the dialog may use it: a button number 0 to 31, or undefined.
int fromStore(const QVariant &stored);

} // namespace GamepadMapping
