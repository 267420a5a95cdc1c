// Font lookup through GDI: Windows resolves the family and style with its own
// substitutions (Helvetica gives Arial) and hands over the face's bytes, which
// the chart's FreeType code renders as on every other system.

#include "support/FontLookup.h"

#include "platform/windows/WinText.h"

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>

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

}  // namespace

bool lookupFontFace(const std::string& family, bool bold, bool italic, FontFaceSource& out) {
    LOGFONTW request{};
    request.lfHeight = -64;
    request.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    request.lfItalic = italic ? TRUE : FALSE;
    request.lfCharSet = DEFAULT_CHARSET;
    request.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    request.lfQuality = NONANTIALIASED_QUALITY;
    const std::wstring name = family == "sans-serif" ? std::wstring(L"Arial") : win::widen(family);
    wcsncpy(request.lfFaceName, name.c_str(), LF_FACESIZE - 1);

    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) return false;
    HFONT font = CreateFontIndirectW(&request);
    HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
    bool ok = false;
    if (font != nullptr && previous != nullptr) {
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
                out.index = 0;
                out.styleFromFace = true;
                ok = !out.file.empty();
            }
        }
        SelectObject(dc, previous);
    }
    if (font) DeleteObject(font);
    DeleteDC(dc);
    return ok;
}

void releaseFontLookup() {}
