#pragma once
// Running the update program: started directly (no shell) with an argument
// vector, its standard output handed back line by line, its standard error
// read as it comes (so it can never block on a full pipe) and its last bytes
// kept, since that is where a failing program says why. The child is always
// waited for. Safe to call from any thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ProcessLimits {
    // Once the program has ended, how long its output may stay open (held by a
    // process it left running) before reading stops.
    int64_t outputGraceMs = 5'000;
    // A longer output line is handed back in pieces of this size.
    size_t maxLineBytes = 64 * 1024;
    // A program still running after this long is killed and the run fails as
    // an I/O error: a hung update program would otherwise hold the generation
    // pass, and with it every later pass and reload, for ever. Ten minutes is
    // far beyond any sane update and equals the default pause between passes.
    int64_t maxRunMs = 600'000;
};

struct ProcessRunResult {
    enum class Outcome {
        Exited,        // the program ran and ended; exitValue is set
        StartRefused,  // the platform refused the start (bad argument, no resources)
        IoError        // starting it, or reading its output, failed
    };
    Outcome outcome = Outcome::IoError;
    // The exit status, or 128 + the signal number when a signal ended it.
    int exitValue = 0;
    std::string error;
    // The last kErrorTailBytes of the program's standard error.
    std::string errorTail;
    static constexpr size_t kErrorTailBytes = 4096;
};

// Appends what the program wrote on its standard error to tail, keeping only
// the last ProcessRunResult::kErrorTailBytes.
inline void keepErrorTail(std::string& tail, const char* data, size_t n) {
    constexpr size_t keep = ProcessRunResult::kErrorTailBytes;
    if (n >= keep) {
        tail.assign(data + (n - keep), keep);
        return;
    }
    tail.append(data, n);
    if (tail.size() > keep) tail.erase(0, tail.size() - keep);
}

// Platform::runProgram: args[0] is the program itself. Standard input reads
// as empty. onLine gets each output line without its line end ("\n", "\r\n"
// or "\r"), as raw bytes.
