#pragma once

#include "JoystickSource.h"

#include <map>

struct _SDL_Joystick;

// Joysticks through SDL2's joystick subsystem alone (no window, no video). Ids are SDL's
// device indices. Without joystick support on the system it quietly finds none.
class SdlJoystickSource : public JoystickSource
{
public:
    SdlJoystickSource();
    ~SdlJoystickSource() override;
    SdlJoystickSource(const SdlJoystickSource &) = delete;
    SdlJoystickSource &operator=(const SdlJoystickSource &) = delete;

    int idCount() override;
    bool read(int id, JoystickState &state) override;

private:
    _SDL_Joystick *opened(int id);
    void close(int id);

    bool available = false;
    std::map<int, _SDL_Joystick *> joysticks;
};
