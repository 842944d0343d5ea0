// The controller's other lines: "$n=" parameters, banners and build info, numbered errors and
// alarms, probe reports.
#include "FuzzInput.h"

#include "dialogs/GrblParameter.h"
#include "machine/ControllerCodes.h"
#include "machine/Dialect.h"
#include "machine/ProbeCycle.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString line = FuzzInput(data, size).text();
    if (const auto parameter = parseParameterLine(line);
        parameter && !std::isfinite(parameter->value))
        std::abort();
    ControllerCodes::readable(line);
    Dialect::fromBanner(line);
    Dialect::fromBuildInfo(line);
    if (const auto bytes = Dialect::receiveBufferFromOptions(line); bytes && *bytes < 80)
        std::abort();
    ProbeCycle cycle;
    cycle.start({});
    cycle.probeReport(line);
    return 0;
}
