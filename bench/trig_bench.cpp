// Cost of the shared sin, cos and atan2 against the C library's in the same
// run: each iteration evaluates one batch of arguments with both, alternately,
// and the counter "x_libm" is the ratio of their thread CPU times.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "common/trig.h"
#include "thread_time.h"

namespace {

// Angles up to show times in milliseconds times the effects' rates, and
// coordinates of the tunnel grid.
std::vector<double> arguments(double range, unsigned seed) {
    std::mt19937_64 engine(seed);
    std::uniform_real_distribution<double> value(-range, range);
    std::vector<double> out(4096);
    for (double& v : out) {
        v = value(engine);
    }
    return out;
}

template <typename Ours, typename Libm>
void compare(benchmark::State& state, const std::vector<double>& xs, const std::vector<double>& ys, Ours ours,
             Libm libm) {
    double ours_seconds = 0, libm_seconds = 0;
    for (auto _ : state) {
        double sum = 0;
        double start = thread_seconds();
        for (std::size_t i = 0; i < xs.size(); ++i) {
            sum += ours(ys[i], xs[i]);
        }
        ours_seconds += thread_seconds() - start;
        start = thread_seconds();
        for (std::size_t i = 0; i < xs.size(); ++i) {
            sum += libm(ys[i], xs[i]);
        }
        libm_seconds += thread_seconds() - start;
        benchmark::DoNotOptimize(sum);
    }
    state.counters["x_libm"] = ours_seconds / libm_seconds;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * xs.size()));
}

void BM_Sin(benchmark::State& state) {
    const std::vector<double> xs = arguments(700.0, 1);
    compare(
        state, xs, xs, [](double, double x) { return gf::sin(x); }, [](double, double x) { return std::sin(x); });
}
BENCHMARK(BM_Sin);

void BM_Cos(benchmark::State& state) {
    const std::vector<double> xs = arguments(8.0, 2);
    compare(
        state, xs, xs, [](double, double x) { return gf::cos(x); }, [](double, double x) { return std::cos(x); });
}
BENCHMARK(BM_Cos);

void BM_Atan2(benchmark::State& state) {
    const std::vector<double> xs = arguments(4000.0, 3);
    const std::vector<double> ys = arguments(4000.0, 4);
    compare(
        state, xs, ys, [](double y, double x) { return gf::atan2(y, x); },
        [](double y, double x) { return std::atan2(y, x); });
}
BENCHMARK(BM_Atan2);

}  // namespace
