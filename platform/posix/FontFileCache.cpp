#include "platform/posix/FontFileCache.h"

#include "support/AtomicWrites.h"
#include "support/Platform.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sys/stat.h>

namespace {

constexpr const char* kHeader = "zkQuoteForge font files 1";

// Names and paths go one to a field; a field cannot hold these.
bool storable(const std::string& text) { return text.find_first_of("\t\n\r") == std::string::npos; }

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t pos = 0;
    for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', pos)) {
        fields.push_back(line.substr(pos, tab - pos));
        pos = tab + 1;
    }
    fields.push_back(line.substr(pos));
    return fields;
}

}  // namespace

std::string FontFileCache::defaultPath() {
    std::string folder;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') {
        folder = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        folder = std::string(home) + "/.cache";
    } else {
        return std::string();
    }
    return folder + "/zkQuoteForge/font-files.txt";
}

// One stat for both: a run checks some sixty paths before its first text.
std::string FontFileCache::stamp(const std::string& path) {
    struct stat st{};
    // A path that appears later (a user's own configuration) changes things too.
    if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? "none" : std::string();
    std::string text = std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec) + ' ';
    if (S_ISREG(st.st_mode)) return text + std::to_string(st.st_size);
    if (S_ISDIR(st.st_mode)) return text + 'd';
    return std::string();
}

FontFileCache::FontFileCache(std::string path, std::string context)
    : path_(std::move(path)), context_(std::move(context)) {
    if (path_.empty()) return;
    std::string text;
    std::string error;
    if (!Platform::current().readFile(path_, text, error)) return;
    // Whole lines only: a file cut short is not ours to trust.
    if (text.empty() || text.back() != '\n') return;
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < text.size();) {
        const size_t end = text.find('\n', pos);
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    if (lines.size() < 2 || lines[0] != kHeader || lines[1] != "context\t" + context_) return;
    std::map<std::tuple<std::string, int>, Entry> entries;
    for (size_t n = 2; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        const std::vector<std::string> f = splitTabs(line);
        if (f.size() == 3 && f[0] == "watch") {
            // One changed path and nothing here can be trusted.
            if (f[1].empty() || stamp(f[2]) != f[1]) return;
        } else if (f.size() == 7 && f[0] == "font") {
            Entry e;
            e.file = f[6];
            try {
                e.index = std::stoi(f[3]);
            } catch (...) {
                return;
            }
            e.embolden = f[4] == "1";
            e.oblique = f[5] == "1";
            int style = 0;
            try {
                style = std::stoi(f[2]);
            } catch (...) {
                return;
            }
            entries[{f[1], style}] = e;
        } else {
            return;  // not a file of ours
        }
    }
    entries_ = std::move(entries);
}

std::optional<FontFileCache::Entry> FontFileCache::find(const std::string& family, int style) const {
    auto it = entries_.find({family, style});
    if (it == entries_.end()) return std::nullopt;
    return it->second;
}

void FontFileCache::add(const std::string& family, int style, const Entry& entry,
                        const std::vector<std::string>& watched) {
    if (path_.empty() || !storable(context_) || !storable(family) || !storable(entry.file)) return;
    entries_[{family, style}] = entry;

    std::set<std::string> paths(watched.begin(), watched.end());
    for (const auto& [key, e] : entries_) paths.insert(e.file);
    std::string text = std::string(kHeader) + "\ncontext\t" + context_ + "\n";
    for (const std::string& p : paths) {
        const std::string s = stamp(p);
        // A path that cannot be watched could change unseen: keep nothing.
        if (s.empty() || !storable(p)) return;
        text += "watch\t" + s + "\t" + p + "\n";
    }
    for (const auto& [key, e] : entries_) {
        text += "font\t" + std::get<0>(key) + "\t" + std::to_string(std::get<1>(key)) + "\t" +
                std::to_string(e.index) + "\t" + (e.embolden ? "1" : "0") + "\t" + (e.oblique ? "1" : "0") + "\t" +
                e.file + "\n";
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
    std::string error;
    // Not written: the next run resolves through fontconfig again, nothing worse.
    AtomicWrites::write(path_, text, error);
}
