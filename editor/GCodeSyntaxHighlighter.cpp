#include "GCodeSyntaxHighlighter.h"

#include <QSignalBlocker>
#include <QTextDocument>

#include <array>

namespace {

// A block's user state tells whether it carries its colours. Blocks start at -1, so new
// blocks are pending until highlighted.
constexpr int highlightedState = 1;
constexpr int pendingState = -1;

QTextCharFormat boldIn(const QColor &color)
{
    QTextCharFormat format;
    format.setFontWeight(QFont::Bold);
    format.setForeground(QBrush(color));
    return format;
}

} // namespace

GCodeSyntaxHighlighter::GCodeSyntaxHighlighter(QTextDocument *document)
    : QSyntaxHighlighter(document)
{
    // The toolkit would re-highlight every changed block at once, which for a large program
    // costs more than loading it; the blocks are taken over here instead.
    disconnect(document, &QTextDocument::contentsChange, this, nullptr);
    connect(document, &QTextDocument::contentsChange, this,
            &GCodeSyntaxHighlighter::highlightChange);
}

// The toolkit clears the formats on detaching, which reports a change; this object must not
// hear of it by then.
GCodeSyntaxHighlighter::~GCodeSyntaxHighlighter()
{
    if (document())
        disconnect(document(), nullptr, this, nullptr);
}

QTextCharFormat GCodeSyntaxHighlighter::ruleFormat(HighlightRule rule)
{
    static const std::array<QTextCharFormat, 13> formats = {
        boldIn(Qt::gray),       boldIn(Qt::red),         boldIn(Qt::darkBlue),
        boldIn(Qt::darkGreen),  boldIn(Qt::darkCyan),    boldIn(Qt::blue),
        boldIn(Qt::darkYellow), boldIn(Qt::darkYellow),  boldIn(Qt::darkYellow),
        boldIn(Qt::darkGray),   boldIn(Qt::darkMagenta), boldIn(QColor(255, 127, 35)),
        boldIn(Qt::black)};
    return formats[size_t(rule)];
}

bool GCodeSyntaxHighlighter::isHighlighted(const QTextBlock &block)
{
    return block.userState() == highlightedState;
}

void GCodeSyntaxHighlighter::highlightBlock(const QString &text)
{
    if (text.size() > longestHighlightedLine)
        return;
    for (const HighlightSpan &span : highlightSpans(text))
        setFormat(span.start, span.length, ruleFormat(span.rule));
}

void GCodeSyntaxHighlighter::highlightChange(int from, int, int added)
{
    QTextBlock block = document()->findBlock(from);
    QTextBlock last = document()->findBlock(from + added);
    if (!last.isValid())
        last = document()->lastBlock();
    const int count = last.blockNumber() - block.blockNumber() + 1;
    for (int n = 0; n < count && block.isValid(); ++n, block = block.next()) {
        if (count <= immediateBlocks)
            highlightNow(block);
        else
            block.setUserState(pendingState);
    }
}

void GCodeSyntaxHighlighter::highlightPending(const QTextBlock &block)
{
    if (block.isValid() && !isHighlighted(block))
        highlightNow(block);
}

void GCodeSyntaxHighlighter::highlightNow(QTextBlock block)
{
    // Set before, not in highlightBlock: a state that changes while highlighting makes the
    // toolkit go on to the next block, and from there through every pending one.
    block.setUserState(highlightedState);
    // Re-highlighting a block on its own reports the document as changed, which would tell the
    // editor's listeners (the preview) of an edit that never happened.
    const QSignalBlocker quiet(document());
    rehighlightBlock(block);
}
