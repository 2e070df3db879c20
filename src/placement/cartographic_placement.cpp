#include "placement/cartographic_placement.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <map>
#include <numeric>
#include <unordered_map>
#include <string_view>
#include <utility>

#include "placement/glyph_box_grid.hpp"
#include "placement/keyed_cell.hpp"
#include "placement/parallel_roads.hpp"

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
// Slots searched ahead on all threads at a time: enough to keep them busy,
// few enough that the runs waiting for their turn take little memory and
// seldom meet one another.
constexpr std::size_t kTasksPerBatch = 4096;

// One road's label text as it will be laid out there.
struct RoadPlan {
    std::size_t road = 0;
    std::vector<double> advances;  // shrunk where the road is short
    const std::vector<bool>* blanks = nullptr;  // the text's blank glyphs
    bool upright = false;  // laid out by lay_out_upright_run
    double font_size = 0.0;
    double class_font_size = 0.0;
    double width = 0.0;  // the span the run takes along the line
    double step = 0.0;  // the slide step
    Slots slots;
};

std::optional<RoadPlan> plan_road(const engine::MergedRoad& road, std::size_t index,
                                  const std::vector<double>& advances,
                                  const CartographicSettings& settings, bool upright) {
    if (advances.empty()) return std::nullopt;
    const double class_scale = class_font_scale(road.weight);
    const double class_size = settings.font_size * class_scale;
    std::vector<double> at_class = advances;
    for (double& a : at_class) a *= class_scale;
    // An upright run needs the room of its widest step (upright_run.hpp).
    const double width = upright ? upright_span_width(at_class, class_size)
                                 : std::accumulate(at_class.begin(), at_class.end(), 0.0);
    const double line_len = engine::line_length(*road.line);
    if (!(width > 0.0)) return std::nullopt;
    // A road too short for its name takes it smaller, down to the least
    // scale, leaving room to slide past a bend or a neighbour.
    const double fill = std::clamp(settings.max_road_fill, 0.0, 1.0) * line_len;
    double scale = width <= fill ? 1.0 : fill / width * (1.0 - 1e-9);
    if (scale < 1.0 && !(scale >= settings.min_font_scale && settings.min_font_scale > 0.0)) {
        // Shrunk to max_road_fill it would be too small to read; at the
        // least size it may still fit the road with less room to slide,
        // which on Lisbon's short streets labels a tenth more of the
        // network than leaving them bare.
        const double least = settings.min_font_scale;
        if (!(least > 0.0) || !(least < 1.0) || !(least * width < line_len)) return std::nullopt;
        scale = least;
    }
    RoadPlan plan;
    plan.road = index;
    plan.upright = upright;
    plan.class_font_size = class_size;
    plan.font_size = plan.class_font_size * scale;
    plan.advances = advances;
    if (scale * class_scale != 1.0) {
        for (double& a : plan.advances) a *= scale * class_scale;
    }
    const double scaled =
        upright ? upright_span_width(plan.advances, plan.font_size)
                : std::accumulate(plan.advances.begin(), plan.advances.end(), 0.0);
    plan.width = scaled;
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

// The centres of accepted labels by a key (a name, or a group of
// side-by-side lines), on a grid of cells one test radius wide, so that a
// label is tested only against the labels of its key nearby. A key keeps
// one radius throughout.
//
// The cells are an open-addressing table and the centres one shared list
// of chains, newest first: a node and a vector per cell cost a country's
// placement most of its time in the allocator.
struct LabelCentres {
    static constexpr std::uint32_t kEnd = 0xFFFFFFFFu;
    struct Centre {
        double x, y;
        std::size_t road;
        std::uint32_t next;  // kEnd after the oldest of its cell
    };
    std::vector<KeyedCell> keys = std::vector<KeyedCell>(256);
    std::vector<std::uint32_t> heads = std::vector<std::uint32_t>(256, kEnd);  // kEnd: empty
    std::size_t used = 0;
    std::vector<Centre> centres;
};

// The slot of `cell`: its own, or the empty one where it would go.
std::size_t centre_slot(const LabelCentres& c, const KeyedCell& cell) {
    const std::size_t mask = c.keys.size() - 1;
    std::size_t i = KeyedCellHash{}(cell) & mask;
    while (c.heads[i] != LabelCentres::kEnd && !(c.keys[i] == cell)) i = (i + 1) & mask;
    return i;
}

void grow_centres(LabelCentres& c) {
    std::vector<KeyedCell> keys(c.keys.size() * 2);
    std::vector<std::uint32_t> heads(keys.size(), LabelCentres::kEnd);
    keys.swap(c.keys);
    heads.swap(c.heads);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (heads[i] == LabelCentres::kEnd) continue;
        const std::size_t j = centre_slot(c, keys[i]);
        c.keys[j] = keys[i];
        c.heads[j] = heads[i];
    }
}

std::int64_t centre_cell(double v, double side) {
    return static_cast<std::int64_t>(std::clamp(std::floor(v / side), -4.0e18, 4.0e18));
}

// A label's centre: the mean of its drawn glyphs' origins, in plan (word
// spaces are not seen, so they do not pull the centre).
std::pair<double, double> run_centre(const GlyphRun& run, const std::vector<bool>& blank) {
    double x = 0.0, y = 0.0, n = 0.0;
    for (std::size_t i = 0; i < run.glyphs.size(); ++i) {
        if (i < blank.size() && blank[i]) continue;
        x += run.glyphs[i].origin.x;
        y += run.glyphs[i].origin.y;
        n += 1.0;
    }
    if (n == 0.0) return {run.glyphs.front().origin.x, run.glyphs.front().origin.y};
    return {x / n, y / n};
}

// Whether a label of `id` (other than one on `skip_road`) already lies
// closer than `radius` to (x, y). Labels exactly one spacing apart along a
// straight line must not refuse each other over a rounding error, hence the
// relative margin.
// `slack` widens the test for a centre known only to within that distance:
// a label is then only called crowded where it must be wherever the centre
// is.
bool crowded(const LabelCentres& centres, std::size_t id, double x, double y, double radius,
             std::size_t skip_road, double slack = 0.0) {
    if (!(radius > 0.0) || !std::isfinite(radius)) return false;
    const double limit = radius * (1.0 - 1e-9) - slack;
    if (!(limit > 0.0)) return false;
    // The circle of `limit` (under one cell) touches two cells at most
    // each way.
    const std::int64_t x0 = centre_cell(x - limit, radius), x1 = centre_cell(x + limit, radius);
    const std::int64_t y0 = centre_cell(y - limit, radius), y1 = centre_cell(y + limit, radius);
    for (std::int64_t cx = x0; cx <= x1; ++cx) {
        for (std::int64_t cy = y0; cy <= y1; ++cy) {
            const std::size_t slot = centre_slot(centres, {id, cx, cy});
            for (std::uint32_t e = centres.heads[slot]; e != LabelCentres::kEnd;
                 e = centres.centres[e].next) {
                const LabelCentres::Centre& c = centres.centres[e];
                const double ox = c.x - x, oy = c.y - y;
                if (c.road != skip_road && ox * ox + oy * oy < limit * limit) return true;
            }
        }
    }
    return false;
}

void add_centre(LabelCentres& centres, std::size_t id, double x, double y, double radius,
                std::size_t road) {
    if (!(radius > 0.0) || !std::isfinite(radius)) return;
    const KeyedCell cell{id, centre_cell(x, radius), centre_cell(y, radius)};
    std::size_t slot = centre_slot(centres, cell);
    if (centres.heads[slot] == LabelCentres::kEnd) {
        // At most half full, so probes stay short.
        if (2 * (centres.used + 1) > centres.keys.size()) {
            grow_centres(centres);
            slot = centre_slot(centres, cell);
        }
        centres.keys[slot] = cell;
        ++centres.used;
    }
    const auto entry = static_cast<std::uint32_t>(centres.centres.size());
    centres.centres.push_back({x, y, road, centres.heads[slot]});
    centres.heads[slot] = entry;
}

constexpr std::size_t kNoRoad = static_cast<std::size_t>(-1);

}  // namespace detail

double class_font_scale(double weight) {
    if (weight <= 2.0) return 1.0;
    if (weight <= 4.0) return 0.9;
    if (weight <= 6.0) return 0.8;
    return 0.7;
}

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

    // Side-by-side lines of one name are one road: a label on one of them
    // keeps the slot gap of the group's sparsest line from the labels on the
    // others, so ten copies of a road get one road's labels and a second
    // carriageway is labelled only where the first one's labels leave it
    // bare. Labels of one line keep to their slots.
    const std::vector<std::size_t> group = parallel_road_groups(
        roads, kParallelRoadFontSizes * settings.font_size, check_interrupt);
    std::map<std::string, std::size_t> name_index;
    std::vector<std::size_t> name_of(roads.size());
    for (std::size_t r = 0; r < roads.size(); ++r) {
        name_of[r] = name_index.emplace(roads[r].text, name_index.size()).first->second;
    }
    detail::LabelCentres by_name, by_group;

    const double max_turn = settings.max_char_angle * M_PI / 180.0;
    // Each distinct text is shaped once, and every road planned, on all
    // threads; the results land in fixed places, so the order they are
    // used in stays the input's.
    std::vector<std::size_t> text_of(roads.size());
    std::vector<const std::string*> texts;
    {
        std::map<std::string_view, std::size_t> text_index;
        for (std::size_t r = 0; r < roads.size(); ++r) {
            const auto [it, fresh] = text_index.emplace(roads[r].text, texts.size());
            if (fresh) texts.push_back(&roads[r].text);
            text_of[r] = it->second;
        }
    }
    std::vector<std::vector<double>> shaped(texts.size());
    std::vector<std::vector<bool>> blank_of(texts.size());
    std::vector<std::exception_ptr> failed(texts.size());
#pragma omp parallel for schedule(dynamic, 16)
    for (std::size_t t = 0; t < texts.size(); ++t) {
        try {
            shaped[t] = advances(*texts[t]);
            if (blanks) {
                std::vector<bool> marks = blanks(*texts[t]);
                // A provider that disagrees on the glyph count marks nothing.
                if (marks.size() == shaped[t].size()) blank_of[t] = std::move(marks);
            }
        } catch (...) {
            failed[t] = std::current_exception();  // an exception must not leave the team
        }
    }
    for (const std::exception_ptr& error : failed) {
        if (error) std::rethrow_exception(error);
    }
    check.tick(texts.size());
    std::vector<std::optional<detail::RoadPlan>> planned(roads.size());
#pragma omp parallel for schedule(dynamic, 64)
    for (std::size_t r = 0; r < roads.size(); ++r) {
        const bool upright =
            stands_upright(settings.cjk_orientation, roads[r].text, blank_of[text_of[r]]);
        planned[r] = detail::plan_road(roads[r], r, shaped[text_of[r]], settings, upright);
        if (planned[r]) planned[r]->blanks = &blank_of[text_of[r]];
    }
    check.tick(roads.size());
    std::vector<detail::RoadPlan> plans;
    std::vector<detail::Task> tasks;
    std::vector<std::size_t> roads_of_name(name_index.size(), 0);
    for (std::size_t r : order) {
        check.tick();
        const std::size_t name_rank = roads_of_name[name_of[r]]++;
        std::optional<detail::RoadPlan>& plan = planned[r];
        if (!plan) continue;
        for (std::size_t rank = 0; rank < plan->slots.starts.size(); ++rank) {
            tasks.push_back({rank, name_rank, plans.size(), plan->slots.starts[rank]});
        }
        plans.push_back(std::move(*plan));
    }
    planned.clear();
    std::vector<double> group_gap(roads.size(), settings.spacing);
    std::vector<std::size_t> group_lines(roads.size(), 0), group_labels(roads.size(), 0);
    std::vector<std::size_t> name_labels(name_index.size(), 0);
    for (const detail::RoadPlan& plan : plans) {
        ++group_lines[group[plan.road]];
        const double gap = engine::line_length(*roads[plan.road].line) /
                           static_cast<double>(plan.slots.starts.size());
        double& g = group_gap[group[plan.road]];
        g = std::max(g, gap);
    }
    // Every road's middle label before any road's second one, and in each
    // round the best road of every name before the second best of any.
    std::stable_sort(tasks.begin(), tasks.end(), [](const detail::Task& a, const detail::Task& b) {
        return a.rank != b.rank ? a.rank < b.rank : a.name_rank < b.name_rank;
    });

    // Cells of four font sizes: a glyph box touches one to four of them and a
    // probe meets few boxes (on Shenzhen a tenth faster than two font sizes,
    // and than eight).
    GlyphBoxGrid grid = make_glyph_box_grid(4.0 * settings.font_size);
    const GlyphFilter clear = [&grid](const PlacedGlyph& g) { return !overlaps_any(grid, g.box); };
    // A plan's run starting at `start`, every glyph tested with `keep`.
    const auto lay_out = [&](const detail::RoadPlan& plan, double start, const GlyphFilter& keep) {
        const engine::LineGeometry& line = *roads[plan.road].line;
        return plan.upright ? lay_out_upright_run(line, start, plan.advances, plan.font_size,
                                                  max_turn, keep)
                            : lay_out_glyph_run(line, start, plan.advances, plan.font_size,
                                                max_turn, keep, *plan.blanks);
    };
    // The first slide of a task, from step `from` on (0, +1, -1, +2, -2, ...
    // steps), whose run is clear of the labels accepted so far: its step,
    // run and centre.
    struct Found {
        std::size_t k = 0;
        GlyphRun run;
        double cx = 0.0, cy = 0.0;
    };
    const auto search = [&](const detail::Task& task, std::size_t from) -> std::optional<Found> {
        const detail::RoadPlan& plan = plans[task.plan];
        const engine::MergedRoad& road = roads[plan.road];
        const std::size_t g = group[plan.road];
        // (Most names have no label yet, and most groups one line.)
        const std::size_t name = name_of[plan.road];
        const bool name_test = name_labels[name] > 0;
        const bool group_test = group_lines[g] > 1 && group_labels[g] > 0;
        const double half = 0.5 * plan.width;
        for (std::size_t k = from; k <= 2 * detail::kMaxSlideSteps; ++k) {
            const double steps = k % 2 == 1 ? static_cast<double>((k + 1) / 2)
                                            : -static_cast<double>(k / 2);
            const double offset = steps * plan.step;
            if (std::fabs(offset) > plan.slots.max_slide) {
                if (k % 2 == 0) break;  // both directions exhausted
                continue;
            }
            // The run's centre lies within half its length of the line's
            // point halfway along it: a slide that is crowded wherever its
            // centre falls needs no layout.
            if (name_test || group_test) {
                const std::optional<engine::Vec3> middle =
                    engine::interpolate(*road.line, task.start + offset + half);
                if (middle &&
                    ((name_test && detail::crowded(by_name, name, middle->x, middle->y,
                                                   settings.spacing, detail::kNoRoad, half)) ||
                     (group_test && detail::crowded(by_group, g, middle->x, middle->y,
                                                    group_gap[g], plan.road, half)))) {
                    continue;
                }
            }
            std::optional<GlyphRun> run = lay_out(plan, task.start + offset, clear);
            if (!run) continue;
            const auto [cx, cy] = detail::run_centre(*run, *plan.blanks);
            if ((name_test &&
                 detail::crowded(by_name, name, cx, cy, settings.spacing, detail::kNoRoad)) ||
                (group_test && detail::crowded(by_group, g, cx, cy, group_gap[g], plan.road))) {
                continue;
            }
            return Found{k, std::move(*run), cx, cy};
        }
        return std::nullopt;
    };
    // Whether a found run is still clear of every label accepted so far.
    const auto still_clear = [&](const detail::Task& task, const Found& found) {
        const detail::RoadPlan& plan = plans[task.plan];
        const std::size_t g = group[plan.road];
        const std::size_t name = name_of[plan.road];
        return std::all_of(found.run.glyphs.begin(), found.run.glyphs.end(), clear) &&
               !(name_labels[name] > 0 && detail::crowded(by_name, name, found.cx, found.cy,
                                                          settings.spacing, detail::kNoRoad)) &&
               !(group_labels[g] > 0 &&
                 detail::crowded(by_group, g, found.cx, found.cy, group_gap[g], plan.road));
    };
    std::vector<CartographicLabel> labels;
    // Every test a slide must pass only gets harder as labels are accepted.
    // So a batch of tasks is searched on every thread at once against the
    // labels accepted before the batch; then, in task order, each find is
    // kept if it is still clear of the labels accepted since. If it is not,
    // the search goes on from the next step: every step before it failed
    // already and still fails. A task that found nothing finds nothing
    // later. The labels are exactly those one thread taking the tasks in
    // order would accept.
    std::vector<std::optional<Found>> found;
    labels.reserve(tasks.size());
    for (std::size_t batch = 0; batch < tasks.size(); batch += detail::kTasksPerBatch) {
        const std::size_t end = std::min(tasks.size(), batch + detail::kTasksPerBatch);
        found.assign(end - batch, std::nullopt);
#pragma omp parallel for schedule(dynamic, 16)
        for (std::size_t t = batch; t < end; ++t) found[t - batch] = search(tasks[t], 0);
        check.tick(end - batch);
        for (std::size_t t = batch; t < end; ++t) {
            std::optional<Found>& f = found[t - batch];
            if (!f) continue;
            const detail::Task& task = tasks[t];
            if (!still_clear(task, *f)) {
                check.tick();
                f = search(task, f->k + 1);
                if (!f) continue;
            }
            const detail::RoadPlan& plan = plans[task.plan];
            const engine::MergedRoad& road = roads[plan.road];
            const std::size_t g = group[plan.road];
            const std::size_t name = name_of[plan.road];
            detail::add_centre(by_name, name, f->cx, f->cy, settings.spacing, plan.road);
            ++name_labels[name];
            if (group_lines[g] > 1) {
                detail::add_centre(by_group, g, f->cx, f->cy, group_gap[g], plan.road);
                ++group_labels[g];
            }
            for (const PlacedGlyph& glyph : f->run.glyphs) insert_box(grid, glyph.box);
            labels.push_back({road.feature, plan.road, road.text, road.line, plan.font_size,
                              plan.class_font_size, std::move(f->run)});
        }
    }
    return labels;
}

}  // namespace glyphway::placement
