// SSE2 variant of the grid pass's ray set-up and hits; in the browser the same
// code runs on WebAssembly SIMD, where every operation here is one instruction.
#include <emmintrin.h>

#include <cmath>

#include "common/float_to_int.h"
#include "common/trig.h"
#include "raycast/ray_trace.h"

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>

#include "common/trig_tables.h"
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

#if defined(__wasm_simd128__)

// gf::atan2 of two rays at once: each lane takes the same IEEE double
// operations in the same order as the scalar code's usual path (the ratio
// split at the nearest tabulated angle, the short series, the quick rounding),
// so the results are the same doubles. A pair with a lane off that path (a
// zero, infinite or NaN coordinate, a tiny ratio, extreme magnitudes, or a
// rounding the quick sum cannot settle) takes the scalar atan2 for both lanes.
struct DdPair {
    v128_t hi;
    v128_t lo;
};

inline v128_t f64(double value) { return wasm_f64x2_splat(value); }

inline DdPair fast_two_sum(v128_t a, v128_t b) {
    const v128_t s = wasm_f64x2_add(a, b);
    return {s, wasm_f64x2_sub(b, wasm_f64x2_sub(s, a))};
}

inline DdPair two_sum(v128_t a, v128_t b) {
    const v128_t s = wasm_f64x2_add(a, b);
    const v128_t bb = wasm_f64x2_sub(s, a);
    return {s, wasm_f64x2_add(wasm_f64x2_sub(a, wasm_f64x2_sub(s, bb)), wasm_f64x2_sub(b, bb))};
}

inline DdPair two_prod(v128_t a, v128_t b) {
    const v128_t splitter = f64(134217729.0);  // 2^27 + 1
    const v128_t p = wasm_f64x2_mul(a, b);
    const v128_t ta = wasm_f64x2_mul(splitter, a);
    const v128_t ah = wasm_f64x2_sub(ta, wasm_f64x2_sub(ta, a));
    const v128_t al = wasm_f64x2_sub(a, ah);
    const v128_t tb = wasm_f64x2_mul(splitter, b);
    const v128_t bh = wasm_f64x2_sub(tb, wasm_f64x2_sub(tb, b));
    const v128_t bl = wasm_f64x2_sub(b, bh);
    const v128_t cross = wasm_f64x2_add(
        wasm_f64x2_add(wasm_f64x2_sub(wasm_f64x2_mul(ah, bh), p), wasm_f64x2_mul(ah, bl)), wasm_f64x2_mul(al, bh));
    return {p, wasm_f64x2_add(cross, wasm_f64x2_mul(al, bl))};
}

inline DdPair add(DdPair a, DdPair b) {
    const DdPair s = two_sum(a.hi, b.hi);
    return fast_two_sum(s.hi, wasm_f64x2_add(s.lo, wasm_f64x2_add(a.lo, b.lo)));
}

inline DdPair neg(DdPair a) { return {wasm_f64x2_neg(a.hi), wasm_f64x2_neg(a.lo)}; }

inline DdPair select(v128_t mask, DdPair if_set, DdPair if_clear) {
    return {wasm_v128_bitselect(if_set.hi, if_clear.hi, mask), wasm_v128_bitselect(if_set.lo, if_clear.lo, mask)};
}

// kAtanTable at the two indices.
inline DdPair atan_table(v128_t index) {
    const v128_t ints = wasm_i32x4_trunc_sat_f64x2_zero(index);
    const auto& table = trig_tables::kAtanTable;
    const v128_t first = wasm_v128_load(&table[wasm_i32x4_extract_lane(ints, 0)]);
    const v128_t second = wasm_v128_load(&table[wasm_i32x4_extract_lane(ints, 1)]);
    return {wasm_i64x2_shuffle(first, second, 0, 2), wasm_i64x2_shuffle(first, second, 1, 3)};
}

inline v128_t atan2_pair(v128_t y, v128_t x) {
    const v128_t sign = f64(-0.0);
    const v128_t ay = wasm_v128_andnot(y, sign);
    const v128_t ax = wasm_v128_andnot(x, sign);
    const v128_t steep = wasm_f64x2_gt(ay, ax);
    const v128_t a = wasm_v128_bitselect(ax, ay, steep);
    const v128_t b = wasm_v128_bitselect(ay, ax, steep);

    // The split ratio: with c = index/64 nearest a/b, u = (a − c·b)/(b + c·a).
    const v128_t t = wasm_f64x2_div(a, b);
    const v128_t shift = f64(0x1.8p52);
    const v128_t index = wasm_f64x2_sub(wasm_f64x2_add(wasm_f64x2_mul(t, f64(64.0)), shift), shift);
    const v128_t c = wasm_f64x2_div(index, f64(64.0));
    const DdPair cb = two_prod(c, b);
    const DdPair numerator = two_sum(wasm_f64x2_sub(a, cb.hi), wasm_f64x2_neg(cb.lo));
    const DdPair ca = two_prod(c, a);
    const DdPair sum = two_sum(b, ca.hi);
    const DdPair denominator = fast_two_sum(sum.hi, wasm_f64x2_add(sum.lo, ca.lo));
    const v128_t q1 = wasm_f64x2_div(numerator.hi, denominator.hi);
    const DdPair p = two_prod(q1, denominator.hi);
    const v128_t rest =
        wasm_f64x2_sub(wasm_f64x2_add(wasm_f64x2_sub(wasm_f64x2_sub(numerator.hi, p.hi), p.lo), numerator.lo),
                       wasm_f64x2_mul(q1, denominator.lo));
    const DdPair u = fast_two_sum(q1, wasm_f64x2_div(rest, denominator.hi));

    // atan(u) = u − u³/3 + … in plain doubles past u, added to the table's angle.
    const v128_t z = wasm_f64x2_mul(u.hi, u.hi);
    v128_t series = wasm_f64x2_add(f64(1.0 / 9.0), wasm_f64x2_mul(z, f64(-1.0 / 11.0)));
    series = wasm_f64x2_add(f64(-1.0 / 7.0), wasm_f64x2_mul(z, series));
    series = wasm_f64x2_add(f64(0.2), wasm_f64x2_mul(z, series));
    series = wasm_f64x2_add(f64(-1.0 / 3.0), wasm_f64x2_mul(z, series));
    const DdPair small = fast_two_sum(u.hi, wasm_f64x2_add(u.lo, wasm_f64x2_mul(wasm_f64x2_mul(u.hi, z), series)));
    DdPair angle = add(atan_table(index), small);

    // Folded back out of the first octant and quadrant.
    const DdPair pi_over_2 = {f64(0x1.921fb54442d18p+0), f64(0x1.1a62633145c07p-54)};
    const DdPair pi = {f64(0x1.921fb54442d18p+1), f64(0x1.1a62633145c07p-53)};
    angle = select(steep, add(pi_over_2, neg(angle)), angle);
    const v128_t x_negative = wasm_i64x2_shr(x, 63);
    angle = select(x_negative, add(pi, neg(angle)), angle);

    // Rounded when every value within 2^-62 of it rounds the same way.
    const v128_t error = wasm_f64x2_mul(wasm_v128_andnot(angle.hi, sign), f64(0x1p-62));
    const v128_t up = wasm_f64x2_add(angle.hi, wasm_f64x2_add(angle.lo, error));
    const v128_t down = wasm_f64x2_add(angle.hi, wasm_f64x2_sub(angle.lo, error));
    const v128_t usual = wasm_v128_and(wasm_v128_and(wasm_f64x2_ge(t, f64(0x1p-60)), wasm_f64x2_eq(up, down)),
                                       wasm_v128_and(wasm_f64x2_le(b, f64(0x1p+900)), wasm_f64x2_ge(b, f64(0x1p-900))));
    if (!wasm_i64x2_all_true(usual)) {
        return wasm_f64x2_make(gf::atan2(wasm_f64x2_extract_lane(y, 0), wasm_f64x2_extract_lane(x, 0)),
                               gf::atan2(wasm_f64x2_extract_lane(y, 1), wasm_f64x2_extract_lane(x, 1)));
    }
    return wasm_v128_xor(up, wasm_v128_and(y, sign));
}

#endif

}  // namespace

void trace_row(const ViewCamera& cam, bool tunnel, const float* slope_x, float slope_y, RowHits& row) {
    if (tunnel) {
        trace_row_of<true>(cam, slope_x, slope_y, row);
    } else {
        trace_row_of<false>(cam, slope_x, slope_y, row);
    }
}

// The texture values of the portable tracer's tunnel_value and planes_value,
// two columns per vector; the tunnel's angle is the scalar atan2, or in the
// browser atan2_pair two columns at a time.
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
#if defined(__wasm_simd128__)
        for (int j = 0; j < kRayGridColumns; j += 2) {
            const v128_t y = wasm_f64x2_promote_low_f32x4(wasm_v128_load64_zero(row.hy + j));
            const v128_t x = wasm_f64x2_promote_low_f32x4(wasm_v128_load64_zero(row.hx + j));
            const __m128d scaled = static_cast<__m128d>(wasm_f64x2_mul(atan2_pair(y, x), f64(kTunnelAngleToTexels)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(values.u + j),
                             to_ints(_mm_mul_pd(magnitude(scaled), _mm_set1_pd(kFixedOne))));
        }
#else
        for (int j = 0; j < kRayGridColumns; ++j) {
            const double angle = gf::atan2(static_cast<double>(row.hy[j]), static_cast<double>(row.hx[j]));
            values.u[j] = float_to_int(std::fabs(angle * kTunnelAngleToTexels) * kFixedOne);
        }
#endif
    }
}

}  // namespace gf::sse2
