// kinetrope::sample(name, pip): any name, any pip.
//
// Input: a mode byte, a pip, then the name. Mode 0 takes the rest of the input
// as the name; otherwise the name is a catalogue row's name, picked by a
// 16-bit index, then maybe edited (cut short, a byte appended or a byte
// changed), so near misses of every real name are tried.
//
// Success: the name is listed, the sample is finite and within [-1, 1], the
// axes above the listed axis count stay 0, and the pattern repeats by its
// listed period. Refusal: the name is not listed, std::invalid_argument
// "Unknown dance rudiment: " followed by the name exactly.

#include <cstring>
#include <string>
#include <unordered_map>

#include "harness.hpp"
#include "kinetrope/catalogue.hpp"

namespace {

const std::unordered_map<std::string_view, kinetrope::RudimentInfo>& listed() {
    static const auto rows = [] {
        std::unordered_map<std::string_view, kinetrope::RudimentInfo> map;
        for (const auto& row : kinetrope::catalogue()) map.emplace(row.name, row);
        return map;
    }();
    return rows;
}

std::string pick_name(fuzz::Input& in, std::uint8_t mode) {
    const auto& rows = kinetrope::catalogue();
    std::string name(rows[in.u16() % rows.size()].name);
    const std::uint8_t edit = in.u8();
    const std::size_t at = in.u8() % (name.size() + 1);
    const char byte = static_cast<char>(in.u8());
    switch (mode % 4) {
        case 1:
            break;
        case 2:
            name.resize(at);
            break;
        case 3:
            if (edit % 2 == 0 || at == name.size()) {
                name.insert(name.begin() + static_cast<std::ptrdiff_t>(at), byte);
            } else {
                name[at] = byte;
            }
            break;
        default:
            name.push_back(byte);
            break;
    }
    return name;
}

void check_success(const std::string& name, int pip, const kinetrope::Offset3& got) {
    const auto row = listed().find(name);
    fuzz::require(row != listed().end(), "an unlisted name was sampled");
    fuzz::require_in_range(got, "sample outside [-1, 1]");
    const int dims = row->second.dimensions;
    fuzz::require(dims >= 1 && dims <= 3, "axis count outside 1..3");
    fuzz::require(dims >= 3 || fuzz::same_bits(got.z, 0.0), "z moves in a pattern of fewer than three axes");
    fuzz::require(dims >= 2 || fuzz::same_bits(got.y, 0.0), "y moves in a one-axis pattern");
    const int period = row->second.period_pips;
    fuzz::require(period > 0, "period not positive");
    const auto wrapped = static_cast<int>(fuzz::floor_mod(pip, static_cast<std::size_t>(period)));
    fuzz::require(fuzz::same_bits(kinetrope::sample(name, wrapped), got), "sample differs from its wrapped pip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t mode = in.u8();
    const int pip = fuzz::pick_pip(in);
    std::string name;
    if (mode == 0) {
        while (!in.empty()) name.push_back(static_cast<char>(in.u8()));
    } else {
        name = pick_name(in, mode);
    }
    kinetrope::Offset3 got;
    try {
        got = kinetrope::sample(name, pip);
    } catch (const std::exception& error) {
        fuzz::require(listed().find(name) == listed().end(), "a listed name was refused");
        fuzz::require_refusal<std::invalid_argument>(error, "Unknown dance rudiment: " + name, "unknown-name refusal");
        return 0;
    } catch (...) {
        fuzz::fail("a non-standard exception escaped");
    }
    check_success(name, pip, got);
    return 0;
}
