#include "module/drawn_label_sources.hpp"

#include <string>
#include <utility>

#include "engine/label_footprint.hpp"
#include "export/drawn_records.hpp"
#include "export/glyph_layout.hpp"
#include "module/engine_convert.hpp"
#include "module/options_reader.hpp"
#include "module/interrupts.hpp"
#include "module/label_frame_refresh.hpp"
#include "pipeline/cartographic_labels.hpp"

namespace glyphway::module {

using engine::Field;

std::pair<py::object, py::object> unpack_pair(py::handle result) {
    PyObject* it = PyObject_GetIter(result.ptr());
    if (!it) {
        PyErr_Clear();
        throw py::type_error(std::string("cannot unpack non-iterable ") +
                             Py_TYPE(result.ptr())->tp_name + " object");
    }
    py::object iterator = py::reinterpret_steal<py::object>(it);
    py::object items[2];
    for (int i = 0; i < 2; ++i) {
        PyObject* item = PyIter_Next(iterator.ptr());
        if (!item) {
            if (PyErr_Occurred()) throw py::error_already_set();
            throw py::value_error("not enough values to unpack (expected 2, got " +
                                  std::to_string(i) + ")");
        }
        items[i] = py::reinterpret_steal<py::object>(item);
    }
    PyObject* extra = PyIter_Next(iterator.ptr());
    if (extra) {
        Py_DECREF(extra);
        throw py::value_error("too many values to unpack (expected 2)");
    }
    if (PyErr_Occurred()) throw py::error_already_set();
    return {std::move(items[0]), std::move(items[1])};
}

PreparedLabels prepare_labels(py::object self) {
    PreparedLabels prepared;
    if (uses_own_prepare_data(self)) {
        PreparedRun run = prepare_native(self);
        // The records keep the lines they stand on.
        run.table = FeatureTable{};
        prepared.working_crs = run.working_crs;
        prepared.native = std::move(run);
        return prepared;
    }
    auto [labels, working_crs] = unpack_pair(self.attr("_prepare_data")());
    prepared.dicts = std::move(labels);
    prepared.working_crs = std::move(working_crs);
    return prepared;
}

bool nothing_prepared(const PreparedLabels& prepared) {
    return prepared.native ? prepared.native->labels.empty() : !host_truth(prepared.dicts);
}

engine::EngineSizes engine_sizes(py::handle self) {
    return {host_float(self.attr("font_size")), host_float(self.attr("letter_spacing")),
            host_float(self.attr("char_width_est"))};
}

MeshSetup mesh_setup(py::handle self, MeshEngines& engines) {
    MeshSetup setup;
    setup.curved_text = host_truth(self.attr("curved_text"));
    setup.posture = read_posture(self);
    setup.font_size = self.attr("font_size");
    setup.letter_spacing = self.attr("letter_spacing");
    if (!setup.curved_text) setup.whole_string_engine = engines.native(self.attr("mesh_engine"));
    setup.base_font_size = host_float(setup.font_size);
    return setup;
}

namespace {

// Runs `draw` (a reading of the native view) with the core's failures as
// the host's errors.
template <typename Draw>
auto with_record_errors(Draw draw) -> decltype(draw()) {
    try {
        return draw();
    } catch (const export_::RecordWithoutLine&) {
        throw py::key_error(std::string(engine::field_key(Field::line)));
    } catch (const export_::NoFramePoint& e) {
        raise_no_point(e.empty_line());
    }
}

std::vector<export_::DrawnLabel> drawn_native(PreparedRun& run,
                                              const export_::RecordDrawing& drawing) {
    return with_record_errors(
        [&] { return export_::drawn_records(run.labels, drawing, check_host_signals); });
}

// What the points read of the engine: whether text curves, and its sizes.
export_::RecordDrawing point_drawing(py::handle self, engine::Posture posture) {
    export_::RecordDrawing drawing;
    drawing.posture = posture;
    drawing.curved_text = host_truth(self.attr("curved_text"));
    drawing.sizes = engine_sizes(self);
    return drawing;
}

}  // namespace

std::vector<export_::DrawnLabel> drawn_native_meshes(py::handle self, PreparedRun& run,
                                                     const MeshSetup& setup,
                                                     MeshEngines& engines, bool names) {
    export_::RecordDrawing drawing;
    drawing.posture = setup.posture;
    drawing.curved_text = setup.curved_text;
    drawing.sizes = engine_sizes(self);
    RecordMeshEngines meshes(engines, setup.font_size, setup.letter_spacing,
                             drawing.sizes.font_size, drawing.sizes.letter_spacing);
    drawing.meshes = &meshes;
    drawing.whole_string_engine = setup.whole_string_engine;
    drawing.names = names;
    return drawn_native(run, drawing);
}

std::vector<export_::DrawnLabel> drawn_native_points(py::handle self, PreparedRun& run,
                                                     engine::Posture posture) {
    return drawn_native(run, point_drawing(self, posture));
}

void visit_native_anchors(py::handle self, PreparedRun& run, engine::Posture posture,
                          const export_::DrawnLabelVisitor& visit) {
    export_::RecordDrawing drawing = point_drawing(self, posture);
    drawing.anchors_only = true;
    with_record_errors([&] {
        export_::visit_drawn_records(run.labels, drawing, visit, check_host_signals);
    });
}

namespace {

// A key's host object, or null when the record lacks it.
py::handle item(py::handle dict, Field field) {
    PyObject* v = PyDict_GetItemWithError(dict.ptr(), field_key_object(field).ptr());
    if (!v && PyErr_Occurred()) throw py::error_already_set();
    return v;
}

py::object item_or(py::handle dict, Field field, py::handle fallback) {
    py::handle v = item(dict, field);
    return py::reinterpret_borrow<py::object>(v ? v : fallback);
}

std::u32string host_u32(py::handle text) { return py::cast<std::u32string>(text); }

// The name column: the csv writer writes nothing for None and str() of
// anything else.
std::string csv_text(py::handle value) { return value.is_none() ? std::string() : host_text(value); }

// What the OBJ and GLB draw of a record dict: its mesh text, engine and
// road; its object name when asked.
void read_mesh(export_::DrawnLabel& label, engine::LabelRecord& r, py::handle d,
               py::handle text, const DictReading& reading, LineCache& lines) {
    const MeshSetup& setup = *reading.setup;
    if (reading.names) label.name = export_::obj_object_name(host_text(text));
    if (!setup.curved_text) {
        label.layout = export_::DrawnLayout::whole_string;
        label.drawn_text = host_u32(text);
        label.engine = setup.whole_string_engine;
        label.font_size = setup.base_font_size;
        return;
    }
    label.layout = export_::DrawnLayout::along_road;
    py::handle fitted = item(d, Field::effective_text);
    label.drawn_text = host_u32(fitted ? fitted : text);
    py::handle size = item(d, Field::effective_font_size);
    py::handle spacing = item(d, Field::effective_letter_spacing);
    label.engine = reading.engines->get(size ? size : py::handle(setup.font_size),
                                        spacing ? spacing : py::handle(setup.letter_spacing));
    label.font_size = size ? host_float(size) : setup.base_font_size;
    // An empty text has no glyphs and never reaches its road.
    if (!label.drawn_text.empty()) read_curved_road(r, d, lines, label);
}

// The GLB's row of its label table.
void read_glb_row(export_::DrawnLabel& label, py::handle d, py::handle text) {
    label.text = host_text(text);
    py::handle fitted = item(d, Field::effective_text);
    label.effective_text = host_text(fitted ? fitted : text);
    if (py::handle group = item(d, Field::group_id)) label.group_id = host_text(group);
    if (py::handle weight = item(d, Field::weight)) label.weight = host_float(weight);
}

}  // namespace

DrawnDicts drawn_dicts(py::handle dicts, const DictReading& reading, HostTextColumns* host) {
    DrawnDicts drawn;
    drawn.record_count = visit_drawn_dicts(
        dicts, reading,
        [&](export_::DrawnLabel&& label) { drawn.labels.push_back(std::move(label)); }, host);
    return drawn;
}

std::size_t visit_drawn_dicts(py::handle dicts, const DictReading& reading,
                              const export_::DrawnLabelVisitor& visit, HostTextColumns* host) {
    constexpr Field kSizeFields[] = {Field::text, Field::text_len, Field::effective_text_len,
                                     Field::effective_font_size, Field::effective_letter_spacing,
                                     Field::effective_char_width_est, Field::weight};
    const DictOutput output = reading.output;
    const bool mesh = output == DictOutput::obj || output == DictOutput::glb;
    // Curved text in the OBJ follows the road and never reads the stored
    // frame; every other output anchors something at it.
    const bool stored_frame = !(output == DictOutput::obj && reading.setup->curved_text);

    std::vector<py::object> records = record_dicts(dicts);
    LineCache lines;
    for_each_visible(records, [&](std::size_t index, engine::LabelRecord& r, py::handle d) {
        export_::DrawnLabel label;
        label.index = index;
        label.frame = label_frame(r, d, reading.posture, lines, stored_frame);
        if (output == DictOutput::label_table) {
            for (Field f : kSizeFields) read_field(r, f, d);
        }
        py::handle text = required_item(d, Field::text);
        if (mesh) read_mesh(label, r, d, text, reading, lines);
        if (output == DictOutput::glb) read_glb_row(label, d, text);
        if (output == DictOutput::billboard) label.text = csv_text(text);
        if (output == DictOutput::label_table) {
            label.effective_font_size = engine::effective_font_size(r, reading.sizes);
            label.footprint_length = engine::label_text_length(r, reading.sizes);
            label.weight = r.weight;
            host->text.append(text);
            host->effective_text.append(item_or(d, Field::effective_text, text));
            host->group_id.append(item_or(d, Field::group_id, py::none()));
            host->line_key.append(item_or(d, Field::line_key, py::none()));
        }
        visit(std::move(label));
    });
    return records.size();
}

// --- The sources of the writers ----------------------------------------------

bool PreparedSource::prepare() {
    prepared_ = prepare_labels(self_);
    host_.set_working_crs(prepared_.working_crs);
    return !nothing_prepared(prepared_);
}

engine::Posture PreparedSource::start_meshes() {
    setup_ = mesh_setup(self_, host_.engines());
    return setup_.posture;
}

engine::Posture PreparedSource::posture() { return read_posture(self_); }

std::vector<export_::DrawnLabel> PreparedSource::draw_meshes(pipeline::MeshOutput output,
                                                             bool names) {
    MeshEngines& engines = host_.engines();
    if (prepared_.native) {
        return drawn_native_meshes(self_, *prepared_.native, setup_, engines, names);
    }
    DictReading reading;
    reading.output = output == pipeline::MeshOutput::obj ? DictOutput::obj : DictOutput::glb;
    reading.posture = setup_.posture;
    reading.setup = &setup_;
    reading.engines = &engines;
    reading.names = names;
    return drawn_dicts(prepared_.dicts, reading).labels;
}

void PreparedSource::draw_points(engine::Posture posture,
                                 const export_::DrawnLabelVisitor& visit) {
    if (prepared_.native) {
        visit_native_anchors(self_, *prepared_.native, posture, visit);
        return;
    }
    DictReading reading;
    reading.output = DictOutput::billboard;
    reading.posture = posture;
    visit_drawn_dicts(prepared_.dicts, reading, visit);
}

std::size_t PreparedSource::points_at_most() {
    return prepared_.native ? prepared_.native->labels.size() : 0;
}

bool CartographicSource::prepare() {
    run_ = run_cartographic_style(self_, options_);
    host_.set_working_crs(run_.working_crs);
    return !run_.placed.labels.empty();
}

std::vector<export_::DrawnLabel> CartographicSource::draw_meshes(pipeline::MeshOutput,
                                                                 bool names) {
    return pipeline::drawn_cartographic_meshes(run_.placed, options_, host_.mesh_engines(), names);
}

void CartographicSource::draw_points(engine::Posture posture,
                                     const export_::DrawnLabelVisitor& visit) {
    pipeline::visit_cartographic_points(run_.placed, posture, visit);
}

}  // namespace glyphway::module
