#include "CodeEditor.h"

#include "GCodeSyntaxHighlighter.h"
#include "LineNumberArea.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QLoggingCategory>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QtConcurrent>

Q_LOGGING_CATEGORY(lcEditor, "orlo.editor", QtInfoMsg)

CodeEditor::CodeEditor(QWidget *parent) : QPlainTextEdit(parent)
{
    lineNumberArea = new LineNumberArea(this);
    connect(this, SIGNAL(blockCountChanged(int)), this, SLOT(updateLineNumberAreaWidth(int)));
    connect(this, SIGNAL(updateRequest(QRect, int)), this, SLOT(updateLineNumberArea(QRect, int)));
    connect(this, SIGNAL(cursorPositionChanged()), this, SLOT(highlightCurrentLine()));
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &CodeEditor::operatorScrolled);
    highlighter = new GCodeSyntaxHighlighter(document());
    connect(&droppedFile, &QFutureWatcher<ProgramFile::Reading>::finished, this,
            &CodeEditor::showDroppedFile);
    updateLineNumberAreaWidth(0);
    highlightCurrentLine();
}

int CodeEditor::lineNumberAreaWidth()
{
    int digits = 1;
    for (int lines = qMax(1, blockCount()); lines > 9; lines /= 10)
        ++digits;
    return digits * fontMetrics().horizontalAdvance(QLatin1Char('9')) + 20;
}

void CodeEditor::updateLineNumberAreaWidth(int)
{
    setViewportMargins(lineNumberAreaWidth(), 0, 0, 0);
}

void CodeEditor::updateLineNumberArea(const QRect &rect, int dy)
{
    if (dy)
        lineNumberArea->scroll(0, dy);
    else
        lineNumberArea->update(0, rect.y(), lineNumberArea->width(), rect.height());
    if (rect.contains(viewport()->rect()))
        updateLineNumberAreaWidth(0);
}

void CodeEditor::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect cr = contentsRect();
    lineNumberArea->setGeometry(QRect(cr.left(), cr.top(), lineNumberAreaWidth(), cr.height()));
}

// The cursor's line, the lines where the program stops for the operator, and the line the
// controller is at, which is drawn last and so shows over the others.
void CodeEditor::highlightCurrentLine()
{
    QList<QTextEdit::ExtraSelection> extraSelections;
    if (!isReadOnly()) {
        QTextEdit::ExtraSelection selection;
        selection.format.setBackground(QColor(Qt::yellow).lighter(160));
        selection.format.setProperty(QTextFormat::FullWidthSelection, true);
        selection.cursor = textCursor();
        selection.cursor.clearSelection();
        extraSelections.append(selection);
    }
    for (const int line : qAsConst(stopLines))
        extraSelections.append(lineBand(line, QColor(255, 190, 120)));
    if (running > 0)
        extraSelections.append(lineBand(running, QColor(150, 220, 150)));
    setExtraSelections(extraSelections);
}

QTextEdit::ExtraSelection CodeEditor::lineBand(int line, const QColor &colour) const
{
    QTextEdit::ExtraSelection band;
    band.format.setBackground(colour);
    band.format.setProperty(QTextFormat::FullWidthSelection, true);
    band.cursor = QTextCursor(document()->findBlockByNumber(line - 1));
    return band;
}

void CodeEditor::setRunningLine(int line)
{
    if (line == running)
        return;
    if (running == 0)
        followRunning = true; // a new job is followed until the operator looks elsewhere
    running = line;
    highlightCurrentLine();
    const QTextBlock block = document()->findBlockByNumber(line - 1);
    if (line <= 0 || !followRunning || !block.isValid())
        return;
    scrollingToRunning = true;
    const QRectF shape = blockBoundingGeometry(block).translated(contentOffset());
    if (shape.top() < 0 || shape.bottom() > viewport()->height()) {
        QScrollBar *bar = verticalScrollBar();
        bar->setValue(qBound(bar->minimum(), block.blockNumber() - 2, bar->maximum()));
    }
    scrollingToRunning = false;
}

// Looking elsewhere stops the following; coming back to the running line starts it again.
void CodeEditor::operatorScrolled()
{
    if (scrollingToRunning || running <= 0)
        return;
    const QTextBlock block = document()->findBlockByNumber(running - 1);
    const QRectF shape = blockBoundingGeometry(block).translated(contentOffset());
    followRunning = block.isValid() && shape.bottom() >= 0 && shape.top() <= viewport()->height();
}

void CodeEditor::setStopLines(const QVector<int> &lines)
{
    if (lines == stopLines)
        return;
    stopLines = lines;
    highlightCurrentLine();
}

void CodeEditor::lineNumberAreaPaintEvent(QPaintEvent *event)
{
    QPainter painter(lineNumberArea);
    painter.fillRect(event->rect(), QColor(240, 240, 240));
    QTextBlock block = firstVisibleBlock();
    int blockNumber = block.blockNumber();
    int top = int(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + int(blockBoundingRect(block).height());
    while (block.isValid() && top <= event->rect().bottom()) {
        if (block.isVisible() && bottom >= event->rect().top()) {
            painter.setPen(Qt::darkGray);
            painter.drawText(0, top, lineNumberArea->width() - 10, fontMetrics().height(),
                             Qt::AlignRight, QString::number(blockNumber + 1));
        }
        block = block.next();
        top = bottom;
        bottom = top + int(blockBoundingRect(block).height());
        ++blockNumber;
    }
}

void CodeEditor::paintEvent(QPaintEvent *event)
{
    highlightVisibleBlocks();
    QPlainTextEdit::paintEvent(event);
}

// Blocks are coloured as they come into view (see GCodeSyntaxHighlighter). Each is coloured
// before its height is measured, since bold words may wrap it onto more lines.
void CodeEditor::highlightVisibleBlocks()
{
    if (!highlighter)
        return;
    QTextBlock block = firstVisibleBlock();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    for (; block.isValid() && top <= viewport()->height(); block = block.next()) {
        highlighter->highlightPending(block);
        top += blockBoundingRect(block).height();
    }
}

QString CodeEditor::droppedPath(const QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    return urls.isEmpty() ? QString() : urls.first().toLocalFile();
}

// A read-only editor would turn a file away without a word; it is taken so that the drop can
// be refused with a reason.
void CodeEditor::dragEnterEvent(QDragEnterEvent *event)
{
    if (isReadOnly() && !droppedPath(event).isEmpty())
        event->acceptProposedAction();
    else
        QPlainTextEdit::dragEnterEvent(event);
}

void CodeEditor::dragMoveEvent(QDragMoveEvent *event)
{
    if (isReadOnly() && !droppedPath(event).isEmpty())
        event->acceptProposedAction();
    else
        QPlainTextEdit::dragMoveEvent(event);
}

void CodeEditor::dropEvent(QDropEvent *event)
{
    qCDebug(lcEditor) << "Drop Event in CodeEditor class";
    const QString path = droppedPath(event);
    if (path.isEmpty()) {
        QPlainTextEdit::dropEvent(event);
        return;
    }
    if (isReadOnly()) {
        event->acceptProposedAction();
        emit dropRefused(path);
        return;
    }
    // A dropped file is loaded or ignored, never pasted into the program as its address.
    QDragLeaveEvent dragEnds;
    QPlainTextEdit::dragLeaveEvent(&dragEnds);
    event->acceptProposedAction();
    droppedFilePath = path;
    if (ProgramFile::hasProgramEnding(path))
        droppedFile.setFuture(QtConcurrent::run(ProgramFile::read, path));
}

void CodeEditor::showDroppedFile()
{
    const ProgramFile::Reading reading = droppedFile.result();
    if (isReadOnly()) { // made so while the file was being read
        emit dropRefused(droppedFilePath);
        return;
    }
    if (reading.outcome == ProgramFile::Outcome::Read) {
        clear();
        appendPlainText(reading.text);
    } else {
        qCDebug(lcEditor) << "Drop not loaded" << int(reading.outcome);
    }
    emit dropHandled(reading.outcome == ProgramFile::Outcome::Read);
}

// A job may start at the line under the pointer; not while one runs (the text is read-only).
void CodeEditor::contextMenuEvent(QContextMenuEvent *event)
{
    std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    const int line = cursorForPosition(event->pos()).blockNumber() + 1;
    QAction *start = menu->addAction(tr("Start from here"));
    start->setObjectName(QStringLiteral("actionStartFromHere"));
    start->setEnabled(!isReadOnly());
    connect(start, &QAction::triggered, this, [this, line] { emit startFromLineRequested(line); });
    menu->exec(event->globalPos());
}
