#include "ControllerCodes.h"

#include <QStringView>

namespace ControllerCodes {

namespace {

struct Code
{
    int number;
    const char *text;
};

constexpr Code errors[] = {
    {1, "Expected command letter"},
    {2, "Bad number format"},
    {3, "Invalid statement"},
    {4, "Value < 0"},
    {5, "Setting disabled"},
    {6, "Value < 3 usec"},
    {7, "EEPROM read fail. Using defaults"},
    {8, "Not idle"},
    {9, "G-code lock"},
    {10, "Homing not enabled"},
    {11, "Line overflow"},
    {12, "Step rate > 30kHz"},
    {13, "Check Door"},
    {14, "Line length exceeded"},
    {15, "Travel exceeded"},
    {16, "Invalid jog command"},
    {17, "Setting disabled"},
    {20, "Unsupported command"},
    {21, "Modal group violation"},
    {22, "Undefined feed rate"},
    {23, "Invalid gcode ID:23 (value not an integer)"},
    {24, "Invalid gcode ID:24 (two commands in the block need axis words)"},
    {25, "Invalid gcode ID:25 (repeated word)"},
    {26, "Invalid gcode ID:26 (no axis words where needed)"},
    {27, "Invalid gcode ID:27 (bad line number)"},
    {28, "Invalid gcode ID:28 (missing value word)"},
    {29, "Invalid gcode ID:29 (G59.x not supported)"},
    {30, "Invalid gcode ID:30 (G53 needs G0 or G1)"},
    {31, "Invalid gcode ID:31 (axis words with no command to use them)"},
    {32, "Invalid gcode ID:32 (arc without an in-plane axis word)"},
    {33, "Invalid gcode ID:33 (bad motion target)"},
    {34, "Invalid gcode ID:34 (bad arc radius)"},
    {35, "Invalid gcode ID:35 (arc without an in-plane offset word)"},
    {36, "Invalid gcode ID:36 (unused value words)"},
    {37, "Invalid gcode ID:37 (tool length offset not on the configured axis)"},
    {38, "Invalid gcode ID:38 (tool number too large)"},
};

constexpr Code alarms[] = {
    {1, "Hard limit: limit switch hit; position likely lost"},
    {2, "Soft limit: target beyond the travel; position kept"},
    {3, "Abort during cycle: reset while moving; position likely lost"},
    {4, "Probe fail: probe already triggered before the cycle"},
    {5, "Probe fail: probe found no contact within the distance"},
    {6, "Homing fail: homing interrupted by a reset"},
    {7, "Homing fail: homing interrupted by the safety door"},
    {8, "Homing fail: homing pull-off did not clear the switch"},
    {9, "Homing fail: homing found no switch within the travel"},
    {10, "Homing fail: second switch of a dual axis not found"},
};

struct Setting
{
    int number;
    const char *name;
    const char *unit;
};

constexpr Setting settings[] = {
    {0, "Step pulse time", "microseconds"},
    {1, "Step idle delay", "milliseconds"},
    {2, "Step pulse invert", "mask"},
    {3, "Step direction invert", "mask"},
    {4, "Invert step enable pin", "boolean"},
    {5, "Invert limit pins", "boolean"},
    {6, "Invert probe pin", "boolean"},
    {10, "Status report options", "mask"},
    {11, "Junction deviation", "millimeters"},
    {12, "Arc tolerance", "millimeters"},
    {13, "Report in inches", "boolean"},
    {20, "Soft limits enable", "boolean"},
    {21, "Hard limits enable", "boolean"},
    {22, "Homing cycle enable", "boolean"},
    {23, "Homing direction invert", "mask"},
    {24, "Homing locate feed rate", "mm/min"},
    {25, "Homing search seek rate", "mm/min"},
    {26, "Homing switch debounce delay", "milliseconds"},
    {27, "Homing switch pull-off distance", "millimeters"},
    {30, "Maximum spindle speed", "RPM"},
    {31, "Minimum spindle speed", "RPM"},
    {32, "Laser-mode enable", "boolean"},
    {100, "X-axis travel resolution", "step/mm"},
    {101, "Y-axis travel resolution", "step/mm"},
    {102, "Z-axis travel resolution", "step/mm"},
    {110, "X-axis maximum rate", "mm/min"},
    {111, "Y-axis maximum rate", "mm/min"},
    {112, "Z-axis maximum rate", "mm/min"},
    {120, "X-axis acceleration", "mm/sec^2"},
    {121, "Y-axis acceleration", "mm/sec^2"},
    {122, "Z-axis acceleration", "mm/sec^2"},
    {130, "X-axis maximum travel", "millimeters"},
    {131, "Y-axis maximum travel", "millimeters"},
    {132, "Z-axis maximum travel", "millimeters"},
};

template <size_t N> const char *textOf(const Code (&codes)[N], int number)
{
    for (const Code &code : codes) {
        if (code.number == number)
            return code.text;
    }
    return nullptr;
}

// The number after "error:" or "ALARM:", when that is all that follows.
int numberAfter(const QString &line, QLatin1String prefix)
{
    if (!line.startsWith(prefix))
        return -1;
    bool ok = false;
    const int number = QStringView(line).mid(prefix.size()).toInt(&ok);
    return ok && number >= 0 ? number : -1;
}

} // namespace

QString readable(const QString &line)
{
    const char *text = nullptr;
    if (const int error = numberAfter(line, QLatin1String("error:")); error >= 0)
        text = textOf(errors, error);
    else if (const int alarm = numberAfter(line, QLatin1String("ALARM:")); alarm >= 0)
        text = textOf(alarms, alarm);
    return text ? line + QLatin1Char(' ') + QLatin1String(text) : line;
}

QString settingDescription(int number)
{
    for (const Setting &setting : settings) {
        if (setting.number == number)
            return QStringLiteral("%1, %2").arg(QLatin1String(setting.name),
                                                QLatin1String(setting.unit));
    }
    return {};
}

} // namespace ControllerCodes
