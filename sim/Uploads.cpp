#include "Uploads.h"

#include "AckedUpload.h"
#include "XsvfPlayer.h"

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

namespace cardsim {

namespace {

const char *const ACK_ANSWER = "#ACK";
const char *const FPGA_ARGS = "1";
const char *const EDID_ONE_BLOCK = "1";
const char *const EDID_TWO_BLOCKS = "2";
const char *const GAMMA_ARGS = "3 0";

AckedUploadFormat edidSpec(size_t blocks) {
  return {"EDID",           "edid", 1, blocks * EDID_BLOCK, "edid.bin", Answer::EepromByteAck,
          Start::EdidStart, nullptr};
}

AckedUploadFormat gammaSpec() {
  return {"GAMMA",
          "gamma",
          2,
          GAMMA_VALUES,
          "gamma.bin",
          Answer::GammaValueAck,
          std::nullopt,
          [](const Bytes &data, Record &record) {
            const std::string csv = gammaCsv(data);
            record.setFile("gamma.csv", Bytes(csv.begin(), csv.end()));
          }};
}

// One upload's file and its result and size in card.txt; gives the file's
// bytes, nothing when the earlier run had no such upload.
std::optional<Bytes> keepUpload(const std::string &dir,
                                const std::map<std::string, std::string> &summary,
                                const std::string &name, const std::string &file, Record &record) {
  const auto result = summary.find(name + "_result");
  if (result == summary.end())
    return std::nullopt;
  const Bytes data = Record::readFrom(dir, file).value_or(Bytes{});
  record.set(result->first, result->second);
  record.set(name + "_bytes", static_cast<long>(data.size()));
  record.setFile(file, data);
  return data;
}

} // namespace

void keepUploads(const std::string &dir, Record &record) {
  const auto summary = Record::readSummary(dir);
  for (const AckedUploadFormat &format : {edidSpec(1), gammaSpec()}) {
    const auto data = keepUpload(dir, summary, format.name, format.file, record);
    if (data && format.extraFiles)
      format.extraFiles(*data, record);
  }
  keepUpload(dir, summary, "fpga", XsvfPlayer::FILE_NAME, record);
}

std::set<std::string> parseScriptCommands(const std::string &list) {
  std::set<std::string> keys;
  if (list == "none")
    return keys;
  size_t from = 0;
  for (;;) {
    const size_t comma = list.find(',', from);
    const std::string word = list.substr(from, comma == std::string::npos ? comma : comma - from);
    if (commandKey(word).empty())
      throw std::invalid_argument("empty command word in \"" + list + "\"");
    keys.insert(commandKey(word));
    if (comma == std::string::npos)
      return keys;
    from = comma + 1;
  }
}

std::string gammaCsv(const Bytes &data) {
  std::string csv;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    const int value = (data[i] << 8) | data[i + 1];
    const bool lineEnd = (i / 2) % 3 == 2;
    csv += std::to_string(value) + (lineEnd ? "\n" : ",");
  }
  return csv;
}

void installUploads(Firmware &firmware, const UploadSetup &setup, Outbox &outbox, Transmitter &line,
                    const Faults &faults, Record &record) {
  // The handlers live in the firmware's table, so they hold pointers to the
  // card's parts, never references to this function's parameters.
  Firmware *fw = &firmware;
  Outbox *out = &outbox;
  const Faults *fl = &faults;
  Record *rec = &record;
  firmware.addTextCommand("FPGA", [=](const Command &c) {
    if (c.args != FPGA_ARGS)
      return fw->answerLine(c, Firmware::NACK_ANSWER);
    auto player = std::make_unique<XsvfPlayer>(*out, *fl, *rec);
    player->start();
    fw->startReceiver(std::move(player));
  });
  firmware.addTextCommand("EDID", [=](const Command &c) {
    if (c.args != EDID_ONE_BLOCK && c.args != EDID_TWO_BLOCKS) {
      return fw->answerLine(c, Firmware::NACK_ANSWER);
    }
    fw->startReceiver(
        std::make_unique<AckedUpload>(edidSpec(c.args == EDID_ONE_BLOCK ? 1 : 2), *out, *fl, *rec));
  });
  firmware.addTextCommand("GAMMA", [=](const Command &c) {
    if (c.args != GAMMA_ARGS)
      return fw->answerLine(c, Firmware::NACK_ANSWER);
    fw->startReceiver(std::make_unique<AckedUpload>(gammaSpec(), *out, *fl, *rec));
  });
  for (const std::string &key : setup.scriptCommands) {
    firmware.addTextCommand(
        key, [=](const Command &c) { fw->answerLine(c, ACK_ANSWER, Answer::ScriptAnswer); });
  }
  if (auto chatter = faults.number("chatter")) {
    const size_t bytes = static_cast<size_t>(*chatter / CHATTER_GAP.count());
    Transmitter *tx = &line;
    Firmware::TextHandler identify = firmware.addTextCommand("DEVTYPE", nullptr);
    firmware.addTextCommand("DEVTYPE", [=](const Command &c) {
      identify(c);
      rec->event("chatter " + std::to_string(bytes) + " bytes");
      tx->transmit(Bytes(bytes, CHATTER_BYTE), Millis{0}, CHATTER_GAP);
    });
  }
}

} // namespace cardsim
