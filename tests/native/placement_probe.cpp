// Runs placement on random road networks twice, once reusing what earlier
// passes established and once with every pass starting afresh, and checks
// that both leave every record the same to the bit.
//
//   placement_probe SEED COUNT   -> one line per network: "same KEPT PASSES"
//                                   or "differ SEED ..." (exit status 1)
//
// Networks vary in size, crowding, density, posture, repeat mode, pass count,
// fitted sizes (wide characters on small fonts, so that added labels
// collide and the solver slides chains) and hidden records.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/density_profile.hpp"
#include "engine/label_record.hpp"
#include "engine/line_geometry.hpp"
#include "placement/candidate_placement.hpp"

namespace en = glyphway::engine;
namespace pl = glyphway::placement;
using en::Field;

namespace {

const char* const kNames[] = {"中山路", "人民路", "解放大道", "建设路", "和平街", "长江中路东段"};
const char* const kDensities[] = {"very_dense", "dense", "moderate", "sparse", "very_sparse"};

struct Network {
    std::vector<en::LabelRecord> records;
    pl::PlacementSettings settings;
};

Network random_network(std::mt19937_64& rng) {
    auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    Network net;
    const int lines = 5 + pick(60);
    const double square = std::vector<double>{300, 800, 2000}[pick(3)];
    const double step = std::vector<double>{10.0, 25.0, 60.0}[pick(3)];
    const double fitted = std::vector<double>{0.0, 0.2, 0.9}[pick(3)];
    const double font = std::vector<double>{3.0, 6.0, 12.0}[pick(3)];
    std::int64_t uid = 0;
    for (int feature = 0; feature < lines; ++feature) {
        const std::string text = kNames[pick(6)];
        const std::int64_t text_len = static_cast<std::int64_t>(text.size() / 3);
        en::Vec3 start{uniform(0, square), uniform(0, square), 0.0};
        const int parts = 1 + pick(3);
        const double weight = 1 + pick(3);
        for (int part = 0; part < parts; ++part) {
            std::vector<en::Vec3> points{start};
            for (int k = 0, count = 1 + pick(4); k < count; ++k) {
                const en::Vec3& p = points.back();
                points.push_back({p.x + uniform(-200, 200), p.y + uniform(-200, 200), 0.0});
            }
            const en::Vec3 first = points.front(), last = points.back();
            auto line = std::make_shared<const en::LineGeometry>(
                en::make_line_geometry(std::move(points), false));
            const double length = en::line_length(*line);
            for (double d = uniform(0, step); d < length; d += step) {
                en::LabelRecord r;
                r.id = {true, feature, {}};
                r.feature_id = r.id;
                r.line_uid = uid;
                r.line_key = std::to_string(feature) + ":" + std::to_string(uid);
                r.line_start = en::EndPoint{first, 3};
                r.line_end = en::EndPoint{last, 3};
                r.text = text;
                r.text_len = text_len;
                r.distance = d;
                r.line = line;
                r.line_len = length;
                r.weight = weight;
                r.hidden = uniform(0, 1) < 0.03;
                for (Field f : {Field::id, Field::feature_id, Field::line_uid, Field::line_key,
                                Field::line_start, Field::line_end, Field::text, Field::text_len,
                                Field::distance, Field::line, Field::line_len, Field::weight,
                                Field::hidden, Field::matrix_dirty}) {
                    r.present.add(f);
                }
                if (uniform(0, 1) < fitted) {
                    r.effective_text_len = std::max<std::int64_t>(1, text_len - pick(2));
                    r.effective_font_size = pick(2) ? 1.0 : 2.0;
                    r.effective_char_width_est = 11.0;
                    r.effective_letter_spacing = 0.5;
                    for (Field f : {Field::effective_text_len, Field::effective_font_size,
                                    Field::effective_char_width_est, Field::effective_letter_spacing}) {
                        r.present.add(f);
                    }
                }
                net.records.push_back(std::move(r));
            }
            ++uid;
            if (uniform(0, 1) < 0.3) start = {uniform(0, square), uniform(0, square), 0.0};
            else start = last;
        }
    }
    pl::PlacementSettings& s = net.settings;
    s.profile = en::density_profile(kDensities[pick(5)], font);
    const std::int64_t passes[] = {s.profile.iterations, 3, 25, 120};
    s.profile.iterations = passes[pick(4)];
    s.sizes = {font, pick(2) ? 0.0 : 1.0, font};
    s.grouping.mode = std::vector<en::RepeatMode>{en::RepeatMode::name_connected,
                                                  en::RepeatMode::feature, en::RepeatMode::name}[pick(3)];
    s.grouping.font_size = font;
    s.posture = pick(2) ? en::Posture::flat : en::Posture::upright;
    s.solver_sizes = {static_cast<float>(font), static_cast<float>(font),
                      static_cast<float>(s.sizes.letter_spacing)};
    return net;
}

bool same_bits(const void* a, const void* b, std::size_t size) { return std::memcmp(a, b, size) == 0; }

// Every key placement and the solver may write, compared bit for bit.
bool same_record(const en::LabelRecord& a, const en::LabelRecord& b) {
    return a.present == b.present && a.written == b.written && a.group_id == b.group_id &&
           a.cand_idx == b.cand_idx && a.hidden == b.hidden && a.matrix_dirty == b.matrix_dirty &&
           same_bits(&a.distance, &b.distance, sizeof a.distance) &&
           same_bits(a.matrix.data(), b.matrix.data(), sizeof a.matrix);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: placement_probe SEED COUNT\n");
        return 2;
    }
    const unsigned long long first = std::strtoull(argv[1], nullptr, 10);
    const unsigned long long count = std::strtoull(argv[2], nullptr, 10);
    for (unsigned long long seed = first; seed < first + count; ++seed) {
        std::mt19937_64 rng(seed);
        Network net = random_network(rng);
        std::vector<en::LabelRecord> fresh = net.records;
        std::vector<en::LabelRecord> reused = net.records;
        pl::PlacementSettings settings = net.settings;
        settings.reuse = false;
        const std::vector<std::size_t> kept_fresh = pl::auto_place_labels(fresh, settings);
        settings.reuse = true;
        const std::vector<std::size_t> kept_reused = pl::auto_place_labels(reused, settings);
        bool same = kept_fresh == kept_reused;
        std::size_t bad = 0;
        for (std::size_t i = 0; same && i < fresh.size(); ++i) {
            same = same_record(fresh[i], reused[i]);
            bad = i;
        }
        if (!same) {
            std::printf("differ %llu record %zu of %zu\n", seed, bad, fresh.size());
            return 1;
        }
        std::printf("same %zu %zu %lld\n", net.records.size(), kept_fresh.size(),
                    static_cast<long long>(settings.profile.iterations));
    }
    return 0;
}
