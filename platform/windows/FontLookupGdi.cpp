// Font lookup through GDI: Windows resolves the family and style with its own
// substitutions (Helvetica gives Arial) and hands over the face's bytes, which
// the chart's FreeType code renders as on every other system.

#include "support/FontLookup.h"

#include "platform/SystemPlatform.h"

#include "platform/windows/WinText.h"

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>

#include "platform/windows/WinHandles.h"

#include <cstdint>
#include <cwchar>
#include <vector>

namespace {

constexpr DWORD kCollectionTag = 0x66637474;  // "ttcf", read as GDI wants it

// The face's full name ("Liberation Sans Bold"). otmpFaceName holds it;
// otmpFullName, despite its name, is the font's unique identifier, which
// many families share across their styles.
std::wstring outlineFaceName(HDC dc) {
    const UINT size = GetOutlineTextMetricsW(dc, 0, nullptr);
    if (size == 0) return {};
    std::vector<char> buffer(size);
    auto* metrics = reinterpret_cast<OUTLINETEXTMETRICW*>(buffer.data());
    if (GetOutlineTextMetricsW(dc, size, metrics) == 0) return {};
    const size_t offset = reinterpret_cast<size_t>(metrics->otmpFaceName);
    if (offset == 0 || offset >= size) return {};
    return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + offset));
}

uint32_t bigEndian32(const std::string& bytes, size_t at) {
    auto byte = [&](size_t i) { return uint32_t{static_cast<unsigned char>(bytes[at + i])}; };
    return byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
}

// The face of the collection that GDI selected into dc. Read as table 0, a
// collection's face starts at its own table directory (12 bytes, then 16 per
// table), which is the one at exactly one of the collection's face offsets.
// 0 when it cannot be told.
int collectionFace(HDC dc, const std::string& collection) {
    if (collection.size() < 12) return 0;
    const uint32_t faces = bigEndian32(collection, 8);
    if (faces > (collection.size() - 12) / 4) return 0;
    unsigned char head[12];
    if (GetFontData(dc, 0, 0, head, sizeof head) != sizeof head) return 0;
    const DWORD size = 12 + 16 * (DWORD{head[4]} << 8 | head[5]);
    std::string directory(size, '\0');
    if (GetFontData(dc, 0, 0, directory.data(), size) != size) return 0;
    for (uint32_t i = 0; i < faces; ++i) {
        const uint32_t at = bigEndian32(collection, 12 + 4 * size_t{i});
        if (at <= collection.size() && collection.size() - at >= size && collection.compare(at, size, directory) == 0)
            return static_cast<int>(i);
    }
    return 0;
}

}  // namespace

bool os::lookupFontFace(const std::string& family, bool bold, bool italic, FontFaceSource& out) {
    LOGFONTW request{};
    request.lfHeight = -64;
    request.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    request.lfItalic = italic ? TRUE : FALSE;
    request.lfCharSet = DEFAULT_CHARSET;
    request.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    request.lfQuality = NONANTIALIASED_QUALITY;
    const std::wstring name = family == "sans-serif" ? std::wstring(L"Arial") : win::widen(family);
    wcsncpy(request.lfFaceName, name.c_str(), LF_FACESIZE - 1);

    const win::DeviceContext context(CreateCompatibleDC(nullptr));
    if (!context.valid()) return false;
    HDC dc = context.get();
    const win::Font font(CreateFontIndirectW(&request));
    HGDIOBJ previous = font.valid() ? SelectObject(dc, font.get()) : nullptr;
    bool ok = false;
    if (previous != nullptr) {
        DWORD table = kCollectionTag;
        DWORD size = GetFontData(dc, table, 0, nullptr, 0);
        if (size == GDI_ERROR) {
            table = 0;
            size = GetFontData(dc, table, 0, nullptr, 0);
        }
        if (size != GDI_ERROR && size > 0) {
            auto data = std::make_shared<std::string>(size, '\0');
            if (GetFontData(dc, table, 0, data->data(), size) == size) {
                std::wstring face = outlineFaceName(dc);
                if (face.empty()) {
                    wchar_t buffer[LF_FACESIZE] = {};
                    GetTextFaceW(dc, LF_FACESIZE, buffer);
                    face = buffer;
                }
                out = FontFaceSource{};
                // No path to show: the face's full name stands for it in
                // reports. The cache tells faces apart by their bytes.
                out.file = win::narrow(face);
                out.data = std::move(data);
                out.index = table == kCollectionTag ? collectionFace(dc, *out.data) : 0;
                out.styleFromFace = true;
                ok = !out.file.empty();
            }
        }
        SelectObject(dc, previous);  // the font is not deleted while selected
    }
    return ok;
}

void os::releaseFontLookup() {}
