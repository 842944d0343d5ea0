#include "StreamWindow.h"

#include <QStringList>

void StreamWindow::sent(int bytes)
{
    bytesOutstanding += bytes;
    sizes.enqueue(bytes);
}

void StreamWindow::answered()
{
    if (!sizes.isEmpty())
        bytesOutstanding -= sizes.dequeue();
}

void StreamWindow::reset()
{
    bytesOutstanding = 0;
    sizes.clear();
}

bool StreamWindow::admits(int bytes) const
{
    if (sizes.size() >= maxOutstanding)
        return false;
    return sizes.isEmpty() || bytesOutstanding + bytes <= receiveBufferBytes;
}

QStringList programLines(const QString &text)
{
    QStringList lines;
    const QChar *data = text.constData();
    const int size = text.size();
    int start = 0;
    for (int i = 0; i <= size; ++i) {
        if (i < size && data[i] != QLatin1Char('\r') && data[i] != QLatin1Char('\n'))
            continue;
        if (i > start)
            lines.append(text.mid(start, i - start));
        start = i + 1;
    }
    return lines;
}
