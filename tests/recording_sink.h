// A message sink that records what a run showed, for tests.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "src/app/messages.h"

namespace quilmark {

class RecordingSink : public MessageSink {
 public:
  void Show(MessageKind kind, std::string_view text) override {
    messages.emplace_back(kind, std::string(text));
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const auto& [kind, text] : messages) result.push_back(text);
    return result;
  }
  std::vector<std::pair<MessageKind, std::string>> messages;
};

}  // namespace quilmark
