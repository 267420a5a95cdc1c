#pragma once
// The frame of a ready chart: the image background, the title, data-period
// and copyright captions, and the graph in the rectangle the captions leave.
// The chart surface calls it each time it renders a chart whose data loaded.

#include "chart/Graphics.h"
#include "chart/Indication_Data.h"

// Draws the frame on a surface of width W and height H (the image measures
// (W + 1) x (H + 1)) with the given margin, then the graph of the model's
// data window as it was last fixed (Data_InitMinMax). Returns the graph
// rectangle.
Rectangle paintChartFrame(Graphics& g, const Indication_Data& model, ChartLayout& layout, int W, int H, int margin);

// The graph rectangle paintChartFrame would leave, without drawing anything.
Rectangle chartGraphRectangle(Graphics& g, const Indication_Data& model, int W, int H, int margin);
