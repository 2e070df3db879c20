#include "placement/cartographic_placement.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

#include "placement/glyph_box_grid.hpp"

namespace glyphway::placement {

namespace detail {

constexpr double kMaxSlotsPerLine = 1.0e6;

// Where a road's labels start, and how far each may slide.
struct Slots {
    std::vector<double> starts;  // served in this order: middle of the line first
    double max_slide = 0.0;
};

Slots road_slots(double line_len, double width, const CartographicSettings& s) {
    Slots slots;
    if (!(width > 0.0) || !(width <= line_len)) return slots;
    const double free = line_len - width;
    const double fit = s.spacing > 0.0 ? std::floor(free / s.spacing) + 1.0 : 1.0;
    double allowed = fit;
    if (s.max_labels_per_road > 0) {
        const double units =
            s.cap_length > 0.0 ? std::max(1.0, std::ceil(line_len / s.cap_length)) : 1.0;
        allowed = std::min(fit, static_cast<double>(s.max_labels_per_road) * units);
    }
    // A spacing far below the data's unit would ask for more slots than
    // memory holds; past the limit they are spread evenly instead.
    allowed = std::min(allowed, kMaxSlotsPerLine);
    const auto n = static_cast<std::size_t>(allowed);
    double gap = 0.0;
    if (allowed == fit) {
        gap = s.spacing;
        const double offset = 0.5 * (free - (allowed - 1.0) * s.spacing);
        for (std::size_t i = 0; i < n; ++i) slots.starts.push_back(offset + i * s.spacing);
    } else {
        // More slots fit than the cap allows: spread the allowed ones evenly.
        gap = free / allowed;
        for (std::size_t i = 0; i < n; ++i) slots.starts.push_back(gap * (i + 0.5));
    }
    slots.max_slide = n == 1 ? 0.5 * free : 0.5 * gap;
    const double middle = 0.5 * free;
    std::stable_sort(slots.starts.begin(), slots.starts.end(), [middle](double a, double b) {
        return std::fabs(a - middle) < std::fabs(b - middle);
    });
    return slots;
}

// A slide search never runs longer than this many steps either way, so that
// a tiny step on a long, winding line cannot stall the run.
constexpr std::size_t kMaxSlideSteps = 512;

// One road's label text as it will be laid out there.
struct RoadPlan {
    std::size_t road = 0;
    std::vector<double> advances;  // shrunk where the road is short
    const std::vector<bool>* blanks = nullptr;  // the text's blank glyphs
    bool upright = false;  // laid out by lay_out_upright_run
    double font_size = 0.0;
    double step = 0.0;  // the slide step
    Slots slots;
};

std::optional<RoadPlan> plan_road(const engine::MergedRoad& road, std::size_t index,
                                  const std::vector<double>& advances,
                                  const CartographicSettings& settings, bool upright) {
    if (advances.empty()) return std::nullopt;
    // An upright run needs the room of its widest step (upright_run.hpp).
    const double width = upright ? upright_span_width(advances, settings.font_size)
                                 : std::accumulate(advances.begin(), advances.end(), 0.0);
    const double line_len = engine::line_length(*road.line);
    if (!(width > 0.0)) return std::nullopt;
    // A road too short for its name takes it smaller, down to the least
    // scale, leaving room to slide past a bend or a neighbour.
    const double fill = std::clamp(settings.max_road_fill, 0.0, 1.0) * line_len;
    const double scale = width <= fill ? 1.0 : fill / width * (1.0 - 1e-9);
    if (scale < 1.0 && !(scale >= settings.min_font_scale && settings.min_font_scale > 0.0)) {
        return std::nullopt;
    }
    RoadPlan plan;
    plan.road = index;
    plan.upright = upright;
    plan.font_size = settings.font_size * scale;
    plan.advances = advances;
    if (scale < 1.0) {
        for (double& a : plan.advances) a *= scale;
    }
    const double scaled =
        upright ? upright_span_width(plan.advances, plan.font_size)
                : std::accumulate(plan.advances.begin(), plan.advances.end(), 0.0);
    plan.slots = road_slots(line_len, std::min(scaled, line_len), settings);
    if (plan.slots.starts.empty()) return std::nullopt;
    plan.step = settings.slide_step > 0.0 ? settings.slide_step
                                          : scaled / static_cast<double>(advances.size());
    return plan;
}

// One slot of one road: `rank` counts from the road's middle slot,
// `name_rank` the road's place among the roads of its name.
struct Task {
    std::size_t rank = 0;
    std::size_t name_rank = 0;
    std::size_t plan = 0;
    double start = 0.0;
};

}  // namespace detail

CartographicSettings cartographic_settings(const engine::DensityProfile& profile,
                                           double font_size) {
    CartographicSettings s;
    s.font_size = font_size;
    s.spacing = profile.repeat_min_interval;
    s.max_labels_per_road = profile.max_labels_per_group;
    return s;
}

engine::MergeSettings merge_settings(const CartographicSettings& settings) {
    engine::MergeSettings merge;
    merge.connect_eps = settings.connect_eps ? *settings.connect_eps : 0.5 * settings.font_size;
    merge.junction_turn = settings.run_through_junctions ? settings.max_char_angle * M_PI / 180.0 : 0.0;
    return merge;
}

std::vector<CartographicLabel> place_cartographic(
    const std::vector<engine::SampledFeature>& features,
    const std::vector<std::shared_ptr<const engine::LineGeometry>>& lines,
    const CartographicSettings& settings, const GlyphAdvances& advances,
    const engine::InterruptCallback& check_interrupt, const BlankGlyphs& blanks) {
    const std::vector<engine::MergedRoad> roads =
        engine::merge_named_roads(features, lines, merge_settings(settings), check_interrupt);

    engine::PeriodicCheck check(check_interrupt, 2048);
    std::vector<std::size_t> order(roads.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const engine::MergedRoad& ra = roads[a];
        const engine::MergedRoad& rb = roads[b];
        if (ra.weight != rb.weight) return ra.weight > rb.weight;
        const double la = engine::line_length(*ra.line), lb = engine::line_length(*rb.line);
        if (la != lb) return la > lb;
        return ra.feature < rb.feature;
    });

    const double max_turn = settings.max_char_angle * M_PI / 180.0;
    const std::vector<bool> no_blanks;
    std::map<std::string, std::vector<double>> shaped;
    std::map<std::string, std::vector<bool>> blank_of;
    std::vector<detail::RoadPlan> plans;
    std::vector<detail::Task> tasks;
    std::map<std::string, std::size_t> roads_of_name;
    for (std::size_t r : order) {
        check.tick();
        const engine::MergedRoad& road = roads[r];
        const std::size_t name_rank = roads_of_name[road.text]++;
        auto found = shaped.find(road.text);
        if (found == shaped.end()) {
            found = shaped.emplace(road.text, advances(road.text)).first;
            if (blanks) {
                std::vector<bool> marks = blanks(road.text);
                // A provider that disagrees on the glyph count marks nothing.
                if (marks.size() != found->second.size()) marks.clear();
                blank_of.emplace(road.text, std::move(marks));
            }
        }
        const auto upright_marks = blank_of.find(road.text);
        const bool upright = stands_upright(
            settings.cjk_orientation, road.text,
            upright_marks == blank_of.end() ? no_blanks : upright_marks->second);
        std::optional<detail::RoadPlan> plan =
            detail::plan_road(road, r, found->second, settings, upright);
        if (!plan) continue;
        // Map nodes stay put, so the marks can be held by address.
        const auto marks = blank_of.find(road.text);
        plan->blanks = marks == blank_of.end() ? &no_blanks : &marks->second;
        for (std::size_t rank = 0; rank < plan->slots.starts.size(); ++rank) {
            tasks.push_back({rank, name_rank, plans.size(), plan->slots.starts[rank]});
        }
        plans.push_back(std::move(*plan));
    }
    // Every road's middle label before any road's second one, and in each
    // round the best road of every name before the second best of any.
    std::stable_sort(tasks.begin(), tasks.end(), [](const detail::Task& a, const detail::Task& b) {
        return a.rank != b.rank ? a.rank < b.rank : a.name_rank < b.name_rank;
    });

    GlyphBoxGrid grid = make_glyph_box_grid(2.0 * settings.font_size);
    const GlyphFilter clear = [&grid](const PlacedGlyph& g) { return !overlaps_any(grid, g.box); };
    std::vector<CartographicLabel> labels;
    for (const detail::Task& task : tasks) {
        const detail::RoadPlan& plan = plans[task.plan];
        const engine::MergedRoad& road = roads[plan.road];
        for (std::size_t k = 0; k <= 2 * detail::kMaxSlideSteps; ++k) {
            check.tick();
            // 0, +1, -1, +2, -2, ... steps.
            const double steps = k % 2 == 1 ? static_cast<double>((k + 1) / 2)
                                            : -static_cast<double>(k / 2);
            const double offset = steps * plan.step;
            if (std::fabs(offset) > plan.slots.max_slide) {
                if (k % 2 == 0) break;  // both directions exhausted
                continue;
            }
            std::optional<GlyphRun> run =
                plan.upright
                    ? lay_out_upright_run(*road.line, task.start + offset, plan.advances,
                                          plan.font_size, max_turn, clear)
                    : lay_out_glyph_run(*road.line, task.start + offset, plan.advances,
                                        plan.font_size, max_turn, clear, *plan.blanks);
            if (!run) continue;
            for (const PlacedGlyph& g : run->glyphs) insert_box(grid, g.box);
            labels.push_back(
                {road.feature, plan.road, road.text, road.line, plan.font_size, std::move(*run)});
            break;
        }
    }
    return labels;
}

}  // namespace glyphway::placement
