#pragma once

#include <QIcon>

// How the station names itself to the desktop: the program name the window system and the
// command line show, its version, the desktop entry it belongs to and its icon.
namespace StationIdentity {

// Before the application object exists, so that the command line can answer without a display.
void describe();

// Needs the application object.
QIcon icon();

} // namespace StationIdentity
