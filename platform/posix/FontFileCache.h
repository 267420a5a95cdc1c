#pragma once
// The font files that font requests resolved to, kept in a file between runs
// so that a run can draw its text without starting fontconfig, which reads
// its whole configuration first.
//
// A wrong font is worse than a slow start: the file is used only when
// everything the resolutions depended on is as it was when they were made.
// That is the context (fontconfig's version, the environment it reads) and
// the stamps (modification time and size) of every watched path: its
// configuration files and their folders, its font folders, and the font
// files themselves. Anything else, and the file is ignored and written anew.
//
// Where the file cannot be written (no cache folder, a read-only one) the
// program simply goes without it. One thread at a time.

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

class FontFileCache {
public:
    struct Entry {
        std::string file;
        int index = 0;
        bool embolden = false;
        bool oblique = false;
    };

    // The cache file in the user's cache folder ($XDG_CACHE_HOME, else
    // $HOME/.cache); empty when there is none.
    static std::string defaultPath();

    // Loads the file at path (none when empty) when it was made in context
    // and none of its watched paths changed since.
    FontFileCache(std::string path, std::string context);

    std::optional<Entry> find(const std::string& family, int style) const;
    // Adds a resolution made now and writes the file at once; watched: every
    // path the resolutions depend on (the font files are added here).
    void add(const std::string& family, int style, const Entry& entry, const std::vector<std::string>& watched);

    // The stamp of a path as kept in the file; empty when it cannot be had.
    static std::string stamp(const std::string& path);

private:
    std::string path_;
    std::string context_;
    std::map<std::tuple<std::string, int>, Entry> entries_;
};
