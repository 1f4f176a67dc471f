#pragma once
// A small JSON writer for the tool's --json output: objects, arrays, strings, numbers and booleans written
// as they come, commas and escaping done here. Strings are UTF-16 text written as UTF-8; quotes, backslashes
// and control characters are escaped ("\n", "\u001b"), and a lone surrogate (a Linux path byte that is not
// UTF-8, see platform/native_path.h) as "\udcf5", so that every output parses.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TJsonWriter {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The name of the next value in an object.
    void Key(std::string_view name);
    void String(std::u16string_view text);
    void Number(uint64_t value);
    void Bool(bool value);
    void Null();

    // What has been written so far; TakeText empties it (the nesting stays), for output in pieces.
    const std::string& Text() const { return text_; }
    std::string TakeText();

private:
    void BeforeValue();

    std::string text_;
    std::vector<bool> hasValue_; // per open object or array: whether a value was written in it
    bool afterKey_ = false;
};

// text as a JSON string, quotes included.
std::string JsonString(std::u16string_view text);
