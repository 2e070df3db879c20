#pragma once
// A small streaming JSON writer for the glTF header: compact, in the order
// the caller writes, so the same calls give the same bytes.
//
// Numbers are written in their shortest form that reads back to the same
// double, so a double (an origin, an anchor) survives the text exactly; a
// float32 value widened to double reads back to that float32 too. JSON has
// no NaN or infinity: they are written as null.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace glyphway::export_ {

class JsonWriter {
public:
    explicit JsonWriter(std::string& out) : out_(out) {}

    void begin_object();
    void end_object();
    void begin_array();
    void end_array();
    // Starts a member of the current object; its value follows.
    void key(std::string_view name);

    void value(std::string_view text);
    void value(const char* text) { value(std::string_view(text)); }
    void value(double number);
    void value(std::int64_t number);
    void value(std::uint64_t number);
    void value(int number) { value(static_cast<std::int64_t>(number)); }
    void value(unsigned number) { value(static_cast<std::uint64_t>(number)); }
    void value(bool flag);
    void null();

    // Text that is already JSON (a number list formatted elsewhere).
    void raw(std::string_view json);

private:
    void separate();

    std::string& out_;
    // Per open container: whether it has an element yet.
    std::vector<bool> has_element_;
    bool after_key_ = false;
};

// `text` as a JSON string literal, quotes included. Invalid UTF-8 is kept as
// it is: the writer's strings come from the pipeline's own UTF-8.
void append_json_string(std::string& out, std::string_view text);

// The shortest decimal that reads back to `number`; "null" when not finite.
void append_json_number(std::string& out, double number);

}  // namespace glyphway::export_
