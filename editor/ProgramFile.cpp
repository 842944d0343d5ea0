#include "ProgramFile.h"

#include <QFile>

#include <cstring>

namespace ProgramFile {

bool hasProgramEnding(const QString &path)
{
    for (const char *ending : {".nc", ".cnc", ".gcode"}) {
        if (path.endsWith(QLatin1String(ending), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

Reading read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Read in slices and stop at the first NUL: a large binary file costs no more than its
    // first slice.
    constexpr qint64 sliceBytes = 1024 * 1024;
    QByteArray bytes;
    for (;;) {
        const QByteArray slice = file.read(sliceBytes);
        const void *nul = std::memchr(slice.constData(), 0, size_t(slice.size()));
        const qint64 textBytes =
            nul ? static_cast<const char *>(nul) - slice.constData() : slice.size();
        if (bytes.size() + textBytes > maxTextBytes)
            return {Outcome::TooLarge, QString()};
        bytes.append(slice.constData(), int(textBytes));
        if (nul || slice.isEmpty())
            break;
    }
    return {Outcome::Read, QString::fromUtf8(bytes)};
}

} // namespace ProgramFile
