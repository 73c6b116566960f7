#include "effects/EchoGains.h"

#include <algorithm>
#include <cmath>

void CalcEchoGains(float attenuation, int repeat, float gains[kEchoGainSlots]) {
    repeat = std::clamp(repeat, 0, kMaxEchoes);
    float sum = 1.0f;
    for (int k = 1; k <= repeat; ++k) {
        gains[k] = std::pow(attenuation, static_cast<float>(k));
        sum = gains[k] + sum;
    }
    const float norm = 1.0f / std::max(0.75f * sum, 1.0f);
    gains[0] = norm;
    for (int k = 1; k <= repeat; ++k) gains[k] = norm * gains[k];
}
