// The range a 田坎 deduction coefficient must lie in, for every reader of one.
#pragma once

namespace quilmark {

// True for a coefficient in [0, 1); false above, below and for NaN.
constexpr bool InDeductionRange(double coefficient) { return coefficient >= 0 && coefficient < 1; }

}  // namespace quilmark
