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
    QTextCursor blocks(document);
    blocks.setPosition(first.position());
    blocks.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
    interpreter.replaceBlocks(first.blockNumber(), removedBlocks, blocks.selectedText());
}
