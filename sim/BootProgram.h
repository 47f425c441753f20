// The micro's boot program, which owns the line while the card is in boot
// mode. Its UART runs at 9600 bit/s.
//
// For now it records what it receives and stays silent, except in one
// state: a boot program that waits for the card to be rebooted answers each
// 0x00 with a short burst (1 to 10 bytes), which tells the updater to ask the
// operator for a reboot. The bit-rate synchronisation, the kernel downloads
// and the kernel commands belong here.
#pragma once

#include "Outbox.h"
#include "Peer.h"

namespace cardsim {

class BootProgram : public Peer {
 public:
  static constexpr int RATE = 9600;
  // Byte of the burst sent by a boot program that waits for a reboot.
  static constexpr Byte REBOOT_REPLY_BYTE = 0xFF;

  // `rebootReply` > 0: the boot program waits for a reboot and answers each
  // 0x00 with that many bytes.
  BootProgram(Outbox& outbox, Record& record, int rebootReply);

  int lineRate() const override { return RATE; }
  void receive(Byte b, bool garbled) override;
  void summarize(Record& record) const override;

 private:
  Outbox& outbox_;
  Record& record_;
  int rebootReply_;
  long received_ = 0;
};

}  // namespace cardsim
