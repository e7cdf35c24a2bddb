#pragma once

// Shared by the fuzz harnesses: a reader that turns the fuzzer's bytes into
// arguments, value pickers that favour the edges of every check, and the
// property checks. A broken property aborts, so libFuzzer keeps the input.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <typeinfo>

#include "kinetrope/pip.hpp"

namespace fuzz {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

inline void require(bool ok, const char* what) {
    if (!ok) fail(what);
}

// A refusal must be exactly the expected type, not merely derived from it,
// and carry exactly the expected message. what() is a C string, so a name
// holding a NUL byte shows only up to it; that is all a caller can read.
template <typename Expected>
void require_refusal(const std::exception& error, const std::string& message, const char* what) {
    require(typeid(error) == typeid(Expected), what);
    require(std::strcmp(error.what(), message.c_str()) == 0, what);
}

// Builds an object and checks it: construction must be refused, with exactly
// the expected message, when `refusal` holds one, and succeed otherwise.
template <typename Construct, typename Check>
void check_construction(const std::optional<std::string>& refusal, Construct construct, Check check) {
    try {
        auto built = construct();
        require(!refusal, "invalid inputs were accepted");
        check(built);
    } catch (const std::exception& error) {
        require(refusal.has_value(), "valid inputs were refused");
        require_refusal<std::invalid_argument>(error, *refusal, "construction refusal");
    } catch (...) {
        fail("a non-standard exception escaped");
    }
}

inline std::optional<std::string> message(const char* text) {
    return text ? std::optional<std::string>(text) : std::nullopt;
}

inline bool in_unit_range(double v) { return std::isfinite(v) && v >= -1.0 && v <= 1.0; }

inline void require_in_range(const kinetrope::Offset3& o, const char* what) {
    require(in_unit_range(o.x) && in_unit_range(o.y) && in_unit_range(o.z), what);
}

// Bit for bit: a stored sample must come back exactly, -0.0 included.
inline bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool same_bits(const kinetrope::Offset3& a, const kinetrope::Offset3& b) {
    return same_bits(a.x, b.x) && same_bits(a.y, b.y) && same_bits(a.z, b.z);
}

// Floor modulo computed wide, as an independent oracle for the wrap.
inline std::size_t floor_mod(int pip, std::size_t period) {
    const auto p = static_cast<std::int64_t>(period);
    return static_cast<std::size_t>(((static_cast<std::int64_t>(pip) % p) + p) % p);
}

// The naming rule, written out again here so the harness does not trust the
// code under test to judge itself.
inline bool is_identifier(std::string_view text) {
    if (text.empty() || text.size() > 128) return false;
    if (!(text[0] >= 'a' && text[0] <= 'z')) return false;
    for (char c : text) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    }
    return true;
}

// Reads the input front to back; past its end every read gives zeros.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }

    std::uint8_t u8() { return empty() ? 0 : data_[pos_++]; }

    std::uint16_t u16() { return static_cast<std::uint16_t>(u8() | (u8() << 8)); }

    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int shift = 0; shift < 32; shift += 8) v |= static_cast<std::uint32_t>(u8()) << shift;
        return v;
    }

    std::int32_t i32() {
        const std::uint32_t v = u32();
        std::int32_t out;
        std::memcpy(&out, &v, sizeof out);
        return out;
    }

    double f64() {
        std::uint64_t bits = 0;
        for (int shift = 0; shift < 64; shift += 8) bits |= static_cast<std::uint64_t>(u8()) << shift;
        double out;
        std::memcpy(&out, &bits, sizeof out);
        return out;
    }

    // A length byte, then that many raw bytes.
    std::string text() {
        const std::size_t length = u8();
        std::string out;
        while (out.size() < length && !empty()) out.push_back(static_cast<char>(u8()));
        return out;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A coordinate: mostly in [-1, 1], often exactly on an edge or just past it,
// sometimes NaN, infinite or any bit pattern at all.
inline double pick_value(Input& in) {
    static const double edges[] = {
        0.0,
        -0.0,
        1.0,
        -1.0,
        std::nextafter(1.0, 2.0),
        std::nextafter(-1.0, -2.0),
        std::nextafter(1.0, 0.0),
        std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::denorm_min(),
        -std::numeric_limits<double>::denorm_min(),
        std::numeric_limits<double>::max(),
        0.5,
        -0.5,
        2.0,
    };
    const std::uint8_t kind = in.u8();
    if (kind < 16) return edges[kind];
    if (kind < 224) return -1.0 + 2.0 * in.u16() / 65535.0;
    return in.f64();
}

// A pip: the 32-bit ends, small values around zero, or any value.
inline int pick_pip(Input& in) {
    static const int edges[] = {0,
                                -1,
                                1,
                                std::numeric_limits<int>::max(),
                                std::numeric_limits<int>::min(),
                                std::numeric_limits<int>::max() - 1,
                                std::numeric_limits<int>::min() + 1,
                                64};
    const std::uint8_t kind = in.u8();
    if (kind < 8) return edges[kind];
    if (kind < 128) return static_cast<int>(static_cast<std::int8_t>(in.u8()));
    return in.i32();
}

}  // namespace fuzz
