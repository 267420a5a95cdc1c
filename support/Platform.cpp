// What the platform interface gives without an operating system of its own.

#include "support/Platform.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

std::atomic<Platform*> installed{nullptr};

}  // namespace

Platform& Platform::current() {
    Platform* p = installed.load(std::memory_order_acquire);
    if (p == nullptr) {
        // A process entry that forgot to install the system's platform.
        std::fputs("no platform installed at process entry\n", stderr);
        std::abort();
    }
    return *p;
}

Platform* Platform::install(Platform* p) { return installed.exchange(p, std::memory_order_acq_rel); }

bool Platform::readFileParts(const std::string& path, const ReadPart& take, int64_t& size, std::string& error) {
    std::string whole;
    if (!readFile(path, whole, error)) return false;
    size = static_cast<int64_t>(whole.size());
    const std::string_view bytes(whole);
    for (size_t at = 0; at < bytes.size(); at += kReadPartBytes) {
        if (!take(bytes.substr(at, kReadPartBytes))) break;
    }
    return true;
}

Platform::PartsRead Platform::readParts(int64_t sizeSeen, const std::function<int64_t(char* buf, size_t n)>& readSome,
                                        const ReadPart& take, int64_t& size) {
    if (sizeSeen > kMaxReadBytes) return PartsRead::tooLarge;
    size = sizeSeen;
    // Not cleared first: each part is read over it.
    const std::unique_ptr<char[]> buf = std::make_unique_for_overwrite<char[]>(kReadPartBytes);
    for (int64_t at = 0;;) {
        const int64_t n = readSome(buf.get(), kReadPartBytes);
        if (n < 0) return PartsRead::failed;
        if (n == 0) return PartsRead::done;
        at += n;
        if (at > kMaxReadBytes) return PartsRead::tooLarge;
        // Bytes a writer appended meanwhile count.
        size = std::max(size, at);
        if (!take(std::string_view(buf.get(), static_cast<size_t>(n)))) return PartsRead::done;
    }
}

bool Platform::gatherFileParts(const std::string& path, std::string& out, std::string& error) {
    out.clear();
    std::string gathered;
    int64_t size = 0;
    const bool ok = readFileParts(
        path,
        [&](std::string_view part) {
            if (gathered.empty()) gathered.reserve(static_cast<size_t>(size));
            gathered.append(part);
            return true;
        },
        size, error);
    if (ok) out = std::move(gathered);
    return ok;
}

bool Platform::isMissingFile(const std::string&) { return false; }

HttpGetResult Platform::httpFetch(const std::string& url, const HttpFetchRequest& request,
                                 const HttpGetLimits& limits) {
    if (!request.headers.empty() || request.keepBody) {
        HttpGetResult result;
        result.error = "this platform sends no extra header and keeps no body";
        return result;
    }
    return httpGet(url, request.authorization, limits);
}

bool Platform::flushStaged(const std::vector<StagedFile*>& staged, std::string& error) {
    for (StagedFile* file : staged)
        if (!file->flush(error)) return false;
    return true;
}

bool Platform::writeFileAtomic(const std::string& path, std::string_view data, std::string& error) {
    const std::unique_ptr<StagedFile> staged = stageFile(path, data, error);
    if (!staged || !flushStaged({staged.get()}, error) || !staged->place(error)) return false;
    staged->syncFolder();
    return true;
}

bool Platform::appendLogLine(const std::string& path, std::string_view line, const LogRotation&, std::string& error,
                             std::string&) {
    return appendFile(path, line, error);
}

bool Platform::shiftLogFiles(const std::string& path, int keep, const std::function<bool(const std::string&)>& exists,
                             const std::function<Move(const std::string&, const std::string&, std::string&)>& moveOver,
                             std::string& error) {
    auto name = [&path](int n) { return path + "." + std::to_string(n); };
    // Only up to the first free name: a rotation that failed halfway left
    // a gap there, and going on past it would drop one more file each time.
    int free = std::max(keep, 1);
    for (int n = 1; n < free; ++n) {
        if (!exists(name(n))) {
            free = n;
            break;
        }
    }
    for (int n = free; n >= 1; --n) {
        const std::string from = n == 1 ? path : name(n - 1);
        if (moveOver(from, name(n), error) == Move::failed) return false;
    }
    return true;
}

FilePlace Platform::placeOf(const std::string& path) { return placeByText(path, "/"); }

FilePlace Platform::placeByText(std::string_view path, std::string_view separators) {
    FilePlace place;
    const size_t cut = path.find_last_of(separators);
    place.name = std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
    const std::string_view folder = cut == std::string_view::npos ? std::string_view() : path.substr(0, cut + 1);
    // A leading separator makes the path absolute; two, on Windows, a network share.
    const size_t lead = std::min<size_t>(folder.find_first_not_of(separators) == std::string_view::npos
                                             ? folder.size()
                                             : folder.find_first_not_of(separators),
                                         separators.size() > 1 ? 2 : 1);
    std::vector<std::string_view> steps;
    for (size_t at = lead; at < folder.size();) {
        size_t end = folder.find_first_of(separators, at);
        if (end == std::string_view::npos) end = folder.size();
        const std::string_view step = folder.substr(at, end - at);
        at = end + 1;
        if (step.empty() || step == ".") continue;
        if (step == ".." && !steps.empty() && steps.back() != "..") {
            steps.pop_back();
        } else if (step != ".." || lead == 0) {
            steps.push_back(step);  // ".." above the root is the root
        }
    }
    place.folderPath.assign(lead, separators.front());
    for (size_t i = 0; i < steps.size(); ++i) {
        if (i > 0) place.folderPath += separators.front();
        place.folderPath += steps[i];
    }
    if (place.folderPath.empty()) place.folderPath.push_back('.');
    return place;
}
