#include "VideoProcessor.h"

#include <cstdio>

namespace cardsim {

const char* const VideoProcessor::FRAMES_FILE = "isp-frames.txt";

VideoProcessor::VideoProcessor(Outbox& outbox, const Faults& faults, Record& record)
    : outbox_(outbox), faults_(faults), record_(record) {}

void VideoProcessor::frame(const Bytes& frame) {
  ++frames_;
  record_.event("isp-frame " + std::to_string(frame.size()));
  std::string hex;
  for (Byte b : frame) {
    char cell[4];
    std::snprintf(cell, sizeof cell, "%02X", b);
    if (!hex.empty()) hex += ' ';
    hex += cell;
  }
  hex += '\n';
  record_.appendFile(FRAMES_FILE, toBytes(hex));
}

void VideoProcessor::summarize(Record& record) const { record.set("isp_frames", frames_); }

}  // namespace cardsim
