#include "PathInterpreter.h"

#include "VectorUnits.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr PathPoint origin{0, 0, 0, 0};

// Calls visit(words) for every non-empty line of text; readLineWords finds the line ends.
template <typename Visit> void forEachLine(QStringView text, Visit visit)
{
    for (qsizetype start = 0; start < text.size();) {
        qsizetype length = 0;
        const LineWords words = readLineWords(text.mid(start), &length);
        if (length > 0)
            visit(words);
        start += length + 1;
    }
}

// Replaces path[from, to) by fresh, moving the points after it.
void replaceRange(QVector<PathPoint> &path, int from, int to, const QVector<PathPoint> &fresh)
{
    const int tail = path.size() - to;
    const int newSize = from + fresh.size() + tail;
    if (newSize > path.size())
        path.resize(newSize);
    PathPoint *data = path.data();
    std::memmove(data + from + fresh.size(), data + to, size_t(tail) * sizeof(PathPoint));
    std::copy(fresh.cbegin(), fresh.cend(), data + from);
    path.resize(newSize);
}

} // namespace

bool PathInterpreter::interpretText(QStringView text, QVector<PathPoint> &path)
{
    clearUpperVectorState();
    bool anyLine = false;
    QVector<PathPoint> points{origin};
    PathBuilder builder(points, MachineState(), PathBuilder::pointLimit - 1);
    forEachLine(text, [&](const LineWords &words) {
        anyLine = true;
        builder.run(words);
    });
    if (anyLine)
        path.swap(points);
    return anyLine;
}

int PathInterpreter::firstPointOfBlock(int block) const
{
    if (block >= blockCount())
        return producedSize;
    return std::min(blocks[size_t(std::max(block, 0))].pointStart, producedSize);
}

PathInterpreter::Block PathInterpreter::readBlock(QStringView text)
{
    Block block;
    std::vector<LineWords> more;
    forEachLine(text, [&](const LineWords &words) {
        if (block.hasText)
            more.push_back(words);
        else
            block.words = words;
        block.hasText = true;
    });
    if (!more.empty()) {
        block.moreLines = nextExtraKey++;
        extraLines.emplace(block.moreLines, std::move(more));
    }
    return block;
}

void PathInterpreter::forgetBlocks(int first, int count)
{
    for (int index = first; index < first + count; ++index) {
        const Block &block = blocks[size_t(index)];
        if (block.moreLines)
            extraLines.erase(block.moreLines);
        textBlocks -= block.hasText;
    }
}

void PathInterpreter::replaceBlocks(int first, int removed, QStringView text)
{
    clearUpperVectorState();
    first = std::clamp(first, 0, blockCount());
    removed = std::clamp(removed, 0, blockCount() - first);
    // The new blocks begin where the old ones began in the path, which is all a rebuild needs
    // to know of them.
    const int oldStart = first < blockCount() ? blocks[size_t(first)].pointStart : producedSize;

    std::vector<Block> added;
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = text.indexOf(QChar::ParagraphSeparator, start);
        if (end < 0)
            end = text.size();
        added.push_back(readBlock(text.mid(start, end - start)));
        added.back().pointStart = oldStart;
        textBlocks += added.back().hasText;
        start = end + 1;
    }

    forgetBlocks(first, removed);
    const int addedCount = int(added.size());
    if (removed == blockCount()) {
        blocks.swap(added); // a whole new program: spare copying a million blocks
    } else {
        const auto at = blocks.begin() + first;
        blocks.erase(at, at + removed);
        blocks.insert(blocks.begin() + first, added.begin(), added.end());
    }
    markDirty(first, removed, addedCount);
}

void PathInterpreter::markDirty(int first, int removed, int added)
{
    if (dirtyFrom < 0) {
        dirtyFrom = first;
        dirtyTo = first + added;
        return;
    }
    // Blocks between two edits are read again too; that costs little and keeps one range.
    const int end = dirtyTo > first + removed ? dirtyTo + added - removed : 0;
    dirtyTo = std::max(end, first + added);
    dirtyFrom = std::min(dirtyFrom, first);
}

void PathInterpreter::runBlock(const Block &block, PathBuilder &builder) const
{
    builder.run(block.words);
    if (block.moreLines) {
        for (const LineWords &line : extraLines.at(block.moreLines))
            builder.run(line);
    }
}

MachineState PathInterpreter::exitState(int index) const
{
    const Block &block = blocks[size_t(index)];
    MachineState state = block.entry;
    state.run(block.words);
    if (block.moreLines) {
        for (const LineWords &line : extraLines.at(block.moreLines))
            state.run(line);
    }
    return state;
}

void PathInterpreter::setStartState(const MachineState &state)
{
    if (startState.sameAs(state))
        return; // the path stands as it was read
    startState = state;
    producedSize = 0;
}

bool PathInterpreter::update(QVector<PathPoint> &path)
{
    clearUpperVectorState();
    if (textBlocks == 0)
        return false;
    // Someone else changed the path (the preview pads a path of fewer than two points), or
    // the last run stopped at the point limit: read everything again.
    if (producedSize == 0 || path.size() != producedSize || capped) {
        path = {origin};
        producedSize = 1;
        capped = false;
        blocks.front().pointStart = 1;
        dirtyFrom = 0;
        dirtyTo = blockCount();
    }
    if (dirtyFrom >= 0)
        rebuild(path);
    dirtyFrom = dirtyTo = -1;
    return true;
}

void PathInterpreter::rebuild(QVector<PathPoint> &path)
{
    const int from = dirtyFrom;
    const int regionStart = blocks[size_t(from)].pointStart;
    const MachineState entry = from == 0 ? startState : exitState(from - 1);
    // Rebuilt from the start, the new points take the origin along and replace the whole path.
    const int freshStart = regionStart == 1 ? 0 : regionStart;
    QVector<PathPoint> fresh;
    if (freshStart == 0) {
        fresh.reserve(std::min(blockCount(), PathBuilder::pointLimit - 1) + 1);
        fresh.append(origin);
    }
    PathBuilder builder(fresh, entry, PathBuilder::pointLimit - regionStart);

    int index = from;
    int oldTailStart = producedSize;
    for (; index < blockCount(); ++index) {
        Block &block = blocks[size_t(index)];
        if (index >= dirtyTo) {
            const int oldStart = block.pointStart;
            const bool fits =
                freshStart + fresh.size() + (producedSize - oldStart) <= PathBuilder::pointLimit;
            if (fits && !builder.isFull() && block.entry.sameAs(builder.state())) {
                oldTailStart = oldStart;
                break; // from here on the old path is what a full run would give
            }
        }
        block.entry = builder.state();
        block.pointStart = freshStart + fresh.size();
        runBlock(block, builder);
    }

    const int shift = freshStart + fresh.size() - oldTailStart;
    for (int later = index; later < blockCount(); ++later)
        blocks[size_t(later)].pointStart += shift;
    if (freshStart == 0 && oldTailStart == path.size()) {
        if (fresh.capacity() > 2 * fresh.size())
            fresh.squeeze();
        path.swap(fresh);
    } else {
        replaceRange(path, freshStart, oldTailStart, fresh);
    }
    producedSize = path.size();
    capped = builder.isFull();
}
