#include "VideoProcessor.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace cardsim {

namespace {

// Message words 0 the video processor understands.
constexpr Word SET_ISP_MODE = 0x5502;
constexpr Word MODE_STATUS_REQUEST = 0x0632;
constexpr Word DATA_BLOCK = 0xF501;
constexpr Word DRIVER_BLOCK = 0x950D;
constexpr Word CALL_DRIVER = 0x3802;
constexpr Word READ_BLOCK = 0x0639;
constexpr Word DEVICE_NAME_QUERY = 0x0633;
constexpr Word VXP_STATUS_QUERY = 0x062F;
constexpr Word CALIBRATION_QUERY = 0x161A;

// Answers.
constexpr Word ACK = 0x0001;
constexpr Word NACK = 0x1002;
constexpr Word GSPI_TIMEOUT = 0x1234;
constexpr Word STATUS_ANSWER = 0x1632;
constexpr Word DEVICE_NAME_ANSWER = 0x5633;
constexpr Word VXP_STATUS_ANSWER = 0xD62F;
constexpr Word CALIBRATION_ANSWER = 0x261A;
constexpr Word READ_ANSWER_CODE = 0x73A;
constexpr Word WRONG_READ_ANSWER_CODE = 0x73B;
constexpr Word UNKNOWN_CODE = 0x0FFF; // named by the nack-other fault

constexpr Word MODE_WRITE = 0x0100;
constexpr Word MODE_READ_BACK = 0x0200;
constexpr std::uint32_t ERASING_START = 0x0100; // devices 5 and 7

constexpr std::uint32_t DRIVER_BASE = 0x0800;
constexpr std::uint32_t DRIVER_MEMORY = 0x2000;
constexpr std::uint32_t DRIVER_BLOCK_BYTES = 16;
constexpr Word DRIVER_CALL_BASE = 0x0080;
constexpr Word DRIVER_CALL_ENTRY = 0x3300;

constexpr std::uint32_t BLOCK_BYTES = 32;
constexpr std::uint32_t SHORT_READ_BYTES = 16;
constexpr size_t NAME_LENGTH = 12;

const Word OSD_MEMORY[2] = {0x005E, 0x0B06};
const Word VIDEO_MEMORY[2] = {0x007C, 0x0005};

constexpr long DEFAULT_LATE_MS = 3500;
constexpr size_t ENDLESS_FRAME_BYTES = 400;
// Before every answer under vxp-noise: lone "=", "=" before a byte other
// than "G", line ends; no frame start.
const Bytes ANSWER_NOISE = {'=', 0x0D, 'x', '=', '=', 'M', '*', 0x0A, 0x00};
// Before the answer under vxp-restart: a frame that breaks off.
const Bytes BROKEN_FRAME = {'=', 'G', 0x55, 0x66, 0x77};
// Sent after an answer under vxp-trailer: more junk than the host reads at
// once, then a micro's refusal that belongs to no command. The host must
// clear it away before its next "=M" command.
const Bytes STALE_TRAILER = toBytes(std::string(60, 'n') + "=M~");

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

std::uint32_t longOf(Word low, Word high) {
  return static_cast<std::uint32_t>(low) | static_cast<std::uint32_t>(high) << 16;
}

bool erasesFirst(int device) { return device == 5 || device == 7; }

} // namespace

const char *const VideoProcessor::FRAMES_FILE = "isp-frames.txt";
const char *const VideoProcessor::DRIVER_FILE = "vxp-driver.bin";

std::string VideoProcessor::flashFile(int device) {
  return "flash-device" + std::to_string(device) + ".bin";
}

VideoProcessor::VideoProcessor(const VideoProcessorSetup &setup, Outbox &outbox,
                               const Faults &faults, Record &record)
    : setup_(setup), outbox_(outbox), faults_(faults), record_(record),
      driverMemory_(DRIVER_MEMORY, ERASED), driverRunning_(setup.driverRunning) {
  for (const auto &[device, path] : setup_.flashFiles) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
      throw std::runtime_error("cannot read flash file " + path);
    Bytes content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (content.size() > FLASH_SIZE)
      content.resize(FLASH_SIZE);
    flash_.at(static_cast<size_t>(device)) = std::move(content);
    used_.insert(device);
  }
  for (long word : faults_.numbers("vxp-differ"))
    differingWords_.insert(word);
}

bool VideoProcessor::faultAt(const char *name, long count) const {
  const std::vector<long> at = faults_.numbers(name);
  return std::find(at.begin(), at.end(), count) != at.end();
}

void VideoProcessor::frame(const Bytes &frame) {
  ++frames_;
  record_.event("isp-frame " + std::to_string(frame.size()));
  std::string hexLine;
  for (Byte b : frame) {
    char cell[4];
    std::snprintf(cell, sizeof cell, "%02X", b);
    if (!hexLine.empty())
      hexLine += ' ';
    hexLine += cell;
  }
  hexLine += '\n';
  record_.appendFile(FRAMES_FILE, toBytes(hexLine));
  if (starting_.drop(outbox_.readAt())) {
    record_.event("vxp starting: frame dropped");
    return;
  }

  const auto decoded = decodeFrame(frame);
  Words request = decoded ? decoded->words : Words{0};
  Words answer;
  if (!decoded || !decoded->lengthOk || !decoded->checksumOk) {
    answer = nack(messageCode(request[0]), "bad frame");
  } else if (faultAt("vxp-echo", frames_)) {
    record_.event("vxp echo");
    answer = request;
  } else if (faultAt("vxp-nack-other", frames_)) {
    answer = nack(UNKNOWN_CODE, "nack-other fault");
  } else {
    answer = handle(request);
  }
  send(answer, frames_);
}

void VideoProcessor::send(const Words &answer, long frameNumber) {
  const Millis wait = std::exchange(answerWait_, Millis{0});
  const Answer kind = std::exchange(answerKind_, Answer::IspAnswer);
  const BulkPosition position = std::exchange(answerPosition_, BulkPosition{});
  const std::optional<Start> starts = std::exchange(startsAfterAnswer_, std::nullopt);
  Millis held{0};
  if (faultAt("vxp-silent-frame", frameNumber)) {
    record_.event("vxp answer withheld");
  } else {
    held = transmit(answer, frameNumber, wait, kind, position);
  }
  if (starts)
    starting_.open(outbox_.readAt(), held + outbox_.startTime(*starts));
}

Millis VideoProcessor::transmit(const Words &answer, long frameNumber, Millis wait, Answer kind,
                                BulkPosition position) {
  Words words = answer;
  if (faultAt("vxp-bad-checksum", frameNumber))
    words.back() ^= 0x0001;
  if (faultAt("vxp-bad-length", frameNumber))
    words.push_back(0x0000);
  Bytes wire;
  if (faults_.has("vxp-noise"))
    wire = ANSWER_NOISE;
  if (faultAt("vxp-restart", frameNumber))
    wire.insert(wire.end(), BROKEN_FRAME.begin(), BROKEN_FRAME.end());
  if (faultAt("vxp-endless", frameNumber)) {
    wire.push_back('=');
    wire.push_back('G');
    wire.resize(wire.size() + ENDLESS_FRAME_BYTES, 'x');
  } else {
    const Bytes frame = encodeFrame(words);
    wire.insert(wire.end(), frame.begin(), frame.end());
  }
  if (faultAt("vxp-trailer", frameNumber))
    wire.insert(wire.end(), STALE_TRAILER.begin(), STALE_TRAILER.end());
  if (faultAt("vxp-late-frame", frameNumber)) {
    wait += Millis(faults_.number("vxp-late-ms").value_or(DEFAULT_LATE_MS));
  }
  return outbox_.answerAfter(wire, wait, kind, position);
}

void VideoProcessor::microCommand(const std::string &key, Millis answerHeld) {
  if (key != "MP" && key != "MR")
    return;
  ++resets_;
  driverRunning_ = false;
  closeWindow();
  record_.event("vxp reset");
  if (key == "MR")
    starting_.open(outbox_.readAt(), answerHeld + outbox_.startTime(Start::ProcessorReset));
}

Words VideoProcessor::handle(const Words &msg) {
  switch (msg[0]) {
  case DRIVER_BLOCK:
    return driverBlock(msg);
  case CALL_DRIVER:
    return callDriver(msg);
  case DEVICE_NAME_QUERY:
    return deviceName();
  case VXP_STATUS_QUERY:
    return vxpStatus();
  case CALIBRATION_QUERY:
    return calibration(msg);
  default:
    break;
  }
  const bool flashCommand = msg[0] == SET_ISP_MODE || msg[0] == MODE_STATUS_REQUEST ||
                            msg[0] == DATA_BLOCK || msg[0] == READ_BLOCK;
  if (!flashCommand)
    return nack(messageCode(msg[0]), "unknown command");
  if (!driverRunning_)
    return nack(messageCode(msg[0]), "no ISP driver running");
  switch (msg[0]) {
  case SET_ISP_MODE:
    return setIspMode(msg);
  case MODE_STATUS_REQUEST:
    return statusRequest(msg);
  case DATA_BLOCK:
    return dataBlock(msg);
  default:
    return readBlock(msg);
  }
}

void VideoProcessor::answerAsBlock() {
  const long left = static_cast<long>((window_.remaining + BLOCK_BYTES - 1) / BLOCK_BYTES);
  answerKind_ = Answer::IspBlock;
  answerPosition_ = {window_.blocks, window_.blocks + left};
}

Words VideoProcessor::driverBlock(const Words &msg) {
  const std::uint32_t address = static_cast<std::uint32_t>(msg[1]) * 16 + msg[2];
  if (address < DRIVER_BASE || address + DRIVER_BLOCK_BYTES > DRIVER_MEMORY) {
    return nack(messageCode(msg[0]), "driver block outside driver memory");
  }
  for (std::uint32_t k = 0; k < DRIVER_BLOCK_BYTES / 2; ++k) {
    driverMemory_[address + 2 * k] = static_cast<Byte>(msg[3 + k] & 0xFF);
    driverMemory_[address + 2 * k + 1] = static_cast<Byte>(msg[3 + k] >> 8);
  }
  driverEnd_ = std::max(driverEnd_, address + DRIVER_BLOCK_BYTES);
  answerKind_ = Answer::IspDriverBlock;
  answerPosition_ = {driverBlocks_, 0};
  ++driverBlocks_;
  return ack(messageCode(msg[0]));
}

Words VideoProcessor::callDriver(const Words &msg) {
  if (msg[1] != DRIVER_CALL_BASE || msg[2] != 0 || msg[3] != DRIVER_CALL_ENTRY) {
    return nack(messageCode(msg[0]), "call outside the driver");
  }
  driverRunning_ = true;
  answerKind_ = Answer::IspDriverCall;
  startsAfterAnswer_ = Start::DriverStart;
  record_.event("vxp driver started after " + std::to_string(driverBlocks_) + " blocks");
  return ack(messageCode(msg[0]));
}

Words VideoProcessor::setIspMode(const Words &msg) {
  const Word mode = msg[1];
  const int device = msg[2];
  const std::uint32_t start = longOf(msg[3], msg[4]);
  const std::uint32_t count = longOf(msg[5], msg[6]);
  if (mode != MODE_WRITE && mode != MODE_READ_BACK)
    return nack(messageCode(msg[0]), "bad mode");
  if (device < 1 || device > DEVICES)
    return nack(messageCode(msg[0]), "bad device");
  if (start > FLASH_SIZE || count > FLASH_SIZE - start) {
    return nack(messageCode(msg[0]), "window outside the device");
  }
  closeWindow();
  deviceInForce_ = device;
  window_ = Window{true, mode, device, start, count, 0};
  const bool write = mode == MODE_WRITE;
  record_.event(std::string("vxp window ") + (write ? "write" : "read") + " device " +
                std::to_string(device) + " start " + hex(start) + " count " + hex(count));
  if (write)
    used_.insert(device);
  if (write && erasesFirst(device) && start == ERASING_START) {
    ++erases_;
    flash_.at(static_cast<size_t>(device)).clear();
    record_.event("vxp erase device " + std::to_string(device));
    answerWait_ = Millis(faults_.number("vxp-slow-erase").value_or(0));
    answerKind_ = Answer::IspErase;
  } else if (write && start == 0 && !erasesFirst(device)) {
    answerKind_ = Answer::IspWriteWindow; // its first sector is erased
  }
  return ack(messageCode(msg[0]));
}

Words VideoProcessor::statusRequest(const Words &) const {
  return makeMessage(STATUS_ANSWER, {static_cast<Word>(deviceInForce_ & 0xFF), 0});
}

Words VideoProcessor::dataBlock(const Words &msg) {
  ++dataBlocks_;
  const auto from = faults_.number("vxp-refuse-blocks-from");
  if (faultAt("vxp-refuse-block", dataBlocks_) || (from && dataBlocks_ >= *from)) {
    return nack(messageCode(msg[0]), "refuse-block fault");
  }
  if (!window_.open || window_.mode != MODE_WRITE || window_.remaining == 0) {
    return nack(messageCode(msg[0]), "no room in a write window");
  }
  answerAsBlock();
  Bytes &flash = flash_.at(static_cast<size_t>(window_.device));
  const std::uint32_t n = std::min(BLOCK_BYTES, window_.remaining);
  if (flash.size() < window_.address + n)
    flash.resize(window_.address + n, ERASED);
  for (std::uint32_t k = 0; k < n; ++k) {
    const Word w = msg[1 + k / 2];
    flash[window_.address + k] = static_cast<Byte>(k % 2 == 0 ? w & 0xFF : w >> 8);
  }
  window_.address += BLOCK_BYTES;
  window_.remaining -= n;
  ++window_.blocks;
  if (window_.remaining == 0)
    record_.event("vxp window filled " + std::to_string(window_.blocks) + " blocks");
  return ack(messageCode(msg[0]));
}

Words VideoProcessor::readBlock(const Words &msg) {
  ++readBlocks_;
  if (!window_.open || window_.mode != MODE_READ_BACK || window_.remaining == 0) {
    return nack(messageCode(msg[0]), "nothing left in a read window");
  }
  const bool wrongCode = faultAt("vxp-wrong-read", readBlocks_);
  const auto shortFrom = faults_.number("vxp-short-reads-from");
  const bool shortRead =
      faultAt("vxp-short-read", readBlocks_) || (shortFrom && readBlocks_ >= *shortFrom);
  const std::uint32_t bytes = shortRead ? SHORT_READ_BYTES : BLOCK_BYTES;
  answerAsBlock();
  const Bytes &flash = flash_.at(static_cast<size_t>(window_.device));
  Words data;
  for (std::uint32_t k = 0; k < bytes; k += 2) {
    const std::uint32_t at = window_.address + k;
    const Byte low = at < flash.size() ? flash[at] : ERASED;
    const Byte high = at + 1 < flash.size() ? flash[at + 1] : ERASED;
    Word w = static_cast<Word>(low | high << 8);
    if (differingWords_.count(static_cast<long>(at / 2)) != 0)
      w ^= 0x0100;
    data.push_back(w);
  }
  if (!wrongCode) {
    window_.address += bytes;
    window_.remaining -= std::min(bytes, window_.remaining);
    ++window_.blocks;
  }
  const Word code = wrongCode ? WRONG_READ_ANSWER_CODE : READ_ANSWER_CODE;
  return makeMessage(static_cast<Word>((data.size() - 1) << 12 | code), data);
}

Words VideoProcessor::deviceName() const {
  std::string name = setup_.name;
  name.resize(NAME_LENGTH, ' ');
  Words words;
  for (size_t k = 0; k < NAME_LENGTH; k += 2) {
    words.push_back(
        static_cast<Word>(static_cast<Byte>(name[k]) << 8 | static_cast<Byte>(name[k + 1])));
  }
  return makeMessage(DEVICE_NAME_ANSWER, words);
}

Words VideoProcessor::vxpStatus() const {
  Words words(14, 0);
  words[0] = setup_.status;
  words[1] = setup_.type;
  words[13] = setup_.memory;
  return makeMessage(VXP_STATUS_ANSWER, words);
}

Words VideoProcessor::calibration(const Words &msg) {
  Word bits;
  if (msg[1] == OSD_MEMORY[0] && msg[2] == OSD_MEMORY[1]) {
    bits = setup_.osdCalibration;
  } else if (msg[1] == VIDEO_MEMORY[0] && msg[2] == VIDEO_MEMORY[1]) {
    bits = setup_.videoCalibration;
  } else {
    return nack(messageCode(msg[0]), "unknown memory");
  }
  return makeMessage(CALIBRATION_ANSWER, {msg[1], msg[2], bits});
}

Words VideoProcessor::ack(Word code) const { return makeMessage(ACK, {code}); }

Words VideoProcessor::nack(Word code, const char *why) {
  ++nacks_;
  record_.event("vxp nack " + hex(code) + " (" + why + ")");
  const Word word2 = faults_.has("vxp-gspi") ? GSPI_TIMEOUT : 0;
  return makeMessage(NACK, {code, word2});
}

void VideoProcessor::closeWindow() {
  if (!window_.open)
    return;
  record_.event("vxp window done " + std::to_string(window_.blocks) + " blocks");
  window_ = Window{};
}

void VideoProcessor::summarize(Record &record) const {
  record.set("isp_frames", frames_);
  record.set("isp_frames_while_starting", starting_.dropped());
  record.set("vxp_driver", driverRunning_ ? "running" : "stopped");
  record.set("vxp_driver_blocks", driverBlocks_);
  record.set("vxp_data_blocks", dataBlocks_);
  record.set("vxp_read_blocks", readBlocks_);
  record.set("vxp_nacks", nacks_);
  record.set("vxp_resets", resets_);
  record.set("vxp_erases", erases_);
  if (window_.open)
    record.set("vxp_open_window_blocks", window_.blocks);
  if (driverEnd_ > DRIVER_BASE) {
    record.setFile(DRIVER_FILE,
                   Bytes(driverMemory_.begin() + DRIVER_BASE, driverMemory_.begin() + driverEnd_));
  }
  for (int device : used_)
    record.setFile(flashFile(device), flash_.at(static_cast<size_t>(device)));
}

} // namespace cardsim
