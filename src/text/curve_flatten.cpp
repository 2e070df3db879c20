#include "text/curve_flatten.hpp"

#include <cmath>

// Matplotlib's renderer is built without FMA; a fused multiply-add rounds
// once where it rounds twice and would move subdivision points (and even
// change how many there are), so keep every product and sum separate.
// (CMakeLists.txt compiles this file with -ffp-contract=off.)

namespace glyphway::text::detail {

namespace {

// Below this cross product three points count as collinear.
constexpr double kCollinearityEpsilon = 1e-30;
// Subdivision stops past this depth whatever the flatness.
constexpr unsigned kRecursionLimit = 32;

inline double squared_distance(double x1, double y1, double x2, double y2) {
    const double dx = x2 - x1;
    const double dy = y2 - y1;
    return dx * dx + dy * dy;
}

void subdivide_quadratic(double x1, double y1, double x2, double y2, double x3, double y3, unsigned level,
                         std::vector<Point2>& out, Flattening& f) {
    if (level > kRecursionLimit) return;
    if (f.exhausted()) return;
    --f.steps_left;
    const double tolerance_square = f.distance_tolerance_square;

    const double x12 = (x1 + x2) / 2;
    const double y12 = (y1 + y2) / 2;
    const double x23 = (x2 + x3) / 2;
    const double y23 = (y2 + y3) / 2;
    const double x123 = (x12 + x23) / 2;
    const double y123 = (y12 + y23) / 2;

    const double dx = x3 - x1;
    const double dy = y3 - y1;
    double d = std::fabs((x2 - x3) * dy - (y2 - y3) * dx);

    if (d > kCollinearityEpsilon) {
        // Flat enough: the control point lies within tolerance of the chord.
        // With no angle tolerance the curve's midpoint ends the recursion.
        if (d * d <= tolerance_square * (dx * dx + dy * dy)) {
            out.push_back({x123, y123});
            return;
        }
    } else {
        // The three points are (nearly) on one line.
        const double da = dx * dx + dy * dy;
        if (da == 0) {
            d = squared_distance(x1, y1, x2, y2);
        } else {
            d = ((x2 - x1) * dx + (y2 - y1) * dy) / da;
            if (d > 0 && d < 1) {
                // The control point lies between the ends: the chord is the curve.
                return;
            }
            if (d <= 0) {
                d = squared_distance(x2, y2, x1, y1);
            } else if (d >= 1) {
                d = squared_distance(x2, y2, x3, y3);
            } else {
                d = squared_distance(x2, y2, x1 + d * dx, y1 + d * dy);
            }
        }
        if (d < tolerance_square) {
            out.push_back({x2, y2});
            return;
        }
    }

    subdivide_quadratic(x1, y1, x12, y12, x123, y123, level + 1, out, f);
    subdivide_quadratic(x123, y123, x23, y23, x3, y3, level + 1, out, f);
}

void subdivide_cubic(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4,
                     unsigned level, std::vector<Point2>& out, Flattening& f) {
    if (level > kRecursionLimit) return;
    if (f.exhausted()) return;
    --f.steps_left;
    const double tolerance_square = f.distance_tolerance_square;

    const double x12 = (x1 + x2) / 2;
    const double y12 = (y1 + y2) / 2;
    const double x23 = (x2 + x3) / 2;
    const double y23 = (y2 + y3) / 2;
    const double x34 = (x3 + x4) / 2;
    const double y34 = (y3 + y4) / 2;
    const double x123 = (x12 + x23) / 2;
    const double y123 = (y12 + y23) / 2;
    const double x234 = (x23 + x34) / 2;
    const double y234 = (y23 + y34) / 2;
    const double x1234 = (x123 + x234) / 2;
    const double y1234 = (y123 + y234) / 2;

    const double dx = x4 - x1;
    const double dy = y4 - y1;
    double d2 = std::fabs((x2 - x4) * dy - (y2 - y4) * dx);
    double d3 = std::fabs((x3 - x4) * dy - (y3 - y4) * dx);

    const int significant = (int(d2 > kCollinearityEpsilon) << 1) + int(d3 > kCollinearityEpsilon);
    switch (significant) {
        case 0: {
            // All four points collinear, or the curve starts where it ends.
            double k = dx * dx + dy * dy;
            if (k == 0) {
                d2 = squared_distance(x1, y1, x2, y2);
                d3 = squared_distance(x4, y4, x3, y3);
            } else {
                k = 1 / k;
                double da1 = x2 - x1;
                double da2 = y2 - y1;
                d2 = k * (da1 * dx + da2 * dy);
                da1 = x3 - x1;
                da2 = y3 - y1;
                d3 = k * (da1 * dx + da2 * dy);
                if (d2 > 0 && d2 < 1 && d3 > 0 && d3 < 1) {
                    // Both controls lie between the ends: the chord is the curve.
                    return;
                }
                if (d2 <= 0) {
                    d2 = squared_distance(x2, y2, x1, y1);
                } else if (d2 >= 1) {
                    d2 = squared_distance(x2, y2, x4, y4);
                } else {
                    d2 = squared_distance(x2, y2, x1 + d2 * dx, y1 + d2 * dy);
                }
                if (d3 <= 0) {
                    d3 = squared_distance(x3, y3, x1, y1);
                } else if (d3 >= 1) {
                    d3 = squared_distance(x3, y3, x4, y4);
                } else {
                    d3 = squared_distance(x3, y3, x1 + d3 * dx, y1 + d3 * dy);
                }
            }
            if (d2 > d3) {
                if (d2 < tolerance_square) {
                    out.push_back({x2, y2});
                    return;
                }
            } else {
                if (d3 < tolerance_square) {
                    out.push_back({x3, y3});
                    return;
                }
            }
            break;
        }
        case 1:
            // p1, p2, p4 collinear; only p3 bends the curve.
            if (d3 * d3 <= tolerance_square * (dx * dx + dy * dy)) {
                out.push_back({x23, y23});
                return;
            }
            break;
        case 2:
            // p1, p3, p4 collinear; only p2 bends the curve.
            if (d2 * d2 <= tolerance_square * (dx * dx + dy * dy)) {
                out.push_back({x23, y23});
                return;
            }
            break;
        default:
            // Both controls off the chord: the regular case.
            if ((d2 + d3) * (d2 + d3) <= tolerance_square * (dx * dx + dy * dy)) {
                out.push_back({x23, y23});
                return;
            }
            break;
    }

    subdivide_cubic(x1, y1, x12, y12, x123, y123, x1234, y1234, level + 1, out, f);
    subdivide_cubic(x1234, y1234, x234, y234, x34, y34, x4, y4, level + 1, out, f);
}

}  // namespace

void flatten_quadratic(const Point2& p1, const Point2& p2, const Point2& p3, std::vector<Point2>& out,
                       Flattening& flattening) {
    subdivide_quadratic(p1.x, p1.y, p2.x, p2.y, p3.x, p3.y, 0, out, flattening);
    out.push_back(p3);
}

void flatten_cubic(const Point2& p1, const Point2& p2, const Point2& p3, const Point2& p4,
                   std::vector<Point2>& out, Flattening& flattening) {
    subdivide_cubic(p1.x, p1.y, p2.x, p2.y, p3.x, p3.y, p4.x, p4.y, 0, out, flattening);
    out.push_back(p4);
}

}  // namespace glyphway::text::detail
