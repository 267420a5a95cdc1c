#include "chart/FontCache.h"
#include "chart/Graphics.h"
#include "support/Indication_Tools.h"
#include "support/Utf8.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <thread>
#include <vector>

namespace {

constexpr Color kWhite(255, 255, 255);
constexpr Color kInk(200, 30, 40);

struct Canvas {
    std::unique_ptr<Image> image;
    std::unique_ptr<Graphics> g;
    int w, h;

    Canvas(int width, int height) : w(width), h(height) {
        image = Image::create(width, height);
        g = image->getGraphics();
        g->setColor(kWhite);
        g->fillRect(0, 0, width, height);
        g->setColor(kInk);
    }
    std::set<uint32_t> colours() const { return {image->data(), image->data() + size_t(w) * h}; }
    int ink() const {
        int n = 0;
        for (int i = 0; i < w * h; ++i) n += image->data()[i] == kInk.argb();
        return n;
    }
};

std::vector<char32_t> decode(std::string_view s) {
    std::vector<char32_t> out;
    for (size_t pos = 0; pos < s.size();) out.push_back(utf8::decode(s, pos));
    return out;
}

TEST(Utf8Decode, WellFormedText) {
    EXPECT_EQ(decode("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\x88"), (std::vector<char32_t>{'A', 0xE9, 0x20AC, 0x1F4C8}));
}

TEST(Utf8Decode, EachBadByteBecomesOneReplacement) {
    const char32_t R = utf8::kReplacement;
    EXPECT_EQ(decode("caf\xE9!"), (std::vector<char32_t>{'c', 'a', 'f', R, '!'}));  // Latin-1 é
    EXPECT_EQ(decode("\xC3"), (std::vector<char32_t>{R}));                           // cut short
    EXPECT_EQ(decode("\xE2\x82"), (std::vector<char32_t>{R, R}));
    EXPECT_EQ(decode("\xC0\xAF"), (std::vector<char32_t>{R, R}));  // overlong '/'
    EXPECT_EQ(decode("\xE0\x80\xAF"), (std::vector<char32_t>{R, R, R}));
    EXPECT_EQ(decode("\xED\xA0\x80"), (std::vector<char32_t>{R, R, R}));  // surrogate
    EXPECT_EQ(decode("\xF4\x90\x80\x80"), (std::vector<char32_t>{R, R, R, R}));  // past U+10FFFF
    EXPECT_EQ(decode("\xFF\x80x"), (std::vector<char32_t>{R, R, 'x'}));
}

TEST(FontMetrics, AreSaneAndGrowWithSize) {
    Canvas c(10, 10);
    const FontMetrics& small = c.g->getFontMetrics(Font{"Helvetica", Font::PLAIN, 12});
    const FontMetrics& large = c.g->getFontMetrics(Font{"Helvetica", Font::PLAIN, 24});
    EXPECT_GT(small.getAscent(), 6);
    EXPECT_LE(small.getAscent(), 14);
    EXPECT_GT(small.getDescent(), 0);
    EXPECT_GE(small.getHeight(), small.getAscent() + small.getDescent());
    EXPECT_LE(small.getHeight(), 20);
    EXPECT_GT(large.getAscent(), small.getAscent());
    EXPECT_GT(large.getHeight(), small.getHeight());
    EXPECT_GT(large.stringWidth("Index"), small.stringWidth("Index"));
}

TEST(FontMetrics, WidthIsTheSumOfAdvances) {
    Canvas c(10, 10);
    const FontMetrics& m = c.g->getFontMetrics(Font{"Helvetica", Font::PLAIN, 12});
    EXPECT_EQ(m.stringWidth(""), 0);
    EXPECT_GT(m.stringWidth("A"), 0);
    EXPECT_GT(m.stringWidth("AB"), m.stringWidth("A"));
    EXPECT_EQ(m.stringWidth("CAC 40"), m.stringWidth("CAC") + m.stringWidth(" 40"));
    EXPECT_EQ(m.stringWidth("\xC3\xA9t\xC3\xA9"), 2 * m.stringWidth("\xC3\xA9") + m.stringWidth("t"));
    // Digits share one width in the faces used for charts, so labels align.
    EXPECT_EQ(m.stringWidth("1111"), m.stringWidth("8888"));
}

TEST(FontMetrics, ReferenceIsStableAndSharedAcrossContexts) {
    Canvas a(4, 4), b(4, 4);
    const Font f{"Times", Font::ITALIC, 13};
    const FontMetrics* first = &a.g->getFontMetrics(f);
    b.g->setFont(f);
    EXPECT_EQ(&b.g->getFontMetrics(), first);
    EXPECT_EQ(&a.g->getFontMetrics(Font{"Times", Font::ITALIC, 13}), first);
    EXPECT_NE(&a.g->getFontMetrics(Font{"Times", Font::ITALIC, 14}), first);
}

TEST(FontLookup, UnknownFamilyFallsBackToTheDefaultSansFace) {
    const CachedFont& unknown = FontCache::get(Font{"No Such Family 1234", Font::PLAIN, 12});
    const CachedFont& sans = FontCache::get(Font{"sans-serif", Font::PLAIN, 12});
    EXPECT_FALSE(unknown.faceFile().empty());
    EXPECT_EQ(unknown.faceFile(), sans.faceFile());
    EXPECT_EQ(unknown.stringWidth("Quote"), sans.stringWidth("Quote"));
    EXPECT_FALSE(FontCache::get(Font{"", Font::BOLD, 12}).faceFile().empty());
    EXPECT_FALSE(FontCache::get(Font{"Helvetica", Font::PLAIN, 12}).faceFile().empty());

    Canvas c(120, 30);
    c.g->setFont(Font{"No Such Family 1234", Font::BOLD | Font::ITALIC, 14});
    c.g->drawString("Chart", 2, 20);
    EXPECT_GT(c.ink(), 20);
}

// Every style looks different, also for a family with one face only, whose
// bold and italic are made up (DejaVu Math has just a regular face).
TEST(FontLookup, EachStyleLooksDifferentEvenWhenMadeUp) {
    for (const char* family : {"Helvetica", "DejaVu Math TeX Gyre"}) {
        std::vector<std::vector<uint32_t>> drawn;
        std::vector<int> ink;
        for (int style = 0; style < 4; ++style) {
            Canvas c(220, 30);
            c.g->setFont(Font{family, style, 16});
            c.g->drawString("Style 123", 4, 22);
            drawn.emplace_back(c.image->data(), c.image->data() + c.w * c.h);
            ink.push_back(c.ink());
        }
        for (int a = 0; a < 4; ++a)
            for (int b = a + 1; b < 4; ++b) EXPECT_NE(drawn[a], drawn[b]) << family << " " << a << " vs " << b;
        EXPECT_GT(ink[Font::BOLD], ink[Font::PLAIN]) << family;
        EXPECT_GT(ink[Font::BOLD | Font::ITALIC], ink[Font::ITALIC]) << family;
    }
}

TEST(FontLookup, SizesOutsideTheUsableRangeAreClamped) {
    for (int size : {0, -5, INT_MIN}) {
        const CachedFont& f = FontCache::get(Font{"Helvetica", Font::PLAIN, size});
        EXPECT_EQ(f.pixelSize(), FontCache::kMinPixelSize);
        EXPECT_GE(f.getHeight(), 1);
    }
    for (int size : {100000, INT_MAX}) {
        const CachedFont& f = FontCache::get(Font{"Helvetica", Font::PLAIN, size});
        EXPECT_EQ(f.pixelSize(), FontCache::kMaxPixelSize);
        EXPECT_GT(f.getAscent(), 500);
    }
    Canvas c(64, 48);
    c.g->setFont(Font{"Helvetica", Font::BOLD, 100000});
    c.g->drawString("Wg", 0, 40);
    c.g->setFont(Font{"Helvetica", Font::PLAIN, 0});
    c.g->drawString("Wg", 0, 40);
    EXPECT_GT(c.ink(), 0);
}

// Monochrome text: every pixel it sets has exactly the current colour, so a
// chart keeps to the colours it was configured with.
TEST(DrawString, UsesOnlyTheCurrentColour) {
    Canvas c(320, 120);
    int y = 14;
    for (const char* family : {"Helvetica", "Times", "Courier"}) {
        for (int style = 0; style < 4; ++style) {
            c.g->setFont(Font{family, style, 9 + style * 3});
            c.g->drawString("CAC 40 \xE2\x80\x93 1 234,56 \xE2\x82\xAC \xC3\xA9", 3, y);
            y += 9;
        }
    }
    EXPECT_EQ(c.colours(), (std::set<uint32_t>{kWhite.argb(), kInk.argb()}));
    EXPECT_GT(c.ink(), 500);
}

TEST(DrawString, SitsOnTheBaselineFromTheLeftEdge) {
    Canvas c(200, 60);
    const Font f{"Helvetica", Font::PLAIN, 16};
    c.g->setFont(f);
    const FontMetrics& m = c.g->getFontMetrics();
    const int x = 50, base = 40;
    c.g->drawString("Hxg", x, base);
    int minX = INT_MAX, maxX = -1, minY = INT_MAX, maxY = -1;
    for (int yy = 0; yy < c.h; ++yy)
        for (int xx = 0; xx < c.w; ++xx)
            if (c.image->data()[yy * c.w + xx] == kInk.argb()) {
                minX = std::min(minX, xx);
                maxX = std::max(maxX, xx);
                minY = std::min(minY, yy);
                maxY = std::max(maxY, yy);
            }
    EXPECT_GE(minX, x);
    EXPECT_LE(minX, x + 3);
    EXPECT_LT(maxX, x + m.stringWidth("Hxg"));
    EXPECT_GE(minY, base - m.getAscent());
    EXPECT_LE(minY, base - m.getAscent() / 2);  // the H rises well above the baseline
    EXPECT_GT(maxY, base);                      // the g hangs below it
    EXPECT_LE(maxY, base + m.getDescent());
}

TEST(DrawString, ClipsAtTheEdgesAndFarAway) {
    Canvas c(40, 20);
    c.g->setFont(Font{"Helvetica", Font::PLAIN, 14});
    c.g->drawString("Clipped text", -20, 10);
    c.g->drawString("Clipped text", 30, 25);
    c.g->drawString("Clipped text", 35, 3);
    const int visible = c.ink();
    EXPECT_GT(visible, 0);
    for (auto [x, y] : std::vector<std::pair<int, int>>{
             {INT_MIN, 10}, {INT_MAX, 10}, {10, INT_MIN}, {10, INT_MAX}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}})
        c.g->drawString("Far \xFF\xFE away", x, y);
    EXPECT_EQ(c.ink(), visible);
    c.g->drawString(std::string(100000, 'W'), 0, 15);  // long text stops at the right edge
}

// Caption shortening measured with a real caption font: the result fits, and
// it is the longest shortened form that does.
TEST(TruncateStringWithFontMetrics, ShortensCaptionsToFit) {
    const FontMetrics& m = FontCache::get(Font{"Helvetica", Font::BOLD, 12});
    const std::string caption = "CAC 40 \xE2\x80\x93 Indice de la Bourse de Paris, s\xC3\xA9" "ance du 14/03/2024";
    const int full = m.stringWidth(caption);
    EXPECT_EQ(Indication_Tools::TruncateString(caption, full, m), caption);
    const size_t characters = utf8::length(caption);
    for (int limit : {full - 1, full / 2, 60, 1}) {
        const auto out = Indication_Tools::TruncateString(caption, limit, m);
        ASSERT_TRUE(out);
        ASSERT_GE(out->size(), 3u);
        EXPECT_EQ(out->substr(out->size() - 3), ".. ");
        const std::string kept = out->substr(0, out->size() - 3);
        EXPECT_EQ(caption.compare(0, kept.size(), kept), 0);
        const size_t keptCharacters = utf8::length(kept);
        if (keptCharacters > 1) {
            EXPECT_LE(m.stringWidth(*out), limit) << limit;
        }
        if (keptCharacters < characters - 4) {
            const std::string longer = caption.substr(0, kept.size() + utf8::charLength(caption, kept.size())) + ".. ";
            EXPECT_GT(m.stringWidth(longer), limit) << limit;
        }
    }
}

TEST(DrawString, ConcurrentContextsShareTheFontCacheSafely) {
    std::vector<std::thread> threads;
    std::vector<int> inks(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &inks] {
            Canvas c(300, 40);
            for (int i = 0; i < 30; ++i) {
                Font f{t % 2 ? "Times" : "Helvetica", i % 4, 8 + (i + t) % 12};
                c.g->setFont(f);
                c.g->drawString("Thread \xE2\x82\xAC 42", 2, 30);
                inks[t] += c.g->getFontMetrics().stringWidth("Thread") > 0;
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int n : inks) EXPECT_EQ(n, 30);
}

}  // namespace
