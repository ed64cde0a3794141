// 平差 of the pieces an overlay cuts from one patch: their computed areas scaled so that they add
// up exactly to the patch's recorded area (the survey's TBMJ), as the survey's own overlay
// statistics do, so that no total moves when a layer is cut.
#pragma once

#include <span>

namespace quilmark {

// Replaces the computed areas (each >= 0) by their shares of `total` (> 0). Where the total is
// given in hundredths, as TBMJ is, every share is a whole number of hundredths and the shares add
// up to the total to the hundredth: each is first rounded down, and the hundredths left go one
// each to the shares that lost most in rounding (the larger share first on a tie, then the
// earlier). Otherwise the shares are exact and the largest takes what the others leave. Where the
// computed areas add up to 0 the first piece takes the whole total.
void AdjustPieces(std::span<double> areas, double total);

}  // namespace quilmark
