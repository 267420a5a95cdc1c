#pragma once
// What building one chart leaves to the writer of its pass: its console,
// error and log lines in the order they came and, each in its place among
// them, the image files to write and the findings about its data files that
// are told once for each content of a file.
//
// Workers only draw and encode; the pass's one writer writes each chart's
// output in the order of the chart list. Which image a file keeps when two
// charts write it, where a write fails, which chart reports a folder's stale
// temporary files or a data file's findings: all come out as when the charts
// are built one after the other, since they are.
//
// Filled by the thread building the chart (its lines through a capture of
// lines()), then written out by one thread.

#include "support/AtomicWrites.h"
#include "support/MessageBuffer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class DataFileCache;

class ChartOutput {
public:
    // Where the chart's lines go while it is built (ScopedMessageCapture).
    MessageBuffer& lines() { return lines_; }

    // An image file to write at this point of the lines, under the name of
    // its kind ("GIF", "PNG", "SVG") for its failure's report; returns its
    // number among the chart's images.
    size_t holdImage(std::string kind, std::string path, std::string bytes);
    // Reports of category about the content with contentKey of the data file
    // at path, told at this point of the lines unless cache says that content
    // was told already (any content, when cache is null).
    void holdFindings(DataFileCache* cache, std::string path, uint64_t contentKey, std::string category,
                      std::vector<std::string> reports);

    // Writes the images' files into batch (each replaced as a whole and
    // durably once the batch is committed), and lets go of their bytes.
    void stageImages(AtomicWrites::Batch& batch);
    // Once batch is committed: writes the lines and reports in their order,
    // each image's failure in its place, and empties the output. For each
    // image held, what became of its file.
    std::vector<AtomicWrites::Replaced> writeOut(const AtomicWrites::Batch& batch);
    // Both at once, in a batch of its own.
    std::vector<AtomicWrites::Replaced> writeOut(bool keepUnchanged = false);

private:
    struct Image {
        std::string kind;
        std::string path;
        std::string bytes;
        size_t file = 0;  // its number in the batch
    };
    struct Findings {
        DataFileCache* cache = nullptr;
        std::string path;
        uint64_t contentKey = 0;
        std::string category;
        std::vector<std::string> reports;
    };
    // An image or findings, after the first `at` lines.
    struct Piece {
        size_t at = 0;
        bool image = false;
        size_t index = 0;  // in images_ or findings_
    };

    MessageBuffer lines_;
    std::vector<Image> images_;
    std::vector<Findings> findings_;
    std::vector<Piece> pieces_;
};
