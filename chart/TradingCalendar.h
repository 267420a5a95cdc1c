#pragma once
// A market's trading calendar: the sessions of a trading day (open ranges in
// local time, a lunch break being two), the trading weekdays, the days it is
// closed and the days it closes early, from rules that hold year after year
// (a fixed date, moved off a weekend or not; a day from Easter Sunday; the
// nth or last weekday of a month; first and last years) and explicit dates.
//
// Read from a calendar file in the properties form of graph files:
//   CALENDAR_NAME=Paris (Euronext)
//   CALENDAR_SOURCE=<what it was written from>
//   CALENDAR_SESSIONS=09:00-17:30            (09:30-11:30;13:00-16:00)
//   CALENDAR_TRADING_DAYS=mon;tue;wed;thu;fri
//   CALENDAR_CLOSED_1=01-01 sunday-moved     (a rule, or 2025-01-09)
//   CALENDAR_EARLY_CLOSE_1=12-24 14:05
// A rule: MM-DD | YYYY-MM-DD | easter[+-N] | first|second|third|fourth|last
// <weekday> of MM, then optionally +N/-N days, moved (Saturday to Friday,
// Sunday to Monday), sunday-moved (Sunday to Monday only), from YYYY,
// until YYYY, and for an early close its time HH:MM.
// A closed day outweighs an early close; neither applies to a day that is
// not a trading weekday.

#include "support/ValueTypes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class Platform;

class TradingCalendar {
public:
    // Minutes from local midnight.
    struct Range {
        int open = 0;
        int close = 0;
        friend bool operator==(const Range&, const Range&) = default;
    };
    struct Rule;

    TradingCalendar();
    ~TradingCalendar();
    TradingCalendar(const TradingCalendar&);
    TradingCalendar& operator=(const TradingCalendar&);

    // The calendar a file's keys describe; every mistake is said in
    // problems (a line each), and a calendar without sessions is none.
    static std::optional<TradingCalendar> read(const Properties& keys, std::vector<std::string>& problems);
    // Sessions and weekdays only, for a chart that sets them itself:
    // "09:00-17:30" and "mon;tue;wed;thu;fri".
    static std::optional<std::string> parseSessions(const std::string& text, std::vector<Range>& out);
    static std::optional<std::string> parseWeekdays(const std::string& text, bool (&out)[7]);

    std::string name;
    std::string source;
    std::vector<Range> sessions;
    bool tradingDays[7] = {false, true, true, true, true, true, false};  // Sunday first

    // What the market does on a civil date.
    enum class DayKind { closedWeekday, holiday, early, open };
    DayKind kindOf(int64_t year, int month, int day) const;
    // The sessions of that date: none when closed, cut at the early close.
    std::vector<Range> sessionsOn(int64_t year, int month, int day) const;

    using Sessions = std::vector<std::pair<int64_t, int64_t>>;
    // The sessions that overlap [from, to], as instants [open, close], in
    // time order, through the local calendar of p.
    Sessions sessionsBetween(Platform& p, int64_t from, int64_t to) const;
    // The sessions of the trading day that holds or last precedes t (its
    // first open at or before t), and of the count - 1 trading days before
    // it: the start of the first and the end of the last, and into found
    // (when given) those sessions in time order. None when no trading day
    // lies within ten years.
    std::optional<std::pair<int64_t, int64_t>> lastSessions(Platform& p, int64_t t, int count,
                                                            Sessions* found = nullptr) const;

    // Whether the market is open at t, and the first instant at or after t
    // when it is (t itself when open; none within ten years).
    bool isOpen(Platform& p, int64_t t) const;
    std::optional<int64_t> openAtOrAfter(Platform& p, int64_t t) const;
    // The instant amount milliseconds of open time before t, and into found
    // (when given) the sessions that open time lies in, in time order.
    int64_t openBack(Platform& p, int64_t t, int64_t amount, Sessions* found = nullptr) const;

    // This calendar with the local days (day numbers) days also closed: days
    // a market closed that no calendar knew of.
    TradingCalendar closedAlso(std::vector<int64_t> days) const;

    // Easter Sunday of a Gregorian year, as a day number (days since 1970-01-01).
    static int64_t easterSunday(int64_t year);

private:
    struct Holidays;
    // When local day d (a day number) closes, in minutes: -1 when it is
    // closed, INT_MAX when it trades all its sessions.
    int closeOf(int64_t d) const;
    // Calls f(d, sessions) with the sessions of local days d = first,
    // first + step, ... (step 1 or -1) as instants, in time order, for days
    // days or until f returns false.
    template <class F>
    void eachDay(Platform& p, int64_t first, int step, int64_t days, F&& f) const;
    // The rules and the days they give, shared by the copies of a calendar.
    std::shared_ptr<const Holidays> holidays_;
    std::shared_ptr<const std::vector<int64_t>> alsoClosed_;  // sorted day numbers
};

// Open time: how much of [start, end] up to an instant the market was open,
// closed time taking none. Built once per drawing from the sessions.
class OpenTime {
public:
    OpenTime(std::vector<std::pair<int64_t, int64_t>> sessions, int64_t start, int64_t end);
    // Open milliseconds from start to t (0 before, total() after).
    int64_t before(int64_t t) const;
    int64_t total() const { return prefix_.empty() ? 0 : prefix_.back(); }
    // Whether t lies in a session.
    bool open(int64_t t) const;
    // before() for instants in time order, as a series' points come: one
    // walk over the sessions rather than a search for each (an instant
    // earlier than the one before starts the walk again).
    class Walk {
    public:
        explicit Walk(const OpenTime& open) : open_(open) {}
        int64_t before(int64_t t);

    private:
        const OpenTime& open_;
        size_t next_ = 0;  // the first session ending after the last instant
        int64_t last_ = INT64_MIN;
    };
    const std::vector<std::pair<int64_t, int64_t>>& sessions() const { return sessions_; }

private:
    std::vector<std::pair<int64_t, int64_t>> sessions_;  // clipped to [start, end]
    std::vector<int64_t> prefix_;                        // open time up to each session's end
};
