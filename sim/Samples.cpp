#include "Samples.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

namespace cardsim {

namespace {

constexpr size_t DEVICE1_SIZE = 8 * 1024;
constexpr size_t DEVICE5_SIZE = 16 * 1024;
// A driver file is an image of driver memory: its blocks from 0x0800 up to
// 0x2000 are loaded.
constexpr size_t DRIVER_SIZE = 0x2000;

// XSVF opcodes used by the sample stream.
constexpr Byte XCOMPLETE = 0x00, XTDOMASK = 0x01, XSIR = 0x02, XSDR = 0x03, XRUNTEST = 0x04,
               XREPEAT = 0x07, XSDRSIZE = 0x08, XSDRTDO = 0x09, XSTATE = 0x12, XENDIR = 0x13,
               XENDDR = 0x14, XWAITSTATE = 0x18, XTRST = 0x1C;
constexpr Byte TAP_RESET = 0, TAP_IDLE = 1;
constexpr Byte TRST_OFF = 1;
// JTAG instructions of a 6-bit instruction register.
constexpr int IR_BITS = 6;
constexpr Byte IR_CFG_IN = 0x05, IR_IDCODE = 0x09, IR_JPROGRAM = 0x0B, IR_JSTART = 0x0C,
               IR_BYPASS = 0x3F;
constexpr unsigned long SAMPLE_IDCODE = 0x01C10093;
constexpr unsigned long IDCODE_MASK = 0x0FFFFFFF; // the version nibble is not checked
constexpr size_t CONFIG_BYTES = 20000;

// A small deterministic generator, so every sample set is the same.
class Noise {
public:
  explicit Noise(unsigned long seed) : state_(seed) {}
  Byte next() {
    state_ = state_ * 1103515245UL + 12345UL;
    return static_cast<Byte>((state_ >> 16) & 0xFF);
  }

private:
  unsigned long state_;
};

Bytes image(const std::string &header, size_t size, unsigned long seed) {
  Bytes bytes(header.begin(), header.end());
  Noise noise(seed);
  while (bytes.size() < size)
    bytes.push_back(noise.next());
  bytes.resize(size);
  return bytes;
}

void put32(Bytes &out, unsigned long v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<Byte>(v >> shift));
}

void putSir(Bytes &out, Byte instruction) {
  out.insert(out.end(), {XSIR, static_cast<Byte>(IR_BITS), instruction});
}

void putSdrSize(Bytes &out, unsigned long bits) {
  out.push_back(XSDRSIZE);
  put32(out, bits);
}

void makeDir(const std::string &dir) {
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/')
      continue;
    const std::string part = dir.substr(0, pos);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
      throw std::runtime_error("cannot create " + part + ": " + std::strerror(errno));
    }
  }
}

// EDID helpers.
void putName(Bytes &block, size_t at, Byte tag, const std::string &text) {
  const Byte head[] = {0, 0, 0, tag, 0};
  std::memcpy(&block[at], head, sizeof head);
  for (size_t i = 0; i < 13; ++i) {
    block[at + 5 + i] =
        i < text.size() ? static_cast<Byte>(text[i]) : (i == text.size() ? 0x0A : 0x20);
  }
}

void sealBlock(Bytes &edid, size_t block) {
  Byte sum = 0;
  for (size_t i = block * 128; i < block * 128 + 127; ++i)
    sum = static_cast<Byte>(sum + edid[i]);
  edid[block * 128 + 127] = static_cast<Byte>(0x100 - sum);
}

// 1920x1080 at 60 Hz (CTA VIC 16): 148.5 MHz, 280/45 blanking, 520x290 mm.
const Byte DTD_1080P60[18] = {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58,
                              0x2C, 0x45, 0x00, 0x08, 0x22, 0x21, 0x00, 0x00, 0x1E};
// 1280x720 at 60 Hz (CTA VIC 4): 74.25 MHz.
const Byte DTD_720P60[18] = {0x01, 0x1D, 0x00, 0x72, 0x51, 0xD0, 0x1E, 0x20, 0x6E,
                             0x28, 0x55, 0x00, 0x08, 0x22, 0x21, 0x00, 0x00, 0x1E};

} // namespace

Bytes sampleXsvf() {
  Bytes x;
  x.insert(x.end(), {XTRST, TRST_OFF, XREPEAT, 0, XENDIR, 0, XENDDR, 0, XSTATE, TAP_RESET, XSTATE,
                     TAP_IDLE});
  // Check the device's IDCODE.
  putSir(x, IR_IDCODE);
  putSdrSize(x, 32);
  x.push_back(XTDOMASK);
  put32(x, IDCODE_MASK);
  x.push_back(XSDRTDO);
  put32(x, 0);
  put32(x, SAMPLE_IDCODE);
  // Clear the configuration memory and wait for it.
  putSir(x, IR_JPROGRAM);
  x.insert(x.end(), {XWAITSTATE, TAP_IDLE, TAP_IDLE});
  put32(x, 10000); // TCK cycles
  put32(x, 10000); // microseconds
  // Shift the configuration bits in.
  putSir(x, IR_CFG_IN);
  x.push_back(XRUNTEST);
  put32(x, 0);
  putSdrSize(x, CONFIG_BYTES * 8);
  x.push_back(XSDR);
  const Bytes config = image("", CONFIG_BYTES, 0xF96A);
  x.insert(x.end(), config.begin(), config.end());
  // Start up and leave the device in bypass.
  putSir(x, IR_JSTART);
  x.push_back(XRUNTEST);
  put32(x, 12);
  putSdrSize(x, 1);
  x.insert(x.end(), {XSDR, 0});
  putSir(x, IR_BYPASS);
  x.insert(x.end(), {XSTATE, TAP_RESET, XCOMPLETE});
  return x;
}

Bytes sampleEdid() {
  Bytes e(256, 0);
  const Byte header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00,
                         // manufacturer "VCC", product 0x0111, serial in a descriptor
                         0x58, 0x63, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00,
                         // week 1 of 2024, EDID 1.3 (what an HDMI sink carries)
                         0x01, 0x22, 0x01, 0x03,
                         // digital; 52x29 cm; gamma 2.2
                         0x80, 0x34, 0x1D, 0x78,
                         // features: RGB colour, sRGB default, preferred timing, GTF
                         0x0F};
  std::memcpy(&e[0], header, sizeof header);
  // sRGB chromaticity.
  const Byte chroma[] = {0xEE, 0x91, 0xA3, 0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54};
  std::memcpy(&e[25], chroma, sizeof chroma);
  // Established timings: 640x480@60, 800x600@60, 1024x768@60.
  e[35] = 0x21;
  e[36] = 0x08;
  e[37] = 0x00;
  // Standard timings: 1280x720@60 (16:9), 1280x1024@60 (5:4), the rest unused.
  const Byte standard[] = {0x81, 0xC0, 0x81, 0x80, 0x01, 0x01, 0x01, 0x01,
                           0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
  std::memcpy(&e[38], standard, sizeof standard);
  std::memcpy(&e[54], DTD_1080P60, sizeof DTD_1080P60);
  // Range limits: 56-76 Hz vertical, 30-83 kHz horizontal, 170 MHz, GTF.
  const Byte range[] = {0,  0,    0,    0xFD, 0,    56,   76,   30,   83,
                        17, 0x00, 0x0A, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
  std::memcpy(&e[72], range, sizeof range);
  putName(e, 90, 0xFC, "VCARD SIM");
  putName(e, 108, 0xFF, "SAMPLE0001");
  e[126] = 1; // one extension
  sealBlock(e, 0);

  // CTA-861 revision 3: underscan, basic audio, YCbCr 4:4:4 and 4:2:2, one native format.
  const Byte cta[] = {0x02, 0x03, 0x00, 0xF1};
  std::memcpy(&e[128], cta, sizeof cta);
  size_t at = 132;
  const Byte video[] = {0x43, 0x10, 0x04, 0x03}; // VICs 16, 4, 3
  const Byte audio[] = {0x23, 0x09, 0x07, 0x07}; // LPCM, 2 channels, 32/44.1/48 kHz, 16/20/24 bits
  const Byte speakers[] = {0x83, 0x01, 0x00, 0x00};         // front left and right
  const Byte hdmi[] = {0x65, 0x03, 0x0C, 0x00, 0x10, 0x00}; // HDMI VSDB, address 1.0.0.0
  // Video capability: RGB and YCbCr quantization selectable, IT and CE underscanned.
  const Byte vcdb[] = {0xE2, 0x00, 0xCA};
  for (const auto &[bytes, size] : {std::pair{video, sizeof video}, std::pair{audio, sizeof audio},
                                    std::pair{speakers, sizeof speakers},
                                    std::pair{hdmi, sizeof hdmi}, std::pair{vcdb, sizeof vcdb}}) {
    std::memcpy(&e[at], bytes, size);
    at += size;
  }
  e[130] = static_cast<Byte>(at - 128); // detailed timings start here
  std::memcpy(&e[at], DTD_720P60, sizeof DTD_720P60);
  sealBlock(e, 1);
  return e;
}

std::string sampleGamma() {
  std::string csv = "% Gamma 2.2 table: 1024 lines of R,G,B, each 0 to 1023\n";
  for (int i = 0; i < 1024; ++i) {
    const int v = static_cast<int>(std::lround(std::pow(i / 1023.0, 1 / 2.2) * 1023));
    const std::string value = std::to_string(v);
    csv.append(value).append(",").append(value).append(",").append(value).append("\n");
  }
  return csv;
}

std::vector<std::pair<std::string, Bytes>> sampleFiles() {
  const std::string script = "; Sample script for the REMOTE job\r\n"
                             "@Setting up the picture...\r\n"
                             "#BRIGHTNESS 50\r\n"
                             "#CONTRAST 60\r\n"
                             "&200\r\n"
                             "#SATURATION 55\r\n"
                             "#SAVE\r\n"
                             "@Done.\r\n";
  const std::string gamma = sampleGamma();
  return {
      {"Device1.bin", image("SAMPLE DEVICE 1 IMAGE", DEVICE1_SIZE, 1)},
      {"Device5.bin", image("SAMPLE DEVICE 5 IMAGE", DEVICE5_SIZE, 5)},
      {"FDriver.bin", image("SAMPLE ISP DRIVER (DEVICE 5)", DRIVER_SIZE, 50)},
      {"SFDriver.bin", image("SAMPLE ISP DRIVER (DEVICE 1)", DRIVER_SIZE, 10)},
      {"fpga.xsvf", sampleXsvf()},
      {"EDID.bin", sampleEdid()},
      {"gamma.csv", Bytes(gamma.begin(), gamma.end())},
      {"remote.txt", Bytes(script.begin(), script.end())},
  };
}

void writeSamples(const std::string &dir) {
  makeDir(dir);
  for (const auto &[name, bytes] : sampleFiles()) {
    const std::string path = std::string(dir).append("/").append(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
      throw std::runtime_error("cannot write " + path);
  }
}

} // namespace cardsim
