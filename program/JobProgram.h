#pragma once

#include "ModalState.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

#include <optional>

struct StartFromLine;

// A program as it goes to the controller: every non-empty line of the editor, cleaned, with the
// editor line it came from. Lines left empty by cleaning, and "%" delimiters, stay in the list
// with nothing to send, so the progress still counts them. The cleaned text is kept in one
// block of bytes: a program of a million lines must not cost a string object a line.
//
// Grbl has no tool changer and no program stops of its own to speak of, so the program is read
// for them here: an M6 becomes a stop for the operator (its line is not sent), M0 and M1 are
// pauses, and M2 or M30 end the program: nothing after them is sent.
class JobProgram
{
public:
    enum class Kind : quint8
    {
        Line,
        ToolChange, // sent only after the change: the spindle and distance mode the program had
        Pause,      // M0, M1: the controller holds; the operator goes on
        End         // M2, M30: the last line sent
    };

    struct Refusal
    {
        int line = 0; // editor line, from 1
        QString reason;
    };

    struct ToolChange
    {
        int tool = -1;   // the T word in force, -1 when none was given
        QString comment; // the program's comment naming that tool, if it has one
    };

    // Lines end at LF; a CR inside a line ends a line for the controller too, so it splits the
    // editor line into more than one. The program begins in the controller's `startModes`;
    // given `from`, at its line, after its way in (which counts as that line).
    static JobProgram read(QStringView text, const ModalState &startModes = {},
                           const StartFromLine *from = nullptr);

    int size() const { return entries.size(); }
    bool isEmpty() const { return entries.isEmpty(); }
    // What to send for entry `index`, without its line feed; empty: nothing to send.
    QByteArray bytes(int index) const;
    int editorLine(int index) const { return entries.at(index).line; }
    Kind kind(int index) const { return entries.at(index).kind; }
    ToolChange toolChange(int index) const { return toolChanges.value(index); }
    // Lines with something to send after the program's end.
    int leftOut() const { return afterEnd; }
    // The first line the controller cannot take as it stands: the whole job is refused.
    const std::optional<Refusal> &refusal() const { return firstFault; }

private:
    void add(QStringView line, int editorLine);
    void skip(QStringView line);
    void append(const QString &kept, int editorLine, Kind kind);
    void addToolChange(const QString &kept, int editorLine);
    void follow(QStringView kept);
    void rememberToolComment(QStringView line);

    struct Entry
    {
        int offset;
        int length;
        int line;
        Kind kind;
    };
    QByteArray text;
    QVector<Entry> entries;
    QHash<int, ToolChange> toolChanges;
    ModalState modal;
    int tool = -1; // the T word in force, -1 until one is given
    QHash<int, QString> toolComments;
    bool ended = false;
    int afterEnd = 0;
    std::optional<Refusal> firstFault;
};
