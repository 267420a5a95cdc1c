#include "chart/TradingCalendar.h"

#include "support/CivilCalendar.h"
#include "support/Platform.h"
#include "support/Utf8.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <sstream>

struct TradingCalendar::Rule {
    enum class Kind { fixed, dated, easter, nthWeekday } kind = Kind::fixed;
    int64_t year = 0;  // dated
    int month = 1;
    int day = 1;
    int nth = 1;  // 1 to 4, -1 for the last
    int weekday = 1;
    int offset = 0;  // days after the date
    enum class Move { none, weekend, sunday } move = Move::none;
    int64_t from = INT64_MIN;
    int64_t until = INT64_MAX;
    int closeAt = -1;  // minutes, for an early close

    // The day number the rule gives in year y, if any.
    std::optional<int64_t> in(int64_t y) const {
        if (y < from || y > until) return std::nullopt;
        int64_t d = 0;
        switch (kind) {
            case Kind::dated:
                if (y != year) return std::nullopt;
                d = civil::daysFromCivil(year, month, day);
                break;
            case Kind::fixed: d = civil::daysFromCivil(y, month, day); break;
            case Kind::easter: d = easterSunday(y); break;
            case Kind::nthWeekday: {
                if (nth > 0) {
                    const int64_t first = civil::daysFromCivil(y, month, 1);
                    d = first + (weekday - civil::weekdayOfDays(first) + 7) % 7 + 7 * (nth - 1);
                } else {
                    const int64_t last = civil::daysFromCivil(y, month, civil::daysInMonth(y, month));
                    d = last - (civil::weekdayOfDays(last) - weekday + 7) % 7;
                }
                break;
            }
        }
        d += offset;
        const int wd = civil::weekdayOfDays(d);
        if (move == Move::weekend && wd == 6) d -= 1;
        if ((move == Move::weekend || move == Move::sunday) && wd == 0) d += 1;
        return d;
    }
};

namespace {

constexpr const char* kWeekdays[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(utf8::asciiLower(w));
    return out;
}

std::optional<int> number(std::string_view s) {
    int v = 0;
    if (s.empty()) return std::nullopt;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

// "HH:MM" as minutes, or nothing.
std::optional<int> clock(std::string_view s) {
    const size_t colon = s.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::optional<int> h = number(s.substr(0, colon));
    const std::optional<int> m = number(s.substr(colon + 1));
    if (!h || !m || s.size() - colon != 3 || *h < 0 || *h > 24 || *m < 0 || *m > 59 || (*h == 24 && *m != 0))
        return std::nullopt;
    return *h * 60 + *m;
}

std::optional<int> weekdayNamed(const std::string& w) {
    for (int i = 0; i < 7; ++i)
        if (w.rfind(kWeekdays[i], 0) == 0) return i;
    return std::nullopt;
}

// A rule's text, or why it is none.
std::optional<TradingCalendar::Rule> parseRule(const std::string& text, bool early, std::string& why) {
    using Rule = TradingCalendar::Rule;
    Rule r;
    const std::vector<std::string> w = words(text);
    size_t i = 0;
    if (w.empty()) {
        why = "empty";
        return std::nullopt;
    }
    static constexpr const char* kNth[] = {"first", "second", "third", "fourth"};
    const std::string& head = w[0];
    if (head.rfind("easter", 0) == 0) {
        r.kind = Rule::Kind::easter;
        if (head.size() > 6) {
            const std::optional<int> off = number(head[6] == '+' ? head.substr(7) : head.substr(6));
            if (!off || (head[6] != '+' && head[6] != '-')) {
                why = "\"" + head + "\" is not easter, easter+N or easter-N";
                return std::nullopt;
            }
            r.offset = *off;
        }
        i = 1;
    } else if (std::find(std::begin(kNth), std::end(kNth), head) != std::end(kNth) || head == "last") {
        r.kind = Rule::Kind::nthWeekday;
        r.nth = head == "last" ? -1 : static_cast<int>(std::find(std::begin(kNth), std::end(kNth), head) - kNth) + 1;
        const std::optional<int> wd = w.size() > 1 ? weekdayNamed(w[1]) : std::nullopt;
        const std::optional<int> month = w.size() > 3 && w[2] == "of" ? number(w[3]) : std::nullopt;
        if (!wd || !month || *month < 1 || *month > 12) {
            why = "\"" + text + "\" is not <first|second|third|fourth|last> <weekday> of MM";
            return std::nullopt;
        }
        r.weekday = *wd;
        r.month = *month;
        i = 4;
    } else {
        // MM-DD or YYYY-MM-DD
        const size_t dash = head.rfind('-');
        const size_t first = head.find('-');
        int month = 0, day = 0;
        if (dash != std::string::npos) {
            day = number(head.substr(dash + 1)).value_or(0);
            if (first == dash) {
                month = number(head.substr(0, dash)).value_or(0);
                r.kind = Rule::Kind::fixed;
            } else {
                const std::optional<int> year = number(head.substr(0, first));
                month = year ? number(head.substr(first + 1, dash - first - 1)).value_or(0) : 0;
                r.year = year.value_or(0);
                r.kind = Rule::Kind::dated;
            }
        }
        if (month < 1 || month > 12 || day < 1 || day > 31) {
            why = "\"" + head + "\" is no date (MM-DD, YYYY-MM-DD), easter or weekday of a month";
            return std::nullopt;
        }
        r.month = month;
        r.day = day;
        i = 1;
    }
    for (; i < w.size(); ++i) {
        const std::string& t = w[i];
        if ((t[0] == '+' || t[0] == '-') && number(t.substr(1))) {
            r.offset += (t[0] == '-' ? -1 : 1) * *number(t.substr(1));
        } else if (t == "moved") {
            r.move = Rule::Move::weekend;
        } else if (t == "sunday-moved") {
            r.move = Rule::Move::sunday;
        } else if ((t == "from" || t == "until") && i + 1 < w.size() && number(w[i + 1])) {
            (t == "from" ? r.from : r.until) = *number(w[i + 1]);
            ++i;
        } else if (early && clock(t)) {
            r.closeAt = *clock(t);
        } else {
            why = "\"" + t + "\" is not understood";
            return std::nullopt;
        }
    }
    if (early && r.closeAt < 0) {
        why = "no closing time (HH:MM)";
        return std::nullopt;
    }
    return r;
}

// The items of a ";"-separated list, blanks dropped.
std::vector<std::string> listItems(std::string_view text) {
    std::vector<std::string> items;
    while (!text.empty()) {
        const size_t semi = std::min(text.find(';'), text.size());
        std::string part(text.substr(0, semi));
        part.erase(std::remove(part.begin(), part.end(), ' '), part.end());
        items.push_back(std::move(part));
        text.remove_prefix(std::min(semi + 1, text.size()));
    }
    return items;
}

// The numbered keys PREFIX_1, PREFIX_2, ... in order, to the first missing.
std::vector<std::pair<std::string, std::string>> numbered(const Properties& keys, const std::string& prefix) {
    std::vector<std::pair<std::string, std::string>> out;
    for (int n = 1;; ++n) {
        const std::string key = prefix + std::to_string(n);
        const auto it = keys.find(key);
        if (it == keys.end()) break;
        out.emplace_back(key, it->second);
    }
    return out;
}

}  // namespace

TradingCalendar::TradingCalendar() = default;
TradingCalendar::~TradingCalendar() = default;
TradingCalendar::TradingCalendar(const TradingCalendar&) = default;
TradingCalendar& TradingCalendar::operator=(const TradingCalendar&) = default;

std::optional<std::string> TradingCalendar::parseSessions(const std::string& text, std::vector<Range>& out) {
    std::vector<Range> ranges;
    for (const std::string& part : listItems(text)) {
        const size_t dash = part.find('-');
        const std::optional<int> open = dash == std::string::npos ? std::nullopt : clock(part.substr(0, dash));
        const std::optional<int> close = dash == std::string::npos ? std::nullopt : clock(part.substr(dash + 1));
        if (!open || !close || *close <= *open)
            return "\"" + part + "\" is not a session HH:MM-HH:MM that closes after it opens";
        if (!ranges.empty() && *open < ranges.back().close)
            return "\"" + part + "\" begins before the session before it ends";
        ranges.push_back({*open, *close});
    }
    if (ranges.empty()) return std::string("no session");
    out = std::move(ranges);
    return std::nullopt;
}

std::optional<std::string> TradingCalendar::parseWeekdays(const std::string& text, bool (&out)[7]) {
    bool days[7] = {};
    for (const std::string& part : listItems(text)) {
        const std::optional<int> d = part.size() >= 3 ? weekdayNamed(utf8::asciiLower(part)) : std::nullopt;
        if (!d) return "\"" + part + "\" is not a weekday (sun, mon, tue, wed, thu, fri, sat)";
        days[*d] = true;
    }
    if (std::none_of(std::begin(days), std::end(days), [](bool b) { return b; })) return std::string("no weekday");
    std::copy(std::begin(days), std::end(days), std::begin(out));
    return std::nullopt;
}

std::optional<TradingCalendar> TradingCalendar::read(const Properties& keys, std::vector<std::string>& problems) {
    TradingCalendar c;
    auto text = [&keys](const char* key) -> std::optional<std::string> {
        const auto it = keys.find(key);
        return it == keys.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    c.name = text("CALENDAR_NAME").value_or("");
    c.source = text("CALENDAR_SOURCE").value_or("");
    const std::optional<std::string> sessions = text("CALENDAR_SESSIONS");
    if (!sessions) {
        problems.push_back("CALENDAR_SESSIONS is missing: a calendar needs its sessions (09:00-17:30)");
        return std::nullopt;
    }
    if (auto why = parseSessions(*sessions, c.sessions)) {
        problems.push_back("CALENDAR_SESSIONS error : " + *why);
        return std::nullopt;
    }
    if (auto days = text("CALENDAR_TRADING_DAYS"))
        if (auto why = parseWeekdays(*days, c.tradingDays)) problems.push_back("CALENDAR_TRADING_DAYS error : " + *why);
    for (const auto& [prefix, early] : {std::pair{"CALENDAR_CLOSED_", false}, std::pair{"CALENDAR_EARLY_CLOSE_", true}}) {
        for (const auto& [key, value] : numbered(keys, prefix)) {
            std::string why;
            if (auto rule = parseRule(value, early, why)) (early ? c.early_ : c.closed_).push_back(*rule);
            else problems.push_back(key + " error : " + why + ", the rule is left out");
        }
    }
    return c;
}

int64_t TradingCalendar::easterSunday(int64_t year) {
    // The anonymous Gregorian computus.
    const int64_t a = year % 19, b = year / 100, c = year % 100, d = b / 4, e = b % 4;
    const int64_t f = (b + 8) / 25, g = (b - f + 1) / 3, h = (19 * a + b - d - g + 15) % 30;
    const int64_t i = c / 4, k = c % 4, l = (32 + 2 * e + 2 * i - h - k) % 7, m = (a + 11 * h + 22 * l) / 451;
    const int64_t month = (h + l - 7 * m + 114) / 31, day = (h + l - 7 * m + 114) % 31 + 1;
    return civil::daysFromCivil(year, month, day);
}

TradingCalendar::DayKind TradingCalendar::kindOf(int64_t year, int month, int day) const {
    const int64_t d = civil::daysFromCivil(year, month, day);
    if (!tradingDays[civil::weekdayOfDays(d)]) return DayKind::closedWeekday;
    // A rule moved across New Year lands in the year beside its own.
    auto hits = [d, year](const Rule& r) {
        for (int64_t y = year - 1; y <= year + 1; ++y)
            if (r.in(y) == d) return true;
        return false;
    };
    if (std::any_of(closed_.begin(), closed_.end(), hits)) return DayKind::holiday;
    if (std::any_of(early_.begin(), early_.end(), hits)) return DayKind::early;
    return DayKind::open;
}

std::vector<TradingCalendar::Range> TradingCalendar::sessionsOn(int64_t year, int month, int day) const {
    const DayKind kind = kindOf(year, month, day);
    if (kind == DayKind::closedWeekday || kind == DayKind::holiday) return {};
    if (kind == DayKind::open) return sessions;
    const int64_t d = civil::daysFromCivil(year, month, day);
    int closeAt = INT_MAX;
    for (const Rule& r : early_)
        for (int64_t y = year - 1; y <= year + 1; ++y)
            if (r.in(y) == d) closeAt = std::min(closeAt, r.closeAt);
    std::vector<Range> out;
    for (const Range& s : sessions) {
        if (s.open >= closeAt) break;
        out.push_back({s.open, std::min(s.close, closeAt)});
    }
    return out;
}

std::vector<std::pair<int64_t, int64_t>> TradingCalendar::instantsOn(Platform& p, int64_t d) const {
    const civil::Date date = civil::civilFromDays(d);
    std::vector<std::pair<int64_t, int64_t>> out;
    for (const Range& r : sessionsOn(date.year, date.month, date.day)) {
        CalendarFields f;
        f.year = static_cast<int>(date.year);
        f.month = date.month;
        f.day = date.day;
        f.hour = r.open / 60;
        f.minute = r.open % 60;
        const int64_t open = p.fromLocal(f);
        f.hour = r.close / 60;
        f.minute = r.close % 60;
        out.emplace_back(open, p.fromLocal(f));
    }
    return out;
}

namespace {

int64_t localDay(Platform& p, int64_t t) {
    const CalendarFields f = p.toLocal(t);
    return civil::daysFromCivil(f.year, f.month, f.day);
}

constexpr int64_t kSearchDays = 3660;  // ten years: a calendar closed longer has no sessions to find

}  // namespace

std::vector<std::pair<int64_t, int64_t>> TradingCalendar::sessionsBetween(Platform& p, int64_t from, int64_t to) const {
    std::vector<std::pair<int64_t, int64_t>> out;
    if (to < from) return out;
    const int64_t first = localDay(p, from);
    const int64_t last = std::min(localDay(p, to), first + 366 * 50);
    for (int64_t d = first; d <= last; ++d)
        for (const auto& s : instantsOn(p, d))
            if (s.second >= from && s.first <= to) out.push_back(s);
    return out;
}

std::optional<std::pair<int64_t, int64_t>> TradingCalendar::lastSessions(Platform& p, int64_t t, int count) const {
    std::optional<int64_t> end;
    int64_t start = 0;
    int found = 0;
    const int64_t today = localDay(p, t);
    for (int64_t d = today; today - d <= kSearchDays && found < std::max(count, 1); --d) {
        const std::vector<std::pair<int64_t, int64_t>> s = instantsOn(p, d);
        if (s.empty() || s.front().first > t) continue;
        if (!end) end = s.back().second;
        start = s.front().first;
        ++found;
    }
    if (!end) return std::nullopt;
    return std::pair{start, *end};
}

bool TradingCalendar::isOpen(Platform& p, int64_t t) const {
    for (const auto& [open, close] : instantsOn(p, localDay(p, t)))
        if (t >= open && t < close) return true;
    return false;
}

std::optional<int64_t> TradingCalendar::openAtOrAfter(Platform& p, int64_t t) const {
    const int64_t today = localDay(p, t);
    for (int64_t d = today; d - today <= kSearchDays; ++d)
        for (const auto& [open, close] : instantsOn(p, d)) {
            if (t < open) return open;
            if (t < close) return t;
        }
    return std::nullopt;
}

int64_t TradingCalendar::openBack(Platform& p, int64_t t, int64_t amount) const {
    const int64_t today = localDay(p, t);
    for (int64_t d = today; today - d <= kSearchDays; --d) {
        const std::vector<std::pair<int64_t, int64_t>> s = instantsOn(p, d);
        for (auto it = s.rbegin(); it != s.rend(); ++it) {
            if (it->first >= t) continue;
            const int64_t close = std::min(it->second, t);
            if (close - it->first >= amount) return close - amount;
            amount -= close - it->first;
            t = it->first;
        }
    }
    return t - amount;
}

OpenTime::OpenTime(std::vector<std::pair<int64_t, int64_t>> sessions, int64_t start, int64_t end) {
    for (auto& [open, close] : sessions) {
        open = std::max(open, start);
        close = std::min(close, end);
        if (close <= open) continue;
        sessions_.emplace_back(open, close);
        prefix_.push_back((prefix_.empty() ? 0 : prefix_.back()) + (close - open));
    }
}

int64_t OpenTime::before(int64_t t) const {
    // The first session ending after t.
    const auto it = std::upper_bound(sessions_.begin(), sessions_.end(), t,
                                     [](int64_t v, const std::pair<int64_t, int64_t>& s) { return v < s.second; });
    if (it == sessions_.end()) return total();
    const size_t i = static_cast<size_t>(it - sessions_.begin());
    const int64_t done = i == 0 ? 0 : prefix_[i - 1];
    return done + std::max<int64_t>(0, t - it->first);
}

bool OpenTime::open(int64_t t) const {
    const auto it = std::upper_bound(sessions_.begin(), sessions_.end(), t,
                                     [](int64_t v, const std::pair<int64_t, int64_t>& s) { return v < s.second; });
    return (it != sessions_.end() && t >= it->first) || (!sessions_.empty() && t == sessions_.back().second);
}
