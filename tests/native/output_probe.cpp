// Runs one of the pipeline's writers (pipeline/label_outputs.hpp) on a
// scripted label source and a scripted output host, and prints every call
// the writer makes of them, in order, so the Python tests can check the
// progress lines, the order of the questions and the CSV's rules with no
// interpreter behind the host.
//
//   output_probe OUTPUT PATH [KEY=VALUE...]
//
// OUTPUT: obj, glb or csv. Keys: labels (how many the source draws, at
// x = 1.5 + i, y = 2.25; default 1), prepared (0: nothing to draw),
// target (options.target_crs), differs (0/1), geographic (0/1: the output
// system measures in degrees), precision (options.angle_precision),
// separate, instancing (0/1).
//
// Output: one line per call ("progress TEXT", "prepare", ...), then "done"
// or "error WHAT" for what the writer threw.
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "export/file_error.hpp"
#include "pipeline/label_outputs.hpp"

namespace pl = glyphway::pipeline;
namespace ex = glyphway::export_;

namespace {

struct ScriptedEngines final : ex::MeshEngineSource {
    glyphway::text::TextMeshEngine* engine_for(std::optional<double>,
                                               std::optional<double>) override {
        std::cout << "engine_for\n";
        return nullptr;
    }
};

struct ScriptedHost final : pl::OutputHost {
    std::string path;
    bool differs = true;
    bool geographic = false;
    ScriptedEngines engines;

    void progress(const std::string& line) override { std::cout << "progress " << line << '\n'; }
    void check_interrupt() override {}
    void warning(const std::string& line) override { std::cout << "warning " << line << '\n'; }
    std::string output_path() override {
        std::cout << "output_path\n";
        return path;
    }
    std::string output_shown() override {
        std::cout << "output_shown\n";
        return "shown.out";
    }
    ex::MeshEngineSource& mesh_engines() override {
        std::cout << "mesh_engines\n";
        return engines;
    }
    std::vector<glyphway::text::TextMeshEngine*> engines_drawn() override {
        std::cout << "engines_drawn\n";
        return {};
    }
    bool target_differs_from_working() override {
        std::cout << "target_differs_from_working\n";
        return differs;
    }
    void start_reprojection() override { std::cout << "start_reprojection\n"; }
    void reproject_to_target(std::vector<ex::BillboardPoint>& points) override {
        std::cout << "reproject_to_target " << points.size() << '\n';
        for (ex::BillboardPoint& p : points) p.x += 1000.0;
    }
    bool is_geographic(pl::CrsRole crs) override {
        std::cout << "is_geographic " << (crs == pl::CrsRole::target ? "target" : "working")
                  << '\n';
        return geographic;
    }
    ex::GlbCrs describe_working_crs() override {
        std::cout << "describe_working_crs\n";
        return {};
    }
};

struct ScriptedSource final : pl::LabelSource {
    bool prepared = true;
    int labels = 1;

    bool prepare() override {
        std::cout << "prepare\n";
        return prepared;
    }
    glyphway::engine::Posture start_meshes() override {
        std::cout << "start_meshes\n";
        return glyphway::engine::Posture::flat;
    }
    glyphway::engine::Posture posture() override {
        std::cout << "posture\n";
        return glyphway::engine::Posture::flat;
    }
    std::vector<ex::DrawnLabel> draw_meshes(pl::MeshOutput output, bool names) override {
        std::cout << "draw_meshes " << (output == pl::MeshOutput::obj ? "obj" : "glb")
                  << (names ? " names" : " no_names") << '\n';
        return {};  // the writers' own files are tested elsewhere
    }
    std::size_t points_at_most() override { return static_cast<std::size_t>(labels); }
    void draw_points(glyphway::engine::Posture, const ex::DrawnLabelVisitor& visit) override {
        std::cout << "draw_points\n";
        for (int i = 0; i < labels; ++i) {
            ex::DrawnLabel label;
            label.index = static_cast<std::size_t>(i);
            label.text = "road " + std::to_string(i);
            label.frame = {1, 0, 0, 1.5 + i, 0, 1, 0, 2.25, 0, 0, 1, 0, 0, 0, 0, 1};
            visit(std::move(label));
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: output_probe OUTPUT PATH [KEY=VALUE...]\n";
        return 2;
    }
    const std::string output = argv[1];
    std::map<std::string, std::string> keys;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::size_t eq = arg.find('=');
        keys[arg.substr(0, eq)] = arg.substr(eq + 1);
    }
    const auto flag = [&](const char* key, bool fallback) {
        return keys.count(key) ? keys[key] == "1" : fallback;
    };
    ScriptedHost host;
    host.path = argv[2];
    host.differs = flag("differs", true);
    host.geographic = flag("geographic", false);
    ScriptedSource source;
    source.prepared = flag("prepared", true);
    if (keys.count("labels")) source.labels = std::atoi(keys["labels"].c_str());
    pl::Options options;
    if (keys.count("target")) options.target_crs = keys["target"];
    if (keys.count("precision")) options.angle_precision = std::atoi(keys["precision"].c_str());
    options.separate_objects = flag("separate", true);
    options.instancing = flag("instancing", true);
    try {
        if (output == "obj") pl::write_obj(source, options, host);
        else if (output == "glb") pl::write_glb(source, options, host);
        else pl::write_csv(source, options, host);
        std::cout << "done\n";
    } catch (const pl::UnusableAnglePrecision&) {
        std::cout << "error UnusableAnglePrecision\n";
    } catch (const ex::FileError&) {
        std::cout << "error FileError\n";
    }
    return 0;
}
