// The graph file's keys: one row each, read in order.

#include "chart/GraphFileKeys.h"

#include "chart/Indication_Data.h"
#include "chart/TimeAxis.h"
#include "support/CivilCalendar.h"
#include "support/Indication_Tools.h"
#include "support/KeyCheck.h"
#include "support/Mutex.h"
#include "support/Platform.h"
#include "support/Utf8.h"

#include <algorithm>
#include <initializer_list>
#include <map>
#include <memory>
#include <span>
#include <utility>
#include <variant>

namespace graphfile {
namespace {

using D = Indication_Data;

void report(const std::string& message) { Indication_Tools::Outils_AfficheMsg(D::thisClassName, message, true); }

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
    std::optional<int> word(const char* key, std::span<const std::pair<const char*, int>> words,
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

using Words = std::pair<const char*, int>;
constexpr Words kHorizontal[] = {{"left", D::ALIGN_LEFT}, {"center", D::ALIGN_CENTER}, {"right", D::ALIGN_RIGHT}};
constexpr Words kVertical[] = {{"bottom", D::ALIGN_BOTTOM}, {"top", D::ALIGN_TOP}};
constexpr Words kThousands[] = {{"none", D::THOUSANDS_NONE},
                                {"space", D::THOUSANDS_SPACE},
                                {"comma", D::THOUSANDS_COMMA},
                                {"point", D::THOUSANDS_POINT}};
constexpr Words kModes[] = {
    {"month", D::MODEGRAPH_MONTH}, {"day", D::MODEGRAPH_DAY}, {"hour", D::MODEGRAPH_HOUR}, {"minute", D::MODEGRAPH_MINUTE}};

// ---- How a key's text becomes its field ----------------------------------

// yes/no; quiet: a missing key says nothing (keys newer than most graph files);
// web: the default under GRAPH_STYLE=web, when it differs.
struct Option {
    bool D::*field;
    bool byDefault;
    bool quiet = false;
    std::optional<bool> web = std::nullopt;
};
// The option with another default under GRAPH_STYLE=web.
constexpr Option inWebStyle(Option o, bool value) {
    o.web = value;
    return o;
}
// A decimal integer; a bad or missing one reports message and why.
struct Integer {
    int D::*field;
    int byDefault;
    const char* message;
};
// One of words; anything else reports message.
struct Word {
    int D::*field;
    std::span<const Words> words;
    int byDefault;
    const char* message;
};
// A colour or a font: a bad or missing one leaves the default, or takes the
// field named as fallback (read before it).
struct ColorKey {
    Color D::*field;
    Color byDefault;
    Color D::*fallback = nullptr;
};
struct FontDefault {
    const char* name;
    int style;
    int size;
};
struct FontKey {
    Font D::*field;
    FontDefault byDefault;
    Font D::*fallback = nullptr;
};
// A text, kept when absent or shorter than minChars characters; macros
// expanded (a default too) when asked. byDefault null: no text; kept: the
// field keeps the text of the chart before (no reset).
struct Text {
    std::optional<std::string> D::*field;
    const char* byDefault;
    const char* documented;
    size_t minChars = 0;
    bool macros = false;
    bool kept = false;
};
// Read by code of its own.
struct Special {
    void (*reset)(D&);
    void (*read)(D&, const GraphFileReader&, Loading&);
    const char* documented;
};
// No key: a check of what the keys before it gave.
struct Check {
    void (*run)(D&, Loading&);
};

struct Row {
    const char* key;  // null for a check
    std::variant<Option, Integer, Word, ColorKey, FontKey, Text, Special, Check> how;
};

Font fontOf(const FontDefault& f) { return Font{f.name, f.style, f.size}; }

// ---- Keys read by code of their own --------------------------------------

void checkSize(D& m, Loading& loading) {
    // A chart of no pixels would be written as an empty GIF and said done.
    for (const auto& [key, size] :
         {std::pair{"GRAPH_PRINT_WIDTH", m.iDimension_Width}, std::pair{"GRAPH_PRINT_HEIGHT", m.iDimension_Height}}) {
        if (size >= 1 || !loading.usable) continue;
        const std::string text = std::string(key) + " error : " + std::to_string(size) + " in " + loading.path +
                                 ": a chart needs at least 1 pixel each way, no image is written";
        report(text);
        m.loadFailed(ChartFailure::configuration, text);
        loading.usable = false;
    }
}

void checkFilter(D& m, Loading&) {
    if (m.iPrintPNG_Filter >= 0 && m.iPrintPNG_Filter <= 2) return;
    report("GRAPH_PRINT_PNG_FILTER error : 0(none), 1(sub) or 2(up)");
    m.iPrintPNG_Filter = 0;
}

void resetScales(D& m) { m.vecPrint_Scales = {1}; }
void readScales(D& m, const GraphFileReader& in, Loading&) {
    m.vecPrint_Scales = {1};
    if (auto scales = in.text("GRAPH_PRINT_SCALES")) {
        if (auto parsed = printScales(*scales)) {
            m.vecPrint_Scales = std::move(*parsed);
        } else {
            report("GRAPH_PRINT_SCALES error : \"" + *scales + "\" is not a list of whole numbers from 1 to " +
                   std::to_string(D::PRINT_MAX_SCALE) + " separated by ;");
        }
    }
}

void resetMode(D& m) { m.iModeGraphicsData = D::MODEGRAPH_NOMODE; }
void readMode(D& m, const GraphFileReader& in, Loading& loading) {
    if (auto mode = in.word("GRAPH_DURATION_MODE", kModes,
                            "GRAPH_DURATION_MODE error construction (use MONTH, DAY, HOUR or MINUTE).")) {
        m.iModeGraphicsData = *mode;
        return;
    }
    m.iModeGraphicsData = D::MODEGRAPH_NOMODE;
    loading.usable = false;
    m.loadFailed(ChartFailure::configuration,
                 "GRAPH_DURATION_MODE error construction (use MONTH, DAY, HOUR or MINUTE) in " + loading.path);
}

void resetPeriod(D& m) { m.iModeGraphicsData_Duration = 0; }
void readPeriod(D& m, const GraphFileReader& in, Loading& loading) {
    if (auto period = in.integer("GRAPH_DURATION_PERIOD", "GRAPH_DURATION_PERIOD error construction : ")) {
        m.iModeGraphicsData_Duration = *period;
        return;
    }
    // The period stays as it was; without one the chart has no window.
    m.iModeGraphicsData = D::MODEGRAPH_NOMODE;
    loading.usable = false;
    m.loadFailed(ChartFailure::configuration, "GRAPH_DURATION_PERIOD error construction in " + loading.path);
}

// "Jan;Feb;…": exactly count names, none empty, or the defaults.
void readNames(const GraphFileReader& in, const char* key, std::vector<std::string>& field,
               const std::vector<std::string>& byDefault, const char* what) {
    field = byDefault;
    const std::optional<std::string> text = in.text(key);
    if (!text) return;
    std::vector<std::string> names;
    for (size_t from = 0;;) {
        const size_t end = std::min(text->find(';', from), text->size());
        size_t a = from, b = end;
        while (a < b && ((*text)[a] == ' ' || (*text)[a] == '\t')) ++a;
        while (b > a && ((*text)[b - 1] == ' ' || (*text)[b - 1] == '\t')) --b;
        names.push_back(text->substr(a, b - a));
        if (end == text->size()) break;
        from = end + 1;
    }
    const bool good = names.size() == byDefault.size() &&
                      std::none_of(names.begin(), names.end(), [](const std::string& n) { return n.empty(); });
    if (good) {
        field = std::move(names);
        return;
    }
    report(std::string(key) + " error : \"" + *text + "\" is not " + std::to_string(byDefault.size()) + " names (" +
           what + ") separated by ;");
}
void resetMonthNames(D& m) { m.vecDate_MonthNames = chart::defaultCalendarNames().months; }
void readMonthNames(D& m, const GraphFileReader& in, Loading&) {
    readNames(in, "GRAPH_DATE_MONTH_NAMES", m.vecDate_MonthNames, chart::defaultCalendarNames().months,
              "January first");
}
void resetWeekDayNames(D& m) { m.vecDate_WeekDayNames = chart::defaultCalendarNames().weekdays; }
void readWeekDayNames(D& m, const GraphFileReader& in, Loading&) {
    readNames(in, "GRAPH_DATE_WEEKDAY_NAMES", m.vecDate_WeekDayNames, chart::defaultCalendarNames().weekdays,
              "Sunday first");
}

// A calendar file as read: the calendar, or why there is none, and the
// mistakes said about it.
struct CalendarFile {
    std::optional<TradingCalendar> calendar;
    std::vector<std::string> problems;
    std::string failure;
};

// The calendar files read, with their bytes: the charts that share a
// calendar (often all of a site's) have its file read but not parsed again,
// and they and every worker share its days; other bytes are parsed anew.
class CalendarFiles {
public:
    std::shared_ptr<const CalendarFile> find(const std::string& path, const std::string& bytes) {
        MutexLock lock(mutex_);
        const auto it = files_.find(path);
        return it != files_.end() && it->second.first == bytes ? it->second.second : nullptr;
    }
    void keep(const std::string& path, std::string bytes, std::shared_ptr<const CalendarFile> file) {
        MutexLock lock(mutex_);
        if (files_.size() >= kFiles && !files_.count(path)) files_.clear();
        files_[path] = {std::move(bytes), std::move(file)};
    }

private:
    static constexpr size_t kFiles = 32;
    Mutex mutex_;
    std::map<std::string, std::pair<std::string, std::shared_ptr<const CalendarFile>>> files_ ZK_GUARDED_BY(mutex_);
};

std::shared_ptr<const CalendarFile> calendarFile(const std::string& path) {
    static CalendarFiles kept;
    std::string bytes, error;
    const bool whole = Platform::current().readFile(path, bytes, error);
    if (whole) {
        if (std::shared_ptr<const CalendarFile> known = kept.find(path, bytes)) return known;
    }
    auto file = std::make_shared<CalendarFile>();
    PropertiesReading reading;
    const Properties keys = Indication_Tools::GetFileProperties(path, reading);
    if (!keys.empty()) file->calendar = TradingCalendar::read(keys, file->problems);
    file->failure = keys.empty() ? (reading.failure.empty() ? "missing, unreadable or empty" : reading.failure)
                                 : "no calendar";
    // Kept only when the file held the same bytes before and after it was parsed.
    std::string after;
    if (whole && file->calendar && Platform::current().readFile(path, after, error) && after == bytes)
        kept.keep(path, std::move(bytes), file);
    return file;
}

// A calendar file, then sessions and weekdays of the chart's own over it
// (or alone). A calendar that cannot be had fails the chart: drawn on plain
// time it would look right and be wrong.
void resetCalendar(D& m) {
    m.calendar.reset();
    m.calendarDrawn.reset();
}
void readCalendar(D& m, const GraphFileReader& in, Loading& loading) {
    resetCalendar(m);
    const std::optional<std::string> file = in.text("GRAPH_CALENDAR");
    const std::optional<std::string> sessions = in.text("GRAPH_SESSIONS");
    const std::optional<std::string> days = in.text("GRAPH_TRADING_DAYS");
    if (!file && !sessions) {
        if (days) report("GRAPH_TRADING_DAYS error : not used without GRAPH_SESSIONS or GRAPH_CALENDAR");
        return;
    }
    auto fail = [&](const std::string& text) {
        report(text);
        m.loadFailed(ChartFailure::configuration, text + " in " + loading.path);
        loading.usable = false;
    };
    TradingCalendar calendar;
    if (file) {
        const std::shared_ptr<const CalendarFile> read = calendarFile(*file);
        for (const std::string& problem : read->problems) report("GRAPH_CALENDAR error : " + *file + " : " + problem);
        if (!read->calendar) {
            fail("GRAPH_CALENDAR error : " + *file + " : " + read->failure);
            return;
        }
        calendar = *read->calendar;
    }
    if (sessions) {
        if (auto why = TradingCalendar::parseSessions(*sessions, calendar.sessions)) {
            fail("GRAPH_SESSIONS error : " + *why);
            return;
        }
    }
    if (days) {
        if (auto why = TradingCalendar::parseWeekdays(*days, calendar.tradingDays)) {
            fail("GRAPH_TRADING_DAYS error : " + *why);
            return;
        }
    }
    m.calendar = std::make_shared<const TradingCalendar>(std::move(calendar));
    if (in.text("GRAPH_DATE_DISPLAY_WEEKEND"))
        loading.findings.push_back("GRAPH_DATE_DISPLAY_WEEKEND is not used with trading sessions: the trading weekdays "
                                   "decide which days are closed");
}

// Read only when given: charts without trading time never heard of it.
void resetDelay(D& m) { m.iPublication_Delay = 0; }
void readDelay(D& m, const GraphFileReader& in, Loading&) {
    m.iPublication_Delay = 0;
    const std::optional<std::string> text = in.text("GRAPH_PUBLICATION_DELAY");
    if (!text) return;
    const std::optional<int32_t> minutes = Indication_Tools::parseDecimalInt(*text);
    if (minutes && *minutes >= 0 && *minutes <= 7 * 24 * 60) {
        m.iPublication_Delay = *minutes;
        return;
    }
    report("GRAPH_PUBLICATION_DELAY error : \"" + *text + "\" is not a whole number of minutes from 0 to 10080");
}

// Session lines need sessions to mark.
void checkSessionLines(D& m, Loading&) {
    if (m.bAxe_AfficheSessions && !m.calendar)
        report("GRAPH_AXE_SESSIONS error : not used without GRAPH_SESSIONS or GRAPH_CALENDAR");
}

// Read only when given, as the line it colours is new.
void resetSessionsColor(D& m) { m.colorGraph_Sessions.reset(); }
void readSessionsColor(D& m, const GraphFileReader& in, Loading&) {
    m.colorGraph_Sessions.reset();
    if (const std::optional<std::string> text = in.text("COLOR_GRAPH_SESSIONS"))
        m.colorGraph_Sessions = Indication_Tools::Outils_getColor("COLOR_GRAPH_SESSIONS", text);
}

void resetXFormat(D& m) { m.szLegende_X_Format.reset(); }
void readXFormat(D& m, const GraphFileReader& in, Loading&) {
    m.szLegende_X_Format = in.text("LEGENDE_X_FORMAT");
    // The web style's labels are the automatic ones; an empty value asks for none.
    if (!m.szLegende_X_Format && m.iGraph_Style == D::STYLE_WEB) m.szLegende_X_Format = std::string(chart::kAutoFormat);
    if (m.szLegende_X_Format && m.szLegende_X_Format->empty()) m.szLegende_X_Format.reset();
    if (!m.szLegende_X_Format) return;
    if (utf8::asciiLower(*m.szLegende_X_Format) == chart::kAutoFormat) {
        m.szLegende_X_Format = std::string(chart::kAutoFormat);
        return;
    }
    const std::string unknown = chart::unknownFields(*m.szLegende_X_Format);
    if (!unknown.empty())
        report("LEGENDE_X_FORMAT error : " + unknown + " written as they stand (use %d %m %b %Y %y %H %M %a %%)");
}

void resetStyle(D& m) { m.iGraph_Style = D::STYLE_NONE; }
// Missing says nothing: most graph files have none.
void readStyle(D& m, const GraphFileReader& in, Loading&) {
    m.iGraph_Style = D::STYLE_NONE;
    if (!in.text("GRAPH_STYLE")) return;
    static constexpr Words kStyles[] = {{"none", D::STYLE_NONE}, {"web", D::STYLE_WEB}};
    m.iGraph_Style = in.word("GRAPH_STYLE", kStyles, "GRAPH_STYLE error construction (use NONE or WEB).")
                         .value_or(D::STYLE_NONE);
}

void resetWedge(D& m) { m.dModeGraphicsData_DurationEnd.reset(); }
void readWedge(D& m, const GraphFileReader& in, Loading& loading) {
    loading.wedgeDate = in.text("GRAPH_DURATION_PERIOD_WEDGE_DATE");
    m.dModeGraphicsData_DurationEnd =
        Indication_Tools::getDateFromBdd(loading.wedgeDate, in.text("GRAPH_DURATION_PERIOD_WEDGE_TIME"));
}

// ---- The table ------------------------------------------------------------

const std::vector<Row>& rows() {
    static const std::vector<Row> table = {
        // First: the defaults of the keys after it.
        {"GRAPH_STYLE", Special{resetStyle, readStyle, "none"}},
        // The caption fonts and colours fall back on FONT_PEN and COLOR_PEN.
        {"FONT_PEN", FontKey{&D::fontImage_Pen, {"Helvetica", Font::PLAIN, 8}}},
        {"COLOR_FOND", ColorKey{&D::colorImage_Fond, Color(255, 255, 255)}},
        {"COLOR_PEN", ColorKey{&D::colorImage_Pen, Color(0, 0, 0)}},
        {"GRAPH_DATA_FILE", Text{&D::szFileData_Values, nullptr, "none"}},

        {"GRAPH_NAME", Text{&D::szGraph_Title, "%QFp - v%QFv", "`%QFp - v%QFv` (`zkQuoteForge - v1.05`)", 0, true}},
        {"GRAPH_NAME_DISPLAY", Option{&D::bDisplay_Title, true}},
        {"GRAPH_NAME_HORIZONTAL_ALIGN", Word{&D::iHAlign_Title, kHorizontal, D::ALIGN_LEFT,
                                             "GRAPH_NAME_HORIZONTAL_ALIGN error construction (use LEFT, CENTER or RIGHT)."}},
        {"GRAPH_NAME_VERTICAL_ALIGN", Word{&D::iVAlign_Title, kVertical, D::ALIGN_TOP,
                                           "GRAPH_NAME_VERTICAL_ALIGN error construction (use BOTTOM or TOP)."}},
        {"GRAPH_NAME_FONT", FontKey{&D::fontImage_Pen_Title, {}, &D::fontImage_Pen}},
        {"GRAPH_NAME_COLOR", ColorKey{&D::colorImage_Pen_Title, {}, &D::colorImage_Pen}},

        // No default copyright: a previous chart's text must not carry over.
        {"GRAPH_COPYRIGHT", Text{&D::szGraph_CopyRight, nullptr, "none (no copyright)", 0, true}},
        {"GRAPH_COPYRIGHT_DISPLAY", Option{&D::bDisplay_CopyRight, true}},
        {"GRAPH_COPYRIGHT_HORIZONTAL_ALIGN",
         Word{&D::iHAlign_CopyRight, kHorizontal, D::ALIGN_RIGHT,
              "GRAPH_COPYRIGHT_HORIZONTAL_ALIGN error construction (use LEFT, CENTER or RIGHT)."}},
        {"GRAPH_COPYRIGHT_VERTICAL_ALIGN", Word{&D::iVAlign_CopyRight, kVertical, D::ALIGN_BOTTOM,
                                                "GRAPH_COPYRIGHT_VERTICAL_ALIGN error construction (use BOTTOM or TOP)."}},
        {"GRAPH_COPYRIGHT_FONT", FontKey{&D::fontImage_Pen_CopyRight, {}, &D::fontImage_Pen}},
        {"GRAPH_COPYRIGHT_COLOR", ColorKey{&D::colorImage_Pen_CopyRight, {}, &D::colorImage_Pen}},

        {"GRAPH_DURATION_DISPLAY", Option{&D::bDisplay_DataPeriod, true}},
        {"GRAPH_DURATION_HORIZONTAL_ALIGN",
         Word{&D::iHAlign_DataPeriod, kHorizontal, D::ALIGN_RIGHT,
              "GRAPH_DURATION_HORIZONTAL_ALIGN error construction (use LEFT, CENTER or RIGHT)."}},
        {"GRAPH_DURATION_VERTICAL_ALIGN", Word{&D::iVAlign_DataPeriod, kVertical, D::ALIGN_TOP,
                                               "GRAPH_DURATION_VERTICAL_ALIGN error construction (use BOTTOM or TOP)."}},
        {"GRAPH_DURATION_FONT", FontKey{&D::fontImage_Pen_DataPeriod, {}, &D::fontImage_Pen}},
        {"GRAPH_DURATION_COLOR", ColorKey{&D::colorImage_Pen_DataPeriod, {}, &D::colorImage_Pen}},

        {"GRAPH_DATE_FORMAT_FRENCH", Option{&D::bDateFormat_French, true}},
        {"GRAPH_DATE_DISPLAY_WEEKEND", Option{&D::bDate_DispWeekDay, true}},
        // The legends pick one letter per weekday or month: shorter texts would
        // not do. The weekday letters keep the last graph file's text.
        {"GRAPH_DATE_WEEKDAY", Text{&D::szDate_WeekDay, nullptr, "`SMTWTFS`", 7, false, true}},
        {"GRAPH_DATE_MONTH", Text{&D::szDate_Month, "JFMAMJJASOND", nullptr, 12}},
        {"GRAPH_DATE_MONTH_NAMES", Special{resetMonthNames, readMonthNames, "`Jan;Feb;…;Dec`"}},
        {"GRAPH_DATE_WEEKDAY_NAMES", Special{resetWeekDayNames, readWeekDayNames, "`Sun;Mon;…;Sat`"}},

        {"GRAPH_PRINT_WIDTH", Integer{&D::iDimension_Width, 320, "GRAPH_PRINT_WIDTH error : "}},
        {"GRAPH_PRINT_HEIGHT", Integer{&D::iDimension_Height, 200, "GRAPH_PRINT_HEIGHT error : "}},
        {nullptr, Check{checkSize}},
        {"GRAPH_PRINT_GIF_VALID", Option{&D::bPrintGIF_Valid, true}},
        {"GRAPH_PRINT_GIF_LZWCOMPRESS", Option{&D::bPrintGIF_LZWCompress, false}},
        {"GRAPH_PRINT_GIF_NAME", Text{&D::szPrintGIF_FileName, nullptr, "the title", 0, true}},
        {"GRAPH_PRINT_PNG_VALID", Option{&D::bPrintPNG_Valid, false}},
        {"GRAPH_PRINT_PNG_ALPHA", Option{&D::bPrintPNG_Alpha, false}},
        {"GRAPH_PRINT_PNG_FILTER", Integer{&D::iPrintPNG_Filter, 0, "GRAPH_PRINT_PNG_FILTER error : "}},
        {nullptr, Check{checkFilter}},
        {"GRAPH_PRINT_PNG_COMPRESS", Integer{&D::iPrintPNG_CoefCompress, 0, "GRAPH_PRINT_PNG_COMPRESS error : "}},
        {"GRAPH_PRINT_PNG_NAME", Text{&D::szPrintPNG_FileName, nullptr, "the title", 0, true}},
        {"GRAPH_PRINT_SVG_VALID", Option{&D::bPrintSVG_Valid, false, true}},
        {"GRAPH_PRINT_SVG_NAME", Text{&D::szPrintSVG_FileName, nullptr, "the title", 0, true}},
        {"GRAPH_PRINT_SCALES", Special{resetScales, readScales, "`1`"}},
        {"GRAPH_PRINT_EXACT_SIZE", inWebStyle(Option{&D::bPrint_ExactSize, false, true}, true)},

        {"GRAPH_VALUES_ZOOM", Option{&D::bModeGraphicsData_ZoomValues, false}},
        {"GRAPH_DURATION_MONTH_CALENDAR", inWebStyle(Option{&D::bModeGraphicsData_CalendarMonths, false, true}, true)},
        // With GRAPH_SESSIONS and GRAPH_TRADING_DAYS.
        {"GRAPH_CALENDAR", Special{resetCalendar, readCalendar, "none"}},
        {"GRAPH_TRADING_DAYS_NEED_RECORDS", Option{&D::bTradingDays_NeedRecords, false, true}},
        {"GRAPH_PUBLICATION_DELAY", Special{resetDelay, readDelay, "0"}},
        {"GRAPH_DURATION_MODE", Special{resetMode, readMode, "none"}},
        {"GRAPH_DURATION_PERIOD", Special{resetPeriod, readPeriod, "none"}},
        // With GRAPH_DURATION_PERIOD_WEDGE_TIME.
        {"GRAPH_DURATION_PERIOD_WEDGE_DATE", Special{resetWedge, readWedge, "now"}},

        {"GRAPH_CURVE_DISPLAY", Option{&D::bGraphCourbe_Display, true}},
        {"GRAPH_CURVE_MOUNTAIN", Option{&D::bGraphCourbe_Rempli, false}},
        {"GRAPH_DATA_SPREAD_DATA", Option{&D::bGraphCourbe_SpreadData, false}},
        {"GRAPH_CURVE_THICKNESS", Integer{&D::iGraphCourbe_Thickness, 1, "GRAPH_CURVE_THICKNESS error construction : "}},
        {"GRAPH_HISTOGRAM_DISPLAY", Option{&D::bGraphHistogram_Display, false}},
        {"GRAPH_HISTOGRAM_SHIFTED_SHADOW", Integer{&D::iGraphHistogram_ShiftedShadow, 1,
                                                   "GRAPH_HISTOGRAM_SHIFTED_SHADOW error construction : "}},
        {"GRAPH_HISTOGRAM_DISTANCE_AXE", Integer{&D::iGraphHistogram_AxePosition, 4,
                                                 "GRAPH_HISTOGRAM_DISTANCE_AXE error construction : "}},
        {"GRAPH_HISTOGRAM_DISTANCE_BAR", Integer{&D::iGraphHistogram_EcartHistogramme, 2,
                                                 "GRAPH_HISTOGRAM_DISTANCE_BAR error construction : "}},
        {"GRAPH_HISTOGRAM_NUMBER_BAR", Integer{&D::iGraphHistogram_NumberBar, 1,
                                               "GRAPH_HISTOGRAM_NUMBER_BAR error construction : "}},
        {"GRAPH_HISTOGRAM_COLOR", ColorKey{&D::colorGraph_Histogram, Color(240, 100, 100)}},
        {"GRAPH_HISTOGRAM_COLOR_SHADOW", ColorKey{&D::colorGraph_HistogramShadow, Color(10, 10, 10)}},

        {"GRAPH_CURVE_TREND_MOVINGAVERAGE", Option{&D::bTendance_MoyenneMobile, false}},
        {"GRAPH_CURVE_TREND_MOVINGAVERAGE_COEF", Integer{&D::iTendance_MoyenneMobile_Coef, 2,
                                                         "GRAPH_CURVE_TREND_MOVINGAVERAGE_COEF error construction : "}},
        {"GRAPH_CURVE_TREND_MOVINGAVERAGE_THICKNESS",
         Integer{&D::iTendance_MoyenneMobile_Thickness, 1,
                 "GRAPH_CURVE_TREND_MOVINGAVERAGE_THICKNESS error construction : "}},
        {"GRAPH_CURVE_TREND_MOVINGAVERAGE_COLOR", ColorKey{&D::colorTendance_MoyenneMobile, Color(50, 139, 214)}},

        {"LEGENDE_X_DISPLAY", Option{&D::bLegende_X_Display, true}},
        {"LEGENDE_X_OVERAXIS", inWebStyle(Option{&D::bLegende_X_Dessus, true}, false)},
        {"LEGENDE_X_ALIGNEMENT", Word{&D::iLegende_X_Align, kHorizontal, D::ALIGN_LEFT,
                                      "LEGENDE_X_ALIGNEMENT error construction (use LEFT, CENTER or RIGHT)."}},
        {"LEGENDE_X_FORMAT", Special{resetXFormat, readXFormat, "none (`auto` with `GRAPH_STYLE=web`)"}},
        {"LEGENDE_Y_DISPLAY", Option{&D::bLegende_Y_Display, true}},
        {"LEGENDE_Y_LEFTGRAPH", Option{&D::bLegende_Y_Gauche, true}},
        {"GRAPH_AXE_VERTICAL", Option{&D::bAxe_AfficheVerticales, false}},
        {"GRAPH_AXE_HORIZONTAL", Option{&D::bAxe_AfficheHorizontales, false}},
        {"GRAPH_AXE_SESSIONS", Option{&D::bAxe_AfficheSessions, false, true}},
        {nullptr, Check{checkSessionLines}},
        {"GRAPH_AXE_VERTICAL_NUMBEROFVALUES", Integer{&D::iAxe_Verticale_NumberOfValues, 4,
                                                      "GRAPH_AXE_VERTICAL_NUMBEROFVALUES error : "}},
        {"LEGENDE_Y_ROUND", inWebStyle(Option{&D::bLegende_Y_Arrondi, false}, true)},
        {"LEGENDE_Y_THOUSANDS", Word{&D::iLegende_Y_Milliers, kThousands, D::THOUSANDS_NONE,
                                     "LEGENDE_Y_THOUSANDS error construction (use NONE, SPACE, COMMA or POINT)."}},
        {"LEGENDE_Y_OWNWIDTH", Option{&D::bLegende_Y_LargeurPropre, false}},

        {"FONT_GRAPH_PEN", FontKey{&D::fontGraph_Pen, {"Helvetica", Font::PLAIN, 7}}},
        {"COLOR_GRAPH_FOND", ColorKey{&D::colorGraph_Fond, Color(221, 221, 221)}},
        {"GRAPH_CURVE_COLOR", ColorKey{&D::colorGraph_Courbe, Color(255, 0, 0)}},
        {"GRAPH_CURVE_MOUNTAIN_COLOR", ColorKey{&D::colorGraph_CourbeRemplie, Color(237, 123, 123)}},
        {"COLOR_GRAPH_AXE", ColorKey{&D::colorGraph_Axe, Color(0, 0, 0)}},
        {"COLOR_GRAPH_AXEBIS", ColorKey{&D::colorGraph_AxeBis, Color(200, 200, 200)}},
        {"COLOR_GRAPH_SESSIONS", Special{resetSessionsColor, readSessionsColor, "`COLOR_GRAPH_AXEBIS`"}},
        {"COLOR_GRAPH_PEN", ColorKey{&D::colorGraph_Pen, Color(0, 0, 0)}},
    };
    return table;
}

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// "`FONT_PEN`": the key of the row that sets field.
std::string keyOfField(Font D::*field) {
    for (const Row& row : rows())
        if (const auto* font = std::get_if<FontKey>(&row.how); font && font->field == field)
            return std::string("`") + row.key + "`";
    return "?";
}
std::string keyOfField(Color D::*field) {
    for (const Row& row : rows())
        if (const auto* color = std::get_if<ColorKey>(&row.how); color && color->field == field)
            return std::string("`") + row.key + "`";
    return "?";
}

std::string wordOf(std::span<const Words> words, int value) {
    for (const auto& [w, v] : words)
        if (v == value) return w;
    return "?";
}

}  // namespace

void resetFields(D& m) {
    for (const Row& row : rows()) {
        std::visit(Overloaded{
                       [&](const Option& o) { m.*o.field = o.byDefault; },
                       [&](const Integer& i) { m.*i.field = i.byDefault; },
                       [&](const Word& w) { m.*w.field = w.byDefault; },
                       [&](const ColorKey& c) { m.*c.field = c.fallback ? m.*c.fallback : c.byDefault; },
                       [&](const FontKey& f) { m.*f.field = f.fallback ? m.*f.fallback : fontOf(f.byDefault); },
                       [&](const Text& t) {
                           if (t.kept) return;
                           if (t.byDefault) m.*t.field = t.byDefault;
                           else (m.*t.field).reset();
                       },
                       [&](const Special& s) { s.reset(m); },
                       [](const Check&) {},
                   },
                   row.how);
    }
}

std::vector<std::string> readFields(D& m, const Properties& table, Loading& loading) {
    const GraphFileReader in(table);
    for (const Row& row : rows()) {
        std::visit(Overloaded{
                       [&](const Option& o) {
                           const bool byDefault = o.web && m.iGraph_Style == D::STYLE_WEB ? *o.web : o.byDefault;
                           m.*o.field = o.quiet && !in.text(row.key) ? byDefault : in.option(row.key, byDefault);
                       },
                       [&](const Integer& i) { m.*i.field = in.integer(row.key, i.byDefault, i.message); },
                       [&](const Word& w) { m.*w.field = in.word(row.key, w.words, w.message).value_or(w.byDefault); },
                       [&](const ColorKey& c) {
                           if (c.fallback) m.*c.field = in.colorOr(row.key, m.*c.fallback);
                           else in.color(row.key, m.*c.field);
                       },
                       [&](const FontKey& f) {
                           if (f.fallback) m.*f.field = in.fontOr(row.key, m.*f.fallback);
                           else in.font(row.key, m.*f.field);
                       },
                       [&](const Text& t) {
                           in.text(row.key, m.*t.field, t.minChars);
                           if (t.macros) m.*t.field = Indication_Tools::replaceMacroString(m.*t.field, loading.loadedAt);
                       },
                       [&](const Special& s) { s.read(m, in, loading); },
                       [&](const Check& c) { c.run(m, loading); },
                   },
                   row.how);
    }
    std::vector<std::string> findings = std::move(loading.findings);
    if (m.dModeGraphicsData_DurationEnd)
        if (auto problem = wedgeDateProblem(loading.wedgeDate, *m.dModeGraphicsData_DurationEnd))
            findings.push_back(*problem);
    for (const std::string& key : in.unread())
        findings.push_back(KeyCheck::unknownKeyLine(key, loading.path, in.known()));
    return findings;
}

std::vector<std::pair<std::string, std::string>> documentedDefaults() {
    std::vector<std::pair<std::string, std::string>> out;
    auto quoted = [](const std::string& s) { return "`" + s + "`"; };
    for (const Row& row : rows()) {
        if (row.key == nullptr) continue;
        const std::string text = std::visit(
            Overloaded{
                [](const Option& o) -> std::string {
                    const std::string text = o.byDefault ? "yes" : "no";
                    if (!o.web) return text;
                    return text + " (" + (*o.web ? "yes" : "no") + " with `GRAPH_STYLE=web`)";
                },
                [](const Integer& i) { return std::to_string(i.byDefault); },
                [](const Word& w) { return wordOf(w.words, w.byDefault); },
                [&](const ColorKey& c) {
                    if (c.fallback) return keyOfField(c.fallback);
                    const Color& v = c.byDefault;
                    return quoted(std::to_string(v.r) + ";" + std::to_string(v.g) + ";" + std::to_string(v.b));
                },
                [&](const FontKey& f) {
                    if (f.fallback) return keyOfField(f.fallback);
                    static constexpr const char* kStyles[] = {"plain", "bold", "italic", "bolditalic"};
                    return quoted(std::string(f.byDefault.name) + ";" + kStyles[f.byDefault.style & 3] + ";" +
                                  std::to_string(f.byDefault.size));
                },
                [&](const Text& t) -> std::string {
                    if (t.documented) return t.documented;
                    return t.byDefault ? quoted(t.byDefault) : "none";
                },
                [](const Special& s) -> std::string { return s.documented; },
                [](const Check&) -> std::string { return ""; },
            },
            row.how);
        out.emplace_back(row.key, text);
    }
    return out;
}

}  // namespace graphfile
