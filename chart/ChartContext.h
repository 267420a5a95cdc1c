#pragma once
// What a chart shares with the other charts of its pass while it is built:
// where its data files come from, its turn in what one chart's layout
// carries to the next, and its turn in the order charts of the pass keep
// when they write one image file. The default shares nothing: each data file
// is read whole, the layout is the model's own, every write goes ahead (a
// chart built on its own, or one after the other on one surface). The turns
// are the pass's, which ends them once the chart is over.

#include "chart/ChartCarryOver.h"
#include "chart/ImageWriteOrder.h"

class DataFileCache;

struct ChartContext {
    DataFileCache* dataFiles = nullptr;
    ChartCarryOver::Turn* carryOver = nullptr;
    ImageWriteOrder::Turn* writeOrder = nullptr;
};
