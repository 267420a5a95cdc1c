#pragma once
// What a chart shares with the other charts of its pass while it is built:
// where its data files come from, its turn in what one chart's layout
// carries to the next, and the output its pass's writer writes out. The
// default shares nothing: each data file is read whole, the layout is the
// model's own, images and findings are written and told at once (a chart
// built on its own). The turn and the output are the pass's.

#include "chart/ChartCarryOver.h"

class ChartOutput;
class DataFileCache;

struct ChartContext {
    DataFileCache* dataFiles = nullptr;
    ChartCarryOver::Turn* carryOver = nullptr;
    ChartOutput* output = nullptr;
};
