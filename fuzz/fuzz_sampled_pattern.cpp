// kinetrope::SampledPattern: name, description and samples.
//
// Input: the name and the description (each a length byte and raw bytes), a
// count byte, the samples, then pips to sample. A count byte below 255 is the
// sample count itself, each sample read from the input; 255 is followed by a
// byte choosing a count at or around the 65535 limit, filled by repeating up
// to eight read samples.
//
// Success: every check passed; the pattern keeps the name, description and
// count, samples back what it was given at the wrapped pip, bit for bit,
// reports the derived axis count, and copies and moves keep it intact while
// the moved-from source refuses to sample. Refusal: std::invalid_argument
// with the message of the first failed check, in the order name, count,
// values.

#include <utility>
#include <vector>

#include "harness.hpp"
#include "kinetrope/sampled_pattern.hpp"

namespace {

using kinetrope::Offset3;
using kinetrope::SampledPattern;

std::vector<Offset3> pick_samples(fuzz::Input& in) {
    const std::uint8_t count_byte = in.u8();
    std::vector<Offset3> samples;
    if (count_byte < 255) {
        for (int i = 0; i < count_byte; ++i) {
            samples.push_back({fuzz::pick_value(in), fuzz::pick_value(in), fuzz::pick_value(in)});
        }
        return samples;
    }
    static const std::size_t large[] = {65535, 65536, 65534, 1, 0, 40000};
    const std::size_t count = large[in.u8() % 6];
    std::vector<Offset3> cycle;
    const int distinct = 1 + in.u8() % 8;
    for (int i = 0; i < distinct; ++i)
        cycle.push_back({fuzz::pick_value(in), fuzz::pick_value(in), fuzz::pick_value(in)});
    samples.reserve(count);
    for (std::size_t i = 0; i < count; ++i) samples.push_back(cycle[i % cycle.size()]);
    return samples;
}

// The first check the inputs fail, or nullptr when they pass them all.
const char* expected_refusal(const std::string& name, const std::vector<Offset3>& samples) {
    if (!fuzz::is_identifier(name)) return "Invalid pattern name";
    if (samples.empty() || samples.size() > 65535) return "A pattern requires 1..65535 samples (one per pip)";
    for (const Offset3& s : samples) {
        if (!fuzz::in_unit_range(s.x) || !fuzz::in_unit_range(s.y) || !fuzz::in_unit_range(s.z)) {
            return "Pattern samples must be finite and within [-1, 1]";
        }
    }
    return nullptr;
}

unsigned expected_dimensions(const std::vector<Offset3>& samples) {
    unsigned dims = 1;
    for (const Offset3& s : samples) {
        if (s.z != 0.0) return 3;
        if (s.y != 0.0) dims = 2;
    }
    return dims;
}

void check_pattern(const SampledPattern& p, const std::string& name, const std::string& description,
                   const std::vector<Offset3>& samples, const std::vector<int>& pips) {
    fuzz::require(p.name() == name && p.description() == description, "name or description changed");
    fuzz::require(p.sample_count() == samples.size(), "sample count changed");
    const kinetrope::RudimentInfo info = p.info();
    fuzz::require(info.name == name && info.description == description, "info texts differ");
    fuzz::require(info.period_pips == samples.size(), "info period is not the sample count");
    fuzz::require(info.dimensions == expected_dimensions(samples) && p.dimensions() == info.dimensions,
                  "axis count not as derived");
    for (const int pip : pips) {
        const Offset3 got = p.sample(pip);
        fuzz::require(fuzz::same_bits(got, samples[fuzz::floor_mod(pip, samples.size())]),
                      "sample is not the given one at the wrapped pip");
        fuzz::require_in_range(got, "sample outside [-1, 1]");
    }
}

void check_moved_from(const SampledPattern& source) {
    fuzz::require(source.sample_count() == 0 && source.info().period_pips == 0, "moved-from pattern kept samples");
    try {
        (void)source.sample(0);
    } catch (const std::exception& error) {
        fuzz::require_refusal<std::logic_error>(error, "Cannot sample a moved-from pattern", "moved-from refusal");
        return;
    }
    fuzz::fail("a moved-from pattern sampled");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::string name = in.text();
    const std::string description = in.text();
    const std::vector<Offset3> samples = pick_samples(in);
    std::vector<int> pips;
    while (!in.empty() && pips.size() < 16) pips.push_back(fuzz::pick_pip(in));
    pips.push_back(0);

    fuzz::check_construction(
        fuzz::message(expected_refusal(name, samples)), [&] { return SampledPattern(name, description, samples); },
        [&](SampledPattern& pattern) {
            check_pattern(pattern, name, description, samples, pips);
            const SampledPattern copy = pattern;
            check_pattern(copy, name, description, samples, pips);
            SampledPattern moved = std::move(pattern);
            check_pattern(moved, name, description, samples, pips);
            check_moved_from(pattern);
            pattern = copy;  // a moved-from pattern may be assigned to
            check_pattern(pattern, name, description, samples, pips);
        });
    return 0;
}
