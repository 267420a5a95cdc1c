// The data-file reader in every window mode, with weekends hidden and shown,
// followed by the displayed range and the period caption.
//
// Input: seven header bytes, then the data bytes, cut in two files A and B
// that one model reads in turn (as one model serves every chart of a pass).
// The parser is also fed A, then what B adds to it, as a file that grew: its
// records must be those of the whole text read at once.
//
//   0  mode of A: bits 0-2 pick none, month, day, hour, minute; 0x08 weekends
//      shown; 0x10 zoom; 0x20 day-first dates; 0x40 verbose mode
//   1  period of A (units of the mode)
//   2-3 window end, signed hours from 21/11/2001 18:00 (0x8000: none, the clock)
//   4  mode of B, as byte 0
//   5  period of B
//   6  where the data is cut: A gets size * byte / 256 bytes

#include "chart/DataFileRecords.h"
#include "chart/Indication_Data.h"
#include "fuzz/FuzzSupport.h"
#include "support/Indication_Tools.h"
#include "tests/common/TestPlatform.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

namespace {

constexpr int kModes[] = {Indication_Data::MODEGRAPH_NOMODE, Indication_Data::MODEGRAPH_MONTH,
                          Indication_Data::MODEGRAPH_DAY, Indication_Data::MODEGRAPH_HOUR,
                          Indication_Data::MODEGRAPH_MINUTE};

struct Setup {
    ScopedTimeZone zone{"Europe/Paris"};  // summer time makes hour gaps interesting
    TestPlatform platform;
    int64_t base = 0;
    Setup() {
        platform.captureAllAppends();
        base = localMillis(2001, 11, 21, 18, 0, 0);
        platform.now = base;
    }
};

Setup& setup() {
    static Setup* s = new Setup;
    return *s;
}

int64_t unitOf(int mode) {
    switch (mode) {
    case Indication_Data::MODEGRAPH_MONTH: return Indication_Data::TIME_MONTH_DURATION * Indication_Data::TIME_DAYTOMILLISECOND;
    case Indication_Data::MODEGRAPH_DAY: return Indication_Data::TIME_DAYTOMILLISECOND;
    case Indication_Data::MODEGRAPH_HOUR: return Indication_Data::TIME_HOURTOMILLISECOND;
    case Indication_Data::MODEGRAPH_MINUTE: return Indication_Data::TIME_MINUTETOMILLISECOND;
    default: return 0;
    }
}

void configure(Indication_Data& m, uint8_t flags, int period, std::optional<int64_t> end, const std::string& path) {
    m.ResetConfiguration();
    m.iModeGraphicsData = kModes[(flags & 7) % 5];
    m.iModeGraphicsData_Duration = period;
    m.dModeGraphicsData_DurationEnd = end;
    m.bDate_DispWeekDay = (flags & 0x08) != 0;
    m.bModeGraphicsData_ZoomValues = (flags & 0x10) != 0;
    m.bDateFormat_French = (flags & 0x20) != 0;
    m.szFileData_Values = path;
    Indication_Tools::debugMode = (flags & 0x40) != 0;
}

void readAndCheck(Indication_Data& m, const std::string& path, const std::string& content, int64_t end) {
    const auto oldDates = m.vecGraph_Date;
    const auto oldData = m.vecGraph_Data;
    setup().platform.setFile(path, content);

    const bool read = m.ReadData();
    const size_t n = m.vecGraph_Date.size();
    FUZZ_CHECK(n == m.vecGraph_Data.size(), "series of different lengths");
    if (!read) {
        FUZZ_CHECK(m.vecGraph_Date == oldDates, "a failed read changed the series");
        FUZZ_CHECK(std::equal(oldData.begin(), oldData.end(), m.vecGraph_Data.begin(), m.vecGraph_Data.end()),
                   "a failed read changed the values");
    } else {
        FUZZ_CHECK(n > 0, "a successful read left no point");
        const size_t lines = static_cast<size_t>(std::count(content.begin(), content.end(), '\n') +
                                                 std::count(content.begin(), content.end(), '\r') + 1);
        FUZZ_CHECK(n <= lines + Indication_Data::DATA_MAX_GAP_ENTRIES, std::to_string(n) + " entries");
        FUZZ_CHECK(m.Data_RangeIsValid(), "range outside the new series");
        for (double v : m.vecGraph_Data) FUZZ_CHECK(std::isfinite(v), "value not finite");
        const int64_t unit = unitOf(m.iModeGraphicsData);
        const int64_t start = end - m.iModeGraphicsData_Duration * unit;
        if (unit != 0 && start != end) {
            for (int64_t t : m.vecGraph_Date)
                FUZZ_CHECK(t >= std::min(start, end) && t <= std::max(start, end), "entry outside the window");
        }
    }

    if (m.Data_InitMinMax()) {
        FUZZ_CHECK(m.xi_Min >= 0 && m.xi_Min <= m.xi_Max && static_cast<size_t>(m.xi_Max) < n, "bad range");
        FUZZ_CHECK(m.y_Min <= m.y_MinReal && m.y_MinReal <= m.y_Max, "bounds out of order");
        if (!m.bModeGraphicsData_ZoomValues) FUZZ_CHECK(m.y_Min <= 0 && m.y_Max >= 0, "axis misses 0");
        for (int i = m.xi_Min; i <= m.xi_Max; ++i) {
            // Values beyond single precision are shown at +-1e38.
            const float v = static_cast<float>(std::clamp(m.vecGraph_Data[static_cast<size_t>(i)], -1e38, 1e38));
            FUZZ_CHECK(v >= m.y_Min && v <= m.y_Max, "displayed value " + std::to_string(v) + " at " +
                                                          std::to_string(i) + " outside [" + std::to_string(m.y_Min) +
                                                          ", " + std::to_string(m.y_Max) + "]");
        }
    }
    if (m.Data_RangeIsValid()) {
        const std::string caption = m.Data_getData();
        FUZZ_CHECK(caption.size() <= 32, caption);
    }
}

// Records and bad lines laid out flat, to compare two parses.
std::string flat(const DataFileRecords& r) {
    std::string out;
    for (const auto& chunk : r.chunks) {
        for (size_t i = 0; i < chunk->dates.size(); ++i) {
            out += std::to_string(chunk->dates[i]) + ';' + std::to_string(std::bit_cast<uint64_t>(chunk->values[i])) + '\n';
        }
    }
    for (const DataBadLine& bad : r.badLines) out += bad.quoted + '|' + bad.error + '\n';
    return out + std::to_string(r.badCount);
}

std::string wholeParse(std::string_view text) {
    DataFileParser parser;
    const size_t used = parser.addCompleteLines(text);
    return flat(*parser.records(text.substr(used)));
}

void grownAndCheck(const std::string& bytes, size_t k) {
    DataFileParser grown;
    const std::string_view first = std::string_view(bytes).substr(0, k);
    const size_t used = grown.addCompleteLines(first);
    FUZZ_CHECK(flat(*grown.records(first.substr(used))) == wholeParse(first), "a part read differs");
    const std::string_view rest = std::string_view(bytes).substr(used);
    const size_t more = grown.addCompleteLines(rest);
    FUZZ_CHECK(flat(*grown.records(rest.substr(more))) == wholeParse(bytes), "a grown file read differs");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup& s = setup();
    fuzz::Input in(data, size);
    const uint8_t flagsA = in.u8();
    const int periodA = in.u8();
    const uint16_t rawEnd = in.u16();
    const uint8_t flagsB = in.u8();
    const int periodB = in.u8();
    const uint8_t cut = in.u8();
    const std::string bytes = in.rest();
    const size_t k = bytes.size() * cut / 256;

    std::optional<int64_t> end;
    if (rawEnd != 0x8000) end = s.base + int64_t{static_cast<int16_t>(rawEnd)} * Indication_Data::TIME_HOURTOMILLISECOND;

    Indication_Data model;
    configure(model, flagsA, periodA, end, "fuzz/a.txt");
    readAndCheck(model, "fuzz/a.txt", bytes.substr(0, k), end.value_or(s.base));
    configure(model, flagsB, periodB, end, "fuzz/b.txt");
    readAndCheck(model, "fuzz/b.txt", bytes.substr(k), end.value_or(s.base));

    grownAndCheck(bytes, k);

    s.platform.clearOut();
    s.platform.setFile(Indication_Tools::DEFAULT_LOG_FILE, "");
    return 0;
}
