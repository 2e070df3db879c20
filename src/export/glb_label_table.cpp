#include "export/glb_label_table.hpp"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace glyphway::export_::gltf {

void write_label_table(JsonWriter& json, BufferBuilder& buffer,
                       const std::vector<DrawnLabel>& labels) {
    const std::size_t n = labels.size();
    std::vector<std::uint32_t> ids(n);
    std::vector<double> weights(n), sizes(n), anchors(3 * n);
    for (std::size_t i = 0; i < n; ++i) {
        ids[i] = static_cast<std::uint32_t>(labels[i].index);
        weights[i] = labels[i].weight;
        sizes[i] = labels[i].font_size;
        const std::array<double, 3> anchor = label_anchor(labels[i]);
        for (int c = 0; c < 3; ++c) anchors[3 * i + c] = anchor[c];
    }
    const auto strings = [&](auto column) {
        std::string values;
        std::vector<std::uint32_t> offsets{0};
        for (const DrawnLabel& label : labels) {
            values += column(label);
            if (values.size() > 0xFFFFFFFFu) throw std::length_error("label table too large");
            offsets.push_back(static_cast<std::uint32_t>(values.size()));
        }
        const int v = buffer.add_view(values);
        const int o = buffer.add_view(bytes_of(offsets));
        return std::make_pair(v, o);
    };
    const int id_view = buffer.add_view(bytes_of(ids));
    const auto text = strings([](const DrawnLabel& l) -> const std::string& { return l.text; });
    const auto fitted =
        strings([](const DrawnLabel& l) -> const std::string& { return l.effective_text; });
    const std::string no_group;
    const auto group = strings([&](const DrawnLabel& l) -> const std::string& {
        return l.group_id ? *l.group_id : no_group;
    });
    const int weight_view = buffer.add_view(bytes_of(weights));
    const int size_view = buffer.add_view(bytes_of(sizes));
    const int anchor_view = buffer.add_view(bytes_of(anchors));

    json.key("EXT_structural_metadata");
    json.begin_object();
    json.key("schema");
    json.begin_object();
    json.key("id");
    json.value("glyphway_labels");
    json.key("classes");
    json.begin_object();
    json.key("label");
    json.begin_object();
    json.key("name");
    json.value("Road label");
    json.key("properties");
    json.begin_object();
    const auto scalar = [&](const char* name, const char* component, const char* description) {
        json.key(name);
        json.begin_object();
        json.key("description");
        json.value(description);
        json.key("type");
        json.value("SCALAR");
        json.key("componentType");
        json.value(component);
        json.end_object();
    };
    const auto string = [&](const char* name, const char* description) {
        json.key(name);
        json.begin_object();
        json.key("description");
        json.value(description);
        json.key("type");
        json.value("STRING");
        json.end_object();
    };
    scalar("id", "UINT32", "position among all candidates, as in the OBJ object names");
    string("text", "the road name");
    string("effective_text", "the text drawn, after auto-fit");
    string("group_id", "the road the label belongs to");
    scalar("weight", "FLOAT64", "the label weight");
    scalar("font_size", "FLOAT64", "the font size drawn, after auto-fit");
    json.key("anchor");
    json.begin_object();
    json.key("description");
    json.value("the label's point on the road, in the working coordinate system");
    json.key("type");
    json.value("VEC3");
    json.key("componentType");
    json.value("FLOAT64");
    json.end_object();
    json.end_object();  // properties
    json.end_object();  // label
    json.end_object();  // classes
    json.end_object();  // schema

    json.key("propertyTables");
    json.begin_array();
    json.begin_object();
    json.key("name");
    json.value("labels");
    json.key("class");
    json.value("label");
    json.key("count");
    json.value(static_cast<std::uint64_t>(n));
    json.key("properties");
    json.begin_object();
    const auto values = [&](const char* name, int view) {
        json.key(name);
        json.begin_object();
        json.key("values");
        json.value(view);
        json.end_object();
    };
    const auto string_values = [&](const char* name, std::pair<int, int> views) {
        json.key(name);
        json.begin_object();
        json.key("values");
        json.value(views.first);
        json.key("stringOffsets");
        json.value(views.second);
        json.key("stringOffsetType");
        json.value("UINT32");
        json.end_object();
    };
    values("id", id_view);
    string_values("text", text);
    string_values("effective_text", fitted);
    string_values("group_id", group);
    values("weight", weight_view);
    values("font_size", size_view);
    values("anchor", anchor_view);
    json.end_object();
    json.end_object();
    json.end_array();
    json.end_object();
}

}  // namespace glyphway::export_::gltf
