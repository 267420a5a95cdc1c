#include "chart/TradingCalendar.h"

#include "support/CivilCalendar.h"
#include "support/Mutex.h"
#include "support/Platform.h"
#include "support/Utf8.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <map>
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

// The rules, and the closed days and early closes they give, worked out a
// year at a time at the year's first use and kept: every copy of the
// calendar, and every worker drawing with it, asks them of the same table.
struct TradingCalendar::Holidays {
    std::vector<Rule> closed;
    std::vector<Rule> early;

    // A year's days that close (-1) or close early (the minute), by day.
    using Year = std::vector<std::pair<int64_t, int>>;
    const Year& year(int64_t y) const {
        MutexLock lock(mutex_);
        auto it = years_.find(y);
        if (it == years_.end()) it = years_.emplace(y, daysOf(y)).first;
        return it->second;  // a map's entries stay where they are
    }

private:
    Year daysOf(int64_t y) const {
        const int64_t first = civil::daysFromCivil(y, 1, 1);
        const int64_t next = civil::daysFromCivil(y + 1, 1, 1);
        Year days;
        // A rule moved across New Year lands in the year beside its own.
        for (const std::vector<Rule>* rules : {&closed, &early})
            for (const Rule& r : *rules)
                for (int64_t ry = y - 1; ry <= y + 1; ++ry)
                    if (const std::optional<int64_t> d = r.in(ry); d && *d >= first && *d < next)
                        days.emplace_back(*d, rules == &closed ? -1 : r.closeAt);
        // A closed day outweighs an early close, the earliest close the others.
        std::sort(days.begin(), days.end());
        days.erase(std::unique(days.begin(), days.end(),
                               [](const auto& a, const auto& b) { return a.first == b.first; }),
                   days.end());
        return days;
    }

    mutable Mutex mutex_;
    mutable std::map<int64_t, Year> years_ ZK_GUARDED_BY(mutex_);
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
    auto holidays = std::make_shared<Holidays>();
    for (const auto& [prefix, early] : {std::pair{"CALENDAR_CLOSED_", false}, std::pair{"CALENDAR_EARLY_CLOSE_", true}}) {
        for (const auto& [key, value] : numbered(keys, prefix)) {
            std::string why;
            if (auto rule = parseRule(value, early, why)) (early ? holidays->early : holidays->closed).push_back(*rule);
            else problems.push_back(key + " error : " + why + ", the rule is left out");
        }
    }
    c.holidays_ = std::move(holidays);
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

TradingCalendar TradingCalendar::closedAlso(std::vector<int64_t> days) const {
    TradingCalendar c = *this;
    std::sort(days.begin(), days.end());
    c.alsoClosed_ = std::make_shared<const std::vector<int64_t>>(std::move(days));
    return c;
}

int TradingCalendar::closeOf(int64_t d) const {
    if (!tradingDays[civil::weekdayOfDays(d)]) return -1;
    if (alsoClosed_ && std::binary_search(alsoClosed_->begin(), alsoClosed_->end(), d)) return -1;
    if (!holidays_) return INT_MAX;
    const Holidays::Year& year = holidays_->year(civil::civilFromDays(d).year);
    const auto it = std::lower_bound(year.begin(), year.end(), std::pair<int64_t, int>{d, INT_MIN});
    return it != year.end() && it->first == d ? it->second : INT_MAX;
}

TradingCalendar::DayKind TradingCalendar::kindOf(int64_t year, int month, int day) const {
    const int64_t d = civil::daysFromCivil(year, month, day);
    if (!tradingDays[civil::weekdayOfDays(d)]) return DayKind::closedWeekday;
    const int close = closeOf(d);
    return close < 0 ? DayKind::holiday : close == INT_MAX ? DayKind::open : DayKind::early;
}

std::vector<TradingCalendar::Range> TradingCalendar::sessionsOn(int64_t year, int month, int day) const {
    const int close = closeOf(civil::daysFromCivil(year, month, day));
    std::vector<Range> out;
    for (const Range& s : sessions) {
        if (s.open >= close) break;
        out.push_back({s.open, std::min(s.close, close)});
    }
    return out;
}

namespace {

constexpr int64_t kDayMillis = 86400000;

// The local wall clock at t, in milliseconds from 1970-01-01 00:00 local.
int64_t wallAt(Platform& p, int64_t t) {
    const CalendarFields f = p.toLocal(t);
    return ((civil::daysFromCivil(f.year, f.month, f.day) * 24 + f.hour) * 60 + f.minute) * 60000 +
           int64_t{f.second} * 1000 + f.millisecond;
}

// Instants of local days' clock times, one day after another in either
// direction. The platform's local conversion is slow (several looks at the
// zone's rules for each instant), so a day the zone keeps one offset over
// is converted by arithmetic from its midnight; a step to the day beside it
// checks the offset once, a day further on (or just before), and days around a
// clock change go to the platform.
class LocalDays {
public:
    explicit LocalDays(Platform& p) : p_(p) {}

    void go(int64_t d) {
        if (regular_ && (d == day_ + 1 || d == day_ - 1)) {
            // The offset held from just before day_ to the end of it.
            const bool forward = d > day_;
            start_ += (d - day_) * kDayMillis;
            day_ = d;
            const int64_t probe = forward ? start_ + kDayMillis : start_ - 1;
            regular_ = wallAt(p_, probe) - probe == offset_;
            if (regular_) return;
        }
        day_ = d;
        const int64_t wall = d * kDayMillis;
        const int64_t guess = wall - (wallAt(p_, wall) - wall);
        offset_ = wallAt(p_, guess) - guess;
        start_ = wall - offset_;
        regular_ = wallAt(p_, start_ - 1) - (start_ - 1) == offset_ &&
                   wallAt(p_, start_ + kDayMillis) - (start_ + kDayMillis) == offset_;
    }

    // The instant of the day's clock time minute (0 to 1440).
    int64_t at(int minute) const {
        if (regular_) return start_ + int64_t{minute} * 60000;
        const civil::Date date = civil::civilFromDays(day_ + minute / 1440);
        CalendarFields f;
        f.year = static_cast<int>(date.year);
        f.month = date.month;
        f.day = date.day;
        f.hour = minute % 1440 / 60;
        f.minute = minute % 60;
        return p_.fromLocal(f);
    }

private:
    Platform& p_;
    int64_t day_ = 0;
    int64_t start_ = 0;   // the day's first instant
    int64_t offset_ = 0;  // local less universal time over the day
    bool regular_ = false;
};

int64_t localDay(Platform& p, int64_t t) {
    const CalendarFields f = p.toLocal(t);
    return civil::daysFromCivil(f.year, f.month, f.day);
}

constexpr int64_t kSearchDays = 3660;  // ten years: a calendar closed longer has no sessions to find

}  // namespace

template <class F>
void TradingCalendar::eachDay(Platform& p, int64_t first, int step, int64_t days, F&& f) const {
    LocalDays local(p);
    Sessions day;
    for (int64_t k = 0; k < days; ++k) {
        const int64_t d = first + k * step;
        // Every day is stepped on, closed or not: the next one is cheaper so.
        local.go(d);
        const int close = closeOf(d);
        day.clear();
        for (const Range& r : sessions) {
            if (r.open >= close) break;
            day.emplace_back(local.at(r.open), local.at(std::min(r.close, close)));
        }
        if (!f(d, static_cast<const Sessions&>(day))) return;
    }
}

TradingCalendar::Sessions TradingCalendar::sessionsBetween(Platform& p, int64_t from, int64_t to) const {
    Sessions out;
    if (to < from) return out;
    const int64_t first = localDay(p, from);
    const int64_t last = std::min(localDay(p, to), first + 366 * 50);
    eachDay(p, first, 1, last - first + 1, [&](int64_t, const Sessions& day) {
        for (const auto& s : day)
            if (s.second >= from && s.first <= to) out.push_back(s);
        return true;
    });
    return out;
}

std::optional<std::pair<int64_t, int64_t>> TradingCalendar::lastSessions(Platform& p, int64_t t, int count,
                                                                         Sessions* found) const {
    std::optional<int64_t> end;
    int64_t start = 0;
    int days = 0;
    if (found) found->clear();
    eachDay(p, localDay(p, t), -1, kSearchDays + 1, [&](int64_t, const Sessions& day) {
        if (day.empty() || day.front().first > t) return true;
        if (!end) end = day.back().second;
        start = day.front().first;
        if (found) found->insert(found->end(), day.rbegin(), day.rend());
        return ++days < std::max(count, 1);
    });
    if (found) std::reverse(found->begin(), found->end());
    if (!end) return std::nullopt;
    return std::pair{start, *end};
}

bool TradingCalendar::isOpen(Platform& p, int64_t t) const {
    bool open = false;
    eachDay(p, localDay(p, t), 1, 1, [&](int64_t, const Sessions& day) {
        for (const auto& [o, c] : day) open = open || (t >= o && t < c);
        return false;
    });
    return open;
}

std::optional<int64_t> TradingCalendar::openAtOrAfter(Platform& p, int64_t t) const {
    std::optional<int64_t> at;
    eachDay(p, localDay(p, t), 1, kSearchDays + 1, [&](int64_t, const Sessions& day) {
        for (const auto& [open, close] : day) {
            if (t < open) at = open;
            else if (t < close) at = t;
            if (at) return false;
        }
        return true;
    });
    return at;
}

int64_t TradingCalendar::openBack(Platform& p, int64_t t, int64_t amount, Sessions* found) const {
    std::optional<int64_t> start;
    if (found) found->clear();
    eachDay(p, localDay(p, t), -1, kSearchDays + 1, [&](int64_t, const Sessions& day) {
        for (auto it = day.rbegin(); it != day.rend(); ++it) {
            if (it->first >= t) continue;
            if (found) found->push_back(*it);
            const int64_t close = std::min(it->second, t);
            if (close - it->first >= amount) {
                start = close - amount;
                return false;
            }
            amount -= close - it->first;
            t = it->first;
        }
        return true;
    });
    if (found) std::reverse(found->begin(), found->end());
    return start ? *start : t - amount;
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

int64_t OpenTime::Walk::before(int64_t t) {
    const auto& s = open_.sessions_;
    if (t < last_) next_ = 0;
    last_ = t;
    while (next_ < s.size() && t >= s[next_].second) ++next_;
    if (next_ == s.size()) return open_.total();
    const int64_t done = next_ == 0 ? 0 : open_.prefix_[next_ - 1];
    return done + std::max<int64_t>(0, t - s[next_].first);
}

bool OpenTime::open(int64_t t) const {
    const auto it = std::upper_bound(sessions_.begin(), sessions_.end(), t,
                                     [](int64_t v, const std::pair<int64_t, int64_t>& s) { return v < s.second; });
    return (it != sessions_.end() && t >= it->first) || (!sessions_.empty() && t == sessions_.back().second);
}
