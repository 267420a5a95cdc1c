#pragma once
// Keys of a configuration file that nothing reads: a misspelt key would
// otherwise leave its default in force without a word. What is wrong in a
// file is reported when the file is first read and whenever its content
// changes, not at every pass that reads it again.

#include "support/ValueTypes.h"

#include <string>
#include <string_view>
#include <vector>

namespace KeyCheck {

// "Unknown key KEY in FILE", with " (did you mean NEAR?)" when a known key is
// within two edits of it (letter case aside).
std::string unknownKeyLine(std::string_view key, std::string_view file, const std::vector<std::string_view>& known);

// True when there are findings and file is read for the first time or with
// another content than last time. Thread-safe.
bool firstReading(const std::string& file, const Properties& content, bool findings);

}  // namespace KeyCheck
