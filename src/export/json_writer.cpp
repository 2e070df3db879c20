#include "export/json_writer.hpp"

#include <charconv>
#include <cmath>

namespace glyphway::export_ {

void append_json_string(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 15];
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

void append_json_number(std::string& out, double number) {
    if (!std::isfinite(number)) {
        out += "null";
        return;
    }
    if (number == 0.0) number = 0.0;  // no "-0"
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    out.append(digits, end);
}

void JsonWriter::separate() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (has_element_.empty()) return;
    if (has_element_.back()) out_ += ',';
    has_element_.back() = true;
}

void JsonWriter::begin_object() {
    separate();
    out_ += '{';
    has_element_.push_back(false);
}

void JsonWriter::end_object() {
    out_ += '}';
    has_element_.pop_back();
}

void JsonWriter::begin_array() {
    separate();
    out_ += '[';
    has_element_.push_back(false);
}

void JsonWriter::end_array() {
    out_ += ']';
    has_element_.pop_back();
}

void JsonWriter::key(std::string_view name) {
    separate();
    append_json_string(out_, name);
    out_ += ':';
    after_key_ = true;
}

void JsonWriter::value(std::string_view text) {
    separate();
    append_json_string(out_, text);
}

void JsonWriter::value(double number) {
    separate();
    append_json_number(out_, number);
}

void JsonWriter::value(std::int64_t number) {
    separate();
    out_ += std::to_string(number);
}

void JsonWriter::value(std::uint64_t number) {
    separate();
    out_ += std::to_string(number);
}

void JsonWriter::value(bool flag) {
    separate();
    out_ += flag ? "true" : "false";
}

void JsonWriter::null() {
    separate();
    out_ += "null";
}

void JsonWriter::raw(std::string_view json) {
    separate();
    out_ += json;
}

}  // namespace glyphway::export_
