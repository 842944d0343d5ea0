#include "LineFramer.h"

bool LineFramer::push(char byte, const LineHandler &onLine)
{
    if (byte != '\r' && byte != '\n') {
        if (pending.size() < maxLineLength)
            pending.append(byte);
        return false;
    }
    if (pending.isEmpty())
        return false;
    const QByteArray raw = pending;
    pending.clear();
    onLine(decodeLine(raw), raw);
    return true;
}

QString LineFramer::decodeLine(const QByteArray &raw)
{
    const int nul = raw.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? raw : raw.left(nul));
}
