#pragma once
// Console and log lines held back while work runs on a worker thread, to be
// written later together and in the order of the work, as if the work had
// run alone. While a ScopedMessageCapture lives, the console, error and log
// lines of its thread (Outils_AfficheMsg_System, AddLog, writeStderr and what
// calls them) go to its buffer; log lines keep the time they were made at and
// the file they were meant for.
//
// A buffer belongs to one thread while it captures; flush it afterwards from
// any one thread (not one that is capturing).

#include <cstddef>
#include <string>
#include <vector>

class MessageBuffer {
public:
    void console(std::string text);
    void error(std::string text);  // standard error
    void log(std::string path, std::string line);
    // Writes what is held, in the order it came, and empties the buffer.
    void flush();
    // Writes the lines held from the from-th up to (not including) the to-th.
    void flush(size_t from, size_t to) const;
    bool empty() const { return lines_.empty(); }
    size_t size() const { return lines_.size(); }
    void clear() { lines_.clear(); }

    // The buffer of the calling thread's capture; null when none.
    static MessageBuffer* current();
    // Text for standard error: held in the calling thread's capture, or
    // written at once when there is none.
    static void writeStderr(std::string text);

private:
    enum class Kind { console, error, log };
    struct Line {
        Kind kind;
        std::string path;  // log file
        std::string text;
    };
    std::vector<Line> lines_;
};

class ScopedMessageCapture {
public:
    explicit ScopedMessageCapture(MessageBuffer& buffer);
    ~ScopedMessageCapture();
    ScopedMessageCapture(const ScopedMessageCapture&) = delete;
    ScopedMessageCapture& operator=(const ScopedMessageCapture&) = delete;

private:
    MessageBuffer* previous_;
};
