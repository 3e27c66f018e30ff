// AVX2 variant of the grid pass's ray set-up and hits.
#include <immintrin.h>

#include "raycast/ray_trace.h"

namespace gf::avx2 {

namespace {

// Four rays at once, each step the same IEEE double operation as the
// portable tracer with the same float roundings, so the hits are identical.
inline __m256d round_to_float(__m256d value) {
    __m128 rounded = _mm256_cvtpd_ps(value);
    __asm__("" : "+x"(rounded));  // as in to_float: the round trip must not be folded away
    return _mm256_cvtps_pd(rounded);
}

inline void rotate(__m256d& a, __m256d& b, const Rotation& r, bool plus_first) {
    // plus_first: a' = a·cos + b·sin, b' = b·cos − a·sin (about Y);
    // otherwise   a' = a·cos − b·sin, b' = a·sin + b·cos (about X and Z).
    const __m256d c = _mm256_set1_pd(r.cos);
    const __m256d s = _mm256_set1_pd(r.sin);
    __m256d na;
    __m256d nb;
    if (plus_first) {
        na = _mm256_add_pd(_mm256_mul_pd(a, c), _mm256_mul_pd(b, s));
        nb = _mm256_sub_pd(_mm256_mul_pd(b, c), _mm256_mul_pd(a, s));
    } else {
        na = _mm256_sub_pd(_mm256_mul_pd(a, c), _mm256_mul_pd(b, s));
        nb = _mm256_add_pd(_mm256_mul_pd(a, s), _mm256_mul_pd(b, c));
    }
    a = round_to_float(na);
    b = round_to_float(nb);
}

}  // namespace

void trace_row(const ViewCamera& cam, bool tunnel, const float* slope_x, float slope_y, RowHits& row) {
    const __m256d zero = _mm256_setzero_pd();
    const __m256d cx = _mm256_set1_pd(cam.x);
    const __m256d cy = _mm256_set1_pd(cam.y);
    const __m256d cz = _mm256_set1_pd(cam.z);
    const double qc_scalar =
        static_cast<double>(cam.x) * cam.x + static_cast<double>(cam.y) * cam.y - kTunnelRadiusSquared;
    const __m256d qc = _mm256_set1_pd(qc_scalar);
    const __m256d distance = _mm256_set1_pd(plane_distance(cam));
    for (int j = 0; j < kPaddedColumns; j += 4) {
        __m256d x = _mm256_cvtps_pd(_mm_load_ps(slope_x + j));
        __m256d y = _mm256_set1_pd(slope_y);
        __m256d z = _mm256_set1_pd(1.0);
        rotate(y, z, cam.rx, false);
        rotate(x, z, cam.ry, true);
        rotate(x, y, cam.rz, false);
        // Normalise, leaving a zero-length ray as it is (NaN lengths divide, as in the scalar code).
        const __m256d length =
            _mm256_sqrt_pd(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(x, x), _mm256_mul_pd(y, y)), _mm256_mul_pd(z, z)));
        const __m256d nonzero = _mm256_cmp_pd(length, zero, _CMP_NEQ_UQ);
        x = _mm256_blendv_pd(x, round_to_float(_mm256_div_pd(x, length)), nonzero);
        y = _mm256_blendv_pd(y, round_to_float(_mm256_div_pd(y, length)), nonzero);
        z = _mm256_blendv_pd(z, round_to_float(_mm256_div_pd(z, length)), nonzero);

        if (tunnel) {
            const __m256d qa = round_to_float(_mm256_add_pd(_mm256_mul_pd(x, x), _mm256_mul_pd(y, y)));
            const __m256d qb =
                _mm256_mul_pd(_mm256_set1_pd(2.0), _mm256_add_pd(_mm256_mul_pd(cx, x), _mm256_mul_pd(cy, y)));
            const __m256d root = _mm256_sqrt_pd(
                _mm256_sub_pd(_mm256_mul_pd(qb, qb), _mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(4.0), qa), qc)));
            const __m256d twice_qa = _mm256_mul_pd(_mm256_set1_pd(2.0), qa);
            const __m256d minus_qb = _mm256_xor_pd(qb, _mm256_set1_pd(-0.0));  // −qb, signed zeros included
            const __m256d t1 = round_to_float(_mm256_div_pd(_mm256_sub_pd(minus_qb, root), twice_qa));
            const __m256d t2 = round_to_float(_mm256_div_pd(_mm256_sub_pd(root, qb), twice_qa));
            const __m256d t = _mm256_blendv_pd(t1, t2, _mm256_cmp_pd(t2, t1, _CMP_GT_OQ));
            _mm_store_ps(row.hx + j, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(t, x), cx)));
            _mm_store_ps(row.hy + j, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(t, y), cy)));
            _mm_store_ps(row.hz + j, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(t, z), cz)));
            _mm256_store_pd(row.t + j, t);
        } else {
            const __m256d sign =
                _mm256_blendv_pd(_mm256_set1_pd(-1.0), _mm256_set1_pd(1.0), _mm256_cmp_pd(y, zero, _CMP_GT_OQ));
            const __m256d t = _mm256_div_pd(_mm256_mul_pd(sign, distance), y);
            _mm_store_ps(row.hx + j, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(t, x), cx)));
            _mm_store_ps(row.hz + j, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(t, z), cz)));
            _mm256_store_pd(row.t + j, t);
        }
    }
}

}  // namespace gf::avx2
