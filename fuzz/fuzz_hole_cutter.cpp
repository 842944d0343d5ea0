// The hole cutter's inputs, every bit pattern of them: either a reason it cannot cut, or a
// program of bounded length that ends.
#include "FuzzInput.h"

#include "dialogs/HelixProgram.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    HelixInputs inputs;
    inputs.clockwise = input.next<uint8_t>() & 1;
    inputs.centreX = input.next<double>();
    inputs.centreY = input.next<double>();
    inputs.diameter = input.next<double>();
    inputs.depth = input.next<double>();
    inputs.startDepth = input.next<double>();
    inputs.infeed = input.next<double>();
    inputs.feedRate = input.next<int>();
    inputs.toolDiameter = input.next<double>();
    inputs.safetyHeight = input.next<int>();
    inputs.startAtSafetyHeight = input.next<uint8_t>() & 1;
    const QStringList problems = helixInputProblems(inputs);
    const QStringList program = helixProgram(inputs);
    if (problems.isEmpty() == program.isEmpty())
        std::abort();
    return 0;
}
