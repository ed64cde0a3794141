// Texts kept in the order they were first added, compared exactly (byte for byte on UTF-8, which
// is code unit for code unit, letter case included). The zones and classes of a block.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quilmark {

class OrderedTable {
 public:
  bool Exists(std::string_view key) const { return index_.find(key) != index_.end(); }

  // The key's 0-based place; nullopt when absent.
  std::optional<size_t> Find(std::string_view key) const {
    auto it = index_.find(key);
    if (it == index_.end()) return std::nullopt;
    return it->second;
  }

  // The key's place, appending it first when absent.
  size_t Add(std::string_view key) {
    auto it = index_.find(key);
    if (it != index_.end()) return it->second;
    keys_.emplace_back(key);
    index_.emplace(keys_.back(), keys_.size() - 1);
    return keys_.size() - 1;
  }

  size_t Count() const { return keys_.size(); }
  const std::string& KeyAt(size_t place) const { return keys_[place]; }
  const std::vector<std::string>& keys() const { return keys_; }

  void RemoveAll() {
    index_.clear();
    keys_.clear();
  }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::vector<std::string> keys_;
  std::unordered_map<std::string, size_t, Hash, std::equal_to<>> index_;
};

}  // namespace quilmark
