// The rows of a run as the user watches them: how many have been read, and a stop between rows
// when the user cancels.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "src/app/messages.h"
#include "src/host/row_source.h"

namespace quilmark {

// Thrown out of the pass when the user has cancelled; the run ends with nothing written.
struct RunCancelled {};

class WatchedRows final : public RowSource {
 public:
  // `total`: the rows the source holds, 0 where that is not known in advance (the source is then
  // asked again at each count, as a source read as it loads may learn it on the way).
  WatchedRows(RowSource& inner, int64_t total, MessageSink& sink)
      : inner_(inner), total_(total), sink_(sink) {}

  // The inner source's next row. Every kEvery rows the count goes to the sink and the sink is
  // asked whether to stop: RunCancelled is thrown when it says so.
  bool Next(SourceRow& row) override;
  std::string RowLabel(int64_t number) const override { return inner_.RowLabel(number); }
  bool RewriteZone(const SourceRow& row, std::string_view text) override {
    return inner_.RewriteZone(row, text);
  }
  bool ReadAhead() const override { return inner_.ReadAhead(); }

  static constexpr int64_t kEvery = 512;

 private:
  RowSource& inner_;
  const int64_t total_;
  MessageSink& sink_;
  int64_t read_ = 0;
};

}  // namespace quilmark
