// kinetrope::PatternLibrary: a pack of host patterns in front of the built-ins.
//
// Input: a count byte (below 255 a pack of up to 31 patterns; 255 and a
// second byte one of the large counts around the limit of 1024), then one
// plan per pattern: a kind byte and its arguments.
//   kind 0: a fresh pattern named p0..p7 (so names repeat) of 1 to 16 samples
//   kind 1: a copy of a built-in picked by catalogue row, then maybe changed:
//           description, one component by one step, one sample fewer or more
//   kind 2: a moved-from pattern
//   kind 3: a long fresh pattern (up to 65535 samples) named by its position,
//           to reach the sample budget
// Patterns past the end of the input are fresh one-sample fillers. Pips to
// sample follow the plans.
//
// Success: the listing is the built-in rows then each kept pattern's row in
// order; a kept pattern samples back its own samples, wrapped; an exact copy
// of a built-in is dropped and the name samples the built-in; an unknown name
// gets the built-in lookup's refusal. Refusal: std::invalid_argument with the
// message of the first offending pattern, checks in the order count, then per
// pattern moved-from, duplicate, budget, changed built-in.

#include <cmath>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "harness.hpp"
#include "kinetrope/catalogue.hpp"
#include "kinetrope/pattern_library.hpp"

namespace {

using kinetrope::Offset3;
using kinetrope::PatternLibrary;
using kinetrope::SampledPattern;

struct Plan {
    std::string name;
    std::string description;
    std::vector<Offset3> samples;  // empty: moved-from
    bool builtin_name = false;
    bool identical_to_builtin = false;
};

double pick_unit(fuzz::Input& in) { return -1.0 + 2.0 * in.u8() / 255.0; }

Plan fresh(std::string name, std::size_t count, fuzz::Input& in) {
    Plan plan{std::move(name), "host pattern", {}};
    const Offset3 first{pick_unit(in), pick_unit(in), pick_unit(in)};
    plan.samples.assign(count, Offset3{0.0, -0.5, 0.25});
    for (std::size_t i = 0; i < count; i += 3) plan.samples[i] = first;
    return plan;
}

// One step towards zero keeps a component in range; zero steps up to the
// smallest subnormal.
double nudge(double v) { return v == 0.0 ? std::nextafter(0.0, 1.0) : std::nextafter(v, 0.0); }

Plan builtin_copy(fuzz::Input& in) {
    const auto& rows = kinetrope::catalogue();
    const kinetrope::RudimentInfo& row = rows[in.u16() % rows.size()];
    Plan plan{std::string(row.name), std::string(row.description), {}, true, true};
    for (int pip = 0; pip < row.period_pips; ++pip) plan.samples.push_back(kinetrope::sample(row.name, pip));
    const std::uint8_t change = in.u8() % 6;
    const std::size_t at = in.u16() % plan.samples.size();
    switch (change) {
        case 1:
            plan.description.push_back('.');
            break;
        case 2: {
            double* component[] = {&plan.samples[at].x, &plan.samples[at].y, &plan.samples[at].z};
            double& v = *component[in.u8() % 3];
            v = nudge(v);
            break;
        }
        case 3:
            plan.samples.pop_back();
            break;
        case 4:
            plan.samples.push_back(plan.samples[at]);
            break;
        default:
            return plan;  // unchanged
    }
    plan.identical_to_builtin = false;
    return plan;
}

// `total` counts the samples picked so far: once past the budget, long
// patterns shrink, which keeps an input's memory bounded.
Plan pick_plan(fuzz::Input& in, std::size_t index, std::size_t total) {
    if (in.empty()) return fresh("filler_" + std::to_string(index), 1, in);
    const std::uint8_t kind = in.u8() % 4;
    switch (kind) {
        case 0: {
            const std::string name = "p" + std::to_string(in.u8() % 8);
            const std::size_t length = 1 + in.u8() % 16;
            return fresh(name, length, in);
        }
        case 1:
            return builtin_copy(in);
        case 2:
            return Plan{"p" + std::to_string(in.u8() % 8), "", {}};
        default: {
            static const std::size_t long_counts[] = {65535, 65535 - 15, 16, 17, 32768, 1024};
            const std::string name = "l" + std::to_string(index);
            const std::size_t length = long_counts[in.u8() % 6];
            return fresh(name, total > 1100000 ? 1 : length, in);
        }
    }
}

SampledPattern make(const Plan& plan) {
    if (!plan.samples.empty()) return SampledPattern(plan.name, plan.description, plan.samples);
    SampledPattern source(plan.name, plan.description, {{0.0, 0.0, 0.0}});
    SampledPattern taken = std::move(source);
    (void)taken;
    return source;  // the moved-from husk
}

// The message of the first check the pack fails, or nothing; marks which
// plans the library keeps.
std::optional<std::string> expected_refusal(const std::vector<Plan>& plans, std::vector<bool>& kept) {
    if (plans.size() > 1024) return "Too many patterns";
    std::set<std::string> seen;
    std::size_t total = 0;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const Plan& s = plans[i];
        if (s.samples.empty()) return "Empty/moved-from pattern";
        if (!seen.insert(s.name).second) return "Duplicate pattern name: " + s.name;
        total += s.samples.size();
        if (total > 1048576) return "Pattern pack is too large";
        if (s.builtin_name && !s.identical_to_builtin) return "Cannot override default pattern: " + s.name;
        kept[i] = !s.builtin_name;
    }
    return std::nullopt;
}

bool same_row(const kinetrope::RudimentInfo& a, const kinetrope::RudimentInfo& b) {
    return a.name == b.name && a.description == b.description && a.period_pips == b.period_pips &&
           a.dimensions == b.dimensions;
}

void check_library(const PatternLibrary& library, const std::vector<Plan>& plans, const std::vector<bool>& kept,
                   const std::vector<SampledPattern>& given, const std::vector<int>& pips) {
    const auto& builtins = kinetrope::catalogue();
    const std::vector<kinetrope::RudimentInfo> rows = library.catalogue();
    std::size_t own = 0;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        if (!kept[i]) continue;
        fuzz::require(builtins.size() + own < rows.size(), "a kept pattern is not listed");
        fuzz::require(same_row(rows[builtins.size() + own], given[i].info()), "own row differs from its pattern");
        ++own;
    }
    fuzz::require(rows.size() == builtins.size() + own, "listing has rows of no kept pattern");
    for (std::size_t i = 0; i < builtins.size(); ++i) {
        fuzz::require(same_row(rows[i], builtins[i]), "built-in rows changed or out of order");
    }
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const Plan& s = plans[i];
        for (const int pip : pips) {
            const Offset3 got = library.sample(s.name, pip);
            const Offset3 want =
                kept[i] ? s.samples[fuzz::floor_mod(pip, s.samples.size())] : kinetrope::sample(s.name, pip);
            fuzz::require(fuzz::same_bits(got, want), "library sample is neither its own nor the built-in");
            fuzz::require_in_range(got, "sample outside [-1, 1]");
        }
    }
    try {
        (void)library.sample("zz_not_a_pattern", 0);
    } catch (const std::exception& error) {
        fuzz::require_refusal<std::invalid_argument>(error, "Unknown dance rudiment: zz_not_a_pattern",
                                                     "unknown name through a library");
        return;
    }
    fuzz::fail("an unknown name sampled");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    static const std::size_t large_counts[] = {1024, 1025, 1023, 1099, 600, 100, 64, 48};
    const std::uint8_t count_byte = in.u8();
    const std::size_t count = count_byte < 255 ? count_byte % 32 : large_counts[in.u8() % 8];
    std::vector<Plan> plans;
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        plans.push_back(pick_plan(in, i, total));
        total += plans.back().samples.size();
    }
    std::vector<int> pips;
    while (!in.empty() && pips.size() < 4) pips.push_back(fuzz::pick_pip(in));
    pips.push_back(-1);

    std::vector<SampledPattern> given;
    for (const Plan& s : plans) given.push_back(make(s));
    std::vector<bool> kept(plans.size(), false);
    const std::optional<std::string> refusal = expected_refusal(plans, kept);
    fuzz::check_construction(
        refusal, [&] { return PatternLibrary(given); },
        [&](const PatternLibrary& library) { check_library(library, plans, kept, given, pips); });
    return 0;
}
