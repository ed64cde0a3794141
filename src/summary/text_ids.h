// Small numbers for the texts of a run. The run's one loop gives every distinct zone and class
// text an id once, so that a task keeps what it derives from a text (a class key, a place in its
// tables) in an array indexed by the id, instead of deriving it and hashing the text again for
// each of a million rows that repeat a few hundred texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quilmark {

// Ids 0, 1, 2, ... in the order the texts are first met, compared byte for byte.
class TextIds {
 public:
  uint32_t Id(std::string_view text) {
    // The rows of one zone usually come together: the text met last is tried first.
    if (last_text_ != nullptr && *last_text_ == text) return last_id_;
    auto it = ids_.find(text);
    if (it == ids_.end()) {
      it = ids_.emplace(std::string(text), static_cast<uint32_t>(ids_.size())).first;
    }
    last_text_ = &it->first;  // keys of an unordered_map stay where they are
    last_id_ = it->second;
    return last_id_;
  }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_map<std::string, uint32_t, Hash, std::equal_to<>> ids_;
  const std::string* last_text_ = nullptr;
  uint32_t last_id_ = 0;
};

// What a task derived from each text id, derived when the id is first met.
template <typename T>
class ById {
 public:
  template <typename Derive>
  T Get(uint32_t id, Derive derive) {
    if (id >= values_.size()) values_.resize(id + 1);
    std::optional<T>& value = values_[id];
    if (!value) value.emplace(derive());
    return *value;
  }

 private:
  std::vector<std::optional<T>> values_;
};

}  // namespace quilmark
