#pragma once

// The toolkit's raster painting (a widget's repaint, QImage::fill) and Mesa's software renderer
// leave the upper halves of the AVX registers in use on the GUI thread. Until they are cleared,
// every SSE instruction the thread runs pays for the transition between the two: after a
// repaint the program reader took 290 ms for a million lines, after clearing them 130 ms. The
// long loops clear them before they start; it costs one instruction.
void clearUpperVectorState();
