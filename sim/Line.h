// The card's end of the serial line: the master side of a pseudo-terminal.
//
// The host's bit rate is whatever the updater set on its end (the slave); on
// Linux tcgetattr on the master reports the slave's settings. Whenever the
// host's rate and the card's rate differ, bytes are garbled both ways as on a
// real line: received bytes are handed to the card flagged as garbled, and
// sent bytes reach the host replaced by garbleByte() of themselves.
//
// Outgoing bytes wait in a timed queue (answers may be delayed or spread out)
// and are written when due; the poll loop asks nextDue() and wantsWrite().
// Under wire pacing the host's bytes wait too: each is stamped when it
// appears on the line and handed to the card when its 10 bits have crossed
// the wire, and each outgoing byte is due when its own bits have. The line
// measures what it carried (Measure) and writes measure.txt.
#pragma once

#include "Adapter.h"
#include "Faults.h"
#include "Link.h"
#include "Measure.h"
#include "Record.h"

#include <deque>
#include <functional>
#include <optional>

namespace cardsim {

// The byte the host reads when the card sent `b` at another bit rate. It is
// a fixed scramble of `b` that is never one of the protocol's marker bytes
// ("#", "=", "*", "~", "$", ".", CR), so garbage can never pass for an answer,
// an acknowledgement or a request.
Byte garbleByte(Byte b);
bool isMarkerByte(Byte b);

// Bits per second for a termios speed code; 0 for B0 and unknown codes.
int baudFromSpeed(unsigned speedCode);
// The termios speed code for a rate in bits per second; 0 when unsupported.
unsigned speedFromBaud(int baud);

class Line : public Transmitter {
public:
  // Takes ownership of `masterFd` (made non-blocking here).
  Line(int masterFd, Record &record, const Faults &faults, const Pacing &pacing = {});
  ~Line() override;
  Line(const Line &) = delete;
  Line &operator=(const Line &) = delete;

  void attach(LineClient &client) { client_ = &client; }
  // Called once when the card vanishes (disconnect-after fault, power cut).
  void onDisconnect(std::function<void()> handler) { onDisconnect_ = std::move(handler); }
  // The line is back on a new master descriptor (taken over), with no cut set.
  void reconnect(int masterFd);
  // A power cut `bytes` host bytes from now (0: right after the byte being
  // delivered); an earlier cut already set stays.
  void cutPowerAfter(long bytes);
  // The card takes the host's bytes one at a time, so that a power cut set
  // by one of them falls exactly after it.
  void deliverSingly() { singly_ = true; }

  int fd() const { return fd_; }
  bool connected() const { return fd_ >= 0; }
  bool wantsWrite() const { return !ready_.empty(); }
  // False while paced input has filled the card's receive buffer: the host's
  // further bytes wait in the pseudo-terminal.
  bool wantsRead() const;
  std::optional<Clock::time_point> nextDue() const;

  // The host's rate as its end of the line is set now (0 when unknown).
  int hostRate() const;

  // Poll loop hooks. readAvailable() also hands over paced bytes now due.
  void readAvailable();
  // At the end of the run: every byte read so far goes to the card now.
  void deliverAll();
  void writeDue();
  // Logs a change of the host's rate ("rate N"; the rate found at the start
  // is logged as "initial-rate N"); called on every read and write and
  // periodically by the loop, so a change shows even on a quiet line.
  void checkRate();

  void transmit(const Bytes &bytes, Millis delay, Millis gap) override;
  bool sending() const override { return !queue_.empty() || !ready_.empty(); }
  Clock::time_point readAt() const override { return readAt_; }
  void summarize(Record &record) const;

private:
  struct Pending {
    Clock::time_point due;
    Byte byte;
  };
  struct Incoming {
    Clock::time_point due;
    Byte byte;
    Clock::time_point read;
  };
  void takeMaster(int masterFd);
  void disconnect();
  void readChunk();
  void stampIncoming(const Bytes &bytes, Clock::time_point now);
  // True while the host's bytes wait for their time (wire or USB frame).
  bool holdsIncoming() const { return pacing_.wire || adapter_.has_value(); }
  void queueByte(Clock::time_point due, Byte b);
  void deliverDue(Clock::time_point now);
  // Hands bytes to the card up to the cut, if one is due; under pacing its
  // answers count from `at`.
  void deliver(const Bytes &received, std::optional<Clock::time_point> at = std::nullopt);
  void take(const Bytes &bytes, std::optional<Clock::time_point> at);
  int wireRate() const;

  int fd_;
  Record &record_;
  LineClient *client_ = nullptr;
  std::function<void()> onDisconnect_;
  std::optional<long> cutAt_; // received bytes at which the card vanishes
  bool powerCut_ = false;
  bool singly_ = false;
  long receivedCount_ = 0;
  int loggedRate_ = -1;
  std::deque<Pending> queue_; // not yet due, in due order
  Bytes ready_;               // due, judged for garbling, not yet written
  Pacing pacing_;
  Measure measure_;
  std::deque<Incoming> incoming_; // paced host bytes still on the wire
  Clock::time_point rxWireFree_{};
  Clock::time_point txWireFree_{}; // of the card's last byte, not before the adapter held it
  std::optional<UsbAdapter> adapter_;
  Clock::time_point lastDue_{};                  // of the last byte moved to ready_
  Clock::time_point readAt_{};                   // of the bytes the card takes now
  std::optional<Clock::time_point> deliveredAt_; // while the card takes paced bytes
};

} // namespace cardsim
