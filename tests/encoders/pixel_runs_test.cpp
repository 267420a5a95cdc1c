#include "encoders/PixelRuns.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace {

using Runs = std::vector<std::pair<size_t, size_t>>;

Runs runsOf(const std::vector<uint32_t>& values, uint32_t mask) {
    Runs runs;
    PixelRuns::forEachRun(values.data(), values.size(), mask,
                          [&](size_t start, size_t length) { runs.emplace_back(start, length); });
    return runs;
}

// One value at a time, the obvious way.
Runs plainRuns(const std::vector<uint32_t>& values, uint32_t mask) {
    Runs runs;
    for (size_t i = 0; i < values.size();) {
        size_t j = i + 1;
        while (j < values.size() && (values[j] & mask) == (values[i] & mask)) ++j;
        runs.emplace_back(i, j - i);
        i = j;
    }
    return runs;
}

// Runs ending on, just before and just after the 16-value steps, at every
// length up to a few steps, and runs that differ only in masked-off bits.
TEST(PixelRuns, RunsMatchAValueByValueScan) {
    std::mt19937 rng(7);
    for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{15}, size_t{16}, size_t{17}, size_t{31}, size_t{33},
                     size_t{64}, size_t{1000}}) {
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<uint32_t> values;
            while (values.size() < n) {
                const uint32_t v = (rng() % 3) | ((rng() % 2) << 24);
                values.insert(values.end(), std::min<size_t>(n - values.size(), 1 + rng() % 40), v);
            }
            SCOPED_TRACE(testing::Message() << n << " values, trial " << trial);
            EXPECT_EQ(runsOf(values, 0xFFFFFFFFu), plainRuns(values, 0xFFFFFFFFu));
            EXPECT_EQ(runsOf(values, 0x00FFFFFFu), plainRuns(values, 0x00FFFFFFu));
        }
    }
}

}  // namespace
