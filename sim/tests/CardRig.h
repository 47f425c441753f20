// A card wired to a capturing line: feed it bytes, read back what it answered.
#pragma once

#include "Card.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace cardsim {

// Each feed() is one read of the line, at `readClock`.
struct CapturedLine : Transmitter {
  std::string sent;
  Clock::time_point readClock{};
  void transmit(const Bytes &bytes, Millis, Millis) override {
    sent.append(bytes.begin(), bytes.end());
  }
  Clock::time_point readAt() const override { return readClock; }
};

// One chunk of host bytes, `garbled` when it crossed at a wrong rate.
struct Chunk {
  std::string bytes;
  bool garbled = false;
};

inline Chunk garbled(const std::string &bytes) { return {bytes, true}; }

struct CardRig {
  Faults faults;
  Record record;
  CapturedLine line;
  CardSetup setup;
  std::unique_ptr<Card> card;

  explicit CardRig(const std::vector<std::string> &faultOptions = {}) {
    for (const std::string &option : faultOptions)
      faults.add(option);
  }

  Card &built() {
    if (!card)
      card = std::make_unique<Card>(setup, line, faults, record);
    return *card;
  }

  // Feeds `bytes` and returns everything the card sent in reply to them.
  std::string feed(const std::string &bytes, bool garbled = false) {
    line.readClock += std::chrono::microseconds(1);
    const size_t before = line.sent.size();
    built().receive(toBytes(bytes), garbled);
    return line.sent.substr(before);
  }

  // Feeds `bytes` `later` after the last read.
  std::string feedAfter(Millis later, const std::string &bytes) {
    line.readClock += later;
    return feed(bytes);
  }

  std::string feed(const std::vector<Chunk> &chunks) {
    std::string out;
    for (const Chunk &chunk : chunks)
      out += feed(chunk.bytes, chunk.garbled);
    return out;
  }
};

inline std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values)
    s.push_back(static_cast<char>(v));
  return s;
}

} // namespace cardsim
