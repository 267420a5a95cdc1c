#include "support/MessageBuffer.h"

#include "support/Indication_Tools.h"
#include "support/Platform.h"

namespace {

thread_local MessageBuffer* capturing = nullptr;

}  // namespace

void MessageBuffer::console(std::string text) { lines_.push_back(Line{false, std::string(), std::move(text)}); }

void MessageBuffer::log(std::string path, std::string line) {
    lines_.push_back(Line{true, std::move(path), std::move(line)});
}

void MessageBuffer::flush() {
    Platform& platform = Platform::current();
    for (const Line& line : lines_) {
        if (!line.log) {
            platform.writeStdout(line.text);
            continue;
        }
        std::string error;
        if (!platform.appendFile(line.path, line.text, error)) {
            Indication_Tools::Outils_AfficheMsg_System("System", "write log error: " + error, false);
        }
    }
    lines_.clear();
}

MessageBuffer* MessageBuffer::current() { return capturing; }

ScopedMessageCapture::ScopedMessageCapture(MessageBuffer& buffer) : previous_(capturing) { capturing = &buffer; }

ScopedMessageCapture::~ScopedMessageCapture() { capturing = previous_; }
