#pragma once
// The text mesh engines of one mesh export, by fitted size and spacing.
#include <pybind11/pybind11.h>

#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "export/drawn_label.hpp"
#include "module/engine_convert.hpp"
#include "module/text_engine_handle.hpp"
#include "text/text_mesh_engine.hpp"

namespace glyphway::module {

namespace py = pybind11;

// The text mesh engine for each fitted size and spacing, asked of
// get_mesh_engine once per distinct pair (it caches by the same float pair,
// so later calls would return the same engine). NaN sizes never compare
// equal, so they are asked every time, as the cache would build anew.
class MeshEngines {
public:
    explicit MeshEngines(py::handle self) : self_(self) {}

    text::TextMeshEngine* get(py::handle font_size, py::handle letter_spacing) {
        const double size = host_float(font_size);
        const double spacing = host_float(letter_spacing);
        const bool comparable = !std::isnan(size) && !std::isnan(spacing);
        if (comparable) {
            const auto found = by_pair_.find({size, spacing});
            if (found != by_pair_.end()) return found->second;
        }
        text::TextMeshEngine* core = native(self_.attr("get_mesh_engine")(font_size, letter_spacing));
        if (comparable) by_pair_.emplace(std::make_pair(size, spacing), core);
        return core;
    }

    // The engine get() already found for this pair, or null: asks nothing
    // of the host.
    text::TextMeshEngine* find(double size, double spacing) const {
        if (std::isnan(size) || std::isnan(spacing)) return nullptr;
        const auto found = by_pair_.find({size, spacing});
        return found == by_pair_.end() ? nullptr : found->second;
    }

    // The native engine behind a _TextMeshEngine object, kept alive for the
    // export.
    text::TextMeshEngine* native(py::object engine_object) {
        auto handle = py::cast<std::shared_ptr<TextEngineHandle>>(engine_object);
        handles_.push_back(handle);
        return handle->core.get();
    }

    // Every engine native() kept, in the order it was first asked for.
    std::vector<text::TextMeshEngine*> drawn() const {
        std::vector<text::TextMeshEngine*> out;
        for (const auto& handle : handles_) out.push_back(handle->core.get());
        return out;
    }

private:
    py::handle self_;
    std::map<std::pair<double, double>, text::TextMeshEngine*> by_pair_;
    std::vector<std::shared_ptr<TextEngineHandle>> handles_;
};

// The engines of the engine's own records: a record's fitted size and
// spacing, or the engine's own host values where it has none, asked of
// `engines`. Most labels share a handful of sizes: those engines are found
// without making host numbers for every label.
class RecordMeshEngines final : public export_::MeshEngineSource {
public:
    // `base_size` and `base_spacing` are float() of the two host values.
    RecordMeshEngines(MeshEngines& engines, py::object font_size, py::object letter_spacing,
                      double base_size, double base_spacing)
        : engines_(engines),
          font_size_(std::move(font_size)),
          letter_spacing_(std::move(letter_spacing)),
          base_size_(base_size),
          base_spacing_(base_spacing) {}

    text::TextMeshEngine* engine_for(std::optional<double> font_size,
                                     std::optional<double> letter_spacing) override {
        text::TextMeshEngine* found =
            engines_.find(font_size.value_or(base_size_), letter_spacing.value_or(base_spacing_));
        if (found) return found;
        const py::object size = font_size ? py::object(py::float_(*font_size)) : font_size_;
        const py::object spacing =
            letter_spacing ? py::object(py::float_(*letter_spacing)) : letter_spacing_;
        return engines_.get(size, spacing);
    }

private:
    MeshEngines& engines_;
    py::object font_size_;
    py::object letter_spacing_;
    double base_size_;
    double base_spacing_;
};

// The engines at the engine's own size and spacing where a label has none:
// its current font_size and letter_spacing, read when asked, handed to
// get_mesh_engine as they are.
class OwnSizeMeshEngines final : public export_::MeshEngineSource {
public:
    OwnSizeMeshEngines(py::handle self, MeshEngines& engines) : self_(self), engines_(engines) {}

    text::TextMeshEngine* engine_for(std::optional<double> font_size,
                                     std::optional<double> letter_spacing) override {
        const py::object size = font_size ? py::object(py::float_(*font_size))
                                          : py::object(self_.attr("font_size"));
        const py::object spacing = letter_spacing ? py::object(py::float_(*letter_spacing))
                                                  : py::object(self_.attr("letter_spacing"));
        return engines_.get(size, spacing);
    }

private:
    py::handle self_;
    MeshEngines& engines_;
};

}  // namespace glyphway::module
