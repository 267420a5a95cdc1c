#pragma once
// Whole-file writes: a reader finds the old file or the new one, never part
// of either (Platform::writeFileAtomic). A process killed mid-write, or a
// power cut, leaves its temporary file for good; so the first write of this
// process into a folder first removes those older than an hour there (a live
// write of another run is never that old), and says which it removed.
//
// Thread-safe.

#include "support/Platform.h"

#include <string>
#include <string_view>
#include <vector>

namespace AtomicWrites {

// Temporary files at least this old are stale.
constexpr int64_t kStaleMillis = 3600 * 1000;

// Removes the stale temporary files of the folder of place (path's) unless
// this process did so already; the names removed.
std::vector<std::string> sweepOnce(const FilePlace& place, const std::string& path);

// Writes bytes over path whole, the folder swept first (sweepOnce); the
// names the sweep removed go to swept when given.
bool write(const std::string& path, std::string_view bytes, std::string& error,
           std::vector<std::string>* swept = nullptr);

}  // namespace AtomicWrites
