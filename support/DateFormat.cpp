// Text forms of dates and times, in the local time zone.

#include "support/Indication_Tools.h"
#include "support/Platform.h"

#include <cstdio>

namespace {

std::string two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

int64_t now() { return Platform::current().nowMillis(); }
CalendarFields local(int64_t date) { return Platform::current().toLocal(date); }

}  // namespace

std::string Indication_Tools::getBddDate() { return getBddDate(now()); }
std::string Indication_Tools::getBddDate(int64_t date) {
    CalendarFields f = local(date);
    return std::to_string(f.year) + two(f.month) + two(f.day);
}

std::string Indication_Tools::getBddTime() { return getBddTime(now()); }
std::string Indication_Tools::getBddTime(int64_t date) {
    CalendarFields f = local(date);
    return two(f.hour) + two(f.minute) + two(f.second);
}

std::string Indication_Tools::getDate() { return getDate(now(), true); }
std::string Indication_Tools::getDate(bool french) { return getDate(now(), french); }
std::string Indication_Tools::getDate(int64_t date, bool french) {
    CalendarFields f = local(date);
    std::string year = std::to_string(f.year);
    return french ? two(f.day) + "/" + two(f.month) + "/" + year : two(f.month) + "/" + two(f.day) + "/" + year;
}

std::string Indication_Tools::getTime() { return getTime(now()); }
std::string Indication_Tools::getTime(int64_t date) {
    CalendarFields f = local(date);
    return two(f.hour) + ":" + two(f.minute) + ":" + two(f.second);
}

std::string Indication_Tools::getDisplayDate() { return getDisplayDate(now(), true); }
std::string Indication_Tools::getDisplayDate(bool french) { return getDisplayDate(now(), french); }
std::string Indication_Tools::getDisplayDate(int64_t date, bool french) {
    return getDate(date, french) + " " + getTime(date);
}

std::string Indication_Tools::dispDate(int64_t date) { return getDisplayDate(date, true); }
