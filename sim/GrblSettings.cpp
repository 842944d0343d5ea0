#include "GrblSettings.h"

#include "Dialect.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

GrblSettings::GrblSettings(bool grbl11)
    : entries{
          {0, 10, Kind::Integer, "step pulse, usec"},
          {1, 25, Kind::Integer, "step idle delay, msec"},
          {2, 0, Kind::Mask, "step port invert mask:"},
          {3, 0, Kind::Mask, "dir port invert mask:"},
          {4, 0, Kind::Flag, "step enable invert, bool"},
          {5, 0, Kind::Flag, "limit pins invert, bool"},
          {6, 0, Kind::Flag, "probe pin invert, bool"},
          {10, 3, Kind::Mask, "status report mask:"},
          {11, 0.010, Kind::Real, "junction deviation, mm"},
          {12, 0.002, Kind::Real, "arc tolerance, mm"},
          {13, 0, Kind::Flag, "report inches, bool"},
          {20, 0, Kind::Flag, "soft limits, bool"},
          {21, 0, Kind::Flag, "hard limits, bool"},
          {22, 0, Kind::Flag, "homing cycle, bool"},
          {23, 0, Kind::Mask, "homing dir invert mask:"},
          {24, 25, Kind::Real, "homing feed, mm/min"},
          {25, 500, Kind::Real, "homing seek, mm/min"},
          {26, 250, Kind::Integer, "homing debounce, msec"},
          {27, 1, Kind::Real, "homing pull-off, mm"},
          {100, 250, Kind::Real, "x, step/mm"},
          {101, 250, Kind::Real, "y, step/mm"},
          {102, 250, Kind::Real, "z, step/mm"},
          {110, 500, Kind::Real, "x max rate, mm/min"},
          {111, 500, Kind::Real, "y max rate, mm/min"},
          {112, 500, Kind::Real, "z max rate, mm/min"},
          {120, 10, Kind::Real, "x accel, mm/sec^2"},
          {121, 10, Kind::Real, "y accel, mm/sec^2"},
          {122, 10, Kind::Real, "z accel, mm/sec^2"},
          {130, 200, Kind::Real, "x max travel, mm"},
          {131, 200, Kind::Real, "y max travel, mm"},
          {132, 200, Kind::Real, "z max travel, mm"},
      }
{
    v11 = grbl11;
    if (!v11)
        return;
    // 1.1 reports MPos only by default; WPos follows from the WCO it sends.
    set(10, 1);
    const auto spindle =
        std::find_if(entries.begin(), entries.end(), [](const Entry &e) { return e.index > 27; });
    entries.insert(spindle,
                   {{30, 1000, Kind::Rpm, ""}, {31, 0, Kind::Rpm, ""}, {32, 0, Kind::Flag, ""}});
}

const GrblSettings::Entry *GrblSettings::find(int index) const
{
    for (const Entry &entry : entries) {
        if (entry.index == index)
            return &entry;
    }
    return nullptr;
}

bool GrblSettings::has(int index) const
{
    return find(index) != nullptr;
}

double GrblSettings::value(int index) const
{
    const Entry *entry = find(index);
    return entry ? entry->value : 0;
}

std::string GrblSettings::formatted(const Entry &entry) const
{
    char text[64];
    if (entry.kind == Kind::Real)
        std::snprintf(text, sizeof text, "%.3f", entry.value);
    else if (entry.kind == Kind::Rpm)
        std::snprintf(text, sizeof text, "%.0f", entry.value);
    else
        std::snprintf(text, sizeof text, "%ld", static_cast<long>(entry.value));
    std::string line = "$" + std::to_string(entry.index) + "=" + text;
    if (v11)
        return line;
    line += " (" + entry.description;
    if (entry.kind == Kind::Mask) {
        const int bits = static_cast<int>(entry.value);
        for (int bit = 7; bit >= 0; --bit)
            line += (bits >> bit) & 1 ? '1' : '0';
    }
    return line + ")";
}

std::vector<std::string> GrblSettings::listing() const
{
    std::vector<std::string> lines;
    for (const Entry &entry : entries)
        lines.push_back(formatted(entry));
    return lines;
}

int GrblSettings::set(int index, double value)
{
    Entry *entry = const_cast<Entry *>(find(index));
    if (!entry)
        return InvalidStatement;
    if (value < 0)
        return NegativeValue;
    if (index == 0 && value < 3)
        return PulseTooShort;
    switch (entry->kind) {
    case Kind::Real:
    case Kind::Rpm:
        entry->value = value;
        break;
    case Kind::Integer: // stored in 16 bits by the firmware
        entry->value = std::fmod(std::trunc(value), 65536.0);
        break;
    case Kind::Mask:
        entry->value = static_cast<int>(std::fmod(std::trunc(value), 256.0));
        break;
    case Kind::Flag:
        entry->value = std::trunc(value) != 0 ? 1 : 0;
        break;
    }
    return Ok;
}
