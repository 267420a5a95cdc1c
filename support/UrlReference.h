#pragma once
// A reference found in a reply (a redirect's Location) resolved against the
// address that gave it, the way browsers and curl do: a full address stands
// as it is; "//host/p", "/p", "p", "../p", "?q" and "#f" take what they lack
// from the base, dot segments removed.

#include <string>
#include <string_view>

// base: an absolute address ("scheme://authority/path?query").
std::string resolveUrlReference(std::string_view base, std::string_view reference);
