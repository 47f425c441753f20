// What the virtual card saw and did, written to the state directory at exit.
//
// Files every card writes:
//   received.bin  every byte the card received, raw, in order
//   events.log    one event per line ("rate 115200", "cmd #DEVTYPE", ...)
//   timeline.log  the same events, each preceded by milliseconds since start
//   card.txt      key=value summary (identity, mode, host rate, counters)
// A part of the card adds files of its own with appendFile()/setFile()
// (flash contents, programmed micro flash, EDID, gamma table, FPGA bytes...)
// and summary values with set()/count().
#pragma once

#include "Bytes.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cardsim {

class Record {
public:
  Record();

  void received(const Bytes &bytes);
  void event(const std::string &text);
  // Called with every event as it happens (one listener).
  void onEvent(std::function<void(const std::string &)> listener) {
    listener_ = std::move(listener);
  }

  // Summary value; a key set again keeps its first position.
  void set(const std::string &key, const std::string &value);
  void set(const std::string &key, long value) { set(key, std::to_string(value)); }
  // Adds one to the counter "count.<name>".
  void count(const std::string &name);

  // Extra files of the state directory, by bare file name.
  void appendFile(const std::string &name, const Bytes &bytes);
  void setFile(const std::string &name, const Bytes &bytes);

  const Bytes &receivedBytes() const { return received_; }
  const std::vector<std::string> &events() const { return events_; }
  std::string value(const std::string &key) const;
  long counter(const std::string &name) const;
  bool hasEvent(const std::string &text) const;

  // Creates `dir` if missing and writes every file; throws std::runtime_error.
  void writeTo(const std::string &dir) const;

  // What an earlier run wrote into `dir`: a file (nothing when missing) and
  // the key=value lines of its card.txt.
  static std::optional<Bytes> readFrom(const std::string &dir, const std::string &name);
  static std::map<std::string, std::string> readSummary(const std::string &dir);

private:
  std::chrono::steady_clock::time_point start_;
  Bytes received_;
  std::vector<std::string> events_;
  std::vector<long> eventMillis_;
  std::vector<std::pair<std::string, std::string>> summary_;
  std::map<std::string, long> counters_;
  std::map<std::string, Bytes> files_;
  std::function<void(const std::string &)> listener_;
};

} // namespace cardsim
