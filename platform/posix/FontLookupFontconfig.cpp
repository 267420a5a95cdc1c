// Font lookup through fontconfig.

#include "support/FontLookup.h"

#include <fontconfig/fontconfig.h>

namespace {

bool started = false;
FcConfig* config = nullptr;

}  // namespace

bool lookupFontFace(const std::string& family, bool bold, bool italic, FontFaceSource& out) {
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

void releaseFontLookup() {
    if (config != nullptr) FcConfigDestroy(config);
    config = nullptr;
    started = true;
}
