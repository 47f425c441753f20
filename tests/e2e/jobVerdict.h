// How the fault tables and the campaign judge a run: a job that prints its
// success line has put exactly its file on the card; a failed one never does.
#pragma once

#include "harness.h"
#include "microSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

enum class Job { Viper1, Viper5, Viper7, Verify, Status, Micro, MicroBootMode, Fpga, Edid, Gamma, Remote, All };

inline const char TOTAL_TIME[] = "\nTotal Time : ";
// A device's driver and image loads begin.
inline const char *const DEVICE_LOADS[] = {"Loading ISP Driver...", "Programm Device"};
inline const char UPLOAD_SUCCESS[] = "Sucess\n";
inline const char FPGA_SUCCESS[] = "\nSuccess";
inline const char MICRO_SUCCESS[] = "END...REBOOT THE DEVICE!";
inline const char VERIFY_SUCCESS[] = "Job at 100% ----- Mismatch Total 0 ";
inline const char STATUS_END[] = "/******** END OF VXP STATUS ********/";
inline const size_t MICRO_FLASH_SIZE = 0x800 + 0x40000;

inline bool endsOnExit(const std::string &out) {
  return out.size() >= sizeof EXIT - 1 && out.compare(out.size() - (sizeof EXIT - 1), std::string::npos, EXIT) == 0;
}

// The script's closing tally when the card acknowledged all `n` commands.
inline std::string allAcknowledged(size_t n) {
  const std::string count = std::to_string(n) + " / " + std::to_string(n);
  return "\n->ACK : " + count + "  \n->NACK : 0 / " + std::to_string(n) + "  ";
}

// What a job must put on the card; "" for a piece the run does not write.
struct Written {
  std::string device1, device5, device7, edid, gamma, fpga;
  std::string microFlash; // the whole flash, as expectedFlash makes it
  std::string commands;   // script commands, one a line
};

// An upload the card took whole and reports programmed ("" otherwise).
inline std::string programmed(const Result &r, const std::string &name, const char *file) {
  return has(r.state("card.txt"), name + "_result=programmed") ? r.state(file) : "";
}

// The script commands the card acknowledged, one a line.
inline std::string acknowledgedCommands(const Result &r) {
  std::istringstream events(r.events());
  std::string line, command, out;
  while (std::getline(events, line)) {
    if (!command.empty() && line == "send #ACK\\r")
      out += command + "\n";
    command = line.rfind("cmd #", 0) == 0 ? line.substr(4) : "";
  }
  return out;
}

// A finished run: "done" when every piece was reported, "unconfirmed" when one is on the card whole
// unreported, "failed" otherwise. A reported piece must be on the card whole; exit status 0 means
// "done" (not for STATUS: a report that missed an answer is still shown, and fails).
inline std::string judge(Job job, const Written &w, const Result &r) {
  const std::string &out = r.out;
  // A full update prints its total time only once every device load succeeded;
  // its EDID step prints one of its own before the loads.
  const bool all = job == Job::All;
  const size_t total = out.rfind(TOTAL_TIME);
  bool afterLoads = total != std::string::npos;
  for (const char *load : DEVICE_LOADS) {
    const size_t at = out.rfind(load);
    afterLoads = afterLoads && (at == std::string::npos || total > at);
  }
  const bool devices = afterLoads && !(all && has(out, PRESS_KEY));
  bool writes = false, allReported = true, unconfirmed = false;
  // One piece the job writes: reported taken?, what the card holds, what it must hold.
  const auto piece = [&](const char *name, bool reported, const std::string &held, const std::string &file) {
    if (file.empty())
      return;
    EXPECT_TRUE(held == file || !reported) << "the success line without the file on the card: " << name;
    writes = true;
    allReported = allReported && reported;
    unconfirmed = unconfirmed || (held == file && !reported);
  };
  piece("device 1", devices, r.state("flash-device1.bin"), w.device1);
  piece("device 5", devices, r.state("flash-device5.bin"), w.device5);
  piece("device 7", devices, r.state("flash-device7.bin"), w.device7);
  piece("micro flash", has(out, MICRO_SUCCESS), r.state("micro-flash.bin"), w.microFlash);
  piece("edid", has(out, UPLOAD_SUCCESS), programmed(r, "edid", "edid.bin"), w.edid);
  piece("gamma", has(out, UPLOAD_SUCCESS), programmed(r, "gamma", "gamma.csv"), w.gamma);
  piece("fpga", (!all || devices) && has(out, FPGA_SUCCESS), programmed(r, "fpga", "fpga.bin"), w.fpga);
  const size_t commands = static_cast<size_t>(std::count(w.commands.begin(), w.commands.end(), '\n'));
  piece("script", has(out, allAcknowledged(commands)), acknowledgedCommands(r), w.commands);
  // Jobs that write nothing: their success line.
  const bool done = (writes || has(out, job == Job::Verify ? VERIFY_SUCCESS : STATUS_END)) && allReported;
  if (job != Job::Status) {
    EXPECT_EQ(r.status == 0, done) << "exit status " << r.status;
  }
  return done ? "done" : unconfirmed ? "unconfirmed" : "failed";
}

// On a clock k times fast the 50 ms pauses before the micro mode and the kernel rate shrink to 50/k ms:
// a busy machine may let the card read the host's bytes before it moves, so it stays in its firmware or
// records them garbled. That is the test clock's doing: such a run goes again slower, down to real pace.
inline bool racedTheClock(const Result &r) {
  const std::string events = r.events();
  const size_t kernelRate = events.find("\nboot rate ");
  return (has(events, "cmd #MICROMODE") && !has(events, "\nmode boot\n")) ||
         (kernelRate != std::string::npos && events.find("garbled-", kernelRate) != std::string::npos);
}

inline Result runUnraced(Scenario s) {
  Result r = run(s);
  while (s.timeScale > 1 && racedTheClock(r)) {
    s.timeScale = std::max(1u, s.timeScale / 4);
    r = run(s);
  }
  return r;
}

} // namespace e2e
