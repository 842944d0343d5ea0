#pragma once

#include <QString>

#include <optional>

// Which Grbl the controller is. The station speaks 0.9 and 1.1; they differ in how they
// report, number their errors, jog and override. Until the controller has said which it is,
// the station keeps to what both understand (0.9's ways, the smaller receive buffer).
struct Dialect
{
    enum Kind
    {
        Unknown,
        Grbl09,
        Grbl11
    };

    Kind kind = Unknown;
    QString version;      // "0.9j", "1.1h", as the controller wrote it
    bool assumed = false; // a version the station does not know, spoken to as 1.1
    int receiveBuffer = 127;

    bool speaks11() const { return kind == Grbl11; }
    // "Grbl 1.1h", "Grbl 2.0a (unknown version, treated as 1.1)", "" while unknown.
    QString describe() const;

    // "Grbl 1.1h ['$' for help]"; nullopt for any other line.
    static std::optional<Dialect> fromBanner(const QString &line);
    // "$I"'s "[VER:1.1h.20190830:]" (1.1) or "[0.9j.20160726:]" (0.9).
    static std::optional<Dialect> fromBuildInfo(const QString &line);
    // "[OPT:V,15,128]": the receive buffer's size in bytes, its last number.
    static std::optional<int> receiveBufferFromOptions(const QString &line);
};
