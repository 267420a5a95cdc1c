// Text replacement, %-macros of captions and file names, and caption
// shortening to a pixel width.

#include "support/Indication_Tools.h"
#include "support/Platform.h"
#include "support/ProgramInfo.h"
#include "support/Utf8.h"

#include <cstdio>
#include <vector>

namespace {

std::string two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

bool onlyBlanks(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) > 32) return false;
    return true;
}

}  // namespace

std::optional<std::string> Indication_Tools::replaceString(const std::optional<std::string>& text,
                                                           const std::string& find,
                                                           const std::optional<std::string>& replacement) {
    if (!text || onlyBlanks(*text) || find.empty()) return text;
    const std::string& with = replacement ? *replacement : std::string();
    std::string out;
    size_t from = 0;
    for (size_t at = text->find(find); at != std::string::npos; at = text->find(find, from)) {
        out.append(*text, from, at - from);
        out += with;
        // Searching on after the inserted text: a replacement that holds the
        // searched text is not expanded again.
        from = at + find.size();
    }
    out.append(*text, from, std::string::npos);
    return out;
}

std::optional<std::string> Indication_Tools::replaceMacroString(const std::optional<std::string>& text) {
    return replaceMacroString(text, Platform::current().nowMillis());
}

std::optional<std::string> Indication_Tools::replaceMacroString(const std::optional<std::string>& text, int64_t date) {
    if (!text || text->find('%') == std::string::npos) return text;
    const CalendarFields f = Platform::current().toLocal(date);
    // Two-digit year: the year within its century (01 for 2001, 99 for 1999).
    const int shortYear = ((f.year - 2000) % 100 + 100) % 100;
    const std::pair<const char*, std::string> dated[] = {
        {"%Y", std::to_string(f.year)}, {"%y", two(shortYear)}, {"%m", two(f.month)},  {"%d", two(f.day)},
        {"%H", two(f.hour)},            {"%M", two(f.minute)},  {"%S", two(f.second)}, {"%T", std::to_string(date)},
    };
    std::optional<std::string> out = text;
    for (const auto& [macro, value] : dated) out = replaceString(out, macro, value);
    if (out->find("%QF") != std::string::npos) {
        out = replaceString(out, "%QFp", std::string(ProgramInfo::ZeProgram));
        out = replaceString(out, "%QFv", std::string(ProgramInfo::ZeVersion));
        out = replaceString(out, "%QFd", std::string(ProgramInfo::ZeDate));
        out = replaceString(out, "%QFu", std::string(ProgramInfo::ZeDateModif));
    }
    return out;
}

std::optional<std::string> Indication_Tools::TruncateString(const std::optional<std::string>& text, int width,
                                                            const FontMetrics& metrics) {
    if (!text || text->empty()) return std::nullopt;
    if (metrics.stringWidth(*text) <= width) return text;

    // Byte offset where each character starts, plus the end.
    std::vector<size_t> starts;
    for (size_t pos = 0; pos < text->size(); pos += utf8::charLength(*text, pos)) starts.push_back(pos);
    const size_t count = starts.size();
    starts.push_back(text->size());
    if (count < 5) return text;

    // Each shortening pass keeps one character less before the ".. ": the
    // candidates are the first k characters + ".. ", k from count - 4 down to
    // 1, and the first that fits wins (or k = 1 when none does).
    auto candidate = [&](size_t k) { return text->substr(0, starts[k]) + ".. "; };
    auto fits = [&](size_t k) { return metrics.stringWidth(candidate(k)) <= width; };
    constexpr size_t kLinearLimit = 512;
    if (count - 4 <= kLinearLimit) {
        for (size_t k = count - 4; k > 1; --k)
            if (fits(k)) return candidate(k);
        return candidate(1);
    }
    // A very long caption: widths grow with the prefix, so the longest
    // candidate that fits is found by bisection instead of one pass per
    // character.
    size_t lo = 1, hi = count - 4;  // answer in [lo, hi]
    while (lo < hi) {
        size_t mid = lo + (hi - lo + 1) / 2;
        if (fits(mid))
            lo = mid;
        else
            hi = mid - 1;
    }
    return candidate(lo);
}
