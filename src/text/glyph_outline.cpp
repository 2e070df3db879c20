#include "text/glyph_outline.hpp"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "text/curve_flatten.hpp"

// Scaling, placing and measuring must round like Matplotlib's (FMA-free)
// build does, or vertices and extents drift by an ulp from its numbers.
// (CMakeLists.txt compiles this file with -ffp-contract=off.)

namespace glyphway::text {

namespace {

// Matplotlib's TextToPath loads every glyph at 100 points and 72 dpi, i.e.
// 100 pixels per em, and scales the outline to the wanted size afterwards.
constexpr double kReferenceSize = 100.0;
constexpr FT_UInt kReferenceDpi = 72;

// FreeType's own table of error messages; FT_Error_String is compiled out
// of some distribution builds.
#undef FTERRORS_H_
#define FT_ERRORDEF(e, v, s) {e, s},
#define FT_ERROR_START_LIST {
#define FT_ERROR_END_LIST {0, nullptr}};
struct FreeTypeErrorMessage {
    int code;
    const char* message;
};
const FreeTypeErrorMessage kFreeTypeErrors[] =
#include FT_ERRORS_H

std::string freetype_error_text(FT_Error error) {
    for (const auto& entry : kFreeTypeErrors) {
        if (entry.message == nullptr) break;
        if (entry.code == error) return entry.message;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "FreeType error 0x%02x", static_cast<unsigned>(error));
    return buffer;
}

std::string codepoint_text(char32_t codepoint) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(codepoint));
    return buffer;
}

// FT_Outline_Decompose callbacks building the path the way Matplotlib's
// FT2Font::get_path does: 26.6 coordinates to floats, and a ClosePoly
// before every contour but the first (the last one is closed by the caller).
inline Point2 to_point(const FT_Vector* v) {
    return {static_cast<double>(v->x) * (1.0 / 64.0), static_cast<double>(v->y) * (1.0 / 64.0)};
}

int on_move_to(const FT_Vector* to, void* user) {
    auto* path = static_cast<OutlinePath*>(user);
    if (!path->vertices.empty()) {
        path->vertices.push_back({0.0, 0.0});
        path->codes.push_back(PathCode::ClosePoly);
    }
    path->vertices.push_back(to_point(to));
    path->codes.push_back(PathCode::MoveTo);
    return 0;
}

int on_line_to(const FT_Vector* to, void* user) {
    auto* path = static_cast<OutlinePath*>(user);
    path->vertices.push_back(to_point(to));
    path->codes.push_back(PathCode::LineTo);
    return 0;
}

int on_conic_to(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* path = static_cast<OutlinePath*>(user);
    path->vertices.push_back(to_point(control));
    path->vertices.push_back(to_point(to));
    path->codes.insert(path->codes.end(), 2, PathCode::Curve3);
    return 0;
}

int on_cubic_to(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to, void* user) {
    auto* path = static_cast<OutlinePath*>(user);
    path->vertices.push_back(to_point(control1));
    path->vertices.push_back(to_point(control2));
    path->vertices.push_back(to_point(to));
    path->codes.insert(path->codes.end(), 3, PathCode::Curve4);
    return 0;
}

const FT_Outline_Funcs kOutlineFuncs = {on_move_to, on_line_to, on_conic_to, on_cubic_to, 0, 0};

// Bounds that grow one point at a time.
struct BoundsAccumulator {
    double x0 = INFINITY;
    double y0 = INFINITY;
    double x1 = -INFINITY;
    double y1 = -INFINITY;
    bool any = false;

    void add(const Point2& p) {
        x0 = std::min(x0, p.x);
        y0 = std::min(y0, p.y);
        x1 = std::max(x1, p.x);
        y1 = std::max(y1, p.y);
        any = true;
    }

    Extents extents() const {
        Extents e;
        if (any) {
            e.x0 = x0;
            e.y0 = y0;
            e.x1 = x1;
            e.y1 = y1;
            e.empty = false;
        }
        return e;
    }
};

// Matplotlib's BezierSegment.axis_aligned_extrema, one axis at a time: the
// roots in [0, 1] of the derivative of the curve's power-basis polynomial,
// with its thresholds for dropping vanishing terms. `c1`, `c2`, `c3` are the
// polynomial's coefficients of t, t^2, t^3 (c3 = 0 for a quadratic); the
// roots are written to `roots`, their count returned.
int derivative_roots_in_unit_interval(double c1, double c2, double c3, double roots[2]) {
    constexpr double kTiny = 1e-12;
    // Derivative coefficients, lowest power first.
    const double d0 = 1.0 * c1;
    const double d1 = 2.0 * c2;
    const double d2 = 3.0 * c3;
    int degree = std::abs(d2) < kTiny ? (std::abs(d1) < kTiny ? 0 : 1) : 2;
    int count = 0;
    auto keep = [&](double r) {
        if (r >= 0 && r <= 1) roots[count++] = r;
    };
    if (degree == 1) {
        keep(-d0 / d1);
    } else if (degree == 2) {
        const double disc = d1 * d1 - 4 * d2 * d0;
        if (disc < 0) return 0;
        const double sqrt_disc = std::sqrt(disc);
        const double q = d1 >= 0 ? -0.5 * (d1 + sqrt_disc) : -0.5 * (d1 - sqrt_disc);
        if (std::abs(q) > kTiny) keep(d0 / q);
        keep(q / d2);
    }
    return count;
}

// The point of a Bezier curve at t, evaluated as Matplotlib's
// BezierSegment.__call__ does: Bernstein weights from powers, times the
// control points pre-multiplied by their binomial coefficients.
Point2 quadratic_at(const Point2 p[3], double t) {
    const double s = 1 - t;
    const double w[3] = {std::pow(s, 2.0), s * t, std::pow(t, 2.0)};
    const double b[3] = {1.0, 2.0, 1.0};
    Point2 r{0.0, 0.0};
    for (int i = 0; i < 3; ++i) {
        r.x += w[i] * (p[i].x * b[i]);
        r.y += w[i] * (p[i].y * b[i]);
    }
    return r;
}

Point2 cubic_at(const Point2 p[4], double t) {
    const double s = 1 - t;
    const double w[4] = {std::pow(s, 3.0), std::pow(s, 2.0) * t, s * std::pow(t, 2.0), std::pow(t, 3.0)};
    const double b[4] = {1.0, 3.0, 3.0, 1.0};
    Point2 r{0.0, 0.0};
    for (int i = 0; i < 4; ++i) {
        r.x += w[i] * (p[i].x * b[i]);
        r.y += w[i] * (p[i].y * b[i]);
    }
    return r;
}

void add_quadratic_extrema(const Point2 p[3], BoundsAccumulator& bounds) {
    double roots[2];
    // Power basis: P0 + (-2 P0 + 2 P1) t + (P0 - 2 P1 + P2) t^2.
    int n = derivative_roots_in_unit_interval(-2 * p[0].x + 2 * p[1].x, p[0].x - 2 * p[1].x + p[2].x, 0.0, roots);
    for (int i = 0; i < n; ++i) bounds.add(quadratic_at(p, roots[i]));
    n = derivative_roots_in_unit_interval(-2 * p[0].y + 2 * p[1].y, p[0].y - 2 * p[1].y + p[2].y, 0.0, roots);
    for (int i = 0; i < n; ++i) bounds.add(quadratic_at(p, roots[i]));
}

void add_cubic_extrema(const Point2 p[4], BoundsAccumulator& bounds) {
    double roots[2];
    // Power basis: P0 + (-3 P0 + 3 P1) t + (3 P0 - 6 P1 + 3 P2) t^2
    //                 + (-P0 + 3 P1 - 3 P2 + P3) t^3.
    int n = derivative_roots_in_unit_interval(-3 * p[0].x + 3 * p[1].x, 3 * p[0].x - 6 * p[1].x + 3 * p[2].x,
                                              -p[0].x + 3 * p[1].x - 3 * p[2].x + p[3].x, roots);
    for (int i = 0; i < n; ++i) bounds.add(cubic_at(p, roots[i]));
    n = derivative_roots_in_unit_interval(-3 * p[0].y + 3 * p[1].y, 3 * p[0].y - 6 * p[1].y + 3 * p[2].y,
                                          -p[0].y + 3 * p[1].y - 3 * p[2].y + p[3].y, roots);
    for (int i = 0; i < n; ++i) bounds.add(cubic_at(p, roots[i]));
}

// Path.get_extents: with no curves, the bounds of the MoveTo and LineTo
// vertices; with curves, the bounds of every segment's ends and of the
// curves' interior axis extrema.
Extents path_extents(const std::vector<Point2>& v, const std::vector<PathCode>& codes) {
    BoundsAccumulator bounds;
    const std::size_t n = std::min(v.size(), codes.size());
    const bool has_curves = std::any_of(codes.begin(), codes.begin() + static_cast<std::ptrdiff_t>(n),
                                        [](PathCode c) { return c == PathCode::Curve3 || c == PathCode::Curve4; });
    if (!has_curves) {
        for (std::size_t i = 0; i < n; ++i) {
            if (codes[i] == PathCode::MoveTo || codes[i] == PathCode::LineTo) bounds.add(v[i]);
        }
        return bounds.extents();
    }
    // Segments in the order Path.iter_bezier yields them; `prev` is the last
    // vertex of the previous segment, a ClosePoly's own vertex included.
    Point2 first{0.0, 0.0};
    Point2 prev{0.0, 0.0};
    for (std::size_t i = 0; i < n;) {
        switch (codes[i]) {
            case PathCode::MoveTo:
                first = v[i];
                bounds.add(v[i]);
                prev = v[i];
                i += 1;
                break;
            case PathCode::LineTo:
                bounds.add(prev);
                bounds.add(v[i]);
                prev = v[i];
                i += 1;
                break;
            case PathCode::Curve3: {
                if (i + 2 > n) return bounds.extents();
                const Point2 p[3] = {prev, v[i], v[i + 1]};
                bounds.add(p[0]);
                add_quadratic_extrema(p, bounds);
                bounds.add(p[2]);
                prev = v[i + 1];
                i += 2;
                break;
            }
            case PathCode::Curve4: {
                if (i + 3 > n) return bounds.extents();
                const Point2 p[4] = {prev, v[i], v[i + 1], v[i + 2]};
                bounds.add(p[0]);
                add_cubic_extrema(p, bounds);
                bounds.add(p[3]);
                prev = v[i + 2];
                i += 3;
                break;
            }
            case PathCode::ClosePoly:
                bounds.add(prev);
                bounds.add(first);
                prev = v[i];
                i += 1;
                break;
        }
    }
    return bounds.extents();
}

// Ends the ring gathered in `points` the way Matplotlib's path-to-polygons
// conversion ends a closed polygon: fewer than three points are dropped,
// other rings are closed by repeating their first point if needed.
void finish_ring(std::vector<Point2>& points, std::vector<Ring>& rings) {
    if (points.size() >= 3) {
        const bool open = points.front() != points.back();
        Ring ring;
        ring.reserve(points.size() + (open ? 1 : 0));
        ring.assign(points.begin(), points.end());
        if (open) ring.push_back(points.front());
        rings.push_back(std::move(ring));
    }
    points.clear();
}

// Subdivision steps one glyph may take, enough for every glyph of a real
// font at any size a map label could have, and few enough that a glyph at
// an absurd size costs milliseconds instead of never finishing.
constexpr std::size_t kFlattenStepsPerGlyph = std::size_t{1} << 18;

// Path.to_polygons(closed_only=True) over the vertices `v` (one per code):
// curves flattened, a new ring at every MoveTo and ClosePoly. Replaces
// `rings`; false, with `rings` incomplete, when the flattening ran out of
// steps.
bool flatten_rings(const std::vector<Point2>& v, const std::vector<PathCode>& codes, detail::Flattening flattening,
                   std::vector<Ring>& rings) {
    rings.clear();
    const std::size_t n = std::min(v.size(), codes.size());
    // `last` is the current point a curve starts from; like the flattener
    // Matplotlib uses, it follows every vertex read, a ClosePoly's included.
    std::vector<Point2> points;  // the ring being gathered
    points.reserve(4 * n);
    Point2 last{0.0, 0.0};
    for (std::size_t i = 0; i < n;) {
        switch (codes[i]) {
            case PathCode::MoveTo:
                finish_ring(points, rings);
                points.push_back(v[i]);
                last = v[i];
                i += 1;
                break;
            case PathCode::LineTo:
                points.push_back(v[i]);
                last = v[i];
                i += 1;
                break;
            case PathCode::Curve3:
                if (i + 2 > n) {
                    i = n;
                    break;
                }
                detail::flatten_quadratic(last, v[i], v[i + 1], points, flattening);
                last = v[i + 1];
                i += 2;
                break;
            case PathCode::Curve4:
                if (i + 3 > n) {
                    i = n;
                    break;
                }
                detail::flatten_cubic(last, v[i], v[i + 1], v[i + 2], points, flattening);
                last = v[i + 2];
                i += 3;
                break;
            case PathCode::ClosePoly:
                finish_ring(points, rings);
                last = v[i];
                i += 1;
                break;
        }
    }
    finish_ring(points, rings);
    return !flattening.exhausted();
}

}  // namespace

struct FontFace::Impl {
    std::string path;
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    // The glyph slot is shared state: one glyph load at a time per face.
    std::mutex mutex;

    ~Impl() {
        if (face != nullptr) FT_Done_Face(face);
        if (library != nullptr) FT_Done_FreeType(library);
    }
};

FontFace::FontFace(const std::string& path) : impl_(std::make_unique<Impl>()) {
    impl_->path = path;
    // A library per face keeps faces independent of each other, so
    // different faces can load glyphs on different threads.
    if (FT_Error error = FT_Init_FreeType(&impl_->library)) {
        impl_->library = nullptr;
        throw FontError("cannot open font '" + path + "': FreeType failed to start: " + freetype_error_text(error));
    }
    if (FT_Error error = FT_New_Face(impl_->library, path.c_str(), 0, &impl_->face)) {
        impl_->face = nullptr;
        throw FontError("cannot open font '" + path + "': " + freetype_error_text(error));
    }
    if (!FT_IS_SCALABLE(impl_->face)) {
        throw FontError("cannot use font '" + path + "': it has no scalable outlines");
    }
    // 100 pt at 72 dpi in both directions and no transform: what
    // FT2Font.set_size(100, 72) amounts to now that Matplotlib no longer
    // stretches the horizontal resolution for hinting.
    const auto char_size = static_cast<FT_F26Dot6>(kReferenceSize * 64);
    if (FT_Error error = FT_Set_Char_Size(impl_->face, char_size, 0, kReferenceDpi, kReferenceDpi)) {
        throw FontError("cannot set the size of font '" + path + "': " + freetype_error_text(error));
    }
    FT_Set_Transform(impl_->face, nullptr, nullptr);
}

FontFace::~FontFace() = default;

OutlinePath FontFace::glyph_path(char32_t codepoint) const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    FT_Face face = impl_->face;
    // Unmapped code points give glyph 0, the font's .notdef.
    const FT_UInt index = FT_Get_Char_Index(face, static_cast<FT_ULong>(codepoint));
    if (FT_Error error = FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING)) {
        throw FontError("cannot load the glyph for " + codepoint_text(codepoint) + " from font '" + impl_->path +
                        "': " + freetype_error_text(error));
    }
    OutlinePath path;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE || slot->outline.n_points == 0) return path;

    // An off-curve point gives at most two vertices (its control and an
    // implied on-curve end), an on-curve point one; each contour adds at
    // most a start point, a closing vertex and its ClosePoly.
    const std::size_t capacity = 2 * static_cast<std::size_t>(slot->outline.n_points) +
                                 3 * static_cast<std::size_t>(slot->outline.n_contours) + 1;
    path.vertices.reserve(capacity);
    path.codes.reserve(capacity);
    if (FT_Error error = FT_Outline_Decompose(&slot->outline, &kOutlineFuncs, &path)) {
        throw FontError("cannot read the outline for " + codepoint_text(codepoint) + " from font '" + impl_->path +
                        "': " + freetype_error_text(error));
    }
    if (!path.vertices.empty()) {
        path.vertices.push_back({0.0, 0.0});
        path.codes.push_back(PathCode::ClosePoly);
    }
    return path;
}

bool FontFace::has_glyph(char32_t codepoint) const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return FT_Get_Char_Index(impl_->face, static_cast<FT_ULong>(codepoint)) != 0;
}

double text_path_size(double font_size) { return font_size < 1.0 ? 1.0 : font_size; }

TextPathGeometry make_text_path(const OutlinePath& path, double size, double x0, double y0) {
    TextPathGeometry result;
    const std::size_t n = std::min(path.vertices.size(), path.codes.size());
    if (n == 0) return result;

    // Affine2D().scale(size / 100).translate(x0, y0), applied per vertex as
    // Matplotlib's affine transform computes it.
    const double scale = size / kReferenceSize;
    std::vector<Point2> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i].x = scale * path.vertices[i].x + x0;
        v[i].y = scale * path.vertices[i].y + y0;
    }

    // Flattened as Matplotlib flattens it, unless that takes more steps
    // than any glyph at a sensible size needs (a size like 1e12, or one
    // that is not a number): then the outline is flattened at the
    // reference size, coarser and coarser until it fits, and the points
    // are scaled afterwards, so the tolerance is relative to the glyph.
    if (!flatten_rings(v, path.codes, detail::Flattening{0.5 * 0.5, kFlattenStepsPerGlyph}, result.rings)) {
        bool fitted = false;
        double tolerance = 0.5;
        for (int attempt = 0; attempt < 40 && !fitted; ++attempt, tolerance *= 2.0) {
            fitted = flatten_rings(path.vertices, path.codes,
                                   detail::Flattening{tolerance * tolerance, kFlattenStepsPerGlyph}, result.rings);
        }
        // An outline that fits at no tolerance keeps only its on-curve
        // points: a flattening without steps still ends every curve.
        if (!fitted) flatten_rings(path.vertices, path.codes, detail::Flattening{0.5 * 0.5, 0}, result.rings);
        for (Ring& ring : result.rings) {
            for (Point2& p : ring) p = {scale * p.x + x0, scale * p.y + y0};
        }
    }

    result.extents = path_extents(v, path.codes);
    return result;
}

}  // namespace glyphway::text
