#pragma once
// The engine values an entry point fixes for the engine options it does
// not take. A billboard carries flat text: no extrusion, no per-label
// objects, and auto-fit may tighten letters down to the spacing asked for
// but never below it, cutting what still does not fit. The label table
// draws no meshes either: it is placed as the billboard's text is, without
// extrusion or objects. An entry point that takes an option itself passes
// the caller's value instead.
#include "pipeline/options.hpp"

namespace glyphway::pipeline {

struct FixedEngineValue {
    const char* name;     // the engine option
    unsigned takers;      // the entry points that fix it (OptionTaker bits)
    const char* same_as;  // the option whose value it takes; null for `value`
    OptionDefault value;  // the value, when it is not another option's
};

inline constexpr FixedEngineValue kFixedEngineValues[] = {
    {"min_letter_spacing", kCsv, "letter_spacing", nullptr},
    {"overflow_strategy", kCsv, nullptr, "truncate"},
    {"extrusion_depth", kCsv | kLabels, nullptr, 0.0},
    {"separate_objects", kCsv | kLabels, nullptr, true},
};

// The value `taker` fixes for the engine option `name`, or null when it
// fixes none.
constexpr const FixedEngineValue* fixed_engine_value(unsigned taker, std::string_view name) {
    for (const FixedEngineValue& v : kFixedEngineValues) {
        if ((v.takers & taker) != 0 && name == v.name) return &v;
    }
    return nullptr;
}

}  // namespace glyphway::pipeline
