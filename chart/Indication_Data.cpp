// The chart model's configuration: reset values and the reading of a graph file.

#include "chart/Indication_Data.h"

#include "support/CivilCalendar.h"
#include "support/Indication_Tools.h"
#include "support/KeyCheck.h"
#include "support/Platform.h"
#include "support/Utf8.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace {

void report(const std::string& message) {
    Indication_Tools::Outils_AfficheMsg(Indication_Data::thisClassName, message, true);
}

// Reads the keys of one graph file; every getter reports its own failures.
class GraphFileReader {
public:
    explicit GraphFileReader(const Properties& table) : table_(table) { read_.reserve(80); }

    std::optional<std::string> text(const char* key) const {
        read_.push_back(key);
        auto it = table_.find(key);
        if (it == table_.end()) return std::nullopt;
        return it->second;
    }

    bool option(const char* key, bool byDefault) const {
        return Indication_Tools::Outils_GetOption(key, text(key), byDefault, true);
    }

    // The integer, or nothing after reporting message and why.
    std::optional<int> integer(const char* key, const std::string& message) const {
        std::optional<std::string> value = text(key);
        if (!value) {
            report(message + "no value found");
            return std::nullopt;
        }
        std::optional<int32_t> parsed = Indication_Tools::parseDecimalInt(*value);
        if (!parsed) {
            report(message + "\"" + *value + "\" is not a decimal integer");
            return std::nullopt;
        }
        return *parsed;
    }

    int integer(const char* key, int byDefault, const std::string& message) const {
        return integer(key, message).value_or(byDefault);
    }

    // One of words (matched in lower case), or nothing after reporting message.
    std::optional<int> word(const char* key, std::initializer_list<std::pair<const char*, int>> words,
                            const char* message) const {
        if (std::optional<std::string> value = text(key)) {
            std::string lower = utf8::asciiLower(*value);
            for (const auto& [w, v] : words) {
                if (lower == w) return v;
            }
        }
        report(message);
        return std::nullopt;
    }

    void color(const char* key, Color& field) const {
        if (auto c = Indication_Tools::Outils_getColor(key, text(key))) field = *c;
    }
    Color colorOr(const char* key, const Color& fallback) const {
        return Indication_Tools::Outils_getColor(key, text(key)).value_or(fallback);
    }
    void font(const char* key, Font& field) const {
        if (auto f = Indication_Tools::Outils_getFont(key, text(key))) field = *f;
    }
    Font fontOr(const char* key, const Font& fallback) const {
        return Indication_Tools::Outils_getFont(key, text(key)).value_or(fallback);
    }

    // Text keys leave the field alone when absent.
    void text(const char* key, std::optional<std::string>& field) const {
        if (auto v = text(key)) field = std::move(v);
    }
    // Texts that must hold at least minChars characters; shorter ones are ignored.
    void text(const char* key, std::optional<std::string>& field, size_t minChars) const {
        if (auto v = text(key); v && utf8::length(*v) >= minChars) field = std::move(v);
    }

    // The keys of the file that no getter asked for, in the order of their names.
    std::vector<std::string> unread() const {
        std::vector<std::string> keys;
        for (const auto& entry : table_) {
            if (std::find(read_.begin(), read_.end(), entry.first) == read_.end()) keys.push_back(entry.first);
        }
        std::sort(keys.begin(), keys.end());
        return keys;
    }
    // Every key the getters asked for: the graph file's known keys, kept by
    // the reading itself so that a key read is a key known.
    const std::vector<std::string_view>& known() const { return read_; }

private:
    const Properties& table_;
    mutable std::vector<std::string_view> read_;
};

// What the window end of a wedge date that is not YYYYMMDD really is, or
// nothing for a proper date.
std::optional<std::string> wedgeDateProblem(const std::optional<std::string>& date, int64_t end) {
    if (!date) return std::nullopt;
    const std::string& d = *date;
    bool digits = d.size() == 8 && std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits) {
        const int year = std::stoi(d.substr(0, 4));
        const int month = std::stoi(d.substr(4, 2));
        const int day = std::stoi(d.substr(6, 2));
        // A day past the month's end carries into the next month: not the date written.
        const civil::Date civilDate = civil::civilFromDays(civil::daysFromCivil(year, month, day));
        if (month >= 1 && month <= 12 && civilDate.month == month && civilDate.day == day) return std::nullopt;
    }
    std::string line = "GRAPH_DURATION_PERIOD_WEDGE_DATE \"" + d + "\" is not a date (YYYYMMDD): the window ends ";
    // Any other length is taken for now; eight characters are read field by field.
    if (utf8::length(d) != 8) return line + "now";
    return line + "on " + Indication_Tools::getDisplayDate(end);
}

// "1;2": the factors, ascending, each once; nothing for any other text.
std::optional<std::vector<int>> printScales(const std::string& text) {
    std::vector<int> scales;
    size_t from = 0;
    while (true) {
        const size_t end = std::min(text.find(';', from), text.size());
        size_t a = from, b = end;
        while (a < b && (text[a] == ' ' || text[a] == '\t')) ++a;
        while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t')) --b;
        if (b != a + 1 || text[a] < '1' || text[a] > '0' + Indication_Data::PRINT_MAX_SCALE) return std::nullopt;
        scales.push_back(text[a] - '0');
        if (end == text.size()) break;
        from = end + 1;
    }
    std::sort(scales.begin(), scales.end());
    scales.erase(std::unique(scales.begin(), scales.end()), scales.end());
    return scales;
}

constexpr std::initializer_list<std::pair<const char*, int>> kHorizontal = {
    {"left", Indication_Data::ALIGN_LEFT},
    {"center", Indication_Data::ALIGN_CENTER},
    {"right", Indication_Data::ALIGN_RIGHT}};
constexpr std::initializer_list<std::pair<const char*, int>> kVertical = {
    {"bottom", Indication_Data::ALIGN_BOTTOM}, {"top", Indication_Data::ALIGN_TOP}};
constexpr std::initializer_list<std::pair<const char*, int>> kThousands = {
    {"none", Indication_Data::THOUSANDS_NONE},
    {"space", Indication_Data::THOUSANDS_SPACE},
    {"comma", Indication_Data::THOUSANDS_COMMA},
    {"point", Indication_Data::THOUSANDS_POINT}};

}  // namespace

Indication_Data::Indication_Data() { ResetConfiguration(); }

Indication_Data::Indication_Data(const std::optional<std::string>& path) : Indication_Data() {
    szFileData = path;
}

void Indication_Data::ResetConfiguration() {
    loadFailure = ChartLoadFailure{};
    newestRecord.reset();
    unreadableLines.reset();
    szFileData.reset();
    szFileData_Values.reset();
    bDateFormat_French = true;
    bDate_DispWeekDay = true;
    // szDate_WeekDay has no default: it keeps the last graph file's text.
    szDate_Month = "JFMAMJJASOND";
    iDimension_Width = 320;
    iDimension_Height = 200;
    bPrintGIF_Valid = true;
    bPrintGIF_LZWCompress = false;
    szPrintGIF_FileName.reset();
    bPrintPNG_Valid = false;
    bPrintPNG_Alpha = false;
    iPrintPNG_Filter = 0;
    iPrintPNG_CoefCompress = 0;
    szPrintPNG_FileName.reset();
    bPrintSVG_Valid = false;
    szPrintSVG_FileName.reset();
    vecPrint_Scales = {1};
    fontImage_Pen = Font{"Helvetica", Font::PLAIN, 8};
    colorImage_Fond = Color(255, 255, 255);
    colorImage_Pen = Color(0, 0, 0);

    bDisplay_Title = true;
    iHAlign_Title = ALIGN_LEFT;
    iVAlign_Title = ALIGN_TOP;
    szGraph_Title = "%QFp - v%QFv";
    fontImage_Pen_Title = fontImage_Pen;
    colorImage_Pen_Title = colorImage_Pen;

    bDisplay_CopyRight = true;
    iHAlign_CopyRight = ALIGN_RIGHT;
    iVAlign_CopyRight = ALIGN_BOTTOM;
    // No default copyright: a previous chart's text must not carry over.
    szGraph_CopyRight.reset();
    fontImage_Pen_CopyRight = fontImage_Pen;
    colorImage_Pen_CopyRight = colorImage_Pen;

    bDisplay_DataPeriod = true;
    iHAlign_DataPeriod = ALIGN_RIGHT;
    iVAlign_DataPeriod = ALIGN_TOP;
    fontImage_Pen_DataPeriod = fontImage_Pen;
    colorImage_Pen_DataPeriod = colorImage_Pen;

    fontGraph_Pen = Font{"Helvetica", Font::PLAIN, 7};
    colorGraph_Fond = Color(221, 221, 221);
    colorGraph_Courbe = Color(255, 0, 0);
    colorGraph_CourbeRemplie = Color(237, 123, 123);
    colorGraph_Axe = Color(0, 0, 0);
    colorGraph_AxeBis = Color(200, 200, 200);
    colorGraph_Pen = Color(0, 0, 0);

    bGraphCourbe_Display = true;
    bGraphCourbe_SpreadData = false;
    iGraphCourbe_Thickness = 1;
    bGraphCourbe_Rempli = false;
    bGraphHistogram_Display = false;
    iGraphHistogram_ShiftedShadow = 1;
    iGraphHistogram_AxePosition = 4;
    iGraphHistogram_EcartHistogramme = 2;
    iGraphHistogram_NumberBar = 1;
    colorGraph_Histogram = Color(240, 100, 100);
    colorGraph_HistogramShadow = Color(10, 10, 10);

    bTendance_MoyenneMobile = false;
    iTendance_MoyenneMobile_Coef = 2;
    iTendance_MoyenneMobile_Thickness = 1;
    colorTendance_MoyenneMobile = Color(50, 139, 214);
    int_TaillePoint = 0;

    bLegende_X_Display = true;
    bLegende_X_Dessus = true;
    iLegende_X_Align = ALIGN_LEFT;
    bLegende_Y_Display = true;
    bLegende_Y_Gauche = true;
    bAxe_AfficheVerticales = false;
    bAxe_AfficheHorizontales = false;
    iAxe_Verticale_NumberOfValues = 4;
    bLegende_Y_Arrondi = false;
    iLegende_Y_Milliers = THOUSANDS_NONE;
    bLegende_Y_LargeurPropre = false;

    bModeGraphicsData_ZoomValues = false;
    iModeGraphicsData = MODEGRAPH_NOMODE;
    iModeGraphicsData_Duration = 0;
    dModeGraphicsData_DurationEnd.reset();
}

bool Indication_Data::SetConfigurationFile(const std::optional<std::string>& path) {
    if (!path) return false;
    szFileData = path;
    return true;
}

bool Indication_Data::GetConfiguration() { return GetConfiguration(szFileData); }

bool Indication_Data::GetConfiguration(const std::optional<std::string>& path) {
    if (!path) {
        report("Pas de fichier de configuration !");
        loadFailed(ChartFailure::graphFile, "No graph file given!");
        return false;
    }
    report("* Read Configuration from : " + *path);
    PropertiesReading reading;
    const Properties table = Indication_Tools::GetFileProperties(*path, reading);
    if (table.empty()) {
        report("no configuration parameter found!");
        loadFailed(ChartFailure::graphFile,
                   "Error with the graph file " + *path + " : " +
                       (reading.failure.empty() ? "no configuration parameter found (missing, unreadable or empty)!"
                                                : reading.failure));
        return false;
    }
    const GraphFileReader in(table);
    // Every macro of this file expands with the same instant: the loading time.
    const int64_t loadedAt = Platform::current().nowMillis();
    auto expand = [loadedAt](std::optional<std::string>& field) {
        field = Indication_Tools::replaceMacroString(field, loadedAt);
    };
    bool usable = true;

    // The order below fixes the order of the reports; the caption fonts and
    // colours fall back on FONT_PEN and COLOR_PEN as read just before.
    in.font("FONT_PEN", fontImage_Pen);
    in.color("COLOR_FOND", colorImage_Fond);
    in.color("COLOR_PEN", colorImage_Pen);
    in.text("GRAPH_DATA_FILE", szFileData_Values);

    in.text("GRAPH_NAME", szGraph_Title);
    expand(szGraph_Title);
    bDisplay_Title = in.option("GRAPH_NAME_DISPLAY", true);
    iHAlign_Title = in.word("GRAPH_NAME_HORIZONTAL_ALIGN", kHorizontal,
                            "GRAPH_NAME_HORIZONTAL_ALIGN error construction (use LEFT, CENTER or RIGHT).")
                        .value_or(ALIGN_LEFT);
    iVAlign_Title = in.word("GRAPH_NAME_VERTICAL_ALIGN", kVertical,
                            "GRAPH_NAME_VERTICAL_ALIGN error construction (use BOTTOM or TOP).")
                        .value_or(ALIGN_TOP);
    fontImage_Pen_Title = in.fontOr("GRAPH_NAME_FONT", fontImage_Pen);
    colorImage_Pen_Title = in.colorOr("GRAPH_NAME_COLOR", colorImage_Pen);

    in.text("GRAPH_COPYRIGHT", szGraph_CopyRight);
    expand(szGraph_CopyRight);
    bDisplay_CopyRight = in.option("GRAPH_COPYRIGHT_DISPLAY", true);
    iHAlign_CopyRight =
        in.word("GRAPH_COPYRIGHT_HORIZONTAL_ALIGN", kHorizontal,
                "GRAPH_COPYRIGHT_HORIZONTAL_ALIGN error construction (use LEFT, CENTER or RIGHT).")
            .value_or(ALIGN_RIGHT);
    iVAlign_CopyRight = in.word("GRAPH_COPYRIGHT_VERTICAL_ALIGN", kVertical,
                                "GRAPH_COPYRIGHT_VERTICAL_ALIGN error construction (use BOTTOM or TOP).")
                            .value_or(ALIGN_BOTTOM);
    fontImage_Pen_CopyRight = in.fontOr("GRAPH_COPYRIGHT_FONT", fontImage_Pen);
    colorImage_Pen_CopyRight = in.colorOr("GRAPH_COPYRIGHT_COLOR", colorImage_Pen);

    bDisplay_DataPeriod = in.option("GRAPH_DURATION_DISPLAY", true);
    iHAlign_DataPeriod =
        in.word("GRAPH_DURATION_HORIZONTAL_ALIGN", kHorizontal,
                "GRAPH_DURATION_HORIZONTAL_ALIGN error construction (use LEFT, CENTER or RIGHT).")
            .value_or(ALIGN_RIGHT);
    iVAlign_DataPeriod = in.word("GRAPH_DURATION_VERTICAL_ALIGN", kVertical,
                                 "GRAPH_DURATION_VERTICAL_ALIGN error construction (use BOTTOM or TOP).")
                             .value_or(ALIGN_TOP);
    fontImage_Pen_DataPeriod = in.fontOr("GRAPH_DURATION_FONT", fontImage_Pen);
    colorImage_Pen_DataPeriod = in.colorOr("GRAPH_DURATION_COLOR", colorImage_Pen);

    bDateFormat_French = in.option("GRAPH_DATE_FORMAT_FRENCH", true);
    bDate_DispWeekDay = in.option("GRAPH_DATE_DISPLAY_WEEKEND", true);
    // The legends pick one letter per weekday or month: shorter texts would not do.
    in.text("GRAPH_DATE_WEEKDAY", szDate_WeekDay, 7);
    in.text("GRAPH_DATE_MONTH", szDate_Month, 12);

    iDimension_Width = in.integer("GRAPH_PRINT_WIDTH", 320, "GRAPH_PRINT_WIDTH error : ");
    iDimension_Height = in.integer("GRAPH_PRINT_HEIGHT", 200, "GRAPH_PRINT_HEIGHT error : ");
    // A chart of no pixels would be written as an empty GIF and said done.
    for (const auto& [key, size] : {std::pair{"GRAPH_PRINT_WIDTH", iDimension_Width},
                                    std::pair{"GRAPH_PRINT_HEIGHT", iDimension_Height}}) {
        if (size >= 1 || !usable) continue;
        const std::string text = std::string(key) + " error : " + std::to_string(size) + " in " + *path +
                                 ": a chart needs at least 1 pixel each way, no image is written";
        report(text);
        loadFailed(ChartFailure::configuration, text);
        usable = false;
    }
    bPrintGIF_Valid = in.option("GRAPH_PRINT_GIF_VALID", true);
    bPrintGIF_LZWCompress = in.option("GRAPH_PRINT_GIF_LZWCOMPRESS", false);
    in.text("GRAPH_PRINT_GIF_NAME", szPrintGIF_FileName);
    expand(szPrintGIF_FileName);
    bPrintPNG_Valid = in.option("GRAPH_PRINT_PNG_VALID", false);
    bPrintPNG_Alpha = in.option("GRAPH_PRINT_PNG_ALPHA", false);
    iPrintPNG_Filter = in.integer("GRAPH_PRINT_PNG_FILTER", 0, "GRAPH_PRINT_PNG_FILTER error : ");
    if (iPrintPNG_Filter < 0 || iPrintPNG_Filter > 2) {
        report("GRAPH_PRINT_PNG_FILTER error : 0(none), 1(sub) or 2(up)");
        iPrintPNG_Filter = 0;
    }
    iPrintPNG_CoefCompress = in.integer("GRAPH_PRINT_PNG_COMPRESS", 0, "GRAPH_PRINT_PNG_COMPRESS error : ");
    in.text("GRAPH_PRINT_PNG_NAME", szPrintPNG_FileName);
    expand(szPrintPNG_FileName);
    // Read only when given: charts that never heard of SVG report as before.
    bPrintSVG_Valid = in.text("GRAPH_PRINT_SVG_VALID") && in.option("GRAPH_PRINT_SVG_VALID", false);
    in.text("GRAPH_PRINT_SVG_NAME", szPrintSVG_FileName);
    expand(szPrintSVG_FileName);
    vecPrint_Scales = {1};
    if (auto scales = in.text("GRAPH_PRINT_SCALES")) {
        if (auto parsed = printScales(*scales)) {
            vecPrint_Scales = std::move(*parsed);
        } else {
            report("GRAPH_PRINT_SCALES error : \"" + *scales + "\" is not a list of whole numbers from 1 to " +
                   std::to_string(PRINT_MAX_SCALE) + " separated by ;");
        }
    }

    bModeGraphicsData_ZoomValues = in.option("GRAPH_VALUES_ZOOM", false);
    if (auto mode = in.word("GRAPH_DURATION_MODE",
                            {{"month", MODEGRAPH_MONTH},
                             {"day", MODEGRAPH_DAY},
                             {"hour", MODEGRAPH_HOUR},
                             {"minute", MODEGRAPH_MINUTE}},
                            "GRAPH_DURATION_MODE error construction (use MONTH, DAY, HOUR or MINUTE).")) {
        iModeGraphicsData = *mode;
    } else {
        iModeGraphicsData = MODEGRAPH_NOMODE;
        usable = false;
        loadFailed(ChartFailure::configuration,
                   "GRAPH_DURATION_MODE error construction (use MONTH, DAY, HOUR or MINUTE) in " + *path);
    }
    if (auto period = in.integer("GRAPH_DURATION_PERIOD", "GRAPH_DURATION_PERIOD error construction : ")) {
        iModeGraphicsData_Duration = *period;
    } else {
        // The period stays as it was; without one the chart has no window.
        iModeGraphicsData = MODEGRAPH_NOMODE;
        usable = false;
        loadFailed(ChartFailure::configuration, "GRAPH_DURATION_PERIOD error construction in " + *path);
    }
    const std::optional<std::string> wedgeDate = in.text("GRAPH_DURATION_PERIOD_WEDGE_DATE");
    dModeGraphicsData_DurationEnd =
        Indication_Tools::getDateFromBdd(wedgeDate, in.text("GRAPH_DURATION_PERIOD_WEDGE_TIME"));

    bGraphCourbe_Display = in.option("GRAPH_CURVE_DISPLAY", true);
    bGraphCourbe_Rempli = in.option("GRAPH_CURVE_MOUNTAIN", false);
    bGraphCourbe_SpreadData = in.option("GRAPH_DATA_SPREAD_DATA", false);
    iGraphCourbe_Thickness = in.integer("GRAPH_CURVE_THICKNESS", 1, "GRAPH_CURVE_THICKNESS error construction : ");
    bGraphHistogram_Display = in.option("GRAPH_HISTOGRAM_DISPLAY", false);
    iGraphHistogram_ShiftedShadow = in.integer("GRAPH_HISTOGRAM_SHIFTED_SHADOW", 1,
                                               "GRAPH_HISTOGRAM_SHIFTED_SHADOW error construction : ");
    iGraphHistogram_AxePosition =
        in.integer("GRAPH_HISTOGRAM_DISTANCE_AXE", 4, "GRAPH_HISTOGRAM_DISTANCE_AXE error construction : ");
    iGraphHistogram_EcartHistogramme =
        in.integer("GRAPH_HISTOGRAM_DISTANCE_BAR", 2, "GRAPH_HISTOGRAM_DISTANCE_BAR error construction : ");
    iGraphHistogram_NumberBar =
        in.integer("GRAPH_HISTOGRAM_NUMBER_BAR", 1, "GRAPH_HISTOGRAM_NUMBER_BAR error construction : ");
    in.color("GRAPH_HISTOGRAM_COLOR", colorGraph_Histogram);
    in.color("GRAPH_HISTOGRAM_COLOR_SHADOW", colorGraph_HistogramShadow);

    bTendance_MoyenneMobile = in.option("GRAPH_CURVE_TREND_MOVINGAVERAGE", false);
    iTendance_MoyenneMobile_Coef = in.integer("GRAPH_CURVE_TREND_MOVINGAVERAGE_COEF", 2,
                                              "GRAPH_CURVE_TREND_MOVINGAVERAGE_COEF error construction : ");
    iTendance_MoyenneMobile_Thickness =
        in.integer("GRAPH_CURVE_TREND_MOVINGAVERAGE_THICKNESS", 1,
                   "GRAPH_CURVE_TREND_MOVINGAVERAGE_THICKNESS error construction : ");
    in.color("GRAPH_CURVE_TREND_MOVINGAVERAGE_COLOR", colorTendance_MoyenneMobile);

    bLegende_X_Display = in.option("LEGENDE_X_DISPLAY", true);
    bLegende_X_Dessus = in.option("LEGENDE_X_OVERAXIS", true);
    iLegende_X_Align = in.word("LEGENDE_X_ALIGNEMENT", kHorizontal,
                               "LEGENDE_X_ALIGNEMENT error construction (use LEFT, CENTER or RIGHT).")
                           .value_or(ALIGN_LEFT);
    bLegende_Y_Display = in.option("LEGENDE_Y_DISPLAY", true);
    bLegende_Y_Gauche = in.option("LEGENDE_Y_LEFTGRAPH", true);
    bAxe_AfficheVerticales = in.option("GRAPH_AXE_VERTICAL", false);
    bAxe_AfficheHorizontales = in.option("GRAPH_AXE_HORIZONTAL", false);
    iAxe_Verticale_NumberOfValues =
        in.integer("GRAPH_AXE_VERTICAL_NUMBEROFVALUES", 4, "GRAPH_AXE_VERTICAL_NUMBEROFVALUES error : ");
    bLegende_Y_Arrondi = in.option("LEGENDE_Y_ROUND", false);
    iLegende_Y_Milliers = in.word("LEGENDE_Y_THOUSANDS", kThousands,
                                  "LEGENDE_Y_THOUSANDS error construction (use NONE, SPACE, COMMA or POINT).")
                              .value_or(THOUSANDS_NONE);
    bLegende_Y_LargeurPropre = in.option("LEGENDE_Y_OWNWIDTH", false);

    in.font("FONT_GRAPH_PEN", fontGraph_Pen);
    in.color("COLOR_GRAPH_FOND", colorGraph_Fond);
    in.color("GRAPH_CURVE_COLOR", colorGraph_Courbe);
    in.color("GRAPH_CURVE_MOUNTAIN_COLOR", colorGraph_CourbeRemplie);
    in.color("COLOR_GRAPH_AXE", colorGraph_Axe);
    in.color("COLOR_GRAPH_AXEBIS", colorGraph_AxeBis);
    in.color("COLOR_GRAPH_PEN", colorGraph_Pen);

    // Mistakes the defaults would hide, told once per content of the file.
    std::vector<std::string> findings;
    if (auto problem = wedgeDateProblem(wedgeDate, *dModeGraphicsData_DurationEnd)) findings.push_back(*problem);
    for (const std::string& key : in.unread()) findings.push_back(KeyCheck::unknownKeyLine(key, *path, in.known()));
    if (KeyCheck::firstReading(*path, table, !findings.empty())) {
        for (const std::string& line : findings) Indication_Tools::Outils_AfficheMsg_System(thisClassName, line, true);
    }
    return usable;
}

void Indication_Data::loadFailed(ChartFailure cause, std::string text) {
    if (loadFailure.cause != ChartFailure::none || loadFailure.noData) return;
    loadFailure.cause = cause;
    loadFailure.text = std::move(text);
}

void Indication_Data::setChartContext(const ChartContext& context) {
    context_ = context;
    // Then the charts before decide, unless the graph file sets them.
    if (context.carryOver != nullptr && *context.carryOver) szDate_WeekDay.reset();
}

void Indication_Data::finalize() {
    vecGraph_Date.clear();
    vecGraph_Date.shrink_to_fit();
    vecGraph_Data.clear();
    vecGraph_Data.shrink_to_fit();
}
