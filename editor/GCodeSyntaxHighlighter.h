#pragma once

#include "HighlightSpans.h"

#include <QSyntaxHighlighter>
#include <QTextBlock>

// Colours the words of a G-code program, all bold: each address letter with its number in a
// colour of its own, comments black.
//
// A program of a million lines is highlighted as far as it is seen. An edit of a few blocks is
// highlighted at once, as the toolkit would do; the blocks of a larger one (loading a file,
// pasting a program) are only marked, and highlightPending() colours them when they come into
// view. That keeps loading a large program about as fast as without colours, and the document
// from holding formats for lines nobody looks at.
class GCodeSyntaxHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    // Edits of up to this many blocks are highlighted at once.
    static constexpr int immediateBlocks = 2000;
    // Longer lines stay plain: no program line comes near, and the toolkit would need formats
    // for every character of it.
    static constexpr int longestHighlightedLine = 10'000;

    explicit GCodeSyntaxHighlighter(QTextDocument *document);
    ~GCodeSyntaxHighlighter() override;

    static QTextCharFormat ruleFormat(HighlightRule rule);
    static bool isHighlighted(const QTextBlock &block);

    // Highlights the block if an edit left it for later.
    void highlightPending(const QTextBlock &block);

protected:
    void highlightBlock(const QString &text) override;

private:
    void highlightChange(int from, int removed, int added);
    void highlightNow(QTextBlock block);
};
