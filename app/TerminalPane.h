#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

class QPlainTextEdit;

// Writes the traffic into the terminal pane, each line a paragraph of its own colour. Lines
// are gathered and written a few dozen times a second: a stream answers thousands of lines a
// second, and repainting the window for each would cost more than the streaming itself.
class TerminalPane : public QObject
{
    Q_OBJECT

public:
    static constexpr int flushIntervalMs = 30;

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

    QPlainTextEdit *pane = nullptr;
    QVector<Line> pending;
    QTimer flushTimer;
};
