#include "module/option_table.hpp"

#include <string_view>

#include "module/engine_convert.hpp"

namespace glyphway::module {

namespace {

using pipeline::OptionDefault;
using pipeline::OptionInfo;
using pipeline::OptionKind;

const char* kind_name(OptionKind kind) {
    switch (kind) {
        case OptionKind::text: return "text";
        case OptionKind::flag: return "flag";
        case OptionKind::real: return "real";
        case OptionKind::integer: return "integer";
        case OptionKind::optional_real: return "optional_real";
        case OptionKind::optional_integer: return "optional_integer";
        case OptionKind::paths: return "paths";
        case OptionKind::optional_text: return "optional_text";
    }
    return "";
}

const char* range_name(pipeline::OptionRange range) {
    switch (range) {
        case pipeline::OptionRange::any: return "any";
        case pipeline::OptionRange::finite: return "finite";
        case pipeline::OptionRange::non_negative: return "non_negative";
        case pipeline::OptionRange::positive: return "positive";
        case pipeline::OptionRange::sampling_interval: return "sampling_interval";
        case pipeline::OptionRange::turn_degrees: return "turn_degrees";
        case pipeline::OptionRange::decimals: return "decimals";
        case pipeline::OptionRange::style_name: return "style_name";
        case pipeline::OptionRange::cjk_orientation_name: return "cjk_orientation_name";
    }
    return "";
}

// The entry points by the names Python knows them by.
constexpr std::pair<unsigned, const char*> kTakerNames[] = {
    {pipeline::kObj, "generate"},     {pipeline::kGlb, "generate_glb"},
    {pipeline::kCsv, "generate_csv"}, {pipeline::kEngine, "engine"},
    {pipeline::kLabels, "labels"},    {pipeline::kReading, "reading"},
};

py::tuple words(std::string_view text) {
    py::list out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) out.append(py::str(std::string(text.substr(start, end - start))));
        start = end + 1;
    }
    return py::tuple(out);
}

py::object text_or_none(const char* text) {
    return *text ? py::object(py::str(text)) : py::object(py::none());
}

}  // namespace

py::object option_default(const OptionInfo& o) {
    const OptionDefault& d = o.default_value;
    switch (d.type) {
        case OptionDefault::Type::text: return py::str(d.text);
        case OptionDefault::Type::flag: return py::bool_(d.number != 0.0);
        case OptionDefault::Type::integer: return py::int_(static_cast<long>(d.number));
        case OptionDefault::Type::real: return py::float_(d.number);
        default: return py::none();
    }
}

py::object engine_default(const OptionInfo& o) {
    if (o.taken_by(pipeline::kIntegerInEngine)) {
        return py::int_(static_cast<long>(o.default_value.number));
    }
    return option_default(o);
}

std::string signature_parameter(const OptionInfo& o, const py::object& default_) {
    if (o.default_value.type == OptionDefault::Type::required) return o.name;
    return std::string(o.name) + "=" + host_text(py::repr(default_));
}

void register_option_table(py::module_& m) {
    py::list rows;
    for (const OptionInfo& o : pipeline::kOptionTable) {
        py::dict row;
        row["name"] = o.name;
        row["kind"] = kind_name(o.kind);
        row["required"] = o.default_value.type == OptionDefault::Type::required;
        row["default"] = option_default(o);
        py::list takers;
        for (const auto& [bit, name] : kTakerNames) {
            if (o.taken_by(bit)) takers.append(name);
        }
        row["takers"] = py::tuple(takers);
        row["keyword_only"] = o.keyword_only();
        row["engine_position"] = o.engine_position < 0 ? py::object(py::none())
                                                       : py::object(py::int_(o.engine_position));
        row["engine_default"] = o.taken_by(pipeline::kEngine) ? engine_default(o) : py::none();
        row["range"] = range_name(o.range);
        row["cli_group"] = text_or_none(o.cli_group);
        row["cli_flag"] = text_or_none(o.cli_flag);
        row["metavar"] = text_or_none(o.metavar);
        row["choices"] = words(o.choices);
        row["help"] = o.help;
        rows.append(std::move(row));
    }
    m.attr("_option_table") = py::tuple(rows);
}

}  // namespace glyphway::module
