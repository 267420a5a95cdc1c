#include "chart/FontCache.h"

#include "support/FontLookup.h"
#include "support/Indication_Tools.h"
#include "support/Mutex.h"
#include "support/Platform.h"
#include "support/Utf8.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// One lock for the font lookup, FreeType and every cache of this file.
Mutex fontMutex;

// Rendered glyphs are dropped (and rendered again on demand) once they hold
// this much memory, so odd text at huge sizes cannot grow the cache forever.
constexpr size_t kGlyphCacheBudget = 64u << 20;
// Distinct requests remembered by name; past this they are resolved anew.
constexpr size_t kMaxRememberedRequests = 4096;

struct Glyph {
    int advance = 0;
    int left = 0;  // bitmap offset from the pen
    int top = 0;   // rows above the baseline
    int width = 0;
    int rows = 0;
    int pitch = 0;
    std::vector<uint8_t> bits;  // one bit per pixel, MSB first
};

struct Face {
    FT_Face face = nullptr;
    std::string file;
    std::shared_ptr<const std::string> data;  // the bytes FreeType reads, when not a file
};

// A face resolved from a request, with the styling the file itself lacks.
struct Resolved {
    Face* face = nullptr;
    bool embolden = false;
    bool oblique = false;
};

class Registry;

class SizedFont final : public CachedFont {
public:
    SizedFont(Registry& owner, const Resolved& resolved, int pixelSize);

    int stringWidth(std::string_view text) const override;
    int getHeight() const override { return height_; }
    int getAscent() const override { return ascent_; }
    int getDescent() const override { return descent_; }
    void draw(PixelBuffer& dst, uint32_t value, std::string_view text, int x, int y) const override;
    const std::string& faceFile() const override;
    int pixelSize() const override { return pixelSize_; }
    Outline outline(char32_t cp) const override;

    const Glyph& glyph(char32_t cp) const ZK_REQUIRES(fontMutex);
    void dropGlyphs() const ZK_REQUIRES(fontMutex);

private:
    Glyph render(char32_t cp) const ZK_REQUIRES(fontMutex);
    // Loads the glyph into the face's slot, styled as the raster draws it;
    // returns the advance in 26.6 units, or nothing.
    std::optional<FT_Pos> load(char32_t cp) const ZK_REQUIRES(fontMutex);
    Outline makeOutline(char32_t cp) const ZK_REQUIRES(fontMutex);

    Registry& owner_;
    Resolved resolved_;
    FT_Size size_ = nullptr;
    int pixelSize_;
    int ascent_ = 0;
    int descent_ = 0;
    int height_ = 0;
    mutable std::array<std::unique_ptr<Glyph>, 128> ascii_ ZK_GUARDED_BY(fontMutex);
    mutable std::unordered_map<char32_t, Glyph> others_ ZK_GUARDED_BY(fontMutex);
    mutable std::unordered_map<char32_t, Outline> outlines_ ZK_GUARDED_BY(fontMutex);
};

class Registry {
public:
    // Never destroyed: metrics handed out must outlive every static object.
    static Registry& instance() {
        static Registry* registry = new Registry;
        return *registry;
    }

    const SizedFont& get(const Font& font) ZK_EXCLUDES(fontMutex) {
        const int px = std::clamp(font.size, FontCache::kMinPixelSize, FontCache::kMaxPixelSize);
        const int style = font.style & (Font::BOLD | Font::ITALIC);
        MutexLock lock(fontMutex);
        RequestKey key{font.name, style, px};
        if (auto it = requests_.find(key); it != requests_.end()) return *it->second;
        const Resolved resolved = resolve(font.name, style);
        SizedKey sk{resolved.face, px, resolved.embolden, resolved.oblique};
        auto& slot = sized_[sk];
        if (!slot) slot = std::make_unique<SizedFont>(*this, resolved, px);
        if (requests_.size() < kMaxRememberedRequests) requests_.emplace(std::move(key), slot.get());
        return *slot;
    }

    // Accounts for a newly rendered glyph; drops every cached glyph first
    // when the budget would be exceeded.
    void chargeGlyph(size_t bytes) ZK_REQUIRES(fontMutex) {
        if (glyphBytes_ + bytes > kGlyphCacheBudget) {
            for (auto& entry : sized_) entry.second->dropGlyphs();
            glyphBytes_ = 0;
        }
        glyphBytes_ += bytes;
    }

    FT_Library library() const ZK_REQUIRES(fontMutex) { return library_; }

private:
    using RequestKey = std::tuple<std::string, int, int>;
    using SizedKey = std::tuple<Face*, int, bool, bool>;

    Registry() {
        if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
        // The system's font lookup holds part of its state where leak
        // checkers cannot see it; release it at exit. Faces already resolved
        // stay usable, later lookups fall back to estimated metrics.
        std::atexit([] {
            MutexLock lock(fontMutex);
            Platform::current().releaseFontLookup();
        });
    }

    Resolved resolve(const std::string& family, int style) ZK_REQUIRES(fontMutex) {
        const std::tuple<std::string, int> key{family, style};
        if (auto it = resolved_.find(key); it != resolved_.end()) return it->second;
        Resolved r = match(family.empty() ? std::string("sans-serif") : family, style);
        if (r.face == nullptr && family != "sans-serif") r = match("sans-serif", style);
        if (r.face == nullptr && style != 0) r = match("sans-serif", 0);
        if (resolved_.size() < kMaxRememberedRequests) resolved_.emplace(key, r);
        return r;
    }

    Resolved match(const std::string& family, int style) ZK_REQUIRES(fontMutex) {
        Resolved r;
        if (library_ == nullptr) return r;
        const bool bold = (style & Font::BOLD) != 0;
        const bool italic = (style & Font::ITALIC) != 0;
        FontFaceSource source;
        if (!Platform::current().lookupFontFace(family, bold, italic, source)) return r;
        r.face = openFace(source);
        if (r.face == nullptr) return r;
        if (source.styleFromFace) {
            const FT_Long flags = r.face->face->style_flags;
            r.embolden = bold && !(flags & FT_STYLE_FLAG_BOLD);
            r.oblique = italic && !(flags & FT_STYLE_FLAG_ITALIC);
        } else {
            r.embolden = source.embolden;
            r.oblique = source.oblique;
        }
        return r;
    }

    // A file is known by its path; a face handed over as bytes by the bytes
    // themselves: the name that stands for it may be shared by every style
    // of its family.
    Face* openFace(const FontFaceSource& source) ZK_REQUIRES(fontMutex) {
        const size_t bytesHash = source.data ? std::hash<std::string_view>{}(*source.data) : 0;
        const FaceKey key{source.file, source.index, bytesHash};
        auto it = faces_.find(key);
        if (it != faces_.end() && (!source.data || !it->second || *it->second->data == *source.data))
            return it->second.get();
        FT_Face face = nullptr;
        const FT_Error error =
            source.data ? FT_New_Memory_Face(library_, reinterpret_cast<const FT_Byte*>(source.data->data()),
                                             static_cast<FT_Long>(source.data->size()), source.index, &face)
                        : FT_New_Face(library_, source.file.c_str(), source.index, &face);
        if (error != 0) face = nullptr;
        std::unique_ptr<Face> entry;
        if (face != nullptr) {
            entry = std::make_unique<Face>();
            entry->face = face;
            entry->file = source.file;
            entry->data = source.data;
        }
        Face* result = entry.get();
        if (it == faces_.end()) {
            faces_.emplace(key, std::move(entry));
        } else if (entry) {
            others_.push_back(std::move(entry));  // other bytes of the same hash
        }
        return result;
    }

    using FaceKey = std::tuple<std::string, int, size_t>;  // file, index, hash of the bytes

    FT_Library library_ ZK_GUARDED_BY(fontMutex) = nullptr;
    std::map<FaceKey, std::unique_ptr<Face>> faces_ ZK_GUARDED_BY(fontMutex);
    std::vector<std::unique_ptr<Face>> others_ ZK_GUARDED_BY(fontMutex);
    std::map<std::tuple<std::string, int>, Resolved> resolved_ ZK_GUARDED_BY(fontMutex);
    std::map<SizedKey, std::unique_ptr<SizedFont>> sized_ ZK_GUARDED_BY(fontMutex);
    std::map<RequestKey, SizedFont*> requests_ ZK_GUARDED_BY(fontMutex);
    size_t glyphBytes_ ZK_GUARDED_BY(fontMutex) = 0;
};

const std::string kNoFile;

// Captions are mostly ASCII: take that path without a call.
char32_t nextChar(std::string_view text, size_t& pos) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
        ++pos;
        return c;
    }
    return utf8::decode(text, pos);
}

SizedFont::SizedFont(Registry& owner, const Resolved& resolved, int pixelSize)
    : owner_(owner), resolved_(resolved), pixelSize_(pixelSize) {
    FT_Face face = resolved_.face ? resolved_.face->face : nullptr;
    bool sized = false;
    if (face != nullptr && FT_New_Size(face, &size_) == 0) {
        FT_Activate_Size(size_);
        if (FT_IS_SCALABLE(face)) {
            sized = FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize)) == 0;
        } else if (face->num_fixed_sizes > 0) {
            // A bitmap-only face: take the strike closest to the request.
            int best = 0;
            for (int i = 1; i < face->num_fixed_sizes; ++i) {
                if (std::abs(face->available_sizes[i].height - pixelSize) <
                    std::abs(face->available_sizes[best].height - pixelSize))
                    best = i;
            }
            sized = FT_Select_Size(face, best) == 0;
        }
    }
    if (sized) {
        const FT_Size_Metrics& m = face->size->metrics;
        ascent_ = static_cast<int>((m.ascender + 63) >> 6);
        descent_ = static_cast<int>((-m.descender + 63) >> 6);
        ascent_ = std::max(ascent_, 0);
        descent_ = std::max(descent_, 0);
        height_ = std::max(static_cast<int>((m.height + 63) >> 6), ascent_ + descent_);
    } else {
        // No usable face: keep plausible metrics so layouts still work.
        resolved_.face = nullptr;
        ascent_ = (pixelSize * 4 + 4) / 5;
        descent_ = pixelSize - ascent_ + 1;
        height_ = ascent_ + descent_;
    }
}

const std::string& SizedFont::faceFile() const { return resolved_.face ? resolved_.face->file : kNoFile; }

void SizedFont::dropGlyphs() const {
    for (auto& g : ascii_) g.reset();
    others_.clear();
    outlines_.clear();
}

const Glyph& SizedFont::glyph(char32_t cp) const {
    if (cp < ascii_.size()) {
        auto& slot = ascii_[cp];
        if (!slot) {
            Glyph g = render(cp);
            owner_.chargeGlyph(sizeof(Glyph) + g.bits.size());
            ascii_[cp] = std::make_unique<Glyph>(std::move(g));
        }
        return *ascii_[cp];
    }
    if (auto it = others_.find(cp); it != others_.end()) return it->second;
    Glyph g = render(cp);
    owner_.chargeGlyph(sizeof(Glyph) + g.bits.size() + 32);
    return others_.emplace(cp, std::move(g)).first->second;
}

std::optional<FT_Pos> SizedFont::load(char32_t cp) const {
    FT_Face face = resolved_.face->face;
    FT_Activate_Size(size_);
    FT_UInt index = FT_Get_Char_Index(face, cp);
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0 &&
        (index == 0 || FT_Load_Glyph(face, 0, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0)) {
        return std::nullopt;
    }
    FT_GlyphSlot slot = face->glyph;
    FT_Pos advance = slot->advance.x;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (resolved_.oblique) {
            FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
            FT_Outline_Transform(&slot->outline, &shear);
        }
        if (resolved_.embolden) {
            // Whole pixels keep the strokes crisp.
            const FT_Pos strength = std::max(1, pixelSize_ / 16) * 64;
            FT_Outline_EmboldenXY(&slot->outline, strength, 0);
            advance += strength;
        }
    }
    return advance;
}

Glyph SizedFont::render(char32_t cp) const {
    Glyph g;
    if (resolved_.face == nullptr) {
        g.advance = (pixelSize_ + 1) / 2;
        return g;
    }
    const std::optional<FT_Pos> advance = load(cp);
    if (!advance) {
        g.advance = (pixelSize_ + 1) / 2;
        return g;
    }
    FT_GlyphSlot slot = resolved_.face->face->glyph;
    g.advance = std::max(0, static_cast<int>((*advance + 32) >> 6));
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return g;
    const FT_Bitmap& bm = slot->bitmap;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = static_cast<int>(bm.width);
    g.rows = static_cast<int>(bm.rows);
    g.pitch = (g.width + 7) / 8;
    g.bits.assign(size_t(g.pitch) * g.rows, 0);
    const int srcPitch = bm.pitch;
    for (int row = 0; row < g.rows; ++row) {
        const unsigned char* src = bm.buffer + (srcPitch >= 0 ? row * srcPitch : (g.rows - 1 - row) * -srcPitch);
        uint8_t* out = g.bits.data() + size_t(row) * g.pitch;
        if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
            std::memcpy(out, src, g.pitch);
        } else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
            // Some bitmap strikes come in grey even when mono is asked.
            for (int col = 0; col < g.width; ++col)
                if (src[col] >= 128) out[col >> 3] |= uint8_t(0x80 >> (col & 7));
        } else {
            g.bits.clear();
            g.width = g.rows = g.pitch = 0;
            break;
        }
    }
    return g;
}

int SizedFont::stringWidth(std::string_view text) const {
    MutexLock lock(fontMutex);
    int64_t width = 0;
    for (size_t pos = 0; pos < text.size();) width += glyph(nextChar(text, pos)).advance;
    return static_cast<int>(std::min<int64_t>(width, INT32_MAX));
}

namespace {

struct StepWriter {
    std::vector<CachedFont::Outline::Step>* out;
    void step(char command, std::initializer_list<const FT_Vector*> points) {
        CachedFont::Outline::Step s;
        s.command = command;
        s.points = static_cast<uint8_t>(points.size());
        size_t i = 0;
        for (const FT_Vector* p : points) s.at[i++] = {p->x, p->y};
        out->push_back(s);
    }
    static StepWriter& of(void* user) { return *static_cast<StepWriter*>(user); }
};

}  // namespace

// The outlines are kept like the bitmaps: a pass's charts load each one once.
CachedFont::Outline SizedFont::outline(char32_t cp) const {
    if (resolved_.face == nullptr) return Outline{};
    MutexLock lock(fontMutex);
    if (auto it = outlines_.find(cp); it != outlines_.end()) return it->second;
    Outline made = makeOutline(cp);
    owner_.chargeGlyph(sizeof(Outline) + made.steps.size() * sizeof(Outline::Step) +
                       made.runs.size() * sizeof(Outline::Run) + 32);
    return outlines_.emplace(cp, std::move(made)).first->second;
}

CachedFont::Outline SizedFont::makeOutline(char32_t cp) const {
    Outline result;
    result.advance = glyph(cp).advance;
    if (!load(cp)) return result;
    FT_GlyphSlot slot = resolved_.face->face->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        StepWriter writer{&result.steps};
        FT_Outline_Funcs funcs{};
        funcs.move_to = [](const FT_Vector* to, void* user) {
            StepWriter::of(user).step('M', {to});
            return 0;
        };
        funcs.line_to = [](const FT_Vector* to, void* user) {
            StepWriter::of(user).step('L', {to});
            return 0;
        };
        funcs.conic_to = [](const FT_Vector* control, const FT_Vector* to, void* user) {
            StepWriter::of(user).step('Q', {control, to});
            return 0;
        };
        funcs.cubic_to = [](const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
            StepWriter::of(user).step('C', {c1, c2, to});
            return 0;
        };
        if (FT_Outline_Decompose(&slot->outline, &funcs, &writer) != 0) result.steps.clear();
        return result;
    }
    // A bitmap face: each row's runs of set pixels.
    const Glyph& g = glyph(cp);
    for (int row = 0; row < g.rows; ++row) {
        const uint8_t* bits = g.bits.data() + size_t(row) * g.pitch;
        for (int col = 0; col < g.width;) {
            if (!(bits[col >> 3] & (0x80 >> (col & 7)))) {
                ++col;
                continue;
            }
            const int from = col;
            while (col < g.width && (bits[col >> 3] & (0x80 >> (col & 7)))) ++col;
            result.runs.push_back({g.left + from, row - g.top, col - from});
        }
    }
    return result;
}

void SizedFont::draw(PixelBuffer& dst, uint32_t value, std::string_view text, int x, int y) const {
    if (dst.pixels == nullptr || resolved_.face == nullptr) return;
    MutexLock lock(fontMutex);
    const int64_t width = dst.width;
    const int64_t height = dst.height;
    int64_t pen = x;
    for (size_t pos = 0; pos < text.size() && pen < width;) {
        const Glyph& g = glyph(nextChar(text, pos));
        const int64_t gx = pen + g.left;
        const int64_t gy = int64_t(y) - g.top;
        pen += g.advance;
        if (g.rows == 0 || gx >= width || gx + g.width <= 0 || gy >= height || gy + g.rows <= 0) continue;
        const int rowFrom = static_cast<int>(std::max<int64_t>(0, -gy));
        const int rowTo = static_cast<int>(std::min<int64_t>(g.rows, height - gy));
        const int colFrom = static_cast<int>(std::max<int64_t>(0, -gx));
        const int colTo = static_cast<int>(std::min<int64_t>(g.width, width - gx));
        for (int row = rowFrom; row < rowTo; ++row) {
            const uint8_t* bits = g.bits.data() + size_t(row) * g.pitch;
            uint32_t* out = dst.pixels + (gy + row) * width + gx;
            for (int col = colFrom; col < colTo; ++col)
                if (bits[col >> 3] & (0x80 >> (col & 7))) out[col] = value;
        }
    }
}

}  // namespace

namespace FontCache {

const CachedFont& get(const Font& font) { return Registry::instance().get(font); }

namespace {
thread_local bool textLost = false;
}

void textNotDrawn(const Font& font) {
    textLost = true;
    // Never destroyed: a worker may draw while the process exits.
    struct Reported {
        Mutex mutex;
        std::set<std::string> names ZK_GUARDED_BY(mutex);
    };
    static Reported* reported = new Reported;
    {
        MutexLock lock(reported->mutex);
        if (!reported->names.insert(font.name).second) return;
    }
    Indication_Tools::Outils_AfficheMsg_System(
        "Indication_Graph", "No font found for \"" + font.name + "\": its text is not drawn!", true);
}

bool takeTextNotDrawn() { return std::exchange(textLost, false); }

}  // namespace FontCache
