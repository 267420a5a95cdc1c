#include "support/AtomicWrites.h"

#include "support/Mutex.h"

#include <algorithm>
#include <memory>
#include <set>

namespace {

// Folders named with date macros keep coming: forgetting them only costs a sweep.
constexpr size_t kSweptFoldersKept = 10000;

Mutex sweptMutex;
std::set<FilePlace> swept ZK_GUARDED_BY(sweptMutex);

// The folder part of path as written, for syncing each folder once.
std::string_view folderText(std::string_view path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut);
}

}  // namespace

std::vector<std::string> AtomicWrites::sweepOnce(const FilePlace& place, const std::string& path) {
    {
        MutexLock lock(sweptMutex);
        if (swept.size() >= kSweptFoldersKept) swept.clear();
        if (!swept.insert(place.folderOnly()).second) return {};
    }
    return Platform::current().removeStaleTemporaries(path, kStaleMillis);
}

bool AtomicWrites::holds(const std::string& path, std::string_view bytes) {
    int64_t size = -1;
    size_t at = 0;
    bool same = true;
    std::string error;
    const bool read = Platform::current().readFileParts(
        path,
        [&](std::string_view part) {
            if (size != static_cast<int64_t>(bytes.size()) || part.size() > bytes.size() - at ||
                bytes.compare(at, part.size(), part) != 0) {
                same = false;
                return false;
            }
            at += part.size();
            return true;
        },
        size, error);
    // An empty file sends no part; a file that grew while read is longer than bytes.
    return read && same && at == bytes.size() && size == static_cast<int64_t>(bytes.size());
}

size_t AtomicWrites::Batch::add(const std::string& path, std::string_view bytes) {
    Platform& platform = Platform::current();
    files_.emplace_back();
    staged_.emplace_back();
    File& file = files_.back();
    file.path = path;
    // Swept at the folder's first visit, whether this file is written or not.
    file.swept = sweepOnce(platform.placeOf(path), path);
    bool again = false;
    for (size_t i = 0; i + 1 < files_.size() && !again; ++i) again = staged_[i] && files_[i].path == path;
    if (keepUnchanged_ && !again && holds(path, bytes)) {
        file.outcome = Replaced::unchanged;
        return files_.size() - 1;
    }
    staged_.back() = platform.stageFile(path, bytes, file.error);
    if (staged_.back()) {
        toFlush_.push_back(staged_.back().get());
        file.outcome = Replaced::written;  // once placed
    }
    return files_.size() - 1;
}

void AtomicWrites::Batch::commit() {
    if (toFlush_.empty()) return;
    std::string flushError;
    const bool flushed = Platform::current().flushStaged(toFlush_, flushError);
    toFlush_.clear();
    for (size_t i = 0; i < files_.size(); ++i) {
        if (!staged_[i]) continue;
        if (!flushed) {
            // Not durable: none is put in place, and every temporary file goes.
            files_[i].outcome = Replaced::failed;
            files_[i].error = flushError;
        } else if (!staged_[i]->place(files_[i].error)) {
            files_[i].outcome = Replaced::failed;
        }
    }
    // The last file placed in each folder syncs it: the renames before it are in it.
    std::vector<std::string_view> folders;
    for (size_t i = files_.size(); i-- > 0;) {
        if (!staged_[i] || files_[i].outcome != Replaced::written) continue;
        const std::string_view folder = folderText(files_[i].path);
        if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
        folders.push_back(folder);
        staged_[i]->syncFolder();
    }
    for (auto& staged : staged_) staged.reset();
}

void AtomicWrites::Batch::clear() {
    toFlush_.clear();
    files_.clear();
    staged_.clear();
}

void AtomicWrites::replace(std::vector<File>& files, bool keepUnchanged) {
    Batch batch(keepUnchanged);
    for (const File& file : files) batch.add(file.path, file.bytes);
    batch.commit();
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string_view bytes = files[i].bytes;
        files[i] = batch.result(i);
        files[i].bytes = bytes;
    }
}

AtomicWrites::Replaced AtomicWrites::replace(const std::string& path, std::string_view bytes, bool keepUnchanged,
                                             std::string& error, std::vector<std::string>* removed) {
    std::vector<File> files(1);
    files[0].path = path;
    files[0].bytes = bytes;
    replace(files, keepUnchanged);
    error = std::move(files[0].error);
    if (removed != nullptr) *removed = std::move(files[0].swept);
    return files[0].outcome;
}

bool AtomicWrites::write(const std::string& path, std::string_view bytes, std::string& error,
                         std::vector<std::string>* removed) {
    return replace(path, bytes, false, error, removed) == Replaced::written;
}
