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

#include <functional>
#include <string>
#include <vector>

class MessageBuffer {
public:
    void console(std::string text);
    void error(std::string text);  // standard error
    void log(std::string path, std::string line);
    // Lines known only once the work before has ended: write runs when the
    // buffer is flushed, in this place, and writes them as the flushing
    // thread writes lines.
    void later(std::function<void()> write);
    // Writes what is held, in the order it came, and empties the buffer.
    void flush();
    bool empty() const { return lines_.empty(); }

    // The buffer of the calling thread's capture; null when none.
    static MessageBuffer* current();
    // Text for standard error: held in the calling thread's capture, or
    // written at once when there is none.
    static void writeStderr(std::string text);

private:
    enum class Kind { console, error, log, later };
    struct Line {
        Kind kind;
        std::string path;  // log file
        std::string text;
        std::function<void()> later;
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
