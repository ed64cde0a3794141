#include "src/summary/rounding_flow.h"

#include <cmath>
#include <functional>
#include <limits>
#include <queue>

namespace quilmark {
namespace {

// Distances are counted in millionths of a unit: 0.4999999999 and 0.5 are the same remainder,
// so binary noise never decides a tie.
constexpr long double kQuantum = 1e6L;
// A unit beyond the floor or ceiling costs as much as a thousand units of rounding.
constexpr int64_t kBeyondBound = 1'000'000'000;

}  // namespace

size_t RoundingFlow::AddArc(size_t from, size_t to, long double exact,
                            std::optional<int64_t> fixed) {
  Arc arc{from, to, exact, 0, 0, 0, fixed.has_value(), static_cast<int64_t>(arcs_.size())};
  const long double nearest = std::round(exact);
  if (std::abs(exact - nearest) * kQuantum < 0.5L) {
    arc.floor = arc.ceil = static_cast<int64_t>(nearest);
  } else {
    arc.floor = static_cast<int64_t>(std::floor(exact));
    arc.ceil = arc.floor + 1;
  }
  arc.value = fixed ? *fixed : arc.floor;
  arcs_.push_back(arc);
  first_out_[from].push_back(arcs_.size() - 1);
  first_out_[to].push_back(arcs_.size() - 1);
  return arcs_.size() - 1;
}

bool RoundingFlow::WithinUnit(size_t arc) const {
  return arcs_[arc].value >= arcs_[arc].floor && arcs_[arc].value <= arcs_[arc].ceil;
}

// The distance from the exact value, weighted so that one millionth of a unit outweighs every
// tie-break; beyond the bounds the penalty; and a tie-break linear in the value (so the cost
// stays convex) that makes rounding up cheaper the earlier the arc.
int64_t RoundingFlow::Cost(const Arc& arc, int64_t value) const {
  const auto weight = static_cast<int64_t>(arcs_.size()) + 1;
  const auto distance = static_cast<int64_t>(std::llround(std::abs(value - arc.exact) * kQuantum));
  const int64_t beyond = value > arc.ceil    ? value - arc.ceil
                         : value < arc.floor ? arc.floor - value
                                             : 0;
  const int64_t tie = (weight - 1 - arc.order) * (arc.ceil - value);
  return (distance + beyond * kBeyondBound) * weight + tie;
}

std::optional<int64_t> RoundingFlow::StepCost(const Arc& arc, bool forward) const {
  if (arc.fixed) return std::nullopt;
  const int64_t next = arc.value + (forward ? 1 : -1);
  if (next < 0 && arc.exact >= 0) return std::nullopt;  // an area is never below zero
  return Cost(arc, next) - Cost(arc, arc.value);
}

// One unit sent along the cheapest path from a node with too much coming in to one with too
// little (Dijkstra over reduced costs, the potentials kept so that they stay non-negative).
bool RoundingFlow::Augment(std::vector<int64_t>& potential) {
  constexpr int64_t kUnreached = std::numeric_limits<int64_t>::max();
  const size_t nodes = excess_.size();
  std::vector<int64_t> distance(nodes, kUnreached);
  std::vector<int64_t> via(nodes, -1);  // arc index, negated minus one when taken backward
  using Entry = std::pair<int64_t, size_t>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
  for (size_t n = 0; n < nodes; ++n) {
    if (excess_[n] > 0) queue.push({distance[n] = 0, n});
  }
  size_t target = nodes;
  while (!queue.empty()) {
    const auto [d, node] = queue.top();
    queue.pop();
    if (d != distance[node]) continue;
    if (excess_[node] < 0) {
      target = node;
      break;
    }
    for (size_t a : first_out_[node]) {
      const Arc& arc = arcs_[a];
      const bool forward = arc.from == node;
      const std::optional<int64_t> cost = StepCost(arc, forward);
      if (!cost) continue;
      const size_t next = forward ? arc.to : arc.from;
      const int64_t reach = d + *cost + potential[node] - potential[next];
      if (reach < distance[next]) {
        distance[next] = reach;
        via[next] = forward ? static_cast<int64_t>(a) : -static_cast<int64_t>(a) - 1;
        queue.push({reach, next});
      }
    }
  }
  if (target == nodes) return false;
  for (size_t n = 0; n < nodes; ++n) potential[n] += std::min(distance[n], distance[target]);
  ++excess_[target];
  size_t node = target;
  while (via[node] != -1) {  // back to the node the unit leaves: a start, reached by no arc
    const bool forward = via[node] >= 0;
    Arc& arc = arcs_[forward ? via[node] : -via[node] - 1];
    arc.value += forward ? 1 : -1;
    node = forward ? arc.from : arc.to;
  }
  --excess_[node];
  return true;
}

bool RoundingFlow::Solve() {
  for (Arc& arc : arcs_) {
    if (!arc.fixed && Cost(arc, arc.ceil) < Cost(arc, arc.floor)) arc.value = arc.ceil;
  }
  std::fill(excess_.begin(), excess_.end(), 0);
  for (const Arc& arc : arcs_) {
    excess_[arc.to] += arc.value;
    excess_[arc.from] -= arc.value;
  }
  std::vector<int64_t> potential(excess_.size(), 0);
  for (;;) {
    bool left = false;
    for (int64_t e : excess_) left = left || e > 0;
    if (!left) return true;
    if (!Augment(potential)) return false;
  }
}

}  // namespace quilmark
