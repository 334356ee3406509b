#pragma once

// The scale of a value axis: its bounds and major unit as the axis gives them, the others
// chosen as Graph chooses them (round steps, zero in the range unless the values lie far from
// it), and where a value falls along the axis.

#include <vector>

#include "office/graph/msgraph/model.h"

namespace office::graph::picture {

struct ValueScale {
    double min = 0;
    double max = 1;
    double step = 0.2;
    bool logarithmic = false;

    // The value's place along the axis, 0 at min and 1 at max (beyond them outside 0..1).
    double position(double value) const;
    // The values of the major ticks from min to max.
    std::vector<double> ticks() const;
};

// The scale for values from low to high (low <= high).
ValueScale valueScale(double low, double high, const msgraph::Scaling& scaling);

}  // namespace office::graph::picture
