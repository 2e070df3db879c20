// Python face of the text subsystem: _TextMeshEngine over the native text
// mesh engine, and _FontManager's lookup (in font_lookup.cpp).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "module/bindings.hpp"
#include "module/font_lookup.hpp"
#include "module/host_calls.hpp"
#include "module/numpy_views.hpp"
#include "module/text_engine_handle.hpp"
#include "text/planar_shape.hpp"
#include "text/triangulate_extrude.hpp"

namespace py = pybind11;
using namespace pybind11::literals;

namespace glyphway::module {

namespace {

text::Ring ring_from_coords(const py::handle& ring, const py::module_& shapely) {
    auto coords = py::array_t<double, py::array::c_style | py::array::forcecast>(
        shapely.attr("get_coordinates")(ring));
    auto view = coords.unchecked<2>();
    text::Ring out(static_cast<std::size_t>(view.shape(0)));
    for (py::ssize_t i = 0; i < view.shape(0); ++i) out[i] = {view(i, 0), view(i, 1)};
    return out;
}

void append_polygon(const py::handle& polygon, const py::module_& shapely, text::PlanarShape& out) {
    if (polygon.attr("is_empty").cast<bool>()) return;
    text::Polygon p;
    p.exterior = ring_from_coords(polygon.attr("exterior"), shapely);
    for (const py::handle& hole : polygon.attr("interiors")) p.holes.push_back(ring_from_coords(hole, shapely));
    out.push_back(std::move(p));
}

// Polygon and MultiPolygon become planar shapes; anything else is empty.
text::PlanarShape shape_from_shapely(const py::object& shape) {
    py::module_ shapely = py::module_::import("shapely");
    text::PlanarShape out;
    if (py::isinstance(shape, shapely.attr("Polygon"))) {
        append_polygon(shape, shapely, out);
    } else if (py::isinstance(shape, shapely.attr("MultiPolygon"))) {
        for (const py::handle& member : shape.attr("geoms")) append_polygon(member, shapely, out);
    }
    return out;
}

py::dict glyph_dict(const py::str& ch, const py::object& verts, const py::object& faces, const py::object& advance) {
    py::dict d;
    d["char"] = ch;
    d["verts"] = verts;
    d["faces"] = faces;
    d["advance"] = advance;
    return d;
}

py::list generate_glyph_meshes(TextEngineHandle& self, const std::u32string& text) {
    auto glyphs = self.core->generate_glyph_meshes(text);
    print_glyph_warnings(*self.core);
    self.sync_glyph_cache();
    py::list out;
    for (const text::GlyphRecord& g : glyphs) {
        py::str ch = py::cast(std::u32string(1, g.character));
        if (!g.glyph) {
            out.append(glyph_dict(ch, py::none(), py::none(), py::float_(g.advance)));
            continue;
        }
        py::tuple entry = self.glyph_cache[ch];
        out.append(glyph_dict(ch, entry[0], entry[1], entry[2]));
    }
    return out;
}

}  // namespace

void print_glyph_warnings(text::TextMeshEngine& core) {
    const std::vector<std::string> lines = core.take_warnings();
    if (lines.empty()) return;
    for (const std::string& line : lines) print_warning("[glyphway_maker] WARNING: " + line);
}

void TextEngineHandle::sync_glyph_cache() {
    if (static_cast<std::size_t>(py::len(glyph_cache)) == core->glyph_cache().size()) return;
    for (const auto& [c, glyph] : core->glyph_cache()) {
        py::str key = py::cast(std::u32string(1, c));
        if (glyph_cache.contains(key)) continue;
        if (glyph->mesh.empty()) {
            glyph_cache[key] = py::make_tuple(py::none(), py::none(), glyph->advance);
        } else {
            glyph_cache[key] = py::make_tuple(shared_view(glyph->mesh.vertices, 3, glyph),
                                              shared_view(glyph->mesh.faces, 3, glyph), glyph->advance);
        }
    }
}

std::vector<std::string> font_files(const py::object& font_path) {
    py::object fspath = py::module_::import("os").attr("fspath");
    std::vector<std::string> files;
    if (py::isinstance<py::list>(font_path) || py::isinstance<py::tuple>(font_path)) {
        for (py::handle path : font_path) files.push_back(py::str(fspath(path)).cast<std::string>());
        if (files.empty()) throw py::value_error("font_path must name at least one font file");
    } else {
        files.push_back(py::str(fspath(font_path)).cast<std::string>());
    }
    return files;
}

std::shared_ptr<TextEngineHandle> make_text_engine(py::object font_path, py::object font_size,
                                                   py::object extrusion_depth, py::object letter_spacing) {
    auto handle = std::make_shared<TextEngineHandle>();
    std::vector<std::string> files = font_files(font_path);
    // Matplotlib's properties describe the first font, the engine's own.
    py::str path(files.front());
    handle->font_size = font_size;
    handle->depth = extrusion_depth;
    handle->letter_spacing = letter_spacing;
    handle->font_prop = py::module_::import("matplotlib.font_manager")
                            .attr("FontProperties")("fname"_a = path, "size"_a = font_size);
    handle->core = std::make_shared<text::TextMeshEngine>(
        std::move(files), py::float_(font_size).cast<double>(),
        py::float_(extrusion_depth).cast<double>(), py::float_(letter_spacing).cast<double>());
    return handle;
}

void register_text_bindings(py::module_& m) {
    py::class_<TextEngineHandle, std::shared_ptr<TextEngineHandle>>(m, "_TextMeshEngine")
        .def(py::init(&make_text_engine), "font_path"_a, "font_size"_a, "extrusion_depth"_a, "letter_spacing"_a)
        .def_readonly("font_size", &TextEngineHandle::font_size)
        .def_readonly("depth", &TextEngineHandle::depth)
        .def_readonly("letter_spacing", &TextEngineHandle::letter_spacing)
        .def_readonly("font_prop", &TextEngineHandle::font_prop)
        .def_property_readonly("font_paths",
                               [](TextEngineHandle& self) { return py::tuple(py::cast(self.core->font_paths())); })
        .def_property_readonly("_glyph_cache",
                               [](TextEngineHandle& self) {
                                   self.sync_glyph_cache();
                                   return self.glyph_cache;
                               })
        .def(
            "generate_mesh",
            [](TextEngineHandle& self, const std::u32string& text) {
                text::Mesh mesh = self.core->generate_mesh(text);
                print_glyph_warnings(*self.core);
                return mesh_to_arrays(std::move(mesh));
            },
            "text"_a)
        .def("generate_glyph_meshes", &generate_glyph_meshes, "text"_a)
        .def(
            "_triangulate_extrude_polygon",
            [](TextEngineHandle& self, const py::object& shape) {
                return mesh_to_arrays(text::triangulate_extrude(shape_from_shapely(shape), self.core->depth()));
            },
            "shape"_a);

    register_font_lookup(m);
}

}  // namespace glyphway::module
