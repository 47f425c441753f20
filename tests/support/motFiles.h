// appMain.mot files made by the real S-record tools (objcopy, srec_cat) from
// head and body images, and the boot-mode run's kernel file names.
#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace motfiles {

const unsigned HEAD_SIZE = 1024;
const unsigned BODY_ADDRESS = 0x800;

inline std::string readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeFile(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string makeTempDir() {
  char pattern[] = "/tmp/motfilesXXXXXX";
  const char *dir = mkdtemp(pattern);
  return dir ? dir : "";
}

inline bool shell(const std::string &command) { return std::system(command.c_str()) == 0; }

// `n` bytes of a pattern that differs from the erased-flash 0xFF and from
// its neighbours, so misplaced bytes show.
inline std::string pattern(size_t n, unsigned seed) {
  std::string bytes(n, '\0');
  unsigned x = seed * 2654435761u + 1;
  for (char &b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<char>((x >> 16) % 0xFF); // never 0xFF
  }
  return bytes;
}

// appMain.mot by objcopy: head at 0, body at 0x800, a 4-byte stop record at
// 0xFFFF0000, each part in S3 records of 16 bytes between its own S0 and S7.
inline std::string objcopyMot(const std::string &dir, const std::string &head,
                              const std::string &body) {
  const auto srec = [&](const std::string &bytes, unsigned long address) {
    writeFile(dir + "/part.bin", bytes);
    return shell("cd " + dir + " && objcopy -I binary -O srec --srec-forceS3 --srec-len=16 "
                 "--change-addresses " + std::to_string(address) + " part.bin part.srec")
               ? readFile(dir + "/part.srec")
               : "";
  };
  return srec(head, 0) + srec(body, BODY_ADDRESS) + srec(std::string(4, '\0'), 0xFFFF0000ul);
}

const char *const KERNEL_NAMES[] = {"uGen7144.cde", "Genm7144.cde", "Genw7144.cde"};

} // namespace motfiles
