#pragma once

#include <QtGlobal>

// One reading of a joystick: both stick axes on a 0 to 65535 scale (centre about 32767) and
// the first 32 buttons as bits of a mask, button 0 the lowest.
struct JoystickState
{
    quint16 x = 32767;
    quint16 y = 32767;
    quint32 buttons = 0;
};

// All the gamepad logic needs of the system's joysticks.
class JoystickSource
{
public:
    virtual ~JoystickSource() = default;
    // How many joystick ids to try (not how many are connected).
    virtual int idCount() = 0;
    // Reads joystick `id`; false when there is none (not present, unplugged).
    virtual bool read(int id, JoystickState &state) = 0;
};
