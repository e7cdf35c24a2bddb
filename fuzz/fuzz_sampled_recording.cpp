// kinetrope::SampledRecording: name, axes, rows, tempo, origin and start pip,
// and the pips it is sampled at.
//
// Input: the name (a length byte and raw bytes); an axis count byte (0 to 7)
// and one byte per axis choosing a name (valid, repeated, invalid or raw);
// bpm and origin (edge values or any double); the start pip (near both 32-bit
// ends or any value); a row count byte and a ragged-row byte, then the
// values; pips to sample last.
//
// Success: the recording keeps every field, and each pip inside its rows
// samples back that row bit for bit while every other pip gets
// std::out_of_range "Pip outside non-looping recording". Refusal:
// std::invalid_argument with the message of the first failed check, in the
// order name, tempo and origin, sizes, axes, rows.

#include <limits>
#include <set>
#include <vector>

#include "harness.hpp"
#include "kinetrope/sampled_recording.hpp"

namespace {

using kinetrope::SampledRecording;
using Rows = std::vector<std::vector<double>>;

constexpr int int_max = std::numeric_limits<int>::max();

std::string pick_axis(fuzz::Input& in) {
    static const char* const names[] = {"x", "y", "z", "pan", "tilt", "a_b9", "X", "1x", "_x", "a-b", "", "x ", "z"};
    const std::uint8_t kind = in.u8();
    if (kind < 195) return names[kind % 13];
    if (kind < 225) return std::string(128, 'a') + (kind % 2 ? "" : "b");  // at and past the length limit
    return in.text();
}

double pick_time(fuzz::Input& in) {
    static const double edges[] = {120.0,
                                   0.0,
                                   -120.0,
                                   1e-308,
                                   3.4e-307,
                                   3.3e-307,
                                   std::numeric_limits<double>::quiet_NaN(),
                                   std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::infinity(),
                                   std::numeric_limits<double>::denorm_min(),
                                   -3.5,
                                   std::numeric_limits<double>::max()};
    const std::uint8_t kind = in.u8();
    if (kind < 12) return edges[kind];
    return kind < 200 ? in.u16() / 64.0 : in.f64();
}

int pick_start(fuzz::Input& in) {
    const std::uint8_t kind = in.u8();
    if (kind < 64) return int_max - kind;
    if (kind < 128) return std::numeric_limits<int>::min() + kind;
    if (kind < 192) return static_cast<std::int8_t>(in.u8());
    return in.i32();
}

// The first check the inputs fail, or nullptr when they pass them all.
const char* expected_refusal(const std::string& name, const std::vector<std::string>& axes, const Rows& rows,
                             double bpm, double origin, int start) {
    if (!fuzz::is_identifier(name)) return "Invalid identifier";
    if (!std::isfinite(bpm) || bpm <= 0.0 || !std::isfinite(60.0 / bpm) || !std::isfinite(origin)) {
        return "A finite positive BPM and beat origin are required";
    }
    if (axes.empty() || rows.empty() || rows.size() > 8388608 / axes.size() ||
        static_cast<long long>(start) + static_cast<long long>(rows.size()) > int_max) {
        return "Empty recording or recording resource limit exceeded";
    }
    std::set<std::string> seen;
    for (const std::string& axis : axes) {
        if (!fuzz::is_identifier(axis)) return "Invalid identifier";
        if (!seen.insert(axis).second) return "Duplicate axis";
    }
    for (const auto& row : rows) {
        if (row.size() != axes.size()) return "Ragged recording";
        for (const double v : row) {
            if (!fuzz::in_unit_range(v)) return "Invalid sample";
        }
    }
    return nullptr;
}

void check_recording(const SampledRecording& r, const std::string& name, const std::vector<std::string>& axes,
                     const Rows& rows, double bpm, double origin, int start, const std::vector<int>& pips) {
    fuzz::require(r.name() == name && r.dimensions() == axes, "name or axes changed");
    fuzz::require(r.sample_count() == rows.size() && r.start_pip() == start, "rows or start changed");
    fuzz::require(fuzz::same_bits(r.bpm(), bpm) && fuzz::same_bits(r.beat_zero_seconds(), origin),
                  "tempo or origin changed");
    for (const int pip : pips) {
        const long long row = static_cast<long long>(pip) - start;
        const bool inside = row >= 0 && row < static_cast<long long>(rows.size());
        try {
            const std::vector<double> got = r.sample(pip);
            fuzz::require(inside, "a pip outside the rows sampled");
            const auto& want = rows[static_cast<std::size_t>(row)];
            fuzz::require(got.size() == want.size(), "row has the wrong length");
            for (std::size_t a = 0; a < got.size(); ++a) {
                fuzz::require(fuzz::same_bits(got[a], want[a]), "row is not the one recorded");
            }
        } catch (const std::exception& error) {
            fuzz::require(!inside, "a pip inside the rows was refused");
            fuzz::require_refusal<std::out_of_range>(error, "Pip outside non-looping recording", "pip refusal");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::string name = in.text();
    std::vector<std::string> axes(in.u8() % 8);
    for (std::string& axis : axes) axis = pick_axis(in);
    const double bpm = pick_time(in);
    const double origin = pick_time(in);
    const int start = pick_start(in);
    const std::size_t row_count = in.u8();
    const std::uint8_t ragged = in.u8();
    Rows rows(row_count);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::size_t length = axes.size();
        if (r == ragged) length = ragged % 2 ? length + 1 : (length == 0 ? 0 : length - 1);
        for (std::size_t a = 0; a < length; ++a) rows[r].push_back(fuzz::pick_value(in));
    }
    std::vector<int> pips;
    while (!in.empty() && pips.size() < 8) {
        const std::uint8_t near = in.u8();
        // Mostly around the rows, whose edges are where a wrong bound shows.
        const long long pip = near < 192 ? static_cast<long long>(start) + (near - 96) : fuzz::pick_pip(in);
        if (pip >= std::numeric_limits<int>::min() && pip <= int_max) pips.push_back(static_cast<int>(pip));
    }
    pips.push_back(start);

    fuzz::check_construction(
        fuzz::message(expected_refusal(name, axes, rows, bpm, origin, start)),
        [&] { return SampledRecording(name, axes, rows, bpm, origin, start); },
        [&](const SampledRecording& recording) {
            check_recording(recording, name, axes, rows, bpm, origin, start, pips);
        });
    return 0;
}
