#include "BootProgram.h"

namespace cardsim {

BootProgram::BootProgram(Outbox& outbox, Record& record, int rebootReply)
    : outbox_(outbox), record_(record), rebootReply_(rebootReply) {}

void BootProgram::receive(Byte b, bool garbled) {
  ++received_;
  record_.event("boot-rx " + hexByte(b) + (garbled ? " garbled" : ""));
  // A 0x00 sent at any rate is a long low stretch on the wire that the
  // waiting boot program takes as a byte, so it answers it garbled or not.
  if (rebootReply_ > 0 && b == 0x00) {
    record_.count("boot_reboot_probe");
    outbox_.answer(Bytes(static_cast<size_t>(rebootReply_), REBOOT_REPLY_BYTE));
  }
}

void BootProgram::summarize(Record& record) const {
  record.set("boot_state", rebootReply_ > 0 ? "awaiting-reboot" : "listening");
  record.set("boot_bytes_received", received_);
}

}  // namespace cardsim
