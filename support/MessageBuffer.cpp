#include "support/MessageBuffer.h"

#include "support/Indication_Tools.h"
#include "support/Platform.h"

namespace {

thread_local MessageBuffer* capturing = nullptr;

}  // namespace

void MessageBuffer::console(std::string text) {
    lines_.push_back(Line{Kind::console, std::string(), std::move(text)});
}

void MessageBuffer::error(std::string text) {
    lines_.push_back(Line{Kind::error, std::string(), std::move(text)});
}

void MessageBuffer::log(std::string path, std::string line) {
    lines_.push_back(Line{Kind::log, std::move(path), std::move(line)});
}

void MessageBuffer::flush() {
    flush(0, lines_.size());
    lines_.clear();
}

void MessageBuffer::flush(size_t from, size_t to) const {
    Platform& platform = Platform::current();
    for (size_t i = from; i < to && i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Kind::console) {
            platform.writeStdout(line.text);
            continue;
        }
        if (line.kind == Kind::error) {
            platform.writeStderr(line.text);
            continue;
        }
        Indication_Tools::writeLogLine(line.path, line.text);
    }
}

MessageBuffer* MessageBuffer::current() { return capturing; }

void MessageBuffer::writeStderr(std::string text) {
    if (capturing != nullptr) {
        capturing->error(std::move(text));
    } else {
        Platform::current().writeStderr(text);
    }
}

ScopedMessageCapture::ScopedMessageCapture(MessageBuffer& buffer) : previous_(capturing) { capturing = &buffer; }

ScopedMessageCapture::~ScopedMessageCapture() { capturing = previous_; }
