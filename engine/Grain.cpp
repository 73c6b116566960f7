#include "engine/Grain.h"

#include <cmath>

namespace {
constexpr float kPi = 3.14159265358979f;
constexpr int kClearAhead = 2048;  // zeroed stretch ahead of the newest grain's centre
}

bool StepToNextGrainMark(CPsolaVoice& v, double step, int newest) {
    const double nextPos = v.markPos + step;
    const int nk = static_cast<int>(std::ceil(nextPos));
    if (nk + 1 > newest) return false;
    v.markPos = nextPos;
    v.k = nk;
    return true;
}

void ClearAhead(const COlaRing& ola, CPsolaVoice& v, int grainPos, int pa) {
    int target = grainPos + kClearAhead;
    if (grainPos + pa + 1 > target) target = grainPos + pa + 1;
    const int ringLen = ola.mask + 1;
    if (target - v.cleared > ringLen) v.cleared = target - ringLen;
    for (int x = v.cleared; x < target; ++x) ola.data[x & ola.mask] = 0.0f;
    if (target > v.cleared) v.cleared = target;
}

void AddGrain(const COlaRing& ola, const CInputRing& in, const CPsolaVoice& v, int pa, int markSample, int count) {
    const int len = 2 * pa;
    const float step = kPi / static_cast<float>(len);
    const int base = v.grainPos - pa;
    for (int i = 0; i <= len; ++i) {
        const float w = std::sin(static_cast<float>(i) * step);
        const int s = markSample + i;
        // Input at or beyond the count has not arrived (and may be being written): it counts as 0.
        const float x = s < count ? in.data[s & in.mask] : 0.0f;
        const float val = w * w * x;
        ola.data[(base + i) & ola.mask] += val;
    }
}

void BuildSegment(const COlaRing& ola, const CPsolaVoice& v, int nIn, std::vector<float>& seg) {
    seg.resize(static_cast<size_t>(nIn) + 1);
    seg[0] = v.carried;
    for (int i = 0; i < nIn; ++i) seg[static_cast<size_t>(i) + 1] = ola.data[(v.readPos + i) & ola.mask];
}
