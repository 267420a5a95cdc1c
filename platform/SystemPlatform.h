#pragma once
// The operating system's own platform object, and the services it is made
// of, defined by the folder the target builds (platform/posix or
// platform/windows). Only process entries and the platform folders use this.

#include "support/Platform.h"

// Made on first use. A process entry installs it (Platform::install) before
// anything asks for Platform::current().
Platform& systemPlatform();

namespace os {

ProcessRunResult runProgram(const std::vector<std::string>& args,
                            const std::function<void(const std::string& line)>& onLine, const ProcessLimits& limits);
bool isUsableHttpUrl(const std::string& url);
HttpGetResult httpGet(const std::string& url, const std::optional<std::string>& authorization,
                      const HttpGetLimits& limits);
HttpGetResult httpFetch(const std::string& url, const HttpFetchRequest& request, const HttpGetLimits& limits);
bool lookupFontFace(const std::string& family, bool bold, bool italic, FontFaceSource& out);
void releaseFontLookup();

// The services above as the system platform's methods: both platform
// objects derive from this.
class SystemServices : public Platform {
public:
    ProcessRunResult runProgram(const std::vector<std::string>& args,
                                const std::function<void(const std::string& line)>& onLine,
                                const ProcessLimits& limits) override {
        return os::runProgram(args, onLine, limits);
    }
    bool isUsableHttpUrl(const std::string& url) override { return os::isUsableHttpUrl(url); }
    HttpGetResult httpGet(const std::string& url, const std::optional<std::string>& authorization,
                          const HttpGetLimits& limits) override {
        return os::httpGet(url, authorization, limits);
    }
    HttpGetResult httpFetch(const std::string& url, const HttpFetchRequest& request,
                            const HttpGetLimits& limits) override {
        return os::httpFetch(url, request, limits);
    }
    bool lookupFontFace(const std::string& family, bool bold, bool italic, FontFaceSource& out) override {
        return os::lookupFontFace(family, bold, italic, out);
    }
    void releaseFontLookup() override { os::releaseFontLookup(); }
};

}  // namespace os

// Process-wide set-up of the operating system's side, the same whichever
// platform object is installed.
namespace ProcessSetup {

// Called first thing at process entry: installs the system's platform, then
// the signal, time zone and console settings the service relies on.
void atEntry();

// Registers a handler that Platform::exitProcess runs before the process
// ends (the C runtime's quick-exit handlers, where it has them).
void atQuickExit(void (*handler)());

}  // namespace ProcessSetup
