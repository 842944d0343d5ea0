#include "DocumentPathReader.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

DocumentPathReader::DocumentPathReader(QObject *parent) : QObject(parent) {}

void DocumentPathReader::setDocument(QTextDocument *newDocument)
{
    if (document)
        disconnect(document, nullptr, this, nullptr);
    document = newDocument;
    if (!document)
        return;
    document->documentLayout(); // a document without a layout reports no changes
    connect(document, &QTextDocument::contentsChange, this, &DocumentPathReader::readChange);
    readWholeDocument();
}

void DocumentPathReader::readWholeDocument()
{
    interpreter.replaceBlocks(0, interpreter.blockCount(), document->toRawText());
}

void DocumentPathReader::readChange(int from, int, int added)
{
    const QTextBlock first = document->findBlock(from);
    QTextBlock last = document->findBlock(from + added);
    if (!last.isValid())
        last = document->lastBlock();
    const int changedBlocks = last.blockNumber() - first.blockNumber() + 1;
    const int removedBlocks = changedBlocks - (document->blockCount() - interpreter.blockCount());
    if (!first.isValid() || removedBlocks < 0 ||
        first.blockNumber() + removedBlocks > interpreter.blockCount()) {
        readWholeDocument(); // a change we cannot place; never seen, but cheap to survive
        return;
    }
    const int start = first.position();
    const int end = last.position() + last.length() - 1;
    interpreter.replaceBlocks(first.blockNumber(), removedBlocks, textBetween(start, end));
}

// The document's characters from start to end, blocks separated by U+2029. A selection's text
// costs some ten times more per character than the raw text of the whole document, so a large
// change (loading a program) takes its part of that.
QString DocumentPathReader::textBetween(int start, int end) const
{
    if (qint64(end - start) * 10 > document->characterCount())
        return document->toRawText().mid(start, end - start);
    QTextCursor range(document);
    range.setPosition(start);
    range.setPosition(end, QTextCursor::KeepAnchor);
    return range.selectedText();
}
