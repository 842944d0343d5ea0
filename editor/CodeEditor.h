#pragma once

#include "ProgramFile.h"

#include <QFutureWatcher>
#include <QPlainTextEdit>
#include <QPointer>

class GCodeSyntaxHighlighter;
class LineNumberArea;

// The G-code program editor: line numbers in a gutter, a band behind the cursor's line, syntax
// colours, and loading of a program file dropped onto it.
class CodeEditor : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit CodeEditor(QWidget *parent = nullptr);

    void lineNumberAreaPaintEvent(QPaintEvent *event);
    int lineNumberAreaWidth();

    // The line the controller is at (from 1; 0 for none), kept in view unless the operator
    // has scrolled away from it.
    void setRunningLine(int line);
    int runningLine() const { return running; }
    // Lines where a program stops for the operator (tool changes, pauses), marked apart.
    void setStopLines(const QVector<int> &lines);

signals:
    // A dropped file has been read (or could not be); loaded tells whether it replaced the text.
    void dropHandled(bool loaded);
    // A file was dropped while the text may not change (read-only); it was not read.
    void dropRefused(const QString &path);
    // "Start from here" in the context menu, on this line (from 1).
    void startFromLineRequested(int line);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private slots:
    void updateLineNumberAreaWidth(int newBlockCount);
    void highlightCurrentLine();
    void operatorScrolled();
    void updateLineNumberArea(const QRect &rect, int dy);

private:
    void highlightVisibleBlocks();
    void showDroppedFile();
    static QString droppedPath(const QDropEvent *event);
    QTextEdit::ExtraSelection lineBand(int line, const QColor &colour) const;

    LineNumberArea *lineNumberArea;
    QPointer<GCodeSyntaxHighlighter> highlighter; // owned by the document
    QFutureWatcher<ProgramFile::Reading> droppedFile;
    QString droppedFilePath;
    int running = 0;
    bool followRunning = true;
    bool scrollingToRunning = false;
    QVector<int> stopLines;
};
