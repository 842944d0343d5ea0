#pragma once

// The machine inputs raised by the gamepad and the on-screen jog buttons.
enum GamepadButton
{
    XPlus = 0,
    XMinus = 1,
    YPlus = 2,
    YMinus = 3,
    ZPlus = 4,
    ZMinus = 5,
    ZeroAll = 6,
    Slow = 7,
    Medium = 8,
    Start = 9,
    Spindle = 10,
    DefinedStep = 11
};

constexpr int gamepadButtonCount = 12;
