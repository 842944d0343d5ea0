#pragma once

#include <cstddef>
#include <string>

// The firmware's status codes. Both versions detect the same faults; 1.1 sends the number,
// 0.9 words of its own.
enum Status : int
{
    Ok = 0,
    ExpectedCommandLetter = 1,
    BadNumberFormat = 2,
    InvalidStatement = 3,
    NegativeValue = 4,
    PulseTooShort = 6,
    NotIdle = 8,
    AlarmLock = 9,
    LineOverflow = 11,
    InvalidJogCommand = 16,
    UnsupportedCommand = 20,
    ModalGroupViolation = 21,
    UndefinedFeedRate = 22,
    CommandValueNotInteger = 23,
    AxisCommandConflict = 24,
    WordRepeated = 25,
    NoAxisWords = 26,
    InvalidLineNumber = 27,
    ValueWordMissing = 28,
    UnsupportedCoordinateSystem = 29,
    AxisWordsUnused = 31,
    NoAxisWordsInPlane = 32,
    InvalidTarget = 33,
    NoOffsetsInPlane = 35,
    UnusedWords = 36,
    ToolLengthAxis = 37,
    ToolNumberTooLarge = 38,
};

enum AlarmCode : int
{
    AbortDuringCycle = 3,
    ProbeAlreadyTouching = 4,
    ProbeNoContact = 5,
};

// What tells a 0.9j controller from a 1.1h one on the line. Everything the two do alike is
// said here in the words of the version asked for.
class Dialect
{
public:
    explicit Dialect(bool grbl11) : v11(grbl11) {}

    bool isV11() const { return v11; }
    std::size_t receiveBufferSize() const { return v11 ? 128 : 127; }
    std::size_t plannerBlocks() const { return v11 ? 15 : 16; }

    std::string banner() const;
    std::string unlockHint() const;
    std::string buildInfo() const;
    std::string help() const;
    // A bracketed feedback line, with its line end.
    std::string message(const std::string &text) const;
    // Reply lines, without the line end.
    std::string error(int status) const;
    std::string alarm(int code) const;

private:
    bool v11;
};
