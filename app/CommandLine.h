#pragma once

#include <QString>
#include <QStringList>

// What the station is asked on its command line, `orlo-cnc-control [FILE] [--port PATH]
// [--baud N]` with the toolkit's --help and --version: either what to start with, or a text to
// print and the code to end with.
struct CommandLine
{
    static constexpr int usageError = 2;
    static constexpr int fileError = 1;

    // arguments[0] is the program. Needs the application object, with name and version set.
    static CommandLine parse(const QStringList &arguments);

    bool exits() const { return exitCode >= 0; }
    // Prints the message, to stdout after --help or --version, else to stderr.
    int report() const;

    QString file;        // absolute; empty: none
    QString port;        // for this run only; empty: the stored one
    qint32 baudRate = 0; // for this run only; 0: the stored one

    int exitCode = -1; // 0 or more: print the message and end instead of starting
    QString message;
    // The usage error is an option this parser does not know, which may still be one of the
    // toolkit's own (-platform, -style): only the GUI application object takes those out.
    bool unknownOption = false;
};
