// The card's running firmware: the micro's text command set.
//
// Bytes from the line are parsed into
//   - text commands "#WORD [ARGS]" ended by CR, answered with one line
//     "#..." ended by CR (unknown ones with "#NACK"),
//   - micro commands "=M<letters>" ended by CR, acknowledged with "=M" and a
//     status ("*" accepted, "~" refused),
//   - ISP frames "=G..." ended by CR, relayed to the video processor,
//   - the 0x00 probe, answered with an error line,
//   - a lone CR (an empty command line), answered with an empty line (a
//     single CR); a CR that ends dropped junk is not answered.
// 0x00 inside a command and bytes outside any command are noise and are
// dropped, as is a command hit by a garbled byte.
//
// An old firmware does not know "#DEVTYPE" and "#DEVERSION"; instead it
// reacts to the key bytes, each sent alone: the first three are answered,
// the fourth hands the micro over to its boot program. A current firmware
// takes them as noise; both log them.
//
// Text commands are looked up in a table: addTextCommand() adds one (an
// upload command starts its Receiver with startReceiver()).
#pragma once

#include "Faults.h"
#include "Outbox.h"
#include "Peer.h"
#include "VideoProcessor.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace cardsim {

struct FirmwareSetup {
  std::string model = "DVITOSDI";
  int edition = 1;
  std::string version = "2.05";
  int unknownModelFirst = 0; // "#DEVTYPE" answers that name an unknown model first
  bool oldFirmware = false;
  int oldFirmwareReply = 6; // bytes answered to the first three key bytes, in all
};

// One command line as received, without its CR.
struct Command {
  std::string line; // e.g. "#EDID 1", "=MP"
  std::string key;  // e.g. "EDID", "MP" (see commandKey())
  std::string args; // text after the first blank, e.g. "1"
};

class Firmware : public Peer {
public:
  static constexpr int RATE = 115200;
  static const char *const PROBE_ANSWER;         // answer line to 0x00, without CR
  static const char *const NACK_ANSWER;          // answer line to unknown "#" commands
  static const char *const UNKNOWN_MODEL;        // model named by --unknown-model-first
  static constexpr size_t LONG_LINE_LENGTH = 64; // long-line fault
  static constexpr size_t MAX_COMMAND = 128;     // longer lines are dropped
  static constexpr size_t MAX_FRAME = 512;       // longer frames are dropped

  using TextHandler = std::function<void(const Command &)>;

  Firmware(const FirmwareSetup &setup, Outbox &outbox, const Faults &faults, Record &record,
           VideoProcessor &videoProcessor, ModeSwitch &modes);

  // RATE, or the rate of the firmware-rate fault (a card set to another rate).
  int lineRate() const override;
  void receive(Byte b, bool garbled) override;
  void summarize(Record &record) const override;

  // Extension points for further commands.
  // Returns the handler that `key` had before (empty when none), so a new
  // one can wrap it.
  TextHandler addTextCommand(const std::string &key, TextHandler handler);
  void addMicroCommand(const std::string &key);
  void startReceiver(std::unique_ptr<Receiver> receiver);
  // Answers `command` with one line ("#..." without CR), faults applied.
  void answerLine(const Command &command, const std::string &text, Answer kind = Answer::TextLine);

private:
  enum class State { Idle, Equals, Command, Frame };

  void idle(Byte b);
  void equals(Byte b);
  void command(Byte b);
  void frame(Byte b);
  void startCommand(const char *start);
  void startFrame();
  void drop(const char *why);
  void dispatch();
  void textCommand(const Command &command);
  void microCommand(const Command &command);
  void probe();
  void emptyLine();
  bool keyByte(Byte b);
  bool muted(const Command &command);

  void deviceVersion(const Command &command);
  void deviceType(const Command &command);

  FirmwareSetup setup_;
  Outbox &outbox_;
  const Faults &faults_;
  Record &record_;
  VideoProcessor &videoProcessor_;
  ModeSwitch &modes_;

  std::map<std::string, TextHandler> textCommands_;
  std::set<std::string> microCommands_;
  std::unique_ptr<Receiver> receiver_;

  State state_ = State::Idle;
  bool lineJunk_ = false; // bytes dropped since the last line end
  Bytes buffer_;
  Byte previous_ = 0;
  int keyProgress_ = 0;
  long deviceTypeAnswers_ = 0;
  long microCommandsSeen_ = 0;
  long droppedBytes_ = 0;
};

} // namespace cardsim
