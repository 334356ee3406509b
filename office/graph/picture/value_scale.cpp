#include "office/graph/picture/value_scale.h"

#include <algorithm>
#include <cmath>

namespace office::graph::picture {

namespace {

// At most this many major ticks, whatever the axis' own unit says.
constexpr int kMaxTicks = 1000;
// Values near the ends of the doubles' range would make the range itself infinite.
constexpr double kLargest = 1e307;

// The axis' own bounds and units where they are finite numbers within that range.
msgraph::Scaling saneScaling(msgraph::Scaling s) {
    for (std::optional<double>* bound : {&s.min, &s.max, &s.majorUnit, &s.minorUnit}) {
        if (*bound && !(std::abs(**bound) <= kLargest)) {
            bound->reset();
        }
    }
    return s;
}

// The round step (1, 2 or 5 times a power of ten) that divides the range into at most about
// eight parts.
double roundStep(double range) {
    const double raw = range / 8;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= raw * (1 - 1e-9)) {
            return factor * power;
        }
    }
    return 10 * power;
}

ValueScale logarithmicScale(double low, double high, const msgraph::Scaling& s) {
    ValueScale scale;
    scale.logarithmic = true;
    const double lowest = low > 0 ? low : 1;
    scale.min = s.min && *s.min > 0 ? *s.min : std::pow(10.0, std::floor(std::log10(lowest)));
    scale.max = s.max && *s.max > scale.min
                    ? *s.max
                    : std::pow(10.0, std::ceil(std::log10(std::max(high, scale.min * 10))));
    scale.step = s.majorUnit && *s.majorUnit > 1 ? *s.majorUnit : 10;
    return scale;
}

}  // namespace

double ValueScale::position(double value) const {
    if (logarithmic) {
        const double v = std::log10(std::max(value, min * 1e-3));
        return (v - std::log10(min)) / (std::log10(max) - std::log10(min));
    }
    return (value - min) / (max - min);
}

std::vector<double> ValueScale::ticks() const {
    std::vector<double> out;
    for (int i = 0; i <= kMaxTicks; ++i) {
        const double v = logarithmic ? min * std::pow(step, i) : min + step * i;
        if (v > max * (1 + 1e-9) + (logarithmic ? 0 : step * 1e-9)) {
            break;
        }
        out.push_back(std::abs(v) < step * 1e-9 ? 0 : v);
    }
    return out;
}

ValueScale valueScale(double low, double high, const msgraph::Scaling& scaling) {
    const msgraph::Scaling s = saneScaling(scaling);
    low = std::clamp(low, -kLargest, kLargest);
    high = std::clamp(high, -kLargest, kLargest);
    if (s.logarithmic) {
        return logarithmicScale(low, high, s);
    }
    // Zero is in the range unless the values differ and all lie within the top (bottom)
    // sixth of it.
    if (low > 0 && (high - low <= 0 || high - low > high / 6)) {
        low = 0;
    }
    if (high < 0 && (high - low <= 0 || high - low > -low / 6)) {
        high = 0;
    }
    if (s.min) {
        low = *s.min;
    }
    if (s.max) {
        high = *s.max;
    }
    if (!(high > low)) {
        high = low + (low == 0 ? 1 : std::abs(low) / 10);
    }
    ValueScale scale;
    scale.step = s.majorUnit && *s.majorUnit > (high - low) / kMaxTicks ? *s.majorUnit
                                                                        : roundStep(high - low);
    scale.min = s.min ? *s.min : std::floor(low / scale.step + 1e-9) * scale.step;
    scale.max = s.max ? *s.max : std::ceil(high / scale.step - 1e-9) * scale.step;
    if (!(scale.max > scale.min)) {
        scale.max = scale.min + scale.step;
    }
    return scale;
}

}  // namespace office::graph::picture
