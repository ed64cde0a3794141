// Rounding figures that add up, as a minimum-cost circulation: every figure is an arc, every
// "the parts add up to the whole" a node where what comes in leaves again. Each arc takes a whole
// number of units near its exact value; the cost of a value grows with its distance from the
// exact one, so the cheapest circulation is the one closest to plain rounding in which every node
// balances. A value beyond the exact value's floor or ceiling costs a penalty far above any
// rounding, so it is taken only where no rounding within one unit exists.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quilmark {

class RoundingFlow {
 public:
  explicit RoundingFlow(size_t nodes) : excess_(nodes, 0), first_out_(nodes) {}

  // An arc from `from` to `to` whose value is `exact` (in units of the last decimal) rounded, or
  // `fixed` exactly when given. Returns its index. Ties go to the arc added first: of two figures
  // ending in exactly half a unit, the earlier one is rounded up.
  size_t AddArc(size_t from, size_t to, long double exact, std::optional<int64_t> fixed = {});

  // Rounds every arc so that every node balances. Returns false when the fixed arcs alone make
  // that impossible (the values are then the nearest it came).
  bool Solve();

  int64_t Value(size_t arc) const { return arcs_[arc].value; }
  // Whether the arc's value lies within one unit of its exact value.
  bool WithinUnit(size_t arc) const;

 private:
  struct Arc {
    size_t from, to;
    long double exact;
    int64_t floor, ceil;
    int64_t value;
    bool fixed;
    int64_t order;  // the later an arc, the cheaper it is to round down at a tie
  };
  int64_t Cost(const Arc& arc, int64_t value) const;
  // The cost of moving `arc` one unit up (forward) or down (backward); nullopt where it cannot.
  std::optional<int64_t> StepCost(const Arc& arc, bool forward) const;
  bool Augment(std::vector<int64_t>& potential);

  std::vector<Arc> arcs_;
  std::vector<int64_t> excess_;                 // what comes in less what leaves, per node
  std::vector<std::vector<size_t>> first_out_;  // per node: the arcs touching it
};

}  // namespace quilmark
