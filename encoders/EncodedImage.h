#pragma once
// What every encoder gives: the bytes of a whole image file, or why there are
// none. An encoder never prints or logs; its caller says what went wrong.

#include <string>
#include <string_view>
#include <utility>

class EncodedImage {
public:
    static EncodedImage of(std::string bytes) { return EncodedImage(true, std::move(bytes)); }
    // why is the encoder's fixed text; empty when there is nothing to say
    // (a PNG encoder given no image).
    static EncodedImage failed(std::string why) { return EncodedImage(false, std::move(why)); }

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    // The file's bytes; empty after a failure.
    const std::string& bytes() const { return ok_ ? text_ : none(); }
    std::string takeBytes() { return ok_ ? std::move(text_) : std::string(); }
    // Why there are no bytes; empty after a success.
    const std::string& failure() const { return ok_ ? none() : text_; }

private:
    EncodedImage(bool ok, std::string text) : ok_(ok), text_(std::move(text)) {}
    static const std::string& none() {
        static const std::string empty;
        return empty;
    }

    bool ok_;
    std::string text_;
};
