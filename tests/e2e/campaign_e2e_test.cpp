// The random fault campaign: a seeded generator picks a job, its files (now and then one the job
// must refuse), one or more faults of the virtual card with their moments, the line's pace, a
// power cut at a step of the job, and the card's timing profile.
// Every run must hold:
// - no false success (the fault matrix's judge): the success text and exit status 0 only when
//   the card holds exactly the file;
// - the run ends by itself within its bound, on its exit path, with no sanitizer report;
// - the card never holds a byte from past the end of a file;
// - a refused file leaves the card unwritten and unerased.
// `scripts/campaign FIRST LAST` runs any range and counts the outcomes (CAMPAIGN_SEEDS here).
#include "isp_e2e.h"
#include "jobVerdict.h"

#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

using e2e::Job;
using Names = std::vector<std::string>;

const int STATUS_REFUSED = 2; // exit status of a run that refused its file
// Host bytes of the probe and two identifications: a line cut before them
// leaves the updater asking again without end, as it should.
const unsigned IDENTIFICATION_BYTES = 44;
// Real seconds a run must end within; answers split byte by byte, a few ms
// apart, make the gamma table's thousand acknowledgements slower.
const unsigned BOUND_SECONDS = 40, SPLIT_BOUND_SECONDS = 120;
// Clock speed-ups: answers that trickle in (split, delayed, after chatter) and
// boot synchronisation over a paced line take real time, so keep more waits.
const unsigned SCALE = 50, SLOW_ANSWER_SCALE = 20;
// Answers split byte by byte keep their real 3 ms gaps: on a fast clock the
// probe's answer outlasts the updater's 100 ms wait for it, and the
// identification stays a question behind for good. They run at the real
// pace, as in the fault matrix.
const unsigned SPLIT_SCALE = 1;
// The boot program answers its first 0x00 only: a synchronisation window that
// closes first (10 s at 50 times fast is 200 ms of a loaded machine) leaves
// the host waiting without end.
const unsigned BOOT_SCALE = 10, PACED_BOOT_SCALE = 5;

struct CampaignJob { Job job; const char *name; };
const CampaignJob JOBS[] = {{Job::Viper1, "Viper1"}, {Job::Viper5, "Viper5"}, {Job::Viper7, "Viper7"},
                            {Job::Verify, "Verify"}, {Job::Micro, "Micro"}, {Job::MicroBootMode, "MicroBootMode"},
                            {Job::Fpga, "Fpga"}, {Job::Edid, "Edid"}, {Job::Gamma, "Gamma"}, {Job::All, "All"}};

// A run as the generator made it, with what the card must end up holding.
struct Plan {
  unsigned seed;
  CampaignJob job;
  e2e::Scenario scenario;
  bool refusedFile = false;     // a file the job must refuse before sending
  bool readBackDiffers = false; // VERIFY: the device does not read back as the file
  Names faults;
  e2e::Written written;
  e2e::MicroSet micro;
  std::string driver;
  std::string description() const {
    std::string text = "seed " + std::to_string(seed) + " " + job.name;
    for (const std::string &option : scenario.card)
      text += " " + option;
    return text + (refusedFile ? " (refused file)" : "") + (readBackDiffers ? " (reads back differently)" : "");
  }
};

class Generator {
public:
  explicit Generator(unsigned seed) : random_(seed) {}
  unsigned below(unsigned n) { return n == 0 ? 0 : random_() % n; }
  unsigned between(unsigned low, unsigned high) { return low + below(high - low + 1); }
  bool chance(unsigned percent) { return below(100) < percent; }
  template <typename T> const T &pick(const std::vector<T> &from) {
    return from[below(static_cast<unsigned>(from.size()))];
  }

private:
  std::mt19937 random_;
};

void addFault(Plan &p, const std::string &fault) {
  p.faults.push_back(fault);
  p.scenario.card.insert(p.scenario.card.end(), {"--fault", fault});
}

// One or two of `faults`, drawn.
void addFaults(Generator &g, Plan &p, const Names &faults) {
  for (unsigned k = g.between(1, 2); k > 0; --k)
    addFault(p, g.pick(faults));
}

std::string numbered(const char *name, unsigned n) { return std::string(name) + "=" + std::to_string(n); }

// Faults of the firmware's "=M" acknowledgements and of every answer.
Names answerFaults(Generator &g) {
  return {"noise", "split", "repeat-eq", numbered("delay", g.between(1, 40)),
          numbered("ack-silent", g.between(1, 2)),
          "refuse=" + g.pick(Names{"MP", "MR", "MA", "ME"})};
}

// Faults of the video processor; `frames` is about the run's ISP frames.
Names vxpFaults(Generator &g, unsigned frames) {
  const unsigned n = g.between(1, frames);
  return {numbered("vxp-refuse-block", n), numbered("vxp-refuse-blocks-from", n), "vxp-gspi",
          numbered("vxp-nack-other", n), numbered("vxp-echo", n), numbered("vxp-silent-frame", n),
          numbered("vxp-late-frame", n), numbered("vxp-late-ms", g.between(10, 4000)),
          numbered("vxp-bad-checksum", n), numbered("vxp-bad-length", n), "vxp-noise",
          numbered("vxp-restart", n), numbered("vxp-endless", n)};
}

Names operator+(Names a, const Names &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string deviceImage(Generator &g, size_t low, size_t high) {
  return isp_e2e::image(g.between(static_cast<unsigned>(low), static_cast<unsigned>(high)), g.below(1000));
}

std::string driverImage(Generator &g) { return isp_e2e::image(g.between(0x800, 0x900), g.below(1000)); }

std::string gammaTable(Generator &g) {
  std::string csv;
  for (int i = 0; i < 1024; ++i)
    csv += std::to_string(g.below(1024)) + "," + std::to_string(g.below(1024)) + "," +
           std::to_string(g.below(1024)) + "\n";
  return csv;
}

void planViper(Generator &g, Plan &p, int device) {
  const bool header = device != 1;
  const std::string name = "Device" + std::to_string(device) + ".bin";
  std::string image = deviceImage(g, header ? 0x100 : 1, 0x800);
  if (g.chance(8)) {
    p.refusedFile = true;
    image = header && g.chance(50) ? std::string(g.below(0x100), '\x5A') : "";
  }
  p.driver = driverImage(g);
  p.scenario.args = {"COM1", "VIPER", name};
  p.scenario.files = {{name, image}, {header ? "FDriver.bin" : "SFDriver.bin", p.driver}};
  (device == 1 ? p.written.device1 : device == 5 ? p.written.device5 : p.written.device7) = image;
  const unsigned frames = (0x100 + static_cast<unsigned>(image.size())) / 16 + 8;
  const Names vxp = vxpFaults(g, frames); // drawn before the answer faults
  addFaults(g, p, vxp + answerFaults(g));
}

void planVerify(Generator &g, Plan &p) {
  const std::string image = deviceImage(g, 0, 0x800);
  std::string device = image;
  if (!device.empty() && g.chance(20)) {
    device[g.below(static_cast<unsigned>(device.size()))] ^= 0x20;
    p.readBackDiffers = true;
  }
  p.scenario.args = {"COM1", "VERIFY", "Device1.bin"};
  p.scenario.files = {{"Device1.bin", image}, {"flash.bin", device}};
  p.scenario.card = {"--flash", "1=flash.bin"};
  const unsigned blocks = static_cast<unsigned>(image.size()) / 32 + 3;
  const Names vxp = vxpFaults(g, blocks); // drawn before the read faults
  const unsigned n = g.between(1, blocks);
  addFaults(g, p, vxp + Names{numbered("vxp-short-read", n), numbered("vxp-short-reads-from", n),
                              numbered("vxp-wrong-read", n), numbered("vxp-differ", g.between(1, blocks * 16)), "noise"});
  // vxp-differ=N changes the high byte of word N (from 0): the device differs when that byte lies in the file.
  for (const std::string &f : p.faults)
    if (f.rfind("vxp-differ=", 0) == 0 && 2 * std::stoul(f.substr(11)) + 1 < image.size())
      p.readBackDiffers = true;
}

void planMicro(Generator &g, Plan &p, bool bootMode) {
  p.micro = e2e::microSet(g.between(1, 1500), g.between(8, 200));
  p.written.microFlash = e2e::expectedFlash(p.micro, e2e::MICRO_FLASH_SIZE);
  p.scenario.args = {"COM1", "MICRO"};
  p.scenario.files = p.micro.files;
  if (bootMode)
    p.scenario.card = {"--boot-mode"};
  if (g.chance(8)) {
    p.refusedFile = true;
    p.scenario.files[0].second = p.micro.mot.substr(0, p.micro.mot.size() / 2);
  }
  const Names faults = {
      numbered("boot-bad-echo", g.below(200)), "boot-erase-fail", "boot-bad-inquiry",
      numbered("boot-bad-status", g.between(1, 2)), numbered("boot-bad-status-sum", g.between(1, 2)),
      "boot-no-ack=" + g.pick(Names{"DEVICE", "CLOCK", "RATE", "CONFIRM", "PROGRAM", "MAIN", "USER", "WRITE", "BLOCK"}),
      numbered("boot-no-ack-block", g.between(1, 24)), "boot-no-aa", "noise"};
  if (g.chance(70))
    addFault(p, g.pick(faults));
}

void planUpload(Generator &g, Plan &p, Job job) {
  const Names faults = {"noise", "split", numbered("chatter", g.between(10, 200))};
  if (job == Job::Fpga) {
    // The short stream: the long one asks for its bytes in tens of
    // thousands of requests, minutes of a loaded machine.
    p.written.fpga = e2e::testData("erase_cpld.xsvf");
    p.scenario.args = {"COM1", "FPGA", "fpga.xsvf"};
    p.scenario.files = {{"fpga.xsvf", p.written.fpga}};
    addFaults(g, p, faults + Names{"upload-fail=FPGA", numbered("fpga-block-limit", g.between(1, 300)),
                                   numbered("fpga-past-end", g.between(1, 50)), "fpga-bad-request"});
    return;
  }
  const bool edid = job == Job::Edid;
  const std::string word = edid ? "EDID" : "GAMMA";
  std::string &file = edid ? p.written.edid : p.written.gamma;
  file = edid ? e2e::testData(g.chance(50) ? "monitor_128_a.bin" : "tv_256_cta_a.bin") : gammaTable(g);
  if (g.chance(8)) {
    p.refusedFile = true;
    file = file.substr(0, edid ? g.below(128) : file.size() / 2);
  }
  const std::string name = edid ? "EDID.bin" : "gamma.csv";
  p.scenario.args = {"COM1", word, name};
  p.scenario.files = {{name, file}};
  addFaults(g, p, faults + Names{"upload-fail=" + word, numbered("upload-silent-after", g.between(1, 1100)),
                                 "no-end=" + word, "no-verdict=" + word, "ack-noise"});
}

void planAll(Generator &g, Plan &p) {
  e2e::Written &w = p.written;
  p.scenario.args = {"COM1", "ALL"};
  p.scenario.input = "k";
  const unsigned parts = g.between(1, 15); // EDID, device 5, device 1, FPGA
  e2e::FileList &files = p.scenario.files;
  if (parts & 1)
    files.push_back({"EDID.bin", w.edid = e2e::testData("monitor_128_a.bin")});
  p.driver = driverImage(g);
  if (parts & 2) {
    w.device5 = deviceImage(g, 0x100, 0x600);
    if (g.chance(8)) {
      p.refusedFile = true;
      w.device5 = std::string(g.below(0x100), '\x5A');
    }
    files.insert(files.end(), {{"Device5.bin", w.device5}, {"FDriver.bin", p.driver}});
  }
  if (parts & 4)
    files.insert(files.end(), {{"Device1.bin", w.device1 = deviceImage(g, 1, 0x600)}, {"SFDriver.bin", p.driver}});
  if (parts & 8)
    files.push_back({"fpga.xsvf", w.fpga = e2e::testData("erase_cpld.xsvf")});
  const Names vxp = vxpFaults(g, 200); // drawn before the answer faults
  addFaults(g, p, vxp + answerFaults(g) + Names{"upload-fail=FPGA", "upload-fail=EDID", "no-verdict=EDID"});
}

// The steps of each job at which the card's power may be cut (cardsim's --power-cut names).
Names powerCutSteps(Job job) {
  switch (job) {
  case Job::Viper1: return {"driver", "last-block"};
  case Job::Viper5:
  case Job::Viper7: return {"driver", "erase", "header", "last-block"};
  case Job::Micro:
  case Job::MicroBootMode:
    return {"micro-mode", "micro-kernel", "micro-erase", "main-kernel", "write-kernel", "micro-block"};
  case Job::Fpga: return {"fpga"};
  case Job::Edid: return {"edid"};
  case Job::Gamma: return {"gamma"};
  case Job::All: return {"edid", "driver", "erase", "header", "last-block", "fpga"};
  default: return {}; // VERIFY writes nothing: its cuts count host bytes
  }
}

// The host bytes a complete run sends, roughly: a cut line falls inside it.
unsigned roughHostBytes(const Plan &p) {
  size_t bytes = 0;
  for (const auto &file : p.scenario.files)
    bytes += file.second.size();
  return static_cast<unsigned>(bytes * 2 + 400);
}

// Drawn after everything else, so that a seed keeps the rest of its plan.
// The power goes off at a step of the job (its K-th time, N host bytes
// later) or after N host bytes; the card takes the times of a timing
// profile. On the fast clock a probe answer that the profile delays would
// be read as the version's: the cards of these runs leave it out, as the
// fault matrix's do.
void drawPowerCutAndTiming(Generator &g, Plan &p) {
  const Names steps = powerCutSteps(p.job.job);
  if (g.chance(15)) {
    const std::string when = !steps.empty() && g.chance(70)
                                 ? g.pick(steps) + "@" + std::to_string(g.between(1, 2)) + "+" +
                                       std::to_string(g.below(200))
                                 : std::to_string(g.between(IDENTIFICATION_BYTES + 1, roughHostBytes(p)));
    p.scenario.card.insert(p.scenario.card.end(), {"--power-cut", when});
  }
  if (g.chance(15)) {
    const std::string profile =
        g.pick(Names{"real", "edge", "beyond", "jitter:" + std::to_string(g.below(1000))});
    p.scenario.card.insert(p.scenario.card.end(), {"--timing", profile});
    const bool boot = p.job.job == Job::Micro || p.job.job == Job::MicroBootMode;
    if (!boot && p.scenario.timeScale > 1)
      addFault(p, "silent-cmd=PROBE");
  }
}

Plan makePlan(unsigned seed) {
  Generator g(seed);
  Plan p;
  p.seed = seed;
  p.job = JOBS[g.below(10)];
  const Job job = p.job.job;
  if (job == Job::Verify)
    planVerify(g, p);
  else if (job == Job::Micro || job == Job::MicroBootMode)
    planMicro(g, p, job == Job::MicroBootMode);
  else if (job == Job::Fpga || job == Job::Edid || job == Job::Gamma)
    planUpload(g, p, job);
  else if (job == Job::All)
    planAll(g, p);
  else
    planViper(g, p, job == Job::Viper1 ? 1 : job == Job::Viper5 ? 5 : 7);
  // The line may be cut anywhere after the identification.
  if (g.chance(15))
    addFault(p, numbered("disconnect-after", g.between(IDENTIFICATION_BYTES + 1, roughHostBytes(p))));
  const bool boot = job == Job::Micro || job == Job::MicroBootMode;
  const bool paced = g.chance(15);
  if (paced)
    p.scenario.card.push_back("--pace");
  bool slowAnswers = false, split = false;
  for (const std::string &f : p.faults) {
    split = split || f == "split";
    slowAnswers = slowAnswers || f == "split" || f.rfind("delay=", 0) == 0 || f.rfind("chatter=", 0) == 0;
  }
  const bool cardTime = g.chance(15);
  if (cardTime)
    p.scenario.card.insert(p.scenario.card.end(), {"--card-time", std::to_string(g.between(1, 5))});
  p.scenario.timeScale = boot && paced              ? PACED_BOOT_SCALE
                         : boot                    ? BOOT_SCALE
                         : split                   ? SPLIT_SCALE
                         : slowAnswers || cardTime ? SLOW_ANSWER_SCALE
                                                   : SCALE;
  p.scenario.killAfter = split ? SPLIT_BOUND_SECONDS : BOUND_SECONDS;
  if (p.scenario.input.empty())
    p.scenario.input = "kkkk";
  drawPowerCutAndTiming(g, p);
  return p;
}

// The card's copy of a file never goes past the file's end.
void expectNothingPastTheEnd(const Plan &p, const e2e::Result &r) {
  const auto within = [](const std::string &held, const std::string &file, const char *what) {
    EXPECT_LE(held.size(), file.size()) << what << " holds bytes past the file's end";
    EXPECT_EQ(file.compare(0, held.size(), held), 0) << what << " holds bytes the file does not";
  };
  const e2e::Written &w = p.written;
  if (!w.fpga.empty())
    within(r.state("fpga.bin"), w.fpga, "the FPGA stream");
  if (!w.edid.empty())
    within(r.state("edid.bin"), w.edid, "the EDID");
  if (!p.driver.empty() && !r.state("vxp-driver.bin").empty())
    within(r.state("vxp-driver.bin"), p.driver.substr(0x800), "the ISP driver");
  // Flash devices start erased and absent from the record; erased bytes
  // past the last one written are left out of it.
  for (const auto &[name, image] : {std::pair{"1", &w.device1}, {"5", &w.device5}, {"7", &w.device7}})
    EXPECT_TRUE(image->empty() || r.state(std::string("flash-device") + name + ".bin").size() <= image->size())
        << "device " << name << " holds bytes past the image's end";
  const std::string micro = r.state("micro-flash.bin");
  const size_t end = motfiles::BODY_ADDRESS + p.micro.body.size();
  EXPECT_TRUE(micro.size() != e2e::MICRO_FLASH_SIZE || micro.find_first_not_of('\xFF', end) == std::string::npos)
      << "the micro's flash holds bytes past appMain.mot's end";
}

const char *const WRITES[] = {"vxp erase", "vxp window write", "isp-frame", "boot erase",
                              "boot sync", "edid start", "gamma start", "cmd #EDID", "cmd #GAMMA"};

// Runs one plan and checks every invariant; returns the outcome's name.
std::string runAndCheck(const Plan &p) {
  SCOPED_TRACE(p.description());
  const e2e::Result r = e2e::runUnraced(p.scenario);
  SCOPED_TRACE(r.out.size() > 1200 ? r.out.substr(r.out.size() - 1200) : r.out);

  // A line cut while the card is identified leaves the updater asking
  // again, once a second, until the operator stops it: a wait by design.
  if (!e2e::has(r.out, "Updater Version") && r.killed() && e2e::has(r.events(), "\ndisconnect\n"))
    return "endless";
  EXPECT_FALSE(r.killed()) << "the run did not end within " << p.scenario.killAfter << " s";
  EXPECT_TRUE(e2e::endsOnExit(r.out)) << "the run did not end on its exit path";

  const std::string events = r.events();
  if (p.refusedFile) {
    EXPECT_EQ(r.status, STATUS_REFUSED);
    for (const char *mark : WRITES)
      EXPECT_FALSE(e2e::has(events, mark)) << "after a refused file: " << mark;
    return "refused";
  }
  expectNothingPastTheEnd(p, r);
  const std::string verdict = e2e::judge(p.job.job, p.written, r);
  if (p.job.job == Job::Verify) {
    EXPECT_FALSE(verdict == "done" && p.readBackDiffers) << "no mismatch reported for a device that differs";
    EXPECT_FALSE(e2e::has(events, "vxp window write")) << "VERIFY wrote";
  }
  return verdict;
}

// Runs the seeds `first` to `last` and checks every invariant of each.
void runSeeds(unsigned first, unsigned last) {
  if (e2e::windowsDriver())
    GTEST_SKIP() << e2e::NEEDS_TEST_CLOCK;
  const ::testing::TestResult *result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
  for (unsigned seed = first; seed <= last; ++seed) {
    const Plan p = makePlan(seed);
    const int failuresBefore = result->total_part_count();
    const std::string outcome = runAndCheck(p);
    std::printf("campaign %s %s %s\n", result->total_part_count() == failuresBefore ? "held" : "VIOLATED",
                outcome.c_str(), p.description().c_str());
    std::fflush(stdout);
  }
}

// The suite's short campaign: blocks of consecutive seeds, side by side.
const unsigned SEEDS_PER_BLOCK = 3, BLOCKS = 5;

class Campaign : public ::testing::TestWithParam<unsigned> {};

TEST_P(Campaign, FixedSeeds) { runSeeds(1 + GetParam() * SEEDS_PER_BLOCK, (GetParam() + 1) * SEEDS_PER_BLOCK); }

INSTANTIATE_TEST_SUITE_P(Blocks, Campaign, ::testing::Range(0u, BLOCKS));

// Seeds outside the blocks that once broke an invariant (docs/reliability.md
// says what each one showed), each a test of its own.
const unsigned REGRESSION_SEEDS[] = {157, 2371, 2607, 2690, 2929, 4390};

class CampaignRegression : public ::testing::TestWithParam<unsigned> {};

TEST_P(CampaignRegression, Seed) { runSeeds(GetParam(), GetParam()); }

INSTANTIATE_TEST_SUITE_P(Seeds, CampaignRegression, ::testing::ValuesIn(REGRESSION_SEEDS),
                         [](const auto &info) { return std::to_string(info.param); });

// The seeds of `CAMPAIGN_SEEDS=FIRST-LAST` (scripts/campaign).
TEST(CampaignRange, SeedsFromTheEnvironment) {
  const char *text = std::getenv("CAMPAIGN_SEEDS");
  unsigned first = 0, last = 0;
  if (!text || std::sscanf(text, "%u-%u", &first, &last) != 2)
    GTEST_SKIP() << "CAMPAIGN_SEEDS=FIRST-LAST names the seeds (scripts/campaign)";
  runSeeds(first, last);
}

} // namespace
