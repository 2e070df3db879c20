#pragma once
// The solver run on native label records: gather the visible labels into
// solver records, solve, and write `distance`, `hidden` and `matrix_dirty`
// back (marking them written): the keys and values _fast_resolve_collisions
// writes into record dicts.
#include <cstddef>
#include <stdexcept>
#include <vector>

#include "engine/label_record.hpp"
#include "solver/collision_solver.hpp"

namespace glyphway::solver {

// The engine values passed to the solver, narrowed to single precision by
// the caller; font_size and letter_spacing are the fall-backs of the
// effective_ keys.
struct SolverSizes {
    float char_width_est = 0.0f;
    float font_size = 0.0f;
    float letter_spacing = 0.0f;
};

// A label lacks a key the solver reads.
struct MissingLabelField : std::runtime_error {
    explicit MissingLabelField(engine::Field f);
    engine::Field field;
};

// An integer key does not fit 32 bits.
struct LabelFieldOverflow : std::overflow_error {
    explicit LabelFieldOverflow(engine::Field f);
    engine::Field field;
};

// The feature `id` is not an integer (the solver's chains need one).
struct LabelFieldType : std::invalid_argument {
    explicit LabelFieldType(engine::Field f);
    engine::Field field;
};

// A label's length for the solver: `text_len` character cells of
// `char_width` and the gaps between them of `letter_spacing`, in double
// precision (the caller narrows it). The gap count is max(text_len - 1, 0)
// as the host evaluates max: a NaN count stays NaN.
double solver_label_length(double text_len, double char_width, double letter_spacing);

// The numbers of one visible label the solver reads, in double precision as
// read: matrix entries [0][3], [1][3] (centre) and [0][0], [1][0]
// (direction), and the effective text length and sizes.
struct SolverLabelValues {
    double distance = 0.0, line_len = 0.0, weight = 0.0;
    double cx = 0.0, cy = 0.0, dx = 0.0, dy = 0.0;
    double text_len = 0.0, char_width = 0.0, letter_spacing = 0.0, font_size = 0.0;
};

// Sets a record's solver geometry from a label's values: each narrowed to
// single precision, the length computed in double with the label's own
// numbers first, the height its font size.
void set_solver_geometry(SolverRecord& r, const SolverLabelValues& v);

// The solved distance of a record, widened back to double.
inline double solved_distance(const SolverRecord& r) { return static_cast<double>(r.distance); }

// Whether the solver moved a label read at `read_distance`: only then has
// its frame gone stale and matrix_dirty is set. It is never cleared here:
// a frame that was stale before stays stale.
inline bool solver_moved_label(double read_distance, const SolverRecord& r) {
    return read_distance != solved_distance(r);
}

// Solves the labels at `indices` (in that order; labels hidden on entry are
// skipped and never written). Everything is gathered before anything is
// written, so a MissingLabelField, LabelFieldOverflow or LabelFieldType
// leaves the labels untouched. The keys read are text_len, id, distance,
// line_len, weight and matrix (all required), the effective_ sizes (with
// their fall-backs), line_uid (chains) and line (re-framing after a slide).
void resolve_label_collisions(std::vector<engine::LabelRecord>& labels,
                              const std::vector<std::size_t>& indices, const SolverSizes& sizes,
                              const InterruptCheck& check_interrupt = {});

// The two halves of resolve_label_collisions around the solver itself:
// the solver records of the labels at `indices` (replacing what `input` and
// `owners` held; owners[i] is the label index of record i), and the keys the
// solver sets written back into those labels.
void gather_solver_input(const std::vector<engine::LabelRecord>& labels,
                         const std::vector<std::size_t>& indices, const SolverSizes& sizes,
                         SolverInput& input, std::vector<std::size_t>& owners);
void write_solver_results(std::vector<engine::LabelRecord>& labels, const SolverInput& input,
                          const std::vector<std::size_t>& owners);

}  // namespace glyphway::solver
