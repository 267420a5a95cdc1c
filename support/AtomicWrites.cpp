#include "support/AtomicWrites.h"

#include "support/Mutex.h"

#include <set>

namespace {

// Folders named with date macros keep coming: forgetting them only costs a sweep.
constexpr size_t kSweptFoldersKept = 10000;

Mutex sweptMutex;
std::set<FilePlace> swept ZK_GUARDED_BY(sweptMutex);

}  // namespace

std::vector<std::string> AtomicWrites::sweepOnce(const FilePlace& place, const std::string& path) {
    {
        MutexLock lock(sweptMutex);
        if (swept.size() >= kSweptFoldersKept) swept.clear();
        if (!swept.insert(place.folderOnly()).second) return {};
    }
    return Platform::current().removeStaleTemporaries(path, kStaleMillis);
}

bool AtomicWrites::write(const std::string& path, std::string_view bytes, std::string& error,
                         std::vector<std::string>* removed) {
    Platform& platform = Platform::current();
    std::vector<std::string> names = sweepOnce(platform.placeOf(path), path);
    if (removed != nullptr) *removed = std::move(names);
    return platform.writeFileAtomic(path, bytes, error);
}
