#pragma once

#include <SDL.h>

// A joystick made by SDL itself: the real SDL code path without hardware. Positions are given
// on the 0 to 65535 scale the gamepad logic sees.
class VirtualJoystick
{
public:
    explicit VirtualJoystick(int buttons = 16)
    {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_InitSubSystem(SDL_INIT_JOYSTICK);
        index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, buttons, 0);
        handle = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
    }
    ~VirtualJoystick()
    {
        unplug();
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    VirtualJoystick(const VirtualJoystick &) = delete;
    VirtualJoystick &operator=(const VirtualJoystick &) = delete;

    void setX(int position) { SDL_JoystickSetVirtualAxis(handle, 0, Sint16(position - 32768)); }
    void setY(int position) { SDL_JoystickSetVirtualAxis(handle, 1, Sint16(position - 32768)); }
    void centre()
    {
        setX(32768);
        setY(32768);
    }
    void setButton(int button, bool down) { SDL_JoystickSetVirtualButton(handle, button, down); }
    void unplug()
    {
        if (!handle)
            return;
        SDL_JoystickClose(handle);
        SDL_JoystickDetachVirtual(index);
        SDL_JoystickUpdate();
        handle = nullptr;
    }

private:
    int index = -1;
    SDL_Joystick *handle = nullptr;
};
