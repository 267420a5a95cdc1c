#pragma once
// The chart model: one chart's configuration (read from its graph file), its
// data series limited to the chart's time window, the displayed range, and
// the rendering of the graph onto a drawing surface.
//
// One model is reused for every chart a chart surface builds: the surface
// resets it and loads each graph file in turn. Used by one thread at a time;
// models of other surfaces building charts of the same pass at once share
// only what the chart's context names (the parsed data files and what one
// chart's layout carries to the next), both made for it.
// Fields are public so that the chart surface and the tests can read them;
// only the model itself writes the series and the range.

#include "chart/ChartContext.h"
#include "chart/ChartLayout.h"
#include "chart/TradingCalendar.h"
#include "chart/ChartOutcome.h"
#include "chart/Graphics.h"
#include "support/ValueTypes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>


class Indication_Data {
public:
    // ---- Constants ----------------------------------------------------------
    static constexpr const char* thisClassName = "Indication_Data";
    static constexpr int MODEGRAPH_NOMODE = 0;
    static constexpr int MODEGRAPH_MONTH = 10;
    static constexpr int MODEGRAPH_DAY = 20;
    static constexpr int MODEGRAPH_HOUR = 30;
    static constexpr int MODEGRAPH_MINUTE = 40;
    static constexpr int64_t TIME_MINUTETOMILLISECOND = 60000;
    static constexpr int64_t TIME_HOURTOMILLISECOND = 3600000;
    static constexpr int64_t TIME_DAYTOMILLISECOND = 86400000;
    static constexpr int TIME_MONTH_DURATION = 30;
    static constexpr int ALIGN_LEFT = 0;
    static constexpr int ALIGN_CENTER = 1;
    static constexpr int ALIGN_RIGHT = 2;
    static constexpr int ALIGN_TOP = 3;
    static constexpr int ALIGN_BOTTOM = 4;
    // Thousands separators of the round Y labels.
    static constexpr int THOUSANDS_NONE = 0;
    static constexpr int THOUSANDS_SPACE = 1;
    static constexpr int THOUSANDS_COMMA = 2;
    static constexpr int THOUSANDS_POINT = 3;
    // Styles: a set of defaults for the keys a graph file leaves out.
    static constexpr int STYLE_NONE = 0;
    static constexpr int STYLE_WEB = 1;

    // ---- Construction and configuration ------------------------------------
    Indication_Data();
    explicit Indication_Data(const std::optional<std::string>& path);

    void ResetConfiguration();
    bool SetConfigurationFile(const std::optional<std::string>& path);
    bool GetConfiguration();
    bool GetConfiguration(const std::optional<std::string>& path);
    bool IsTrendCurveDisplay() const { return bTendance_MoyenneMobile; }
    void finalize();
    // The context of the chart about to be loaded and drawn; ChartContext{}
    // once it is over. With a turn, the weekday letters are unset until the
    // graph file sets them, and the first rendering takes and gives the
    // turn's carry-over.
    void setChartContext(const ChartContext& context);

    // ---- Data series and time window ---------------------------------------
    bool ReadData();
    bool ReadData(const std::optional<std::string>& path);
    bool Data_InitMinMax();
    bool Data_getMinMax(int64_t start, int64_t end);
    // Whether Data_InitMinMax finds anything to draw: a record after the
    // window start (any record with a period of 0). Reports nothing.
    bool Data_HasDisplayedRange() const;
    std::string Data_getData() const;
    int getGraphicsMode() const { return iModeGraphicsData; }
    bool setGraphicsMode(int mode);
    // True when xi_Min..xi_Max are indexes of the current series. After a
    // successful read the range always is (it is clamped into the series when
    // an earlier, longer series left it past the end); only an empty series
    // has no valid range.
    bool Data_RangeIsValid() const;
    // With a calendar, open time over the chart's time axis (in day mode its
    // sessions whole, so a live chart's axis runs to the close); none
    // without one, or for a chart of the whole file.
    std::optional<OpenTime> Data_TradingAxis() const;

    // Gap filling inserts at most this many entries per read: a gap that would
    // need more than what is left is not filled (and is reported).
    static constexpr int64_t DATA_MAX_GAP_ENTRIES = 1000000;

    // ---- Rendering of the graph --------------------------------------------
    // Drawing reads the model and writes only the layout (ChartLayout.h):
    // what it derives, and what it hands on to the next drawing.
    // Draws the graph in rectangle r; false (nothing drawn) when g or r is
    // missing or the mode is MODEGRAPH_NOMODE.
    bool paint_Graphics(Graphics* g, ChartLayout& layout, const Rectangle* r) const;
    // A new layout for this chart just loaded: what the graph file sets, with
    // what the charts drawn before handed on (the room for Y labels).
    void startLayout(ChartLayout& layout) const;
    void paint_InitGraphics(Graphics& g, ChartLayout& layout, const Rectangle& r) const;
    // With round Y labels, widens the value range to whole steps and makes
    // the labels; nothing when the range has no round division.
    void paint_RoundYValues(ChartLayout& layout) const;
    void paint_AxesLegendes(Graphics& g, const ChartLayout& layout, int xR) const;
    // The grid lines and ticks of the X legend (marks), its labels, or both.
    void paint_AxeLegende_X(Graphics& g, const ChartLayout& layout, int xR, int d, const FontMetrics& m,
                            bool marks = true, bool labels = true) const;
    // With a label format: the X ticks and labels at the finest calendar
    // step whose labels stand apart, into the layout; then drawn from it.
    void paint_CalendarLegend(Graphics& g, ChartLayout& layout, int xR) const;
    void paint_CalendarLegend_X(Graphics& g, const ChartLayout& layout, int y0, int d, const FontMetrics& m,
                                bool marks, bool labels) const;
    // n + 2 image x positions of the period boundaries.
    std::vector<int> Calc_ChangeLegend(const ChartLayout& layout, int n, int xR) const;
    void paint_Axes(Graphics& g, const ChartLayout& layout, int xR) const;
    // With trading sessions, a line where each session ends and the next
    // begins (closed time taken out there), across the graph.
    void paint_SessionBoundaries(Graphics& g, const ChartLayout& layout, int xR) const;
    void paint_GraphData(Graphics& g, ChartLayout& layout, int xR) const;
    void paint_GraphData_Draw(Graphics& g, ChartLayout& layout, std::vector<Point>& points, int xa, int xb) const;
    void paint_GraphData_Bar(Graphics& g, ChartLayout& layout, const std::vector<Point>& points, int xa,
                             int xb) const;
    void paint_GraphBarre(Graphics& g, const ChartLayout& layout, int x, int top, int w) const;
    // Draws the mountain, then the line, of the curve's points gathered by
    // paint_GraphData_Draw.
    void paint_GraphData_Curve(Graphics& g, ChartLayout& layout) const;
    void paint_GraphMontagne(Graphics& g, const ChartLayout& layout, Point p, Point previous) const;
    void paint_GraphCourbe(Graphics& g, const ChartLayout& layout, const Color& color, int thickness, Point p,
                           Point previous, bool fillAllowed) const;
    void paint_DrawPoint(Graphics& g, int x, int y) const;
    void paint_GraphData_TrendMovingMean(Graphics& g, const ChartLayout& layout, const std::vector<Point>& trend,
                                         const Color& color, int coef) const;

    // ---- Configuration fields -----------------------------------------------
    // Their defaults are the graph file key table's (GraphFileKeys.cpp), set
    // by ResetConfiguration.
    // The style whose defaults the keys left out take.
    int iGraph_Style{};
    std::optional<std::string> szFileData;
    std::optional<std::string> szFileData_Values;
    bool bDateFormat_French{};
    bool bDate_DispWeekDay{};
    // Not reset with the configuration: a graph file without it keeps the
    // chart before's (with a turn in a pass, the one the list order gives).
    std::optional<std::string> szDate_WeekDay;
    std::optional<std::string> szDate_Month;
    int iDimension_Width{};
    int iDimension_Height{};
    bool bPrintGIF_Valid{};
    bool bPrintGIF_LZWCompress{};
    std::optional<std::string> szPrintGIF_FileName;
    bool bPrintPNG_Valid{};
    bool bPrintPNG_Alpha{};
    int iPrintPNG_Filter{};
    int iPrintPNG_CoefCompress{};
    std::optional<std::string> szPrintPNG_FileName;
    bool bPrintSVG_Valid{};
    std::optional<std::string> szPrintSVG_FileName;
    // The zoom factors of the GIF and PNG images, ascending, without repeats.
    std::vector<int> vecPrint_Scales;
    static constexpr int PRINT_MAX_SCALE = 4;
    // Images of exactly the configured size, laid out within it, instead of
    // one pixel wider and taller.
    bool bPrint_ExactSize{};
    Font fontImage_Pen;
    Color colorImage_Fond;
    Color colorImage_Pen;
    bool bDisplay_Title{};
    int iHAlign_Title{};
    int iVAlign_Title{};
    std::optional<std::string> szGraph_Title;
    Font fontImage_Pen_Title;
    Color colorImage_Pen_Title;
    bool bDisplay_CopyRight{};
    int iHAlign_CopyRight{};
    int iVAlign_CopyRight{};
    std::optional<std::string> szGraph_CopyRight;
    Font fontImage_Pen_CopyRight;
    Color colorImage_Pen_CopyRight;
    bool bDisplay_DataPeriod{};
    int iHAlign_DataPeriod{};
    int iVAlign_DataPeriod{};
    Font fontImage_Pen_DataPeriod;
    Color colorImage_Pen_DataPeriod;
    Font fontGraph_Pen;
    Color colorGraph_Fond;
    Color colorGraph_Courbe;
    Color colorGraph_CourbeRemplie;
    Color colorGraph_Axe;
    Color colorGraph_AxeBis;
    Color colorGraph_Pen;
    bool bGraphCourbe_Display{};
    bool bGraphCourbe_SpreadData{};
    int iGraphCourbe_Thickness{};
    bool bGraphCourbe_Rempli{};
    bool bGraphHistogram_Display{};
    int iGraphHistogram_ShiftedShadow{};
    int iGraphHistogram_AxePosition{};
    int iGraphHistogram_EcartHistogramme{};
    int iGraphHistogram_NumberBar{};
    Color colorGraph_Histogram;
    Color colorGraph_HistogramShadow;
    bool bTendance_MoyenneMobile{};
    int iTendance_MoyenneMobile_Coef{};
    int iTendance_MoyenneMobile_Thickness{};
    Color colorTendance_MoyenneMobile;
    int int_TaillePoint{};
    bool bLegende_X_Display{};
    bool bLegende_X_Dessus{};
    int iLegende_X_Align{};
    bool bLegende_Y_Display{};
    bool bLegende_Y_Gauche{};
    bool bAxe_AfficheVerticales{};
    bool bAxe_AfficheHorizontales{};
    // A line at each session boundary, in its colour (none: the grid's).
    bool bAxe_AfficheSessions{};
    std::optional<Color> colorGraph_Sessions;
    int iAxe_Verticale_NumberOfValues{};
    // Y labels at 1, 2, 2.5 or 5 times a power of ten, the value range
    // widened to whole steps; off draws the range's bounds divided evenly.
    bool bLegende_Y_Arrondi{};
    int iLegende_Y_Milliers{};
    // The room for the Y labels sized from this chart's labels alone, not
    // from the widest of the charts drawn before it.
    bool bLegende_Y_LargeurPropre{};
    // The X labels' format ("auto" or fields such as "%d %b"), set at
    // calendar steps thinned out so that no two overlap; none draws one
    // letter or hour per period.
    std::optional<std::string> szLegende_X_Format;
    // The month (12) and weekday (7, Sunday first) names the format writes.
    std::vector<std::string> vecDate_MonthNames;
    std::vector<std::string> vecDate_WeekDayNames;
    // Trading time: the market's sessions, weekdays, holidays and early
    // closes; closed time takes no width. None: the plain time axis.
    std::shared_ptr<const TradingCalendar> calendar;
    // With sessions, open days on which the data holds no record, between
    // records, are closed too, like holidays (GRAPH_TRADING_DAYS_NEED_RECORDS).
    bool bTradingDays_NeedRecords{};
    // The calendar drawn on: calendar, with those days closed when asked
    // (found by each read of the data); none for calendar itself.
    std::shared_ptr<const TradingCalendar> calendarDrawn;
    // Minutes the provider takes to publish a record, for when the next one
    // is due (monitoring).
    int iPublication_Delay{};
    bool bModeGraphicsData_ZoomValues{};
    // Month mode in calendar months: the window goes back whole months and
    // the periods start on the first of each month, not every 30 days.
    bool bModeGraphicsData_CalendarMonths{};
    int iModeGraphicsData{};
    int iModeGraphicsData_Duration{};
    std::optional<int64_t> dModeGraphicsData_DurationEnd;

    // Why the last loading of a graph file and its data stopped (cause none
    // when it did not), and the newest record of the data file last read;
    // both reset with the configuration.
    ChartLoadFailure loadFailure;
    std::optional<int64_t> newestRecord;
    // The lines of the data file last read that look like records but do not read.
    std::optional<int64_t> unreadableLines;
    // Records the first cause of a loading's failure.
    void loadFailed(ChartFailure cause, std::string text);

    // ---- Data series and displayed range (outside the configuration) ------
    std::vector<int64_t> vecGraph_Date;
    std::vector<double> vecGraph_Data;
    int xi_Min = 0;
    int xi_Max = 0;
    float y_MinReal = 0;
    float y_Min = 0;
    float y_Max = 0;

    // The vertical room kept above and below the data in the graph.
    int Graph_margeVerticale = 6;

private:
    ChartContext context_;
    // The time window of the current mode: start, end, and the gap step
    // (0 for none). Not windowed when the mode has no window.
    struct TimeWindow {
        bool windowed = false;
        int64_t start = 0;
        int64_t end = 0;
        int64_t step = 0;
        // Where the time axis starts: the window's start, or with trading
        // sessions in day mode the first session's open.
        int64_t axisStart = 0;
        // Where it ends: the window's end, or in day mode the last session's
        // close, while the records read end at the window's end.
        int64_t axisEnd = 0;
        // With trading sessions, those over the axis when finding the window
        // found them already.
        std::optional<TradingCalendar::Sessions> sessions;
    };
    TimeWindow Data_TimeWindow() const;
    const std::shared_ptr<const TradingCalendar>& drawnCalendar() const {
        return calendarDrawn ? calendarDrawn : calendar;
    }
    // The last window found on trading sessions, and what it was found
    // from: a chart asks its calendar once, not at each step that needs the
    // window (reading, the displayed range, each drawing).
    struct TradingWindow {
        std::shared_ptr<const TradingCalendar> calendar;
        const Platform* platform = nullptr;
        int64_t end = 0;
        int mode = 0;
        int duration = 0;
        TimeWindow window;
    };
    mutable std::optional<TradingWindow> tradingWindow_;
    // Reads of the data that close days without records, at most.
    static constexpr int kUnrecordedRounds = 8;
    bool Data_ReadFile(const std::string& path);
    // Says what is wrong with a data file that still gives a chart, once for
    // each content of the file.
    void tellFindings(const std::string& path, uint64_t contentKey, std::vector<std::string> findings);
    void Data_ClampRange();
    // Sets the displayed range to [i, j] and the value bounds from it.
    void Data_setMinMax(size_t i, size_t j);
};
