// A card wired to a capturing line, for feeding byte streams and reading
// back what the card answered.
#pragma once

#include "Card.h"

#include <memory>
#include <string>
#include <vector>

namespace cardsim {

struct CapturedLine : Transmitter {
  struct Send {
    Bytes bytes;
    Millis delay;
    Millis gap;
  };
  std::vector<Send> sends;

  void transmit(const Bytes& bytes, Millis delay, Millis gap) override {
    sends.push_back({bytes, delay, gap});
  }
};

struct CardRig {
  Faults faults;
  Record record;
  CapturedLine line;
  CardSetup setup;
  std::unique_ptr<Card> card;

  void fault(const std::string& option) { faults.add(option); }

  Card& built() {
    if (!card) card = std::make_unique<Card>(setup, line, faults, record);
    return *card;
  }

  // Feeds `bytes` and returns everything the card sent in reply to them.
  std::string feed(const std::string& bytes, bool garbled = false) {
    const size_t before = line.sends.size();
    built().receive(toBytes(bytes), garbled);
    std::string out;
    for (size_t i = before; i < line.sends.size(); ++i) {
      out.append(line.sends[i].bytes.begin(), line.sends[i].bytes.end());
    }
    return out;
  }
};

}  // namespace cardsim
