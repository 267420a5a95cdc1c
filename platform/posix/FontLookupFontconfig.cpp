// Font lookup through fontconfig, with the files it chose kept between runs
// (FontFileCache): fontconfig reads its whole configuration when it starts,
// which costs a one-shot run more than drawing its chart, so it starts only
// when a request is not in the cache.

#include "support/FontLookup.h"

#include "platform/SystemPlatform.h"

#include "platform/posix/FontFileCache.h"

#include <fontconfig/fontconfig.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

bool started = false;
FcConfig* config = nullptr;

// What fontconfig's choices depend on besides its files: its version and
// the environment it reads.
std::string context() {
    std::string text = "fontconfig ";
    text += std::to_string(FcGetVersion());
    for (const char* name : {"FONTCONFIG_FILE", "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT", "HOME", "XDG_CONFIG_HOME",
                             "XDG_DATA_HOME", "XDG_DATA_DIRS", "LANG", "LC_ALL", "LC_CTYPE", "LANGUAGE", "FC_LANG"}) {
        const char* value = std::getenv(name);
        text += ';';
        text += name;
        if (value) {
            text += '=';
            text += value;
        } else {
            text += " unset";
        }
    }
    return text;
}

// Every path fontconfig's choices depend on: its configuration files and
// their folders, its font folders, and the user's own places, which count
// even while they do not exist.
std::vector<std::string> watchedPaths() {
    std::vector<std::string> paths;
    auto addList = [&](FcStrList* list, bool withFolder) {
        if (list == nullptr) return;
        while (FcChar8* item = FcStrListNext(list)) {
            const std::string p = reinterpret_cast<const char*>(item);
            paths.push_back(p);
            if (withFolder) {
                const size_t slash = p.rfind('/');
                if (slash != std::string::npos && slash > 0) paths.push_back(p.substr(0, slash));
            }
        }
        FcStrListDone(list);
    };
    addList(FcConfigGetConfigFiles(config), true);
    addList(FcConfigGetFontDirs(config), false);
    std::string configHome;
    std::string dataHome;
    if (const char* home = std::getenv("HOME")) {
        paths.push_back(std::string(home) + "/.fonts.conf");
        paths.push_back(std::string(home) + "/.fonts");
        configHome = std::string(home) + "/.config";
        dataHome = std::string(home) + "/.local/share";
    }
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME")) configHome = xdg;
    if (const char* xdg = std::getenv("XDG_DATA_HOME")) dataHome = xdg;
    if (!configHome.empty()) {
        paths.push_back(configHome + "/fontconfig");
        paths.push_back(configHome + "/fontconfig/fonts.conf");
        paths.push_back(configHome + "/fontconfig/conf.d");
    }
    if (!dataHome.empty()) paths.push_back(dataHome + "/fonts");
    return paths;
}

FontFileCache& fileCache() {
    static FontFileCache cache(FontFileCache::defaultPath(), context());
    return cache;
}

int styleOf(bool bold, bool italic) { return (bold ? 1 : 0) | (italic ? 2 : 0); }

bool match(const std::string& family, bool bold, bool italic, FontFaceSource& out) {
    if (!started) {
        started = true;
        config = FcInitLoadConfigAndFonts();
    }
    if (config == nullptr) return false;
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* found = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    if (found == nullptr) return false;

    bool ok = false;
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
        FcPatternGetInteger(found, FC_INDEX, 0, &index);
        out = FontFaceSource{};
        out.file = reinterpret_cast<const char*>(file);
        out.index = index;
        // fontconfig says when the file lacks the asked style and it must be
        // made up; check the face's own weight too, in case no rule did.
        FcBool embolden = FcFalse;
        FcPatternGetBool(found, FC_EMBOLDEN, 0, &embolden);
        int weight = FC_WEIGHT_REGULAR;
        FcPatternGetInteger(found, FC_WEIGHT, 0, &weight);
        int slant = FC_SLANT_ROMAN;
        FcPatternGetInteger(found, FC_SLANT, 0, &slant);
        out.embolden = bold && (embolden || weight < FC_WEIGHT_DEMIBOLD);
        // A slant that fontconfig made up comes as a shear matrix.
        FcMatrix* matrix = nullptr;
        const bool sheared =
            FcPatternGetMatrix(found, FC_MATRIX, 0, &matrix) == FcResultMatch && matrix && matrix->xy != 0;
        out.oblique = italic && (sheared || slant == FC_SLANT_ROMAN);
        ok = true;
    }
    FcPatternDestroy(found);
    return ok;
}

}  // namespace

bool os::lookupFontFace(const std::string& family, bool bold, bool italic, FontFaceSource& out) {
    FontFileCache& cache = fileCache();
    const int style = styleOf(bold, italic);
    if (std::optional<FontFileCache::Entry> known = cache.find(family, style)) {
        out = FontFaceSource{};
        out.file = known->file;
        out.index = known->index;
        out.embolden = known->embolden;
        out.oblique = known->oblique;
        return true;
    }
    if (!match(family, bold, italic, out)) return false;
    cache.add(family, style, FontFileCache::Entry{out.file, out.index, out.embolden, out.oblique}, watchedPaths());
    return true;
}

void os::releaseFontLookup() {
    if (config != nullptr) FcConfigDestroy(config);
    config = nullptr;
    started = true;
}
