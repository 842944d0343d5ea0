#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

// A program as it goes to the controller: every non-empty line of the editor, cleaned, with the
// editor line it came from. Lines left empty by cleaning, and "%" delimiters, stay in the list
// with nothing to send, so the progress still counts them. The cleaned text is kept in one
// block of bytes: a program of a million lines must not cost a string object a line.
class JobProgram
{
public:
    struct Refusal
    {
        int line = 0; // editor line, from 1
        QString reason;
    };

    // Lines end at LF; a CR inside a line ends a line for the controller too, so it splits the
    // editor line into more than one.
    static JobProgram read(QStringView text);

    int size() const { return entries.size(); }
    bool isEmpty() const { return entries.isEmpty(); }
    // What to send for entry `index`, without its line feed; empty: nothing to send.
    QByteArray bytes(int index) const;
    int editorLine(int index) const { return entries.at(index).line; }
    // The first line the controller cannot take as it stands: the whole job is refused.
    const std::optional<Refusal> &refusal() const { return firstFault; }

private:
    void add(QStringView line, int editorLine);

    struct Entry
    {
        int offset;
        int length;
        int line;
    };
    QByteArray text;
    QVector<Entry> entries;
    std::optional<Refusal> firstFault;
};
