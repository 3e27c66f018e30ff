// Processor feature detection. The answers are read once and kept: the
// processor does not change while the program runs.
#include "common/cpu_features.h"

namespace gf {

namespace {

struct CpuFeatures {
    bool sse2 = false;
    bool avx2 = false;
};

CpuFeatures detect() {
    CpuFeatures features;
#if defined(__x86_64__)
    // Called explicitly so that the answers are right even before the
    // program's static constructors have run.
    __builtin_cpu_init();
    features.sse2 = true;  // part of every x86-64 processor
    features.avx2 = __builtin_cpu_supports("avx2") != 0;
#elif defined(__wasm_simd128__)
    features.sse2 = true;  // the SSE2 variants build for WebAssembly SIMD (emscripten's SSE2 header)
#endif
    return features;
}

}  // namespace

bool cpu_supports(InstructionSet set) {
    static const CpuFeatures features = detect();
    switch (set) {
        case InstructionSet::kPortable:
            return true;
        case InstructionSet::kSse2:
            return features.sse2;
        case InstructionSet::kAvx2:
            return features.avx2;
    }
    return false;
}

const char* instruction_set_name(InstructionSet set) {
    switch (set) {
        case InstructionSet::kPortable:
            return "portable";
        case InstructionSet::kSse2:
            return "sse2";
        case InstructionSet::kAvx2:
            return "avx2";
    }
    return "unknown";
}

}  // namespace gf
