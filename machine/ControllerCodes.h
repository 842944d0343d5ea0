#pragma once

#include <QString>

// What Grbl 1.1's numbers mean. 1.1 sends "error:20" and "ALARM:4" where 0.9 sent words; the
// operator gets the number and the words together.
namespace ControllerCodes {

// "error:20" -> "error:20 Unsupported command", "ALARM:4" -> "ALARM:4 Probe fail: probe
// already triggered before the cycle". A number nobody defined, and every other line, stay
// as they are.
QString readable(const QString &line);

// "Step pulse time, microseconds" for $0; empty for a number 1.1 does not have.
QString settingDescription(int number);

} // namespace ControllerCodes
