#pragma once
// What a chart shares with the other charts of its pass while it is built:
// where its data files come from, its turn in what one chart's layout
// carries to the next, and the order charts of the pass keep when they write
// one image file. The default shares nothing: each data file is read whole,
// the layout is the model's own, every write goes ahead (a chart built on
// its own, or one after the other on one surface).

class ChartCarryOver;
class DataFileCache;
class ImageWriteOrder;

struct ChartContext {
    DataFileCache* dataFiles = nullptr;
    ChartCarryOver* carryOver = nullptr;
    ImageWriteOrder* writeOrder = nullptr;
    int turn = -1;  // the chart's place in the pass's list; -1 with nothing shared
};
