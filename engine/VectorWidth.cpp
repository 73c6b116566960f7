#include "engine/VectorWidth.h"

#include <atomic>

namespace {
std::atomic<int> g_limit{0};
}

int WidestVectorFloats() {
#if defined(__x86_64__)
    static const int widest = (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw"))
                                  ? 16
                                  : (__builtin_cpu_supports("avx2") ? 8 : 4);
    return widest;
#else
    return 4;
#endif
}

void LimitVectorFloats(int floats) { g_limit.store(floats, std::memory_order_relaxed); }

int VectorFloats() {
    const int limit = g_limit.load(std::memory_order_relaxed);
    return limit > 0 && limit < WidestVectorFloats() ? limit : WidestVectorFloats();
}
