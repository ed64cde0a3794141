// Rounding parts of a figure that is already rounded, so that the rounded parts add up to it.
#pragma once

#include <span>
#include <vector>

namespace quilmark {

// The parts rounded to the decimals so that they sum exactly to `rounded_total` (a figure already
// rounded to those decimals, at most one unit of the last decimal from the parts' exact sum):
// each part is rounded down, and the units left over go to the parts with the largest remainders
// (ties to the earlier part). A part that is exactly zero stays zero.
std::vector<double> SplitRounded(double rounded_total, std::span<const double> parts, int decimals);

}  // namespace quilmark
