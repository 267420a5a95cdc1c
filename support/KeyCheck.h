#pragma once
// Keys of a configuration file that nothing reads: a misspelt key would
// otherwise leave its default in force without a word. Each file's findings
// are reported once, when the file is first read or its findings change, not
// at every pass that reads it again.

#include <string>
#include <string_view>
#include <vector>

namespace KeyCheck {

// "Unknown key KEY in FILE", with " (did you mean NEAR?)" when a known key is
// within two edits of it (letter case aside).
std::string unknownKeyLine(std::string_view key, std::string_view file, const std::vector<std::string_view>& known);

// True when findings (empty: none) are the first given for file or differ
// from the last ones given for it, and are not empty. Thread-safe.
bool changed(const std::string& file, const std::string& findings);

}  // namespace KeyCheck
