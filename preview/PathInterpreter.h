#pragma once

#include "PathBuilder.h"
#include "PathPoint.h"

#include <QStringView>
#include <QVector>

#include <unordered_map>
#include <vector>

// Turns the program into the preview's toolpath, re-reading only what an edit changed.
//
// It keeps, for every block (line) of the editor's document, the words the line says, the
// modal values on entering it and where its points begin in the path. After an edit only the
// changed blocks are read again; the path is rebuilt from the first changed block on until the
// values on entering a block are the same as before the edit, and the rest of the old path is
// kept. The points are the same as those of reading the whole text again.
class PathInterpreter
{
public:
    // Replaces the blocks first .. first + removed - 1 by the blocks in text, which holds them
    // separated by U+2029 as a document's raw text does (so it always holds at least one).
    void replaceBlocks(int first, int removed, QStringView text);
    int blockCount() const { return int(blocks.size()); }

    // The modes the program begins in (the controller's, where the operator chose to run it in
    // them); the next update reads everything again.
    void setStartState(const MachineState &state);
    const MachineState &initialState() const { return startState; }

    // Brings path up to date with the blocks. When no block holds anything but line breaks, the
    // path is left as it was and the result is false.
    bool update(QVector<PathPoint> &path);

    // The index in the path of the first point the block makes, or of the point after the
    // points of the blocks before it when it makes none: path[0, firstPointOfBlock(n + 1)) is
    // the path up to the end of block n. As of the last update; the size of the path for a
    // block beyond the last.
    int firstPointOfBlock(int block) const;

    // Reads a whole program text in one go: a document's plain text, lines ended by CR or LF.
    static bool interpretText(QStringView text, QVector<PathPoint> &path);

private:
    struct Block
    {
        LineWords words;       // of the block's first non-empty line
        MachineState entry;    // modal values on entering the block
        int pointStart = 0;    // index in the path of the block's first point
        quint32 moreLines = 0; // key into extraLines; 0: the block is one line
        bool hasText = false;
    };

    Block readBlock(QStringView text);
    void forgetBlocks(int first, int count);
    void markDirty(int first, int removed, int added);
    void runBlock(const Block &block, PathBuilder &builder) const;
    MachineState exitState(int index) const;
    void rebuild(QVector<PathPoint> &path);

    std::vector<Block> blocks;
    std::unordered_map<quint32, std::vector<LineWords>> extraLines;
    quint32 nextExtraKey = 1;
    int textBlocks = 0;
    int dirtyFrom = -1; // the blocks [dirtyFrom, dirtyTo) need reading into the path again
    int dirtyTo = -1;
    int producedSize = 0; // size of the path the last update left; 0: none yet
    bool capped = false;  // the last update stopped at the point limit
    MachineState startState;
};
