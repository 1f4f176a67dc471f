#pragma once
// A small strict JSON parser for checking the tool's --json output: objects, arrays, strings (every escape,
// surrogate pairs joined, text kept as UTF-8), numbers, true, false, null. Anything malformed, or text after
// the value, throws std::runtime_error.
#include <cctype>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/ustring.h"

namespace json_test {

struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text; // UTF-8; a lone surrogate escape becomes its three-byte form
    std::vector<Value> items;
    std::map<std::string, Value> members;

    const Value& operator[](const std::string& key) const {
        const auto found = members.find(key);
        if (kind != Kind::Object || found == members.end()) {
            throw std::runtime_error("no member " + key);
        }
        return found->second;
    }
    const Value& operator[](size_t i) const { return items.at(i); }
};

class Parser {
public:
    explicit Parser(const std::string& text) : text_(text) {}
    Value ParseDocument() {
        Value value = ParseValue();
        SkipSpace();
        if (at_ != text_.size()) {
            Fail("text after the value");
        }
        return value;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error("JSON: " + what + " at " + std::to_string(at_));
    }
    void SkipSpace() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t')) {
            ++at_;
        }
    }
    char Peek() {
        SkipSpace();
        if (at_ >= text_.size()) {
            Fail("unexpected end");
        }
        return text_[at_];
    }
    void Expect(char c) {
        if (Peek() != c) {
            Fail(std::string("expected ") + c);
        }
        ++at_;
    }
    bool Literal(const char* word) {
        const std::string w = word;
        if (text_.compare(at_, w.size(), w) == 0) {
            at_ += w.size();
            return true;
        }
        return false;
    }
    uint32_t Hex4() {
        if (at_ + 4 > text_.size()) {
            Fail("short \\u escape");
        }
        const std::string digits = text_.substr(at_, 4);
        for (char c : digits) {
            if (!std::isxdigit(static_cast<unsigned char>(c))) {
                Fail("bad \\u escape");
            }
        }
        at_ += 4;
        return static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
    }
    std::string ParseString() {
        Expect('"');
        std::string out;
        while (true) {
            if (at_ >= text_.size()) {
                Fail("unterminated string");
            }
            const unsigned char c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"') {
                return out;
            }
            if (c < 0x20) {
                Fail("control character in a string");
            }
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at_ >= text_.size()) {
                Fail("unterminated escape");
            }
            const char e = text_[at_++];
            switch (e) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                std::u16string units(1, static_cast<char16_t>(Hex4()));
                if (units[0] >= 0xD800 && units[0] < 0xDC00 && text_.compare(at_, 2, "\\u") == 0) {
                    const size_t back = at_;
                    at_ += 2;
                    const char16_t low = static_cast<char16_t>(Hex4());
                    if (low >= 0xDC00 && low < 0xE000) {
                        units += low;
                    } else {
                        at_ = back;
                    }
                }
                AppendUtf8(out, units);
                break;
            }
            default:
                Fail("bad escape");
            }
        }
    }
    Value ParseValue() {
        Value value;
        const char c = Peek();
        if (c == '{') {
            ++at_;
            value.kind = Value::Kind::Object;
            if (Peek() == '}') {
                ++at_;
                return value;
            }
            while (true) {
                const std::string key = ParseString();
                Expect(':');
                value.members[key] = ParseValue();
                if (Peek() == ',') {
                    ++at_;
                    continue;
                }
                Expect('}');
                return value;
            }
        }
        if (c == '[') {
            ++at_;
            value.kind = Value::Kind::Array;
            if (Peek() == ']') {
                ++at_;
                return value;
            }
            while (true) {
                value.items.push_back(ParseValue());
                if (Peek() == ',') {
                    ++at_;
                    continue;
                }
                Expect(']');
                return value;
            }
        }
        if (c == '"') {
            value.kind = Value::Kind::String;
            value.text = ParseString();
            return value;
        }
        if (Literal("true") || Literal("false")) {
            value.kind = Value::Kind::Bool;
            value.boolean = text_[at_ - 1] == 'e' && text_[at_ - 2] == 'u';
            return value;
        }
        if (Literal("null")) {
            return value;
        }
        size_t used = 0;
        try {
            value.number = std::stod(text_.substr(at_, 32), &used);
        } catch (const std::exception&) {
            Fail("bad value");
        }
        if (used == 0) {
            Fail("bad value");
        }
        at_ += used;
        value.kind = Value::Kind::Number;
        return value;
    }

    const std::string& text_;
    size_t at_ = 0;
};

inline Value Parse(const std::string& text) {
    return Parser(text).ParseDocument();
}

} // namespace json_test
