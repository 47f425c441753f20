// The MICRO job's files: appMain.mot made by objcopy, and three kernels of arbitrary bytes.
#pragma once

#include "../support/motFiles.h"

#include <string>
#include <utility>
#include <vector>

namespace e2e {

using FileList = std::vector<std::pair<std::string, std::string>>;

struct MicroSet {
  std::string head; // flash 0x000-0x3FF
  std::string body; // flash from 0x800
  std::string mot;
  FileList files;
};

// A set with a body of `bodySize` bytes and kernels of `kernelSize` bytes.
inline MicroSet microSet(size_t bodySize = 1000, size_t kernelSize = 64) {
  MicroSet set;
  set.head = motfiles::pattern(motfiles::HEAD_SIZE, 11);
  set.body = motfiles::pattern(bodySize, 12);
  const std::string dir = motfiles::makeTempDir();
  set.mot = motfiles::objcopyMot(dir, set.head, set.body);
  motfiles::shell("rm -rf " + dir);
  set.files.push_back({"appMain.mot", set.mot});
  unsigned seed = 21;
  for (const char *name : motfiles::KERNEL_NAMES)
    set.files.push_back({name, motfiles::pattern(kernelSize, seed++)});
  return set;
}

inline FileList microFiles() { return microSet().files; }

// The micro's flash after writing `set`: the head at 0, 0xFF up to 0x800, the body, 0xFF after it.
inline std::string expectedFlash(const MicroSet &set, size_t flashSize) {
  std::string flash(flashSize, '\xFF');
  flash.replace(0, set.head.size(), set.head);
  flash.replace(motfiles::BODY_ADDRESS, set.body.size(), set.body);
  return flash;
}

} // namespace e2e
