// SSE2 variant of the grid pass's ray set-up and hits; in the browser the same
// code runs on WebAssembly SIMD, where every operation here is one instruction.
#include <emmintrin.h>

#include <cmath>

#include "common/float_to_int.h"
#include "common/trig.h"
#include "raycast/ray_trace.h"

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace gf::sse2 {

namespace {

// Four rays at once as two pairs of doubles, each step the same IEEE double
// operation as the portable tracer with the same float roundings, so the hits
// are identical.
// Two doubles to floats, in the low half. The empty asm keeps the floats
// opaque: on x86 so that the round trip in round_to_float is not folded away
// (as in to_float), in WebAssembly so that the compiler keeps the one vector
// conversion each way instead of splitting it into a scalar one per lane.
inline __m128 to_floats(__m128d value) {
    __m128 floats = _mm_cvtpd_ps(value);
#if defined(__wasm_simd128__)
    __asm__("" : "+r"(floats));
#else
    __asm__("" : "+x"(floats));
#endif
    return floats;
}

inline __m128d round_to_float(__m128d value) { return _mm_cvtps_pd(to_floats(value)); }

inline __m128d select(__m128d mask, __m128d if_set, __m128d if_clear) {
    return _mm_or_pd(_mm_and_pd(mask, if_set), _mm_andnot_pd(mask, if_clear));
}

inline void rotate(__m128d& a, __m128d& b, const Rotation& r, bool plus_first) {
    // plus_first: a' = a·cos + b·sin, b' = b·cos − a·sin (about Y);
    // otherwise   a' = a·cos − b·sin, b' = a·sin + b·cos (about X and Z).
    const __m128d c = _mm_set1_pd(r.cos);
    const __m128d s = _mm_set1_pd(r.sin);
    __m128d na;
    __m128d nb;
    if (plus_first) {
        na = _mm_add_pd(_mm_mul_pd(a, c), _mm_mul_pd(b, s));
        nb = _mm_sub_pd(_mm_mul_pd(b, c), _mm_mul_pd(a, s));
    } else {
        na = _mm_sub_pd(_mm_mul_pd(a, c), _mm_mul_pd(b, s));
        nb = _mm_add_pd(_mm_mul_pd(a, s), _mm_mul_pd(b, c));
    }
    a = round_to_float(na);
    b = round_to_float(nb);
}

// What every pair of a row shares: the camera broadcast, and the row's y and
// z after the turn about X, which do not depend on the column.
struct RowConstants {
    __m128d cx;
    __m128d cy;
    __m128d cz;
    __m128d y;
    __m128d z;
    __m128d qc;        // tunnel: |c|² − r² in the xy plane
    __m128d distance;  // planes: the distance to the planes
};

// The hits of rays j, j + 1 (x holds their x slopes).
struct PairHits {
    __m128 hx;  // the two floats in the low half
    __m128 hy;
    __m128 hz;
    __m128d t;
};

template <bool kTunnel>
__attribute__((always_inline)) inline PairHits trace_pair(const ViewCamera& cam, const RowConstants& k, __m128d x) {
    const __m128d zero = _mm_setzero_pd();
    __m128d y = k.y;
    __m128d z = k.z;
    rotate(x, z, cam.ry, true);
    rotate(x, y, cam.rz, false);
    // Normalise, leaving a zero-length ray as it is (NaN lengths divide, as in the scalar code).
    const __m128d length = _mm_sqrt_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(x, x), _mm_mul_pd(y, y)), _mm_mul_pd(z, z)));
    const __m128d nonzero = _mm_cmpneq_pd(length, zero);  // true for NaN, as the scalar != is
    x = select(nonzero, round_to_float(_mm_div_pd(x, length)), x);
    y = select(nonzero, round_to_float(_mm_div_pd(y, length)), y);
    z = select(nonzero, round_to_float(_mm_div_pd(z, length)), z);

    PairHits hits;
    if constexpr (kTunnel) {
        const __m128d qa = round_to_float(_mm_add_pd(_mm_mul_pd(x, x), _mm_mul_pd(y, y)));
        const __m128d qb = _mm_mul_pd(_mm_set1_pd(2.0), _mm_add_pd(_mm_mul_pd(k.cx, x), _mm_mul_pd(k.cy, y)));
        const __m128d root =
            _mm_sqrt_pd(_mm_sub_pd(_mm_mul_pd(qb, qb), _mm_mul_pd(_mm_mul_pd(_mm_set1_pd(4.0), qa), k.qc)));
        const __m128d twice_qa = _mm_mul_pd(_mm_set1_pd(2.0), qa);
        const __m128d minus_qb = _mm_xor_pd(qb, _mm_set1_pd(-0.0));  // −qb, signed zeros included
        const __m128d t1 = round_to_float(_mm_div_pd(_mm_sub_pd(minus_qb, root), twice_qa));
        const __m128d t2 = round_to_float(_mm_div_pd(_mm_sub_pd(root, qb), twice_qa));
        const __m128d t = select(_mm_cmpgt_pd(t2, t1), t2, t1);  // ordered: NaN keeps t1
        hits.hx = to_floats(_mm_add_pd(_mm_mul_pd(t, x), k.cx));
        hits.hy = to_floats(_mm_add_pd(_mm_mul_pd(t, y), k.cy));
        hits.hz = to_floats(_mm_add_pd(_mm_mul_pd(t, z), k.cz));
        hits.t = t;
    } else {
        const __m128d sign = select(_mm_cmpgt_pd(y, zero), _mm_set1_pd(1.0), _mm_set1_pd(-1.0));
        const __m128d t = _mm_div_pd(_mm_mul_pd(sign, k.distance), y);
        hits.hx = to_floats(_mm_add_pd(_mm_mul_pd(t, x), k.cx));
        hits.hy = _mm_setzero_ps();
        hits.hz = to_floats(_mm_add_pd(_mm_mul_pd(t, z), k.cz));
        hits.t = t;
    }
    return hits;
}

template <bool kTunnel>
void trace_row_of(const ViewCamera& cam, const float* slope_x, float slope_y, RowHits& row) {
    RowConstants k;
    k.cx = _mm_set1_pd(cam.x);
    k.cy = _mm_set1_pd(cam.y);
    k.cz = _mm_set1_pd(cam.z);
    k.y = _mm_set1_pd(slope_y);
    k.z = _mm_set1_pd(1.0);
    rotate(k.y, k.z, cam.rx, false);
    k.qc = _mm_set1_pd(static_cast<double>(cam.x) * cam.x + static_cast<double>(cam.y) * cam.y - kTunnelRadiusSquared);
    k.distance = _mm_set1_pd(plane_distance(cam));
    for (int j = 0; j < kPaddedColumns; j += 4) {
        const __m128 slopes = _mm_load_ps(slope_x + j);
        const PairHits lo = trace_pair<kTunnel>(cam, k, _mm_cvtps_pd(slopes));
        const PairHits hi = trace_pair<kTunnel>(cam, k, _mm_cvtps_pd(_mm_movehl_ps(slopes, slopes)));
        _mm_store_ps(row.hx + j, _mm_movelh_ps(lo.hx, hi.hx));
        if constexpr (kTunnel) {
            _mm_store_ps(row.hy + j, _mm_movelh_ps(lo.hy, hi.hy));
        }
        _mm_store_ps(row.hz + j, _mm_movelh_ps(lo.hz, hi.hz));
        _mm_store_pd(row.t + j, lo.t);
        _mm_store_pd(row.t + j + 2, hi.t);
    }
}

// Two doubles truncated toward zero to 32-bit integers in the low half:
// exact for |value| < 2^31, anything for the rest. (Emscripten's SSE2
// header converts lane by lane through lrint; WebAssembly has it in one.)
inline __m128i truncate(__m128d value) {
#if defined(__wasm_simd128__)
    return static_cast<__m128i>(wasm_i32x4_trunc_sat_f64x2_zero(static_cast<v128_t>(value)));
#else
    return _mm_cvttpd_epi32(value);
#endif
}

inline __m128d magnitude(__m128d value) { return _mm_andnot_pd(_mm_set1_pd(-0.0), value); }

// float_to_int of two doubles, in the low half: one vector conversion when
// both are within the 32-bit range, float_to_int itself otherwise.
inline __m128i to_ints(__m128d value) {
    if (_mm_movemask_pd(_mm_cmplt_pd(magnitude(value), _mm_set1_pd(0x1p31))) == 3) {  // NaN compares false
        return truncate(value);
    }
    alignas(16) double lanes[2];
    _mm_store_pd(lanes, value);
    return _mm_setr_epi32(float_to_int(lanes[0]), float_to_int(lanes[1]), 0, 0);
}

// The shade of two levels at most 256, in the low half: a level at or below
// 0, or NaN, is black (max picks 0 for NaN as the portable test does).
inline __m128i shades(__m128d level) {
    return _mm_slli_epi32(truncate(_mm_max_pd(level, _mm_setzero_pd())), kShadeShift);
}

// The four ints of two pairs.
inline __m128i join(__m128i lo, __m128i hi) { return _mm_unpacklo_epi64(lo, hi); }

}  // namespace

void trace_row(const ViewCamera& cam, bool tunnel, const float* slope_x, float slope_y, RowHits& row) {
    if (tunnel) {
        trace_row_of<true>(cam, slope_x, slope_y, row);
    } else {
        trace_row_of<false>(cam, slope_x, slope_y, row);
    }
}

// The texture values of the portable tracer's tunnel_value and planes_value,
// two columns per vector; the tunnel's angle stays the scalar atan2.
void row_values(bool tunnel, const RowHits& row, RowValues& values) {
    for (int j = 0; j < kPaddedColumns; j += 4) {
        const __m128 hz = _mm_load_ps(row.hz + j);
        const __m128d hz_lo = magnitude(_mm_cvtps_pd(hz));
        const __m128d hz_hi = magnitude(_mm_cvtps_pd(_mm_movehl_ps(hz, hz)));
        const __m128d root_lo = _mm_sqrt_pd(_mm_load_pd(row.t + j));
        const __m128d root_hi = _mm_sqrt_pd(_mm_load_pd(row.t + j + 2));
        __m128i v;
        __m128i shade;
        if (tunnel) {
            const __m128d scale = _mm_set1_pd(kTunnelDepthScale);
            v = join(to_ints(_mm_mul_pd(hz_lo, scale)), to_ints(_mm_mul_pd(hz_hi, scale)));
            const __m128d full = _mm_set1_pd(kTunnelFullShade);
            const __m128d falloff = _mm_set1_pd(kTunnelShadeFalloff);
            shade = join(shades(_mm_sub_pd(full, _mm_mul_pd(root_lo, falloff))),
                         shades(_mm_sub_pd(full, _mm_mul_pd(root_hi, falloff))));
        } else {
            const __m128d scale = _mm_set1_pd(kPlaneScale);
            const __m128d offset = _mm_set1_pd(kPlaneRowOffset);
            v = join(to_ints(_mm_sub_pd(offset, _mm_mul_pd(hz_lo, scale))),
                     to_ints(_mm_sub_pd(offset, _mm_mul_pd(hz_hi, scale))));
            const __m128 hx = _mm_load_ps(row.hx + j);
            const __m128d hx_lo = magnitude(_mm_cvtps_pd(hx));
            const __m128d hx_hi = magnitude(_mm_cvtps_pd(_mm_movehl_ps(hx, hx)));
            _mm_store_si128(reinterpret_cast<__m128i*>(values.u + j),
                            join(to_ints(_mm_mul_pd(hx_lo, scale)), to_ints(_mm_mul_pd(hx_hi, scale))));
            const __m128d full = _mm_set1_pd(kPlaneFullShade);
            const __m128d falloff = _mm_set1_pd(kPlaneShadeFalloff);
            shade = join(shades(_mm_sub_pd(full, _mm_mul_pd(root_lo, falloff))),
                         shades(_mm_sub_pd(full, _mm_mul_pd(root_hi, falloff))));
        }
        _mm_store_si128(reinterpret_cast<__m128i*>(values.v + j), v);
        _mm_store_si128(reinterpret_cast<__m128i*>(values.shade + j), shade);
    }
    if (tunnel) {
        for (int j = 0; j < kRayGridColumns; ++j) {
            const double angle = gf::atan2(static_cast<double>(row.hy[j]), static_cast<double>(row.hx[j]));
            values.u[j] = float_to_int(std::fabs(angle * kTunnelAngleToTexels) * kFixedOne);
        }
    }
}

}  // namespace gf::sse2
