#pragma once
// One line of a data file: "YYYYMMDD;HHMMSS;value".
//
// Lines are trimmed of blanks and control characters; empty lines, comments
// (";" or "#" first) and lines without ";" are not records. In a record, runs
// of ";" count as one separator and only the first three fields are used.
// Date and time are read by position (later characters are ignored); their
// parts need not be in range. The value is a finite decimal number, with ","
// read as ".".

#include <string>
#include <string_view>

struct DataRecord {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    double value = 0;
};

enum class DataLine {
    Skipped,  // not a record: nothing to report
    Bad,      // a record that does not decode: error says why
    Record,
};

// Removes bytes of code 32 or less from both ends.
std::string_view trimDataLine(std::string_view line);

// Decodes an already trimmed line.
DataLine parseDataLine(std::string_view trimmed, DataRecord& out, std::string& error);

// A finite decimal number written in full ("," taken as "."), or false.
bool parseDataValue(std::string_view text, double& out);
