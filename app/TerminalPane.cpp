#include "TerminalPane.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

TerminalPane::TerminalPane()
{
    flushTimer.setSingleShot(true);
    connect(&flushTimer, &QTimer::timeout, this, &TerminalPane::flush);
}

void TerminalPane::attach(QPlainTextEdit *terminal)
{
    pane = terminal;
    // The pane is read-only: an undo history of every line would only eat memory.
    pane->document()->setUndoRedoEnabled(false);
}

void TerminalPane::append(const QString &text, const QColor &color)
{
    pending.append({text, color});
    if (flushTimer.isActive())
        return;
    const qint64 since = sinceFlush.isValid() ? sinceFlush.elapsed() : flushIntervalMs;
    flushTimer.start(static_cast<int>(qMax<qint64>(0, flushIntervalMs - since)));
}

void TerminalPane::clear()
{
    pending.clear();
    flushTimer.stop();
    pane->clear();
}

// One edit for the whole batch, so the pane lays out and repaints once. A flood (a controller
// sending garbage) is written in slices, so the window keeps answering in between.
void TerminalPane::flush()
{
    flushTimer.stop();
    if (pending.isEmpty())
        return;
    if (pending.size() > maxLines) // they would go again as soon as written
        pending.remove(0, pending.size() - maxLines);
    QScrollBar *scrollBar = pane->verticalScrollBar();
    const bool atBottom = scrollBar->value() == scrollBar->maximum();
    QTextDocument *document = pane->document();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format = pane->currentCharFormat();
    QElapsedTimer slice;
    slice.start();
    int written = 0;
    while (written < pending.size() && (written % 64 || slice.elapsed() < sliceMs)) {
        const Line &line = pending.at(written++);
        format.setForeground(QBrush(line.color));
        if (!document->isEmpty())
            cursor.insertBlock(cursor.blockFormat(), format);
        cursor.insertText(line.text, format);
    }
    dropOldestLines();
    cursor.endEditBlock();
    pane->setCurrentCharFormat(format);
    pending.remove(0, written);
    sinceFlush.start();
    if (atBottom)
        scrollBar->setValue(scrollBar->maximum());
    if (!pending.isEmpty())
        flushTimer.start(0);
}

// In the same edit as the new lines. The toolkit's own limit on blocks (maximumBlockCount) does
// the same, but takes four times as long.
void TerminalPane::dropOldestLines()
{
    QTextDocument *document = pane->document();
    const int excess = document->blockCount() - maxLines;
    if (excess <= 0)
        return;
    QTextCursor oldest(document);
    oldest.setPosition(document->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
    oldest.removeSelectedText();
}
