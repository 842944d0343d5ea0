#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

class QPlainTextEdit;

// Writes the traffic into the terminal pane, each line a paragraph of its own colour. A line
// after a quiet spell shows at once; a busy stream is written a few times a second, because
// it answers thousands of lines a second and repainting the window for each would cost more
// than the streaming itself (and, with a software renderer, slow the stream down).
class TerminalPane : public QObject
{
    Q_OBJECT

public:
    static constexpr int flushIntervalMs = 250; // at most this often while lines keep coming
    static constexpr int sliceMs = 15;          // the longest one write may take
    // The oldest lines go beyond this many, so that a job of a million lines does not make the
    // pane hold a million paragraphs.
    static constexpr int maxLines = 5000;

    TerminalPane();
    void attach(QPlainTextEdit *terminal);

    void append(const QString &text, const QColor &color);
    void clear();
    void flush();

private:
    struct Line
    {
        QString text;
        QColor color;
    };

    void dropOldestLines();

    QPlainTextEdit *pane = nullptr;
    QVector<Line> pending;
    QTimer flushTimer;
    QElapsedTimer sinceFlush;
};
