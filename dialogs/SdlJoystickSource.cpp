#include "SdlJoystickSource.h"

#include <SDL.h>

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcJoystick, "orlo.gamepad", QtInfoMsg)

namespace {

quint16 toUnsignedAxis(Sint16 value)
{
    return static_cast<quint16>(int(value) + 32768);
}

} // namespace

SdlJoystickSource::SdlJoystickSource()
{
    // The station handles its own signals, and polls whether or not it has the focus.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    available = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
    if (!available)
        qCDebug(lcJoystick) << "no joystick support:" << SDL_GetError();
}

SdlJoystickSource::~SdlJoystickSource()
{
    for (const auto &entry : joysticks)
        SDL_JoystickClose(entry.second);
    if (available)
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

int SdlJoystickSource::idCount()
{
    if (!available)
        return 0;
    SDL_JoystickUpdate(); // also notices joysticks plugged in or pulled out since
    return qMax(0, SDL_NumJoysticks());
}

void SdlJoystickSource::close(int id)
{
    const auto found = joysticks.find(id);
    if (found == joysticks.end())
        return;
    SDL_JoystickClose(found->second);
    joysticks.erase(found);
}

// Device indices shift when a joystick is pulled out, so a handle is kept only while it still
// belongs to the device at its index.
SDL_Joystick *SdlJoystickSource::opened(int id)
{
    const SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(id);
    const auto found = joysticks.find(id);
    if (found != joysticks.end()) {
        if (SDL_JoystickGetAttached(found->second) &&
            SDL_JoystickInstanceID(found->second) == instance)
            return found->second;
        close(id);
    }
    if (instance < 0)
        return nullptr;
    SDL_Joystick *joystick = SDL_JoystickOpen(id);
    if (joystick)
        joysticks[id] = joystick;
    return joystick;
}

bool SdlJoystickSource::read(int id, JoystickState &state)
{
    if (!available || id < 0)
        return false;
    SDL_JoystickUpdate();
    if (id >= SDL_NumJoysticks()) {
        close(id);
        return false;
    }
    SDL_Joystick *joystick = opened(id);
    if (!joystick)
        return false;
    const int axes = SDL_JoystickNumAxes(joystick);
    state.x = axes > 0 ? toUnsignedAxis(SDL_JoystickGetAxis(joystick, 0)) : 32767;
    state.y = axes > 1 ? toUnsignedAxis(SDL_JoystickGetAxis(joystick, 1)) : 32767;
    state.buttons = 0;
    const int buttons = qMin(SDL_JoystickNumButtons(joystick), 32);
    for (int button = 0; button < buttons; ++button) {
        if (SDL_JoystickGetButton(joystick, button))
            state.buttons |= quint32(1) << button;
    }
    return true;
}
