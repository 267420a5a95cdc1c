#pragma once
// Names of the temporary files an atomic write makes beside its target:
// ".<name>.tmp" and six letters or digits. Every platform makes and sweeps
// the same names, so a folder moved between systems is cleaned the same way.

#include <string>
#include <string_view>

namespace TemporaryNames {

// ".<name>.tmp", to which randomSuffix() is added.
std::string prefix(const std::string& name);
// Six letters or digits, different from thread to thread and call to call.
std::string randomSuffix();
// A name prefix() and randomSuffix() make, for a non-empty target name.
bool isTemporary(std::string_view fileName);

}  // namespace TemporaryNames
