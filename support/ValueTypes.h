#pragma once
// Value types shared by the configuration readers and the drawing surface.

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

// A properties table: case-sensitive keys, one value per key.
using Properties = std::unordered_map<std::string, std::string>;

// What reading a properties file found besides its table.
struct PropertiesReading {
    // Keys whose line is not valid UTF-8 and was read as ISO 8859-1: their
    // values are UTF-8, no longer the bytes the file holds.
    std::set<std::string> latin1Keys;
    // Why a file that could be read gives no table; empty otherwise.
    std::string failure;
};

// An opaque RGB colour.
struct Color {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;

    constexpr Color() = default;
    constexpr Color(int red, int green, int blue)
        : r(static_cast<uint8_t>(red)), g(static_cast<uint8_t>(green)), b(static_cast<uint8_t>(blue)) {}
    // 0xFFRRGGBB, the form the pixel read-back gives.
    constexpr uint32_t argb() const { return 0xFF000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b; }
    // The shades of a bevel's lit and shaded edges. Black brightens to a dark
    // grey; a channel near 0 brightens to at least 3 so the shade differs.
    constexpr Color brighter() const {
        if (r == 0 && g == 0 && b == 0) return Color(3, 3, 3);
        return Color(brighten(r), brighten(g), brighten(b));
    }
    constexpr Color darker() const { return Color(r * 7 / 10, g * 7 / 10, b * 7 / 10); }
    friend constexpr bool operator==(const Color&, const Color&) = default;

private:
    static constexpr int brighten(int c) {
        if (c == 0) return 0;
        if (c < 3) c = 3;
        int up = c * 10 / 7;
        return up > 255 ? 255 : up;
    }
};

// A font request: family name, style and size in points (one point is one pixel).
struct Font {
    static constexpr int PLAIN = 0;
    static constexpr int BOLD = 1;
    static constexpr int ITALIC = 2;

    std::string name = "Helvetica";
    int style = PLAIN;
    int size = 12;

    friend bool operator==(const Font&, const Font&) = default;
};

// Metrics of one resolved font, in whole pixels. Text is UTF-8.
class FontMetrics {
public:
    virtual ~FontMetrics() = default;
    virtual int stringWidth(std::string_view text) const = 0;
    virtual int getHeight() const = 0;  // ascent + descent + leading
    virtual int getAscent() const = 0;
    virtual int getDescent() const = 0;
};
