#pragma once
// A platform that keeps console output and appended files in memory, so a
// test can check the exact messages and log lines an operation produced.
// Everything else goes to the platform that was in force when it was made.

#include "support/Platform.h"

#include <map>
#include <mutex>
#include <string>

class RecordingPlatform : public PlatformWrapper {
public:
    RecordingPlatform() : PlatformWrapper(Platform::current()) {}

    void writeStdout(std::string_view text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        console_.append(text);
    }
    bool appendFile(const std::string& path, std::string_view data, std::string& error) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failAppends_) {
            error = "cannot open " + path + " (refused by the test)";
            return false;
        }
        files_[path].append(data);
        return true;
    }

    void failAppends(bool fail) {
        std::lock_guard<std::mutex> lock(mutex_);
        failAppends_ = fail;
    }
    std::string console() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return console_;
    }
    std::string file(const std::string& path) const {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = files_.find(path);
        return it == files_.end() ? std::string() : it->second;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        console_.clear();
        files_.clear();
    }

protected:
    mutable std::mutex mutex_;

private:
    std::string console_;
    std::map<std::string, std::string> files_;
    bool failAppends_ = false;
};
