// Loading graph files into the chart model.

#include "ChartTestKit.h"

namespace {

using charttest::ChartTest;
using namespace std::string_literals;

class Configuration : public ChartTest {
protected:
    bool load(const std::string& content) { return model.GetConfiguration(file(content)); }

    // The key each report after the first line names, in order.
    std::vector<std::string> reportedKeys() {
        std::vector<std::string> keys;
        for (const std::string& line : console()) {
            const size_t body = line.find("] : ");
            if (body == std::string::npos) continue;
            std::string text = line.substr(body + 4);
            if (text.rfind("* Read Configuration from : ", 0) == 0) continue;
            if (text.rfind("Error with ", 0) == 0) text = text.substr(11);
            keys.push_back(text.substr(0, text.find(' ')));
        }
        return keys;
    }

    Indication_Data model;
};

TEST_F(Configuration, ModeAndPeriodAloneGiveDefaultsAndOneReportPerKeyInReadingOrder) {
    platform.now = at(2001, 11, 21, 18, 0, 0);
    ASSERT_TRUE(load("GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\n"));
    EXPECT_EQ(model.iModeGraphicsData, Indication_Data::MODEGRAPH_DAY);
    EXPECT_EQ(model.iModeGraphicsData_Duration, 5);
    EXPECT_EQ(model.dModeGraphicsData_DurationEnd, platform.now.load());

    const Indication_Data fresh;
    EXPECT_EQ(model.iDimension_Width, 320);
    EXPECT_EQ(model.iDimension_Height, 200);
    EXPECT_EQ(model.fontImage_Pen, (Font{"Helvetica", Font::PLAIN, 8}));
    EXPECT_EQ(model.fontGraph_Pen, (Font{"Helvetica", Font::PLAIN, 7}));
    EXPECT_EQ(model.fontImage_Pen_Title, model.fontImage_Pen);
    EXPECT_EQ(model.colorImage_Fond, Color(255, 255, 255));
    EXPECT_EQ(model.colorGraph_Fond, Color(221, 221, 221));
    EXPECT_EQ(model.colorGraph_HistogramShadow, Color(10, 10, 10));
    EXPECT_EQ(model.colorTendance_MoyenneMobile, Color(50, 139, 214));
    EXPECT_EQ(model.iHAlign_CopyRight, Indication_Data::ALIGN_RIGHT);
    EXPECT_EQ(model.iVAlign_CopyRight, Indication_Data::ALIGN_BOTTOM);
    EXPECT_EQ(model.iVAlign_DataPeriod, Indication_Data::ALIGN_TOP);
    EXPECT_EQ(model.iGraphHistogram_AxePosition, 4);
    EXPECT_EQ(model.iTendance_MoyenneMobile_Coef, 2);
    EXPECT_EQ(model.iAxe_Verticale_NumberOfValues, 4);
    EXPECT_TRUE(model.bPrintGIF_Valid);
    EXPECT_FALSE(model.bPrintPNG_Valid);
    EXPECT_TRUE(model.bLegende_Y_Gauche);
    EXPECT_EQ(model.szGraph_Title, "zkQuoteForge - v1.05");
    EXPECT_EQ(model.szDate_Month, "JFMAMJJASOND");
    EXPECT_FALSE(model.szFileData_Values);
    EXPECT_FALSE(model.szPrintGIF_FileName);
    EXPECT_FALSE(model.szPrintPNG_FileName);

    const std::vector<std::string> expected = {
        "FONT_PEN", "COLOR_FOND", "COLOR_PEN", "GRAPH_NAME_DISPLAY", "GRAPH_NAME_HORIZONTAL_ALIGN",
        "GRAPH_NAME_VERTICAL_ALIGN", "GRAPH_NAME_FONT", "GRAPH_NAME_COLOR", "GRAPH_COPYRIGHT_DISPLAY",
        "GRAPH_COPYRIGHT_HORIZONTAL_ALIGN", "GRAPH_COPYRIGHT_VERTICAL_ALIGN", "GRAPH_COPYRIGHT_FONT",
        "GRAPH_COPYRIGHT_COLOR", "GRAPH_DURATION_DISPLAY", "GRAPH_DURATION_HORIZONTAL_ALIGN",
        "GRAPH_DURATION_VERTICAL_ALIGN", "GRAPH_DURATION_FONT", "GRAPH_DURATION_COLOR", "GRAPH_DATE_FORMAT_FRENCH",
        "GRAPH_DATE_DISPLAY_WEEKEND", "GRAPH_PRINT_WIDTH", "GRAPH_PRINT_HEIGHT", "GRAPH_PRINT_GIF_VALID",
        "GRAPH_PRINT_GIF_LZWCOMPRESS", "GRAPH_PRINT_PNG_VALID", "GRAPH_PRINT_PNG_ALPHA", "GRAPH_PRINT_PNG_FILTER",
        "GRAPH_PRINT_PNG_COMPRESS", "GRAPH_VALUES_ZOOM", "GRAPH_DURATION_PERIOD_WEDGE_DATE", "GRAPH_CURVE_DISPLAY",
        "GRAPH_CURVE_MOUNTAIN", "GRAPH_DATA_SPREAD_DATA", "GRAPH_CURVE_THICKNESS", "GRAPH_HISTOGRAM_DISPLAY",
        "GRAPH_HISTOGRAM_SHIFTED_SHADOW", "GRAPH_HISTOGRAM_DISTANCE_AXE", "GRAPH_HISTOGRAM_DISTANCE_BAR",
        "GRAPH_HISTOGRAM_NUMBER_BAR", "GRAPH_HISTOGRAM_COLOR", "GRAPH_HISTOGRAM_COLOR_SHADOW",
        "GRAPH_CURVE_TREND_MOVINGAVERAGE", "GRAPH_CURVE_TREND_MOVINGAVERAGE_COEF",
        "GRAPH_CURVE_TREND_MOVINGAVERAGE_THICKNESS", "GRAPH_CURVE_TREND_MOVINGAVERAGE_COLOR", "LEGENDE_X_DISPLAY",
        "LEGENDE_X_OVERAXIS", "LEGENDE_X_ALIGNEMENT", "LEGENDE_Y_DISPLAY", "LEGENDE_Y_LEFTGRAPH",
        "GRAPH_AXE_VERTICAL", "GRAPH_AXE_HORIZONTAL", "GRAPH_AXE_VERTICAL_NUMBEROFVALUES", "LEGENDE_Y_ROUND",
        "LEGENDE_Y_THOUSANDS", "LEGENDE_Y_OWNWIDTH", "FONT_GRAPH_PEN",
        "COLOR_GRAPH_FOND", "GRAPH_CURVE_COLOR", "GRAPH_CURVE_MOUNTAIN_COLOR", "COLOR_GRAPH_AXE",
        "COLOR_GRAPH_AXEBIS", "COLOR_GRAPH_PEN"};
    EXPECT_EQ(reportedKeys(), expected);
    EXPECT_TRUE(printed(channel("GRAPH_NAME_HORIZONTAL_ALIGN error construction (use LEFT, CENTER or RIGHT).")));
    EXPECT_TRUE(printed(channel("GRAPH_NAME_VERTICAL_ALIGN error construction (use BOTTOM or TOP).")));
    EXPECT_EQ(count(channel("GRAPH_CURVE_THICKNESS error construction : ")), 1u);
    EXPECT_EQ(count(channel("GRAPH_PRINT_WIDTH error : ")), 1u);
}

TEST_F(Configuration, NothingIsReportedOutsideVerboseMode) {
    Indication_Tools::debugMode = false;
    ASSERT_TRUE(load("GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\n"));
    EXPECT_EQ(platform.out(), "");
}

TEST_F(Configuration, WordsMatchInAnyCaseButExactly) {
    ASSERT_TRUE(load("GRAPH_DURATION_MODE=MiNuTe\nGRAPH_DURATION_PERIOD=5\n"
                     "GRAPH_NAME_HORIZONTAL_ALIGN=Center\nGRAPH_NAME_VERTICAL_ALIGN=BOTTOM\n"
                     "GRAPH_COPYRIGHT_HORIZONTAL_ALIGN=centre\nGRAPH_COPYRIGHT_VERTICAL_ALIGN=middle\n"
                     "GRAPH_DURATION_HORIZONTAL_ALIGN=left\nLEGENDE_X_ALIGNEMENT=right\n"));
    EXPECT_EQ(model.iModeGraphicsData, Indication_Data::MODEGRAPH_MINUTE);
    EXPECT_EQ(model.iHAlign_Title, Indication_Data::ALIGN_CENTER);
    EXPECT_EQ(model.iVAlign_Title, Indication_Data::ALIGN_BOTTOM);
    EXPECT_EQ(model.iHAlign_CopyRight, Indication_Data::ALIGN_RIGHT);  // the row's default
    EXPECT_EQ(model.iVAlign_CopyRight, Indication_Data::ALIGN_BOTTOM);
    EXPECT_EQ(model.iHAlign_DataPeriod, Indication_Data::ALIGN_LEFT);
    EXPECT_EQ(model.iLegende_X_Align, Indication_Data::ALIGN_RIGHT);
    EXPECT_TRUE(printed(channel("GRAPH_COPYRIGHT_HORIZONTAL_ALIGN error construction (use LEFT, CENTER or RIGHT).")));
    EXPECT_TRUE(printed(channel("GRAPH_COPYRIGHT_VERTICAL_ALIGN error construction (use BOTTOM or TOP).")));
    EXPECT_FALSE(printed(channel("GRAPH_NAME_HORIZONTAL_ALIGN error construction (use LEFT, CENTER or RIGHT).")));
}

TEST_F(Configuration, PresentBooleansIgnoreTheirDefault) {
    ASSERT_TRUE(load("GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\n"
                     "GRAPH_CURVE_DISPLAY=maybe\nGRAPH_CURVE_MOUNTAIN=Oui\nGRAPH_DATE_DISPLAY_WEEKEND=no\n"
                     "GRAPH_VALUES_ZOOM=v\n"));
    EXPECT_FALSE(model.bGraphCourbe_Display);
    EXPECT_TRUE(model.bGraphCourbe_Rempli);
    EXPECT_FALSE(model.bDate_DispWeekDay);
    EXPECT_TRUE(model.bModeGraphicsData_ZoomValues);
    // A line at each session boundary needs sessions.
    ASSERT_TRUE(load("GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\nGRAPH_AXE_SESSIONS=yes\n"));
    EXPECT_TRUE(printed(channel("GRAPH_AXE_SESSIONS error : not used without GRAPH_SESSIONS or GRAPH_CALENDAR")));
}

TEST_F(Configuration, BadModeOrPeriodFailsAfterReadingEveryKey) {
    EXPECT_FALSE(load("GRAPH_DURATION_MODE=week\nGRAPH_DURATION_PERIOD=5\nCOLOR_GRAPH_PEN=1;2;3\n"));
    EXPECT_EQ(model.iModeGraphicsData, Indication_Data::MODEGRAPH_NOMODE);
    EXPECT_EQ(model.colorGraph_Pen, Color(1, 2, 3));  // read after the mode
    EXPECT_TRUE(printed(channel("GRAPH_DURATION_MODE error construction (use MONTH, DAY, HOUR or MINUTE).")));

    model.iModeGraphicsData_Duration = 7;
    EXPECT_FALSE(load("GRAPH_DURATION_MODE=hour\nGRAPH_DURATION_PERIOD=abc\n"));
    EXPECT_EQ(model.iModeGraphicsData, Indication_Data::MODEGRAPH_NOMODE);
    EXPECT_EQ(model.iModeGraphicsData_Duration, 7);
    EXPECT_EQ(count(channel("GRAPH_DURATION_PERIOD error construction : ")), 1u);

    EXPECT_FALSE(load("GRAPH_DURATION_MODE=day\n"));  // no period at all
    EXPECT_EQ(model.iModeGraphicsData, Indication_Data::MODEGRAPH_NOMODE);
}

TEST_F(Configuration, IntegersAreStrictAndOnlyThePngFilterHasLimits) {
    const std::string base = "GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=-3\n";
    ASSERT_TRUE(load(base + "GRAPH_PRINT_PNG_FILTER=3\nGRAPH_PRINT_WIDTH=\nGRAPH_PRINT_HEIGHT=+250\n"
                            "GRAPH_PRINT_PNG_COMPRESS=99\nGRAPH_CURVE_THICKNESS=-4\n"
                            "GRAPH_AXE_VERTICAL_NUMBEROFVALUES=99999999999\n"));
    EXPECT_EQ(model.iModeGraphicsData_Duration, -3);
    EXPECT_EQ(model.iPrintPNG_Filter, 0);
    EXPECT_EQ(model.iDimension_Width, 320);
    EXPECT_EQ(model.iDimension_Height, 200);
    EXPECT_EQ(model.iPrintPNG_CoefCompress, 99);
    EXPECT_EQ(model.iGraphCourbe_Thickness, -4);
    EXPECT_EQ(model.iAxe_Verticale_NumberOfValues, 4);
    EXPECT_TRUE(printed(channel("GRAPH_PRINT_PNG_FILTER error : 0(none), 1(sub) or 2(up)")));
    EXPECT_EQ(count(channel("GRAPH_PRINT_WIDTH error : ")), 1u);
    EXPECT_EQ(count(channel("GRAPH_PRINT_HEIGHT error : ")), 1u);

    platform.clearOut();
    ASSERT_TRUE(load(base + "GRAPH_PRINT_PNG_FILTER=-1\n"));
    EXPECT_EQ(model.iPrintPNG_Filter, 0);
    EXPECT_TRUE(printed(channel("GRAPH_PRINT_PNG_FILTER error : 0(none), 1(sub) or 2(up)")));

    platform.clearOut();
    ASSERT_TRUE(load(base + "GRAPH_PRINT_PNG_FILTER=x\n"));
    EXPECT_EQ(model.iPrintPNG_Filter, 0);
    EXPECT_EQ(count(channel("GRAPH_PRINT_PNG_FILTER error : ")), 1u);
    EXPECT_FALSE(printed(channel("GRAPH_PRINT_PNG_FILTER error : 0(none), 1(sub) or 2(up)")));

    ASSERT_TRUE(load(base + "GRAPH_PRINT_PNG_FILTER=2\n"));
    EXPECT_EQ(model.iPrintPNG_Filter, 2);
}

TEST_F(Configuration, ScalesAreFactorsFromOneToFourAndABadListKeepsTheDefault) {
    const std::string base = "GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\n";
    ASSERT_TRUE(load(base + "GRAPH_PRINT_SCALES=2; 1;2;4\n"));
    EXPECT_EQ(model.vecPrint_Scales, (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(count(channel("GRAPH_PRINT_SCALES error")), 0u);
    for (const char* bad : {"0", "5", "2x", "1,2", "", "1;;2", "12"}) {
        platform.clearOut();
        ASSERT_TRUE(load(base + "GRAPH_PRINT_SCALES=" + bad + "\n")) << bad;
        EXPECT_EQ(model.vecPrint_Scales, std::vector<int>{1}) << bad;
        EXPECT_TRUE(printed(channel(std::string("GRAPH_PRINT_SCALES error : \"") + bad +
                                    "\" is not a list of whole numbers from 1 to 4 separated by ;")))
            << bad;
    }
}

TEST_F(Configuration, TheWebStyleSetsDefaultsThatTheGraphFilesOwnKeysOverride) {
    const std::string base = "GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\n";
    const std::string allOff = "LEGENDE_Y_ROUND=no\nLEGENDE_X_OVERAXIS=yes\nGRAPH_PRINT_EXACT_SIZE=no\n"
                               "GRAPH_DURATION_MONTH_CALENDAR=no\nLEGENDE_X_FORMAT=\n";
    struct Case {
        std::string keys;
        bool web;  // every key as the web style sets it, else as without a style
    };
    for (const Case& c : std::vector<Case>{
             {"", false},
             {"GRAPH_STYLE=none\n", false},
             {"GRAPH_STYLE=fancy\n", false},
             {"GRAPH_STYLE=Web\n", true},
             {"GRAPH_STYLE=web\n" + allOff, false},
             {allOff + "GRAPH_STYLE=web\n", false},
         }) {
        platform.clearOut();
        ASSERT_TRUE(load(base + c.keys)) << c.keys;
        EXPECT_EQ(model.bLegende_Y_Arrondi, c.web) << c.keys;
        EXPECT_EQ(model.bLegende_X_Dessus, !c.web) << c.keys;
        EXPECT_EQ(model.bPrint_ExactSize, c.web) << c.keys;
        EXPECT_EQ(model.bModeGraphicsData_CalendarMonths, c.web) << c.keys;
        EXPECT_EQ(model.szLegende_X_Format, c.web ? std::optional<std::string>("auto") : std::nullopt) << c.keys;
        EXPECT_EQ(printed(channel("GRAPH_STYLE error construction (use NONE or WEB).")), c.keys == "GRAPH_STYLE=fancy\n")
            << c.keys;
    }
    // One key given, the others still the style's.
    ASSERT_TRUE(load(base + "GRAPH_STYLE=web\nLEGENDE_X_OVERAXIS=yes\n"));
    EXPECT_TRUE(model.bLegende_X_Dessus);
    EXPECT_TRUE(model.bLegende_Y_Arrondi && model.bPrint_ExactSize);
}

TEST_F(Configuration, LegendLettersNeedEnoughCharacters) {
    const std::string base = "GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\n";
    ASSERT_TRUE(load(base + "GRAPH_DATE_MONTH=JFMAMJJASON\nGRAPH_DATE_WEEKDAY=DLMMJV\n"));
    EXPECT_EQ(model.szDate_Month, "JFMAMJJASOND");
    EXPECT_FALSE(model.szDate_WeekDay);

    // Characters, not bytes: six accented letters are twelve bytes.
    ASSERT_TRUE(load(base + "GRAPH_DATE_WEEKDAY=ÉÈÊËÀÂ\n"));
    EXPECT_FALSE(model.szDate_WeekDay);
    ASSERT_TRUE(load(base + "GRAPH_DATE_WEEKDAY=DLMMJVS\nGRAPH_DATE_MONTH=jfmamjjasondX\n"));
    EXPECT_EQ(model.szDate_WeekDay, "DLMMJVS");
    EXPECT_EQ(model.szDate_Month, "jfmamjjasondX");
    ASSERT_TRUE(load(base + "GRAPH_DATE_WEEKDAY=ÉÈÊËÀÂÎ\n"));
    EXPECT_EQ(model.szDate_WeekDay, "ÉÈÊËÀÂÎ");

    // The reset leaves the weekday letters to the next chart.
    model.ResetConfiguration();
    EXPECT_EQ(model.szDate_WeekDay, "ÉÈÊËÀÂÎ");
    EXPECT_EQ(model.szDate_Month, "JFMAMJJASOND");
}

TEST_F(Configuration, CaptionFontsAndColoursFallBackOnThePenJustRead) {
    ASSERT_TRUE(load("GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\n"
                     "FONT_PEN=Courier;Bold;10\nCOLOR_PEN=10;20;30\nCOLOR_FOND=1;2\n"
                     "GRAPH_COPYRIGHT_FONT=Courier;bold\nGRAPH_COPYRIGHT_COLOR=300;0;0\n"
                     "GRAPH_DURATION_FONT=Times;italic bold;9\nGRAPH_DURATION_COLOR=0;128;0\n"
                     "FONT_GRAPH_PEN=Mono;plain;6\nGRAPH_CURVE_COLOR=0;0;255\n"));
    const Font courier{"Courier", Font::BOLD, 10};
    EXPECT_EQ(model.fontImage_Pen, courier);
    EXPECT_EQ(model.fontImage_Pen_Title, courier);      // absent
    EXPECT_EQ(model.fontImage_Pen_CopyRight, courier);  // malformed
    EXPECT_EQ(model.fontImage_Pen_DataPeriod, (Font{"Times", Font::BOLD | Font::ITALIC, 9}));
    EXPECT_EQ(model.colorImage_Pen_Title, Color(10, 20, 30));
    EXPECT_EQ(model.colorImage_Pen_CopyRight, Color(10, 20, 30));
    EXPECT_EQ(model.colorImage_Pen_DataPeriod, Color(0, 128, 0));
    EXPECT_EQ(model.colorImage_Fond, Color(255, 255, 255));  // malformed: kept
    EXPECT_EQ(model.fontGraph_Pen, (Font{"Mono", Font::PLAIN, 6}));
    EXPECT_EQ(model.colorGraph_Courbe, Color(0, 0, 255));

    // A second file without those keys keeps what the first one set, except
    // for the captions, which follow the pen again.
    ASSERT_TRUE(load("GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\nCOLOR_PEN=7;7;7\n"));
    EXPECT_EQ(model.colorGraph_Courbe, Color(0, 0, 255));
    EXPECT_EQ(model.fontImage_Pen_DataPeriod, courier);
    EXPECT_EQ(model.colorImage_Pen_DataPeriod, Color(7, 7, 7));
}

TEST_F(Configuration, MacrosExpandAtLoadingTimeInCaptionsAndOutputNamesOnly) {
    platform.now = at(2001, 3, 5, 7, 8, 9);
    ASSERT_TRUE(load("GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\n"
                     "GRAPH_COPYRIGHT=(c) %Y %QFp\nGRAPH_PRINT_GIF_NAME=out/%Y%m%d.gif\n"
                     "GRAPH_PRINT_PNG_NAME=%H%M%S.png\nGRAPH_DATA_FILE=data_%Y.txt\n"));
    EXPECT_EQ(model.szGraph_Title, "zkQuoteForge - v1.05");
    EXPECT_EQ(model.szGraph_CopyRight, "(c) 2001 zkQuoteForge");
    EXPECT_EQ(model.szPrintGIF_FileName, "out/20010305.gif");
    EXPECT_EQ(model.szPrintPNG_FileName, "070809.png");
    EXPECT_EQ(model.szFileData_Values, "data_%Y.txt");
}

TEST_F(Configuration, WindowEndComesFromTheWedgeDateAndTime) {
    const std::string base = "GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\n";
    platform.now = at(2002, 2, 10, 12, 0, 0);
    ASSERT_TRUE(load(base + "GRAPH_DURATION_PERIOD_WEDGE_DATE=20011121\n"));
    EXPECT_EQ(model.dModeGraphicsData_DurationEnd, at(2001, 11, 21));
    ASSERT_TRUE(load(base + "GRAPH_DURATION_PERIOD_WEDGE_DATE=20011121\nGRAPH_DURATION_PERIOD_WEDGE_TIME=173000\n"));
    EXPECT_EQ(model.dModeGraphicsData_DurationEnd, at(2001, 11, 21, 17, 30));
    ASSERT_TRUE(load(base + "GRAPH_DURATION_PERIOD_WEDGE_DATE=2001112\n"));
    EXPECT_EQ(model.dModeGraphicsData_DurationEnd, platform.now.load());
}

TEST_F(Configuration, UnusableFilesChangeNothing) {
    model.iDimension_Width = 640;
    EXPECT_FALSE(model.GetConfiguration(std::nullopt));
    EXPECT_TRUE(printed(channel("Pas de fichier de configuration !")));

    EXPECT_FALSE(model.GetConfiguration(std::string("mem/missing.ini")));
    EXPECT_TRUE(printed(channel("* Read Configuration from : mem/missing.ini")));
    EXPECT_TRUE(printed(channel("no configuration parameter found!")));

    EXPECT_FALSE(load("\x01\x02junk\0\xff\xfe\n[section]\n;a=b\n=c\n"s));
    EXPECT_EQ(model.iDimension_Width, 640);

    // Junk that happens to hold a key line is read through: every key is
    // missing, so the chart has no mode.
    EXPECT_FALSE(load("\x01junk\0\xff=\xfe\n"s));
    EXPECT_EQ(model.iDimension_Width, 320);
    EXPECT_EQ(model.iModeGraphicsData, Indication_Data::MODEGRAPH_NOMODE);
}

TEST_F(Configuration, PathsAndReset) {
    const std::string path = file("GRAPH_DURATION_MODE=hour\nGRAPH_DURATION_PERIOD=12\nGRAPH_PRINT_WIDTH=500\n");
    Indication_Data named(path);
    EXPECT_EQ(named.szFileData, path);
    EXPECT_EQ(named.iModeGraphicsData, Indication_Data::MODEGRAPH_NOMODE);
    ASSERT_TRUE(named.GetConfiguration());
    EXPECT_EQ(named.iDimension_Width, 500);

    EXPECT_FALSE(named.SetConfigurationFile(std::nullopt));
    EXPECT_EQ(named.szFileData, path);
    EXPECT_TRUE(named.SetConfigurationFile(std::string("other.ini")));
    EXPECT_EQ(named.szFileData, "other.ini");

    // The reset touches the configuration only.
    named.vecGraph_Date = {1, 2};
    named.vecGraph_Data = {3, 4};
    named.xi_Max = 1;
    named.ResetConfiguration();
    EXPECT_FALSE(named.szFileData);
    EXPECT_EQ(named.iDimension_Width, 320);
    EXPECT_EQ(named.iModeGraphicsData, Indication_Data::MODEGRAPH_NOMODE);
    EXPECT_FALSE(named.dModeGraphicsData_DurationEnd);
    EXPECT_EQ(named.vecGraph_Data.size(), 2u);
    EXPECT_EQ(named.xi_Max, 1);

    named.finalize();
    EXPECT_TRUE(named.vecGraph_Date.empty());
    EXPECT_TRUE(named.vecGraph_Data.empty());
}

}  // namespace
