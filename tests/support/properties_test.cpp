#include "support/Indication_Tools.h"
#include "support/SysProperties.h"
#include "support/Utf8.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

namespace {

using IT = Indication_Tools;

class PropertiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.captureAllAppends();
        SysProperties.store(nullptr);
        IT::debugMode = false;
    }
    void TearDown() override { IT::debugMode = false; }
    TestPlatform platform;
};

TEST_F(PropertiesTest, GrammarCutsTrimsAndRejoins) {
    const Properties p = IT::ParseProperties(
        "  KEY = one = two  \n"
        "DOUBLE==x\n"
        "TRAIL=x=\n"
        "EMPTY=\n"
        "ONLYEQ= = = \n"
        "=skipped\n"
        "no equals sign\n"
        "[Section]\n"
        "  ; comment=1\n"
        "\t# comment=2\n"
        "SEMI=a;b # not a comment\n"
        "QUOTED=\"a b\"\n"
        "key=lower\n"
        "\x01\tCTRL\x1f=\x1f v \x7f\n"
        "DUP=first\n"
        "DUP=second\n");
    const Properties expected{
        {"KEY", "one=two"},   {"DOUBLE", "x"},          {"TRAIL", "x"},
        {"EMPTY", ""},        {"ONLYEQ", "="},           {"SEMI", "a;b # not a comment"},
        {"QUOTED", "\"a b\""}, {"key", "lower"},        {"CTRL", "v \x7f"},
        {"DUP", "second"},
    };
    EXPECT_EQ(p, expected);
}

TEST_F(PropertiesTest, LineEndsAllReadAlike) {
    const Properties lf = IT::ParseProperties("A=1\nB=2\n\nC=3");
    EXPECT_EQ(lf, (Properties{{"A", "1"}, {"B", "2"}, {"C", "3"}}));
    EXPECT_EQ(IT::ParseProperties("A=1\rB=2\r\rC=3\r"), lf);
    EXPECT_EQ(IT::ParseProperties("A=1\r\nB=2\r\n\r\nC=3\r\n"), lf);
    EXPECT_EQ(IT::ParseProperties("A=1\r\nB=2\r\n\nC=3"), lf);
    // CR CR is two line ends, so nothing runs together.
    EXPECT_EQ(IT::ParseProperties("A=1\r\rB=2\n\rC=3"), lf);
}

TEST_F(PropertiesTest, FileEncodingIsDetected) {
    platform.setFile("latin1.ini", "TITRE=\xC9volution \xE0 la hausse\n");
    platform.setFile("utf8.ini", "TITRE=\xC3\x89volution \xC3\xA0 la hausse\n");
    platform.setFile("bom.ini", "\xEF\xBB\xBFTITRE=\xC3\x89volution \xC3\xA0 la hausse\n");
    const std::string expected = "\xC3\x89volution \xC3\xA0 la hausse";
    EXPECT_EQ(IT::GetFileProperties("latin1.ini").at("TITRE"), expected);
    EXPECT_EQ(IT::GetFileProperties("utf8.ini").at("TITRE"), expected);
    EXPECT_EQ(IT::GetFileProperties("bom.ini").at("TITRE"), expected);
    // One invalid byte makes its whole line Latin-1, and no other line.
    EXPECT_EQ(IT::toUtf8("\xC3\xA9\xE9\r\n\xC3\xA9"), "\xC3\x83\xC2\xA9\xC3\xA9\r\n\xC3\xA9");
    // Overlong forms and surrogates are not UTF-8.
    EXPECT_FALSE(utf8::isValid("\xC0\xAF"));
    EXPECT_FALSE(utf8::isValid("\xED\xA0\x80"));
    EXPECT_FALSE(utf8::isValid("\xF4\x90\x80\x80"));
    EXPECT_TRUE(utf8::isValid("\xF0\x9F\x93\x88"));
}

// On disk, so that the path found is opened as the system opens it (UTF-16
// at the Win32 call on Windows).
TEST_F(PropertiesTest, EachLineIsReadInItsOwnEncoding) {
    const std::string dir = makeTempDir("zk_encodings_");
    ASSERT_FALSE(dir.empty());
    std::string error;
    ASSERT_TRUE(platform.writeFileAtomic(dir + "/donn\xC3\xA9" "es.ini", "GRAPH_NAME=x\n", error)) << error;
    const std::string bytes = "\xEF\xBB\xBF\xEF\xBB\xBF# r\xE9glages \xE0 revoir = plus tard\n"  // marks, Latin-1 comment
                              "INDICEGIF_FILE_1=" + dir + "/donn\xC3\xA9" "es.ini\n"
                              "TITRE=\xC9volution\n"
                              "\xEF\xBB\xBFJOINED=x\n";  // a second file's mark
    ASSERT_TRUE(platform.writeFileAtomic(dir + "/zk.ini", bytes, error));
    PropertiesReading reading;
    const Properties table = IT::GetFileProperties(dir + "/zk.ini", reading);
    EXPECT_EQ(table, (Properties{{"INDICEGIF_FILE_1", dir + "/donn\xC3\xA9" "es.ini"},
                                 {"TITRE", "\xC3\x89volution"},
                                 {"JOINED", "x"}}));
    EXPECT_EQ(reading.latin1Keys, std::set<std::string>{"TITRE"});
    EXPECT_EQ(IT::ParseProperties(IT::toUtf8(bytes)), table);
    EXPECT_TRUE(platform.isReadableFile(table.at("INDICEGIF_FILE_1")));
    std::filesystem::remove_all(dir);
}

TEST_F(PropertiesTest, Utf16FileIsRefusedAndSaysSo) {
    struct Case {
        std::string bytes;
        const char* kind;
    };
    for (const Case& c : {Case{std::string("\xFF\xFEK\0=\0v\0", 8), "little-endian"},
                          Case{std::string("\xFE\xFF\0K\0=\0v", 8), "big-endian"},
                          Case{std::string("K\0E\0Y\0=\0v\0\n\0", 12), "little-endian"}}) {
        platform.setFile("utf16.ini", c.bytes);
        PropertiesReading reading;
        EXPECT_TRUE(IT::GetFileProperties("utf16.ini", reading).empty()) << c.kind;
        EXPECT_EQ(reading.failure, std::string("the file is saved as UTF-16 (") + c.kind +
                                       "), which is not read: save it as UTF-8");
    }
}

TEST_F(PropertiesTest, MissingFileGivesEmptyTableAndVerboseReport) {
    EXPECT_TRUE(IT::GetFileProperties("no/such/file.ini").empty());
    EXPECT_EQ(platform.out(), "");
    EXPECT_EQ(platform.file(IT::DEFAULT_LOG_FILE), "");

    IT::debugMode = true;
    EXPECT_TRUE(IT::GetFileProperties("no/such/file.ini").empty());
    EXPECT_EQ(platform.out().rfind("[Indication_Tools] : Error with no/such/file.ini : ", 0), 0u) << platform.out();
    EXPECT_NE(platform.file(IT::DEFAULT_LOG_FILE).find("  |_ [Indication_Tools] : Error with no/such/file.ini : "),
              std::string::npos);
}

TEST_F(PropertiesTest, HostileFilesNeverBreakTheReader) {
    // Binary noise: no crash; whatever parses keeps valid UTF-8 keys.
    std::mt19937 rng(7);
    std::string noise(1 << 16, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    platform.setFile("noise.ini", noise);
    for (const auto& [k, v] : IT::GetFileProperties("noise.ini")) {
        EXPECT_TRUE(utf8::isValid(k));
        EXPECT_TRUE(utf8::isValid(v));
    }

    // NUL bytes are trimmed at the ends like any control character and kept inside.
    platform.setFile("nul.ini", std::string("\0A\0B=1\0\nC=\0", 11));
    EXPECT_EQ(IT::GetFileProperties("nul.ini"), (Properties{{std::string("A\0B", 3), "1"}, {"C", ""}}));

    // One 10 MB line, and one of 10 MB of "=".
    std::string big = "BIG=" + std::string(10 << 20, 'x');
    platform.setFile("big.ini", big);
    EXPECT_EQ(IT::GetFileProperties("big.ini").at("BIG").size(), size_t{10} << 20);
    platform.setFile("eq.ini", "K" + std::string(10 << 20, '=') + "v");
    EXPECT_EQ(IT::GetFileProperties("eq.ini"), (Properties{{"K", "v"}}));
}

TEST_F(PropertiesTest, TextFileEndsEveryLineWithCrLf) {
    platform.setFile("t.txt", " a \nb\r\rc\r\nd");
    EXPECT_EQ(IT::GetTextFile("t.txt"), " a \r\nb\r\n\r\nc\r\nd\r\n");
    platform.setFile("e.txt", "");
    EXPECT_EQ(IT::GetTextFile("e.txt"), "");
    EXPECT_EQ(IT::GetTextFile("no/such/file.txt"), "");
    EXPECT_EQ(platform.out(), "");
}

TEST_F(PropertiesTest, OptionWords) {
    for (const char* word : {"1", "YES", "yes", "Y", "y", "OUI", "Oui", "O", "o", "TRUE", "tRuE", "T", "VRAI",
                             "vrai", "V", "v"})
        EXPECT_TRUE(IT::Outils_GetOption("K", std::string(word), false, false)) << word;
    for (const char* word : {" yes", "yes ", "", "0", "no", "2", "yess", "truee", "on", "oui!"})
        EXPECT_FALSE(IT::Outils_GetOption("K", std::string(word), true, false)) << word;
    EXPECT_EQ(platform.out(), "");

    // Only an absent value gives the default, with a report in verbose mode only.
    EXPECT_TRUE(IT::Outils_GetOption("K", std::nullopt, true, true));
    EXPECT_FALSE(IT::Outils_GetOption("K", std::nullopt, false, true));
    EXPECT_EQ(platform.out(), "");
    EXPECT_EQ(platform.file(IT::DEFAULT_LOG_FILE), "");
    IT::debugMode = true;
    EXPECT_TRUE(IT::Outils_GetOption("GRAPH_X", std::nullopt, true, false));
    EXPECT_EQ(platform.out(), "[Indication_Tools] : Error with GRAPH_X : no definition found!\n");
    EXPECT_EQ(platform.file(IT::DEFAULT_LOG_FILE), "");
    IT::Outils_GetOption("GRAPH_X", std::nullopt, true, true);
    EXPECT_NE(platform.file(IT::DEFAULT_LOG_FILE).find("]   |_ [Indication_Tools] : Error with GRAPH_X : no definition found!\r\n"),
              std::string::npos);
}

TEST_F(PropertiesTest, Colours) {
    auto color = [](const char* v) { return IT::Outils_getColor("COLOR_X", std::string(v)); };
    EXPECT_EQ(color("1;2;3"), Color(1, 2, 3));
    EXPECT_EQ(color("0;;255;;;128"), Color(0, 255, 128));
    EXPECT_EQ(color(";10;20;30;"), Color(10, 20, 30));
    EXPECT_EQ(color("10;20;30;junk"), Color(10, 20, 30));
    EXPECT_EQ(color("255;255;0255"), Color(255, 255, 255));
    for (const char* bad : {"1; 2;3", "1;2", "256;0;0", "-1;0;0", "1;2;x", "+1;2;3", "1.5;2;3", "", ";;;",
                            "99999999999;0;0", "1;2;3 "})
        EXPECT_EQ(color(bad), std::nullopt) << bad;
    EXPECT_EQ(IT::Outils_getColor("COLOR_X", std::nullopt), std::nullopt);
    EXPECT_EQ(platform.out(), "");

    IT::debugMode = true;
    EXPECT_EQ(color("1;2;256"), std::nullopt);
    EXPECT_EQ(platform.out().rfind("[Indication_Tools] : Error with COLOR_X : ", 0), 0u);
    EXPECT_NE(platform.file(IT::DEFAULT_LOG_FILE).find("  |_ [Indication_Tools] : Error with COLOR_X : "),
              std::string::npos);
}

TEST_F(PropertiesTest, Fonts) {
    auto font = [](const char* v) { return IT::Outils_getFont("FONT_X", std::string(v)); };
    EXPECT_EQ(font("Arial;bold;12"), (Font{"Arial", Font::BOLD, 12}));
    EXPECT_EQ(font(" Times New Roman ;ITALIC;-3"), (Font{" Times New Roman ", Font::ITALIC, -3}));
    EXPECT_EQ(font("Courier;xBoLdItAlIcx;9;extra"), (Font{"Courier", Font::BOLD | Font::ITALIC, 9}));
    EXPECT_EQ(font("Courier;Italic-Bold;9"), (Font{"Courier", Font::BOLD | Font::ITALIC, 9}));
    EXPECT_EQ(font("Courier;;;gras;;10"), (Font{"Courier", Font::PLAIN, 10}));
    EXPECT_EQ(font("Dialog;plain;0"), (Font{"Dialog", Font::PLAIN, 0}));
    for (const char* bad : {"Arial;bold", "Arial;bold;12pt", "Arial;bold; 12", "", "Arial;bold;"})
        EXPECT_EQ(font(bad), std::nullopt) << bad;
    EXPECT_EQ(IT::Outils_getFont("FONT_X", std::nullopt), std::nullopt);
}

TEST_F(PropertiesTest, DecimalIntegersAreStrict) {
    EXPECT_EQ(IT::parseDecimalInt("0"), 0);
    EXPECT_EQ(IT::parseDecimalInt("007"), 7);
    EXPECT_EQ(IT::parseDecimalInt("-12"), -12);
    EXPECT_EQ(IT::parseDecimalInt("2147483647"), 2147483647);
    EXPECT_EQ(IT::parseDecimalInt("-2147483648"), INT32_MIN);
    for (const char* bad : {"", "-", "+1", " 1", "1 ", "2147483648", "-2147483649", "1e3", "0x10", "--1", "١"})
        EXPECT_EQ(IT::parseDecimalInt(bad), std::nullopt) << bad;
}

TEST(Utf8, CountsAndPicksCharacters) {
    const std::string s = "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC\xF0\x9F\x93\x88";  // "été €📈"
    EXPECT_EQ(utf8::length(s), 6u);
    EXPECT_EQ(utf8::prefix(s, 2), "\xC3\xA9t");
    EXPECT_EQ(utf8::at(s, 4), "\xE2\x82\xAC");
    EXPECT_EQ(utf8::at(s, 5), "\xF0\x9F\x93\x88");
    EXPECT_EQ(utf8::at(s, 6), "");
    EXPECT_EQ(utf8::substr(s, 2, 100), "\xC3\xA9 \xE2\x82\xAC\xF0\x9F\x93\x88");
    EXPECT_EQ(utf8::prefix(s, 100), s);
    // A malformed byte is one character; a truncated sequence never overruns.
    EXPECT_EQ(utf8::length("a\xFF" "b\xE2\x82"), 5u);
    EXPECT_EQ(utf8::at("a\xFF" "b", 1), "\xFF");
    EXPECT_EQ(utf8::fromLatin1("\xE9\x41\xFF"), "\xC3\xA9" "A\xC3\xBF");
}

TEST(Utf8, EncodesWhatItDecodesAtEveryLengthBoundary) {
    for (char32_t cp : {0x0U, 0x7FU, 0x80U, 0x7FFU, 0x800U, 0xD7FFU, 0xE000U, 0xFFFDU, 0xFFFFU, 0x10000U, 0x10FFFFU}) {
        std::string bytes;
        utf8::append(bytes, cp);
        size_t pos = 0;
        EXPECT_TRUE(utf8::isValid(bytes)) << std::hex << uint32_t{cp};
        EXPECT_EQ(uint32_t{utf8::decode(bytes, pos)}, uint32_t{cp});
        EXPECT_EQ(pos, bytes.size()) << std::hex << uint32_t{cp};
    }
    // Only A to Z change case: the bytes of "É" stay as they are.
    EXPECT_EQ(utf8::asciiLower("YES \xC3\x89t\xC3\xA9 Z@["), "yes \xC3\x89t\xC3\xA9 z@[");
}

}  // namespace
