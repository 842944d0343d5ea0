#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Cuts the controller's byte stream into lines. CR and LF both end a line, so CR LF gives one
// line and blank lines give none. A completed line is cut at its first NUL byte and decoded as
// UTF-8 (invalid sequences become replacement characters).
//
// No controller line comes near maxLineLength; a stream that never ends its line (a wrong baud
// rate, a runaway device) keeps only the first maxLineLength bytes, so it cannot eat memory.
class LineFramer
{
public:
    static constexpr int maxLineLength = 64 * 1024;

    using LineHandler = std::function<void(const QString &line, const QByteArray &raw)>;

    // Returns true when the byte completed a line; the handler has then been called.
    bool push(char byte, const LineHandler &onLine);
    void clear() { pending.clear(); }
    const QByteArray &partialLine() const { return pending; }

    static QString decodeLine(const QByteArray &raw);

private:
    QByteArray pending;
};
