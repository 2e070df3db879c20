#pragma once
// Every option of one labelling run: the table of options.def as data
// (kOptionTable, for the bindings and the command line) and as one typed
// struct with its defaults (Options, for the native run), plus the rules of
// which values a run can use (options.cpp). The host engine stores its
// configuration as loose attributes; the module reads them into Options,
// and the native run takes nothing else.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "engine/candidate_sampling.hpp"
#include "engine/orientation_frame.hpp"
#include "engine/road_grouping.hpp"
#include "engine/text_autofit.hpp"
#include "placement/upright_run.hpp"

namespace glyphway::pipeline {

// How an entry point converts a given value.
enum class OptionKind {
    text,              // exactly a str
    flag,              // any object's truth value
    real,              // a float
    integer,           // an int (a number is truncated)
    optional_real,     // None or a float
    optional_integer,  // None or an int
    paths,             // None, a str or os.PathLike, or a list or tuple of them:
                       // a str for one, a tuple of str for several
    optional_text,     // None or exactly a str
};

// Which entry points take an option, and how (bits of OptionInfo::takers).
enum OptionTaker : unsigned {
    kObj = 1u << 0,     // generate and the obj command
    kGlb = 1u << 1,     // generate_glb and the glb command
    kCsv = 1u << 2,     // generate_csv and the csv command
    kEngine = 1u << 3,  // the engine constructor
    kLabels = 1u << 4,  // place_labels, preview and their commands
    kKeywordOnly = 1u << 5,
    // The engine's default is the option's number as an int: the engine
    // stores what it is given without conversion, and has always defaulted
    // to the int.
    kIntegerInEngine = 1u << 6,
    // How the road table is read (which layer, which encoding...): the
    // entry point sets it on the engine as an attribute after building it,
    // since the engine constructor's parameters are fixed; the reading asks
    // the engine for it and takes the default when the attribute is absent,
    // so an engine built by hand reads as it always has.
    kReading = 1u << 7,
};

// Which values of an option a run can use; see options.cpp.
enum class OptionRange {
    any,
    finite,             // a finite number
    non_negative,       // a finite number >= 0
    positive,           // a positive finite number
    sampling_interval,  // positive and finite when no text_count is set
    turn_degrees,       // above 0, at most 180
    decimals,           // a whole number from 0 to kMaxAngleDecimals
    style_name,         // one of the placement styles
    cjk_orientation_name,  // along, upright or auto
};

// A default as written in the table: required (the paths), None, text, a
// flag or a number (an int or a float, as written).
struct OptionDefault {
    enum class Type { required, none, text, flag, integer, real };
    Type type;
    const char* text = nullptr;
    double number = 0.0;

    constexpr OptionDefault(std::nullptr_t) : type(Type::required) {}
    constexpr OptionDefault(std::nullopt_t) : type(Type::none) {}
    constexpr OptionDefault(const char* t) : type(Type::text), text(t) {}
    constexpr OptionDefault(bool b) : type(Type::flag), number(b ? 1.0 : 0.0) {}
    constexpr OptionDefault(int i) : type(Type::integer), number(i) {}
    constexpr OptionDefault(double d) : type(Type::real), number(d) {}
};

struct OptionInfo {
    const char* name;
    OptionKind kind;
    OptionDefault default_value;
    unsigned takers;      // OptionTaker bits
    int engine_position;  // among the engine constructor's parameters; -1: not one
    OptionRange range;
    const char* cli_group;  // "" for the paths
    const char* cli_flag;
    const char* metavar;  // "" for none
    const char* choices;  // space separated; "" for none
    const char* help;

    constexpr bool taken_by(unsigned taker) const { return (takers & taker) != 0; }
    constexpr bool keyword_only() const { return taken_by(kKeywordOnly); }
};

inline constexpr OptionInfo kOptionTable[] = {
#define GLYPHWAY_PATH(name, takers, engine_position, help) \
    {#name, OptionKind::text, nullptr, takers, engine_position, OptionRange::any, "", "", "", "", help},
#define GLYPHWAY_OPTION(name, kind, type, default_value, takers, engine_position, range, cli_group, \
                        cli_flag, metavar, choices, help)                                          \
    {#name,     OptionKind::kind, default_value, takers, engine_position, OptionRange::range,      \
     cli_group, cli_flag,         metavar,       choices, help},
#include "pipeline/options.def"
#undef GLYPHWAY_OPTION
#undef GLYPHWAY_PATH
};
inline constexpr std::size_t kOptionCount = sizeof(kOptionTable) / sizeof(kOptionTable[0]);

// The row named `name`; a name not in the table does not compile where it
// is used in a constant expression, and throws std::logic_error otherwise.
constexpr const OptionInfo& option_info(std::string_view name) {
    for (const OptionInfo& o : kOptionTable) {
        if (name == o.name) return o;
    }
    throw std::logic_error("no such option");
}

// How many rows `taker` takes, and how many of them engine_position counts.
constexpr std::size_t options_taken_by(unsigned taker) {
    std::size_t n = 0;
    for (const OptionInfo& o : kOptionTable) n += o.taken_by(taker) ? 1 : 0;
    return n;
}

// The placement styles. interval: candidates every distance_interval along
// each piece, solved for collisions; cartographic: along whole merged roads.
enum class Style { interval, cartographic };
inline constexpr const char* kIntervalStyleName = option_info("style").default_value.text;
inline constexpr const char* kCartographicStyleName = "cartographic";

// What a name that still does not fit becomes: cut with an ellipsis, or
// kept whole at the smallest size.
enum class Overflow { truncate, keep };

// An enum field's default parsed from its name, by the rule the engine
// reads the attribute with: anything but the first name listed for an
// enum with a catch-all falls to the catch-all.
constexpr engine::Posture posture_named(std::string_view name) {
    return name == "flat" ? engine::Posture::flat : engine::Posture::upright;
}
constexpr engine::RepeatMode repeat_mode_named(std::string_view name) {
    return name == "feature" ? engine::RepeatMode::feature
           : name == "name"  ? engine::RepeatMode::name
                             : engine::RepeatMode::name_connected;
}
constexpr Overflow overflow_named(std::string_view name) {
    return name == "truncate" ? Overflow::truncate : Overflow::keep;
}
// The names of placement::CjkOrientation, as the option spells them.
constexpr placement::CjkOrientation cjk_orientation_default(std::string_view name) {
    return name == "upright" ? placement::CjkOrientation::upright
           : name == "auto"  ? placement::CjkOrientation::automatic
                             : placement::CjkOrientation::along;
}

template <typename T>
T field_default(const char* name) {
    if constexpr (std::is_same_v<T, engine::Posture>) return posture_named(name);
    else if constexpr (std::is_same_v<T, engine::RepeatMode>) return repeat_mode_named(name);
    else if constexpr (std::is_same_v<T, Overflow>) return overflow_named(name);
    else if constexpr (std::is_same_v<T, placement::CjkOrientation>) {
        return cjk_orientation_default(name);
    }
    else if constexpr (std::is_same_v<T, Style>) {
        return std::string_view(name) == kCartographicStyleName ? Style::cartographic
                                                                : Style::interval;
    } else return T(name);
}
template <typename T, typename V>
T field_default(V value) {
    return T(value);
}

struct Options {
    using Overflow = pipeline::Overflow;

#define GLYPHWAY_PATH(name, takers, engine_position, help)
#define GLYPHWAY_OPTION(name, kind, type, default_value, ...) \
    type name = field_default<type>(default_value);
#include "pipeline/options.def"
#undef GLYPHWAY_OPTION
#undef GLYPHWAY_PATH

    // The estimated width of one character, which the engine derives from
    // its font size; font_size * engine::kCharWidthPerFontSize when unset.
    std::optional<double> char_width_est;

    // The fonts behind font_path, tried in order for a character it has
    // no glyph for (the engine's fallback_fonts).
    std::vector<std::string> fallback_fonts;

    // font_path (none: "") and the fallback fonts after it.
    std::vector<std::string> font_chain() const;

    double char_width() const {
        return char_width_est ? *char_width_est : font_size * engine::kCharWidthPerFontSize;
    }

    engine::SamplingSettings sampling() const;
    engine::AutofitSettings autofit() const;
    engine::GroupingSettings grouping() const;
};

// --- Which values a run can use (options.cpp) -------------------------------

// A value no run can use; what() names the option and the value.
struct OptionError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

inline constexpr int kMaxAngleDecimals = 17;

// Checks a number of `option` (a finite, non_negative, positive or
// turn_degrees range; any other range accepts every number). `spelled` is
// the value as the caller writes it, for the message:
//   "font_size must be a positive finite number, not nan"
//   "max_char_angle must be above 0 and at most 180 degrees, not 0"
void check_number(const OptionInfo& option, double value, const std::string& spelled);

// The placement style named `name`; `spelled` as above.
//   "style must be 'interval' or 'cartographic', not 'specified'"
Style style_named(std::string_view name, const std::string& spelled);

// The character orientation named `name` (along, upright or auto);
// `spelled` as above.
//   "cjk_orientation must be 'along', 'upright' or 'auto', not 'sideways'"
placement::CjkOrientation cjk_orientation_named(std::string_view name, const std::string& spelled);

// The decimals of the rotation columns from the text of angle_precision,
// or nothing when the text is not a whole number. A count beyond
// kMaxAngleDecimals is refused at once: a double holds no more digits, and
// a count in the millions would have the formatter allocate gigabytes
// before failing.
//   "angle_precision must be a whole number from 0 to 17, not 18"
std::optional<int> angle_decimals(std::string_view digits);

// The sampling settings of `options`: a positive text_count, else the
// interval, which must then be positive and finite; a count may not exceed
// engine::kMaxCandidatesPerLine.
//   "distance_interval must be a positive finite number when text_count is not set, not 0"
void check_sampling(const Options& options);

}  // namespace glyphway::pipeline
