#pragma once
// The keys of a graph file, each with the model field it sets, its default
// and how its text is read, in one table in the order the keys are read
// (which is the order of their reports). The model's reset values, the
// reading of a graph file and the defaults the reference documentation
// states all come from it: a new key costs one row.

#include "support/ValueTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class Indication_Data;

namespace graphfile {

// One reading of a graph file.
struct Loading {
    std::string path;
    // Every macro of the file expands with the same instant: the loading time.
    int64_t loadedAt = 0;
    // False once a key leaves the chart without a window or an image size.
    bool usable = true;
    // The wedge date as written, for the finding a wrong one gives.
    std::optional<std::string> wedgeDate;
    // Mistakes of keys read by code of their own, told once per content.
    std::vector<std::string> findings;
};

// Sets every field a graph file key sets to its default.
void resetFields(Indication_Data& model);

// Reads every key of table into the model, reporting bad values as it goes;
// returns the mistakes the defaults would hide (a wrong wedge date, unknown
// keys), to be told once per content of the file.
std::vector<std::string> readFields(Indication_Data& model, const Properties& table, Loading& loading);

// Each key of the table with its default as the reference documentation
// writes it ("yes", "4", "`255;0;0`", "`FONT_PEN`", "left").
std::vector<std::pair<std::string, std::string>> documentedDefaults();

}  // namespace graphfile
