// The framer under a stream of any bytes: lines come out, the partial line stays bounded.
#include "FuzzInput.h"

#include "link/LineFramer.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    LineFramer framer;
    for (size_t i = 0; i < size; ++i) {
        framer.push(char(data[i]), [](const QString &line, const QByteArray &raw) {
            if (line.contains(QLatin1Char('\n')) || raw.size() > LineFramer::maxLineLength)
                std::abort();
        });
        if (framer.partialLine().size() > LineFramer::maxLineLength)
            std::abort();
    }
    return 0;
}
