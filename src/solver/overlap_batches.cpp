#include "solver/overlap_batches.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace glyphway::solver {

namespace {

// A batch stops taking rows at this many candidates (16 MiB of hits)...
constexpr std::size_t kBatchCandidates = std::size_t{1} << 22;
// ... or this many rows, which keeps the bookkeeping of many small rows
// (ordinary labels) in cache.
constexpr std::size_t kBatchRows = std::size_t{1} << 12;
// One thread's share of a row: long rows (a crowded cell) are split so the
// whole team works on them.
constexpr std::size_t kPiece = 4096;

}  // namespace

OverlapBatch::OverlapBatch(const std::vector<SolverRecord>& records, std::vector<RectSet> sets)
    : records_(records), sets_(std::move(sets)) {}

void OverlapBatch::clear() {
    rows_.clear();
    ranges_.clear();
    pieces_.clear();
    candidates_ = 0;
}

bool OverlapBatch::add_row(std::uint32_t first, const Rect& rect,
                           const std::vector<CandidateRange>& ranges) {
    std::size_t candidates = 0;
    for (const CandidateRange& r : ranges) candidates += r.end - r.begin;
    if (candidates == 0) return true;
    if (!rows_.empty() &&
        (candidates_ + candidates > kBatchCandidates || rows_.size() >= kBatchRows)) {
        return false;
    }
    Row row;
    row.rect = rect;
    row.first = first;
    row.range_begin = static_cast<std::uint32_t>(ranges_.size());
    for (const CandidateRange& r : ranges) {
        if (r.end > r.begin) ranges_.push_back(r);
    }
    row.range_end = static_cast<std::uint32_t>(ranges_.size());
    row.offset = candidates_;
    row.candidates = candidates;
    row.piece_begin = static_cast<std::uint32_t>(pieces_.size());
    const auto index = static_cast<std::uint32_t>(rows_.size());
    for (std::size_t b = 0; b < candidates; b += kPiece) {
        pieces_.push_back({index, b, std::min(b + kPiece, candidates)});
    }
    row.piece_end = static_cast<std::uint32_t>(pieces_.size());
    rows_.push_back(row);
    candidates_ += candidates;
    return true;
}

void OverlapBatch::find_overlaps() {
    // Sized here, on the calling thread, so the tests themselves allocate
    // nothing and cannot throw.
    hits_.resize(candidates_);
    piece_hits_.assign(pieces_.size(), 0);
    const long pieces = static_cast<long>(pieces_.size());
#pragma omp parallel for schedule(nonmonotonic : dynamic, 1) if (candidates_ > kPiece)
    for (long p = 0; p < pieces; ++p) test_piece(static_cast<std::size_t>(p));
}

void OverlapBatch::test_piece(std::size_t index) {
    const Piece& piece = pieces_[index];
    const Row& row = rows_[piece.row];
    std::uint8_t hit[kPiece];
    std::uint32_t* out = hits_.data() + row.offset + piece.begin;
    std::size_t found = 0;
    std::size_t pos = 0;  // candidate position of the current range's start
    for (std::uint32_t r = row.range_begin; r < row.range_end && pos < piece.end; ++r) {
        const CandidateRange& range = ranges_[r];
        const std::size_t size = range.end - range.begin;
        // The part of this range inside the piece.
        const std::size_t lo = std::max(piece.begin, pos), hi = std::min(piece.end, pos + size);
        if (lo < hi) {
            const RectSet& set = sets_[range.set];
            const std::size_t begin = range.begin + (lo - pos), end = range.begin + (hi - pos);
            overlap_row(row.rect, set.columns, begin, end, hit);
            for (std::size_t q = begin; q < end; ++q) {
                const std::uint32_t j = set.records[q];
                if (hit[q - begin] && !records_[j].hidden) out[found++] = j;
            }
        }
        pos += size;
    }
    piece_hits_[index] = found;
}

void OverlapBatch::row_hits(std::size_t index, const std::uint32_t** begin, std::size_t* count) {
    const Row& row = rows_[index];
    // Close the gaps the pieces left, front to back (each moves left).
    std::uint32_t* base = hits_.data() + row.offset;
    std::size_t n = 0;
    for (std::uint32_t p = row.piece_begin; p < row.piece_end; ++p) {
        const std::size_t from = pieces_[p].begin, found = piece_hits_[p];
        if (from != n && found > 0) std::memmove(base + n, base + from, found * sizeof *base);
        n += found;
    }
    // Each range is ascending; rows over several ranges need one order.
    if (row.range_end - row.range_begin > 1) std::sort(base, base + n);
    *begin = base;
    *count = n;
}

}  // namespace glyphway::solver
