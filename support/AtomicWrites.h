#pragma once
// Whole-file writes: a reader finds the old file or the new one, never part
// of either, and a power cut after a replacement never leaves an empty or
// partial file under the name (the new bytes are flushed before the rename,
// the folder's entry after it). A file that already holds exactly the bytes
// to write can be left alone, keeping its modification time and identity,
// so that web caches, rsync and CDN pushes see no change.
//
// A process killed mid-write, or a power cut, leaves its temporary file for
// good; so the first write of this process into a folder first removes those
// older than an hour there (a live write of another run is never that old),
// and says which it removed.
//
// Thread-safe.

#include "support/Platform.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace AtomicWrites {

// Temporary files at least this old are stale.
constexpr int64_t kStaleMillis = 3600 * 1000;

// Removes the stale temporary files of the folder of place (path's) unless
// this process did so already; the names removed.
std::vector<std::string> sweepOnce(const FilePlace& place, const std::string& path);

// What became of a file to replace.
enum class Replaced { failed, written, unchanged };

// One file of a replacement, and what became of it.
struct File {
    std::string path;
    std::string_view bytes;
    Replaced outcome = Replaced::failed;
    std::string error;                // why, when it failed
    std::vector<std::string> swept;   // the stale temporary files its folder's sweep removed
};

// Replaces each file's content with its bytes, in the order given, each
// folder swept first (sweepOnce): every new file is written, then all their
// bytes are flushed at once, then each is renamed over its target, then
// their folders are synced. With keepUnchanged, a file that holds its bytes
// already is left as it is (unchanged), judged from the file's own bytes.
void replace(std::vector<File>& files, bool keepUnchanged);

// Replacements made durable together, as replace() makes them, for files
// that come one after the other (the images of a pass, chart by chart):
// each new file is written as it comes and its bytes need not be kept; one
// flush for them all, then the renames in order, at commit(). A file given
// again before a commit is written again, whatever the disk holds.
class Batch {
public:
    explicit Batch(bool keepUnchanged = false) : keepUnchanged_(keepUnchanged) {}
    void setKeepUnchanged(bool keep) { keepUnchanged_ = keep; }
    // Sweeps path's folder, then writes bytes beside path (or finds the
    // file holds them); its number, for result().
    size_t add(const std::string& path, std::string_view bytes);
    // Files written beside their targets and not yet in place.
    size_t pending() const { return toFlush_.size(); }
    // Flushes every pending file, then renames each over its target, then
    // syncs their folders.
    void commit();
    // What became of file n, once committed.
    const File& result(size_t n) const { return files_[n]; }
    // Forgets every file; those not committed are dropped, their
    // temporary files removed.
    void clear();

private:
    bool keepUnchanged_;
    std::vector<File> files_;
    std::vector<std::unique_ptr<Platform::StagedFile>> staged_;  // one per file; null once done
    std::vector<Platform::StagedFile*> toFlush_;
};

// One file: replace with that file alone; its error and sweep in error and
// swept (when given).
Replaced replace(const std::string& path, std::string_view bytes, bool keepUnchanged, std::string& error,
                 std::vector<std::string>* swept = nullptr);

// Writes bytes over path whole and durably, whatever it holds.
bool write(const std::string& path, std::string_view bytes, std::string& error,
           std::vector<std::string>* swept = nullptr);

// Whether the regular file at path holds exactly bytes, read from the file
// (a size that differs is told without reading it).
bool holds(const std::string& path, std::string_view bytes);

}  // namespace AtomicWrites
