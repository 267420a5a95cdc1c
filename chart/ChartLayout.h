#pragma once
// What drawing a chart derives from its model: where the graph lies, its
// origin and scale, the value range and the Y labels as drawn, and the points
// gathered on the way. The model is drawn as it was loaded and never changes
// for a drawing; the chart surface keeps one layout, so that what a drawing
// hands on reaches the next drawing of the same chart (the bar count a
// segment lowered, the weekday letters taken from the charts before) and the
// next chart (the room for Y labels, which only widens).

#include "chart/Graphics.h"
#include "chart/TradingCalendar.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ChartLayout {
    // ---- Handed on from drawing to drawing ---------------------------------
    // The room for the Y labels.
    int xLgLegende = 0;
    // The room the charts before share, kept while a chart with room of its
    // own holds xLgLegende.
    std::optional<int> xLgLegende_Partagee;
    // Bars per X division: the graph file's count, lowered by a segment with
    // fewer points than bars until the graph file is loaded again.
    int iGraphHistogram_NumberBar = 1;
    // The weekday letters drawn: the graph file's or, without them, those the
    // charts before left.
    std::optional<std::string> szDate_WeekDay;

    // ---- Derived by each drawing -------------------------------------------
    Rectangle rect_AppletGraphique;
    int RepereGraph_x0 = 0;
    int RepereGraph_y0 = 0;
    float yScale_Conv = 1.0f;
    // The value range drawn: the model's, widened to whole steps by round labels.
    float y_Min = 0;
    float y_Max = 0;
    // The round Y labels (value, text); empty when the labels divide the range evenly.
    std::vector<std::pair<double, std::string>> vecLegende_Y_Arrondies;
    // With trading sessions, open time over the time axis, taken once per
    // drawing (the calendar is slow to ask).
    std::optional<OpenTime> trading;
    // With a label format, the X ticks (image x) and their labels, empty
    // for a tick whose label is left out.
    std::vector<std::pair<int, std::string>> vecLegende_X;
    // The curve's points in image coordinates, gathered during one data step.
    std::vector<Point> vecGraph_PtsCourbe;
    // The trend's points, relative to the origin, while a trend is drawn.
    std::optional<std::vector<Point>> vecGraph_PtsTendance;
};
