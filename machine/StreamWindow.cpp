#include "StreamWindow.h"

void StreamWindow::sent(int bytes, int tag)
{
    bytesOutstanding += bytes;
    lines.enqueue({bytes, tag});
}

int StreamWindow::answered(int none)
{
    if (lines.isEmpty())
        return none;
    const Line line = lines.dequeue();
    bytesOutstanding -= line.bytes;
    return line.tag;
}

void StreamWindow::reset()
{
    bytesOutstanding = 0;
    lines.clear();
}

bool StreamWindow::admits(int bytes) const
{
    if (lines.size() >= maxOutstanding)
        return false;
    return lines.isEmpty() || bytesOutstanding + bytes <= bufferBytes;
}
