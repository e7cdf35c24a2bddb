// Atlas noise family: smooth closed curves through k control points spread
// evenly over sixteen beats. Every control point comes from the SHA-256
// digest of an indexed key, "atlas/<name>/<lane>/<i>", so the tables need no
// random state: the first eight digest bytes, big-endian, give 53 bits of a
// fraction u in [0, 1), and the coordinate is 2u - 1.

#include <cmath>
#include <string>

#include "catalogue/generator/atlas/families.hpp"
#include "catalogue/generator/atlas/family_shapes.hpp"
#include "catalogue/generator/atlas/sha256.hpp"

namespace kinetrope_tablegen::atlas {

namespace {

double digest_fraction(const std::string& key) {
    const Sha256Digest digest = sha256(key);
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = bits << 8 | digest[i];
    return double(bits >> 11) * 0x1.0p-53;
}

// Lane `lane` of pattern `name`: k control values in [-1, 1).
std::vector<double> control_points(const std::string& name, const char* lane, int k) {
    std::vector<double> points(k);
    for (int i = 0; i < k; ++i)
        points[i] = 2.0 * digest_fraction("atlas/" + name + "/" + lane + "/" + std::to_string(i)) - 1.0;
    return points;
}

std::vector<double> lane(const std::string& name, const char* lane_name, int k) {
    return closed_spline(control_points(name, lane_name, k), sixteen_beats);
}

Table drift(const std::string& name, int k) { return from_axes(sixteen_beats, lane(name, "x", k), lane(name, "y", k)); }

// The angle advances uniformly; only the radius wanders, within [0.35, 1].
Table orbit(const std::string& name, int k) {
    const std::vector<double> radius = lane(name, "radius", k);
    return from_formula(sixteen_beats, [&](int p, double t) {
        const double r = 0.675 + 0.325 * radius[p];
        return Offset3{r * std::cos(t), r * std::sin(t), 0.0};
    });
}

// A drift with a fast ripple whose depth itself wanders, so it comes and goes.
Table ripple(const std::string& name, int k) {
    Table table = drift(name, k);
    const std::vector<double> depth = lane(name, "ripple", k);
    for (int p = 0; p < sixteen_beats; ++p) {
        const double t = phase_angle(p, sixteen_beats);
        const double d = 0.09 * (1.0 + depth[p]);
        table[p].x += d * std::sin(4.0 * k * t);
        table[p].y += d * std::cos(4.0 * k * t + 0.6);
    }
    return table;
}

// A drift in x and y, with a z lane whose peak ends 0.52 after normalisation.
Table depth(const std::string& name, int k) {
    Table table = drift(name, k);
    double planar = 0.0;
    for (const Offset3& s : table) planar = std::fmax(planar, std::fmax(std::fabs(s.x), std::fabs(s.y)));
    const std::vector<double> z = lane(name, "z", k);
    for (int p = 0; p < sixteen_beats; ++p) table[p].z = z[p];
    scale_axis_peak(table, &Offset3::z, 0.52 / peak * planar);
    return table;
}

struct NoiseKind {
    const char* word;
    Table (*rule)(const std::string& name, int k);
    int dimensions;
    int counts[4];
};

const NoiseKind noise_kinds[] = {
    {"drift", drift, 2, {5, 7, 9, 11}},
    {"orbit", orbit, 2, {6, 8, 10, 12}},
    {"ripple", ripple, 2, {5, 7, 9, 11}},
    {"depth", depth, 3, {6, 8, 10, 12}},
};

}  // namespace

void add_noise(Rows& rows) {
    for (const NoiseKind& kind : noise_kinds) {
        for (int k : kind.counts) {
            const std::string name = "noise_" + std::string(kind.word) + "_" + std::to_string(k);
            rows.push_back(make_pattern(name, sixteen_beats, kind.dimensions,
                                        "Indexed SHA-256 control points in a closed " + std::string(kind.word) +
                                            " path. No mutable random state.",
                                        normalised(kind.rule(name, k))));
        }
    }
}

}  // namespace kinetrope_tablegen::atlas
