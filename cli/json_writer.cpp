#include "cli/json_writer.h"

#include <cstdio>

namespace {

void AppendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

void AppendEscape(std::string& out, char16_t unit) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(unit));
    out += escaped;
}

void AppendJsonString(std::string& out, std::u16string_view text) {
    out += '"';
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        switch (unit) {
        case u'"':
            out += "\\\"";
            continue;
        case u'\\':
            out += "\\\\";
            continue;
        case u'\n':
            out += "\\n";
            continue;
        case u'\r':
            out += "\\r";
            continue;
        case u'\t':
            out += "\\t";
            continue;
        default:
            break;
        }
        if (unit < 0x20 || unit == 0x7F) {
            AppendEscape(out, unit);
        } else if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] < 0xE000) {
            AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            AppendEscape(out, unit); // alone: UTF-8 cannot carry it
        } else {
            AppendUtf8(out, unit);
        }
    }
    out += '"';
}

} // namespace

std::string JsonString(std::u16string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

void TJsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasValue_.empty()) {
        if (hasValue_.back()) {
            text_ += ',';
        }
        hasValue_.back() = true;
    }
}

void TJsonWriter::BeginObject() {
    BeforeValue();
    text_ += '{';
    hasValue_.push_back(false);
}

void TJsonWriter::EndObject() {
    hasValue_.pop_back();
    text_ += '}';
}

void TJsonWriter::BeginArray() {
    BeforeValue();
    text_ += '[';
    hasValue_.push_back(false);
}

void TJsonWriter::EndArray() {
    hasValue_.pop_back();
    text_ += ']';
}

void TJsonWriter::Key(std::string_view name) {
    BeforeValue();
    text_ += '"';
    text_ += name; // the program's own names: nothing to escape
    text_ += "\":";
    afterKey_ = true;
}

void TJsonWriter::String(std::u16string_view text) {
    BeforeValue();
    AppendJsonString(text_, text);
}

void TJsonWriter::Number(uint64_t value) {
    BeforeValue();
    text_ += std::to_string(value);
}

void TJsonWriter::Bool(bool value) {
    BeforeValue();
    text_ += value ? "true" : "false";
}

void TJsonWriter::Null() {
    BeforeValue();
    text_ += "null";
}

std::string TJsonWriter::TakeText() {
    std::string taken;
    taken.swap(text_);
    return taken;
}
