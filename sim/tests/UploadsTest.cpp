#include "AckedUpload.h"
#include "CardRig.h"
#include "Samples.h"
#include "Uploads.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace cardsim {
namespace {

std::string dataFile(const std::string& name) {
  std::ifstream in(std::string(TEST_DATA_DIR) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string repeated(const std::string& text, size_t count) {
  std::string out;
  while (count-- > 0) out += text;
  return out;
}

std::string gammaTable() {
  std::string data;
  for (int v = 0; v < GAMMA_VALUES; ++v) data += bytes({(v % 1024) >> 8, v & 0xFF});
  return data;
}

struct UploadCase {
  std::vector<std::string> faults;
  std::string command;
  std::string data;
  size_t unit;         // bytes per acknowledgement
  int sumError;        // added to the sum the host sends
  size_t garbledUnit;  // the unit that crosses garbled (none past the end)
  std::string acks;    // the card's answers to the data
  std::string end;     // and to the sum
  std::string result;  // what the record keeps
};

// An EDID or gamma upload: every unit acknowledged, the sum judged, and the
// verdict kept in the record, also when a fault breaks the transfer.
TEST(AckedUploads, SumDecidesTheVerdictTheRecordKeeps) {
  const std::string tv = dataFile("tv_256_cta_a.bin");
  const std::string monitor = dataFile("monitor_128_a.bin");
  ASSERT_EQ(tv.size() + monitor.size(), 384u);
  const std::string noisyAck = std::string(AckedUpload::ACK_NOISE) + ".";
  const size_t none = 999999;
  const std::vector<UploadCase> cases = {
      {{}, "#EDID 2\r", tv, 1, 0, none, std::string(256, '.'), "~S", "programmed"},
      {{}, "#GAMMA 3 0\r", gammaTable(), 2, 0, none, std::string(GAMMA_VALUES, '.'), "~S", "programmed"},
      {{}, "#EDID 1\r", monitor, 1, 1, none, std::string(128, '.'), "~E", "failed"},
      {{}, "#EDID 1\r", monitor, 1, 0, 127, std::string(128, '.'), "~E", "failed"},
      {{"upload-fail=EDID"}, "#EDID 1\r", monitor, 1, 0, none, std::string(128, '.'), "~E", "failed"},
      {{"ack-noise"}, "#EDID 1\r", monitor, 1, 0, none, repeated(noisyAck, 128), "~S", "programmed"},
      {{"no-verdict=EDID"}, "#EDID 1\r", monitor, 1, 0, none, std::string(128, '.'), "~", "programmed"},
      {{"no-end=EDID"}, "#EDID 1\r", monitor, 1, 0, none, std::string(128, '.'), "", "programmed"},
      {{"upload-silent-after=3"}, "#EDID 1\r", monitor, 1, 0, none, "...", "", "programmed"},
  };
  for (const UploadCase& c : cases) {
    CardRig rig(c.faults);
    EXPECT_EQ(rig.feed(c.command), "") << c.command;
    std::string acks;
    unsigned sum = 0;
    for (size_t i = 0; i < c.data.size(); i += c.unit) {
      acks += rig.feed(c.data.substr(i, c.unit), i / c.unit == c.garbledUnit);
    }
    for (unsigned char b : c.data) sum += b;
    EXPECT_EQ(acks, c.acks) << c.command << c.faults.size();
    EXPECT_EQ(rig.feed(bytes({static_cast<int>(sum) + c.sumError})), c.end) << c.command;
    const std::string word = c.command[1] == 'E' ? "edid_result" : "gamma_result";
    EXPECT_EQ(rig.record.value(word), c.result) << c.command << c.acks.size();
  }
  EXPECT_EQ(gammaCsv(toBytes(bytes({0, 1, 3, 0xFF, 1, 0, 0, 0, 0, 2, 0, 3}))), "1,1023,256\n0,2,3\n");
}

TEST(ScriptCommands, TheConfiguredWordsAreAcked) {
  CardRig rig;
  rig.setup.uploads.scriptCommands = parseScriptCommands("FROB,#zap");
  EXPECT_EQ(rig.feed("#FROB 1\r#ZAP\r#BRIGHTNESS 50\r"), "#ACK\r#ACK\r#NACK\r");
  EXPECT_TRUE(parseScriptCommands("none").empty());
  EXPECT_THROW(parseScriptCommands("A,,B"), std::invalid_argument);
}

// Plays the host's side of the FPGA transfer, answering every request of the
// card's XSVF player from `stream`, and returns the card's end report.
std::string playFpga(CardRig& rig, const std::string& stream) {
  std::string pending = rig.feed("#FPGA 1\r");
  size_t position = 0;
  while (!pending.empty() && pending[0] != '~') {
    size_t count = 1;
    if (pending[0] == '*') {
      pending.erase(0, 1);
    } else if (pending.size() >= 4 && pending.compare(0, 2, "$$") == 0) {
      count = (static_cast<unsigned char>(pending[2]) << 8) | static_cast<unsigned char>(pending[3]);
      pending.erase(0, 4);
    } else {
      return "unexpected " + pending;
    }
    if (position + count > stream.size()) return "past end";
    pending += rig.feed(stream.substr(position, count));
    position += count;
  }
  return pending;
}

TEST(XsvfPlayer, PlaysWellFormedStreamsAndRefusesMalformedOnes) {
  const Bytes sample = sampleXsvf();
  const std::string end(1, '\0');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {std::string(sample.begin(), sample.end()), "~S"},
      // XSDRSIZE 0, XSDR of no bytes, XSIR of 0 bits, XCOMMENT "hi", XCOMPLETE.
      {std::string("\x08\x00\x00\x00\x00\x03\x02\x00\x16hi\x00\x00", 13), "~S"},
      {"\x05" + end, "~E"},
      {"\x1D" + end, "~E"},
      {"\x12\x10" + end, "~E"},
      {"\x1C\x04" + end, "~E"},
      {"\x13\x02" + end, "~E"},
      {"\x08\x7F\xFF\xFF\xFF" + end, "~E"},
  };
  for (const auto& [stream, verdict] : cases) {
    CardRig rig;
    EXPECT_EQ(playFpga(rig, stream), verdict) << escape(stream);
    EXPECT_EQ(rig.record.value("fpga_result"), verdict == "~S" ? "programmed" : "failed");
  }
}

}  // namespace
}  // namespace cardsim
