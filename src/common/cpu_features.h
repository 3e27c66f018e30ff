// The processor's vector instruction sets, detected once, and the variant
// lists through which every effect with vector code picks its widest path.
//
// Each effect with vector code keeps one implementation per instruction set:
// gf::portable::name in the effect's own file, gf::sse2::name and
// gf::avx2::name in name_sse2.cpp and name_avx2.cpp, which the build compiles
// with that set's flags. The effect lists them, portable first and widest
// last; the public function runs the widest one this processor has, and the
// tests run every one against the portable one.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace gf {

enum class InstructionSet { kPortable, kSse2, kAvx2 };

// True when this processor (and its operating system) can run code built for `set`.
bool cpu_supports(InstructionSet set);

// "portable", "sse2" or "avx2".
const char* instruction_set_name(InstructionSet set);

// One implementation of an operation of type Fn.
template <class Fn>
struct Variant {
    InstructionSet set;
    Fn* run;
};

// The variants of `all` this processor can run, in their order.
template <class Fn, std::size_t N>
std::vector<Variant<Fn>> runnable_variants(const std::array<Variant<Fn>, N>& all) {
    std::vector<Variant<Fn>> runnable;
    for (const Variant<Fn>& variant : all) {
        if (cpu_supports(variant.set)) {
            runnable.push_back(variant);
        }
    }
    return runnable;
}

// The last variant of `all` this processor can run; the list starts with the portable one.
template <class Fn, std::size_t N>
Fn* widest_variant(const std::array<Variant<Fn>, N>& all) {
    Fn* widest = all[0].run;
    for (const Variant<Fn>& variant : all) {
        if (cpu_supports(variant.set)) {
            widest = variant.run;
        }
    }
    return widest;
}

}  // namespace gf
