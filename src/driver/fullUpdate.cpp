// The full update (ALL): the EDID, video processor flash devices 5 and 1
// with their ISP drivers, and the FPGA, from the fixed update files, in
// that order.
#include "driver/fullUpdate.h"
#include "channel/command.h"
#include "channel/edid.h"
#include "channel/fpga.h"
#include "isp/flash.h"
#include "link/jobResult.h"
#include "link/notice.h"
#include "link/port.h"
#include "link/recovery.h"

#include <cstdio>
#include <cstring>

namespace {

const int LOAD_FAILED = -1;
const DWORD DRIVER_PAUSE_MS = 1000;
const char END_ISP[] = "=ME\r";
const unsigned short END_ISP_LENGTH = 4;
const char DEVICE5_IMAGE[] = "Device5.bin";
const char DEVICE1_IMAGE[] = "Device1.bin";

const size_t STEP_STATE_SIZE = 128;
const size_t STEPS_STATE_SIZE = 512;

// The steps in their order, and how each ended, for the advice after a
// failure: which step failed and what it left, which ran, which did not.
enum StepName { STEP_EDID, STEP_DEVICE5, STEP_DEVICE1, STEP_FPGA, STEP_COUNT };
const char *const STEP_NAMES[STEP_COUNT] = {"EDID", "flash device 5", "flash device 1", "FPGA"};
enum StepEnd { STEP_NOT_RUN, STEP_DONE, STEP_FAILED };

struct Step {
  bool planned;
  StepEnd end;
  char state[STEP_STATE_SIZE]; // what a failed step left on the card, "" when nothing
};

// Records how `step` ended and takes over what the step noted; gives `done`.
bool endStep(Step *step, bool done) {
  step->end = done ? STEP_DONE : STEP_FAILED;
  takeCardChange(step->state, sizeof step->state);
  return done;
}

// Appends one step's clause to `state`.
void appendStep(char *state, StepName name, const Step &step) {
  const size_t used = std::strlen(state);
  const char *separator = used > 0 ? "; " : "";
  char clause[STEP_STATE_SIZE];
  if (step.end == STEP_FAILED && step.state[0] != '\0')
    std::snprintf(clause, sizeof clause, "%s", step.state);
  else
    std::snprintf(clause, sizeof clause, "the %s step %s", STEP_NAMES[name],
                  step.end == STEP_DONE     ? "succeeded"
                  : step.end == STEP_FAILED ? "failed before it changed the card"
                                            : "did not run");
  std::snprintf(state + used, STEPS_STATE_SIZE - used, "%s%s", separator, clause);
}

// Notes the planned steps together once the full update has failed, when
// one of them changed the card.
void noteSteps(const Step *steps) {
  char state[STEPS_STATE_SIZE] = "";
  bool changed = false;
  for (int name = 0; name < STEP_COUNT; ++name) {
    if (!steps[name].planned)
      continue;
    changed = changed || steps[name].end == STEP_DONE || steps[name].state[0] != '\0';
    appendStep(state, static_cast<StepName>(name), steps[name]);
  }
  if (changed)
    noteCardChange(ADVICE_RUN_AGAIN, state);
}

// The device images are tested as the VIPER job tests its image, before
// anything is sent: an image that cannot be written whole stops the full
// update (after the key wait) before the EDID and the driver loads.
bool imagesAcceptable(unsigned char device1Present, unsigned char device5Present) {
  const bool acceptable = (device5Present == 0 || imageFileAcceptable(DEVICE5_IMAGE, 5)) &&
                          (device1Present == 0 || imageFileAcceptable(DEVICE1_IMAGE, 1));
  if (!acceptable)
    pressAKey();
  return acceptable;
}

// The driver, a pause, then the device image and "=ME\r". False (after the
// key wait) when a load failed.
bool loadDevice(const char *driver, const char *image, int device, const char *announce) {
  std::printf("Loading ISP Driver...\n");
  bool loaded = loadFile(driver, DRIVER_DEVICE) != LOAD_FAILED;
  if (loaded) {
    Sleep(DRIVER_PAUSE_MS);
    std::printf("%s", announce);
    loaded = loadFile(image, device) != LOAD_FAILED;
  }
  if (!loaded) {
    pressAKey();
    return false;
  }
  sendMicroCmd(END_ISP, END_ISP_LENGTH);
  return true;
}

// The steps after the EDID; false when a device load failed or the time-outs
// could not be set, which ends the full update.
bool runLoads(Step *steps, bool *allDone) {
  if (!setTimeoutProfile(STREAM_TIMEOUTS)) {
    return false;
  }
  if (steps[STEP_DEVICE5].planned &&
      !endStep(&steps[STEP_DEVICE5],
               loadDevice("FDriver.bin", DEVICE5_IMAGE, 5, "Programm Device5.bin ...\n")))
    return false;
  if (steps[STEP_DEVICE1].planned &&
      !endStep(&steps[STEP_DEVICE1],
               loadDevice("SFDriver.bin", DEVICE1_IMAGE, 1, "Programm Device1.bin ...\n")))
    return false;
  if (steps[STEP_FPGA].planned && !endStep(&steps[STEP_FPGA], runFpgaJob("fpga.xsvf") == 0))
    *allDone = false;
  return true;
}

} // namespace

int runAllJob(unsigned char device1Present, unsigned char device5Present, unsigned char fpgaPresent,
              unsigned char edidPresent) {
  if (!imagesAcceptable(device1Present, device5Present))
    return JOB_REFUSED;
  noteRerunCommand("ALL", "");
  Step steps[STEP_COUNT] = {{edidPresent != 0, STEP_NOT_RUN, ""},
                            {device5Present != 0, STEP_NOT_RUN, ""},
                            {device1Present != 0, STEP_NOT_RUN, ""},
                            {fpgaPresent != 0, STEP_NOT_RUN, ""}};
  const DWORD begin = GetTickCount();
  // A failed EDID or FPGA step lets the others run; the result remembers
  // it. An EDID the card did not finish taking stops the full update: the
  // card would write the driver load's commands into its EDID.
  const int edid = steps[STEP_EDID].planned ? runEdidJob("EDID.bin") : 0;
  bool allDone = !steps[STEP_EDID].planned || endStep(&steps[STEP_EDID], edid == 0);
  if (edid == JOB_LEFT_OPEN) {
    notice("the card did not finish taking EDID.bin, and would take what comes next as "
           "EDID bytes: the full update stops here\n");
    noteSteps(steps);
    return -1;
  }
  if (!runLoads(steps, &allDone)) {
    noteSteps(steps);
    return -1;
  }
  printTime(begin, 1);
  if (!allDone)
    noteSteps(steps);
  return allDone ? 0 : -1;
}
