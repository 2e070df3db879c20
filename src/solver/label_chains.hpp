#pragma once
// Chains: the labels of one road piece, which slide together. Records with
// equal feature `id` and (where they carry one) equal `line_uid` form one
// chain; its current order is by distance along the line.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "solver/solver_record.hpp"

namespace glyphway::solver {

class ChainIndex {
public:
    explicit ChainIndex(const SolverInput& input);

    // The visible records of `record`'s chain, sorted by ascending distance
    // (equal distances in record order, NaN last), into `out`.
    void visible_chain(std::uint32_t record, const std::vector<SolverRecord>& records,
                       std::vector<std::uint32_t>& out);

    // `record`'s chain has moved: its order must be taken again.
    void moved(std::uint32_t record) { sorted_valid_[group_of_[record]] = 0; }

private:
    std::vector<std::uint32_t> group_of_;   // per record
    std::vector<std::uint32_t> starts_;     // group g: slots [starts_[g], starts_[g + 1])
    std::vector<std::uint32_t> members_;    // record order within a group
    std::vector<std::uint32_t> sorted_;     // same slots, by distance when valid
    std::vector<std::uint8_t> sorted_valid_;
};

// Slides a chain forward from position `from` (the yielding record), as
// the solver's gap rule says: the record moves by `step`; a record pushed
// past its line's end is hidden and the next one moves by the same shift;
// otherwise the next one moves only as far as it must to keep a gap of
// (both text lengths) x gap_unit behind it. A moved record is re-framed on
// its line when it has one, else moved straight along its direction.
void slide_chain(SolverInput& input, const std::vector<std::uint32_t>& chain, std::size_t from,
                 float step, float gap_unit);

}  // namespace glyphway::solver
