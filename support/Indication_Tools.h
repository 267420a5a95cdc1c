#pragma once
// Static services shared by every part of the application: properties files
// and option values, logging and console messages, dates and text macros,
// remote update operations. Never instantiated. Safe to call from any thread.
//
// Text is UTF-8 throughout. "Absent" values are std::nullopt.

#include "support/ValueTypes.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// getUrl's status text with the verdict on the fetch behind it: the text
// alone cannot tell a transfer that broke after "HTTP/1.1 200 OK".
struct UrlReply {
    std::optional<std::string> statusText;
    bool succeeded = false;
};

class Indication_Tools {
public:
    Indication_Tools() = delete;

    // ---- Globals (set by start-up, read everywhere) ------------------------
    static constexpr const char* thisClassName = "Indication_Tools";
    static std::atomic<bool> debugMode;      // verbose mode
    static std::atomic<bool> svcMemMonitor;  // "-m" was given
    static char fileSeparator;               // set once at start-up
    static std::string szSystemOS;           // set once at start-up
    static constexpr const char* EOL = "\r\n";
    static constexpr const char* DEFAULT_LOG_FILE = "log_quoteforge.txt";

    // ---- Properties files and option values --------------------------------
    static Properties GetFileProperties(const std::string& path);
    // The same, telling which lines were read as ISO 8859-1 and why a file
    // gives no table (a file saved as UTF-16).
    static Properties GetFileProperties(const std::string& path, PropertiesReading& reading);
    // Parses properties text already in memory (the grammar of GetFileProperties).
    static Properties ParseProperties(std::string_view text);
    static std::string GetTextFile(const std::string& path);
    static bool Outils_GetOption(const std::string& key, const std::optional<std::string>& value,
                                 bool byDefault, bool log);
    static std::optional<Color> Outils_getColor(const std::string& key, const std::optional<std::string>& value);
    static std::optional<Font> Outils_getFont(const std::string& key, const std::optional<std::string>& value);
    // Strict decimal 32-bit integer: optional leading '-', digits, nothing else.
    static std::optional<int32_t> parseDecimalInt(std::string_view text);
    // A whole number of any length (digits only), as itself up to cap and as
    // cap past it: a setting past its limit means the limit.
    static std::optional<int64_t> parseWholeNumberUpTo(std::string_view text, int64_t cap);
    // Bytes of a file as UTF-8, line by line: a line is kept when it is valid
    // UTF-8 and read as ISO 8859-1 otherwise. A leading byte-order mark is dropped.
    static std::string toUtf8(std::string_view bytes);

    // ---- Logging and console messages --------------------------------------
    static bool AddLog(const std::string& path, const std::string& message);
    // Appends a whole stamped line to a log file, rotating it as the
    // configuration asks; reports a failure on the console. For AddLog and
    // the lines it held back (MessageBuffer).
    static bool writeLogLine(const std::string& path, const std::string& line);
    static bool addLogIndice(const std::string& message);
    static void Outils_AfficheMsg_System(const std::string& category, const std::string& message, bool log = false);
    static void Outils_AfficheMsg(const std::string& category, const std::string& message, bool log = false);

    // ---- Dates, times and text macros (instants are ms since the epoch) ----
    static std::string getBddDate();
    static std::string getBddDate(int64_t date);
    static std::string getBddTime();
    static std::string getBddTime(int64_t date);
    static std::string getDate();
    static std::string getDate(bool french);
    static std::string getDate(int64_t date, bool french = true);
    static std::string getTime();
    static std::string getTime(int64_t date);
    static std::string getDisplayDate();
    static std::string getDisplayDate(bool french);
    static std::string getDisplayDate(int64_t date, bool french = true);
    static std::string dispDate(int64_t date);
    static std::string DateToTimeZone(int64_t millis, bool gmt);
    static int64_t getDateFromBdd(const std::optional<std::string>& date, const std::optional<std::string>& time);
    static double getTotalDay(int64_t first, int64_t second);
    static double getWorkingDay(int64_t first, int64_t second);
    static int32_t modulo(int32_t a, int32_t b);
    static std::optional<std::string> replaceString(const std::optional<std::string>& text, const std::string& find,
                                                    const std::optional<std::string>& replacement);
    static std::optional<std::string> replaceMacroString(const std::optional<std::string>& text);
    static std::optional<std::string> replaceMacroString(const std::optional<std::string>& text, int64_t date);
    static std::optional<std::string> TruncateString(const std::optional<std::string>& text, int width,
                                                     const FontMetrics& metrics);

    // ---- Remote update operations ------------------------------------------
    static std::optional<std::string> getUrl(const std::optional<std::string>& url);
    static UrlReply getUrlReply(const std::optional<std::string>& url);
    static std::optional<std::string> base64Encode(const std::optional<std::string>& text);
    static std::optional<std::vector<uint8_t>> base64Encode(const std::optional<std::vector<uint8_t>>& bytes);
    static std::optional<std::string> base64Decode(const std::optional<std::string>& text);
    static std::optional<std::vector<uint8_t>> base64Decode(const std::optional<std::vector<uint8_t>>& bytes);
    static int32_t ExecuteApplication(const std::string& program, const std::string& parameters, bool logPrintout);
};
