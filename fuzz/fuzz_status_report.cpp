// Status reports of both dialects: every field read or left out, never a crash or a position
// that is not a number.
#include "FuzzInput.h"

#include "machine/StatusReport.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString line = QLatin1Char('<') + FuzzInput(data, size).text();
    const StatusReport report = parseStatusReport(line);
    for (const auto &position : {report.machine, report.work, report.offset}) {
        if (!position)
            continue;
        for (const double axis : position->value) {
            if (!std::isfinite(axis))
                std::abort();
        }
        positionOf(position->value);
    }
    return 0;
}
