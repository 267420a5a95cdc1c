#pragma once
// Records read from a source merged into a data file's bytes: a record at a
// time the file holds replaces that line when its value differs, records at
// new times go in time order, and every other line keeps its bytes (comments
// and lines that do not read included). Pure; memory in proportion to the
// file.

#include "app/SourceCsv.h"

#include <string>
#include <string_view>
#include <vector>

struct DataMerge {
    std::string bytes;  // the file after the merge
    size_t added = 0;
    size_t replaced = 0;
    // The newest record of the file after the merge (wall-clock ms, as SourceRecord::key); 0: none.
    int64_t newestKey = 0;
};

// The data-file line of a record: "YYYYMMDD;HHMMSS;value", the value in the
// shortest decimal that reads back the same.
std::string dataLineOf(const SourceRecord& record);

DataMerge mergeRecords(std::string_view file, const std::vector<SourceRecord>& records);
