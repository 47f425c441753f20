// The fuzz input as the program meets it: a port's reads, or a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace fuzz {

// A property every input must keep: libFuzzer reports the input that breaks it.
inline void require(bool holds) {
  if (!holds)
    __builtin_trap();
}

// The first byte of each piece gives the piece's length (0 to 63 bytes, an
// empty read included), the bytes after it are the read.
template <typename Feed> void forEachRead(const uint8_t *data, size_t size, Feed feed) {
  for (size_t at = 0; at < size;) {
    const size_t wanted = data[at++] & 0x3F, length = wanted < size - at ? wanted : size - at;
    feed(data + at, length);
    at += length;
  }
}

// Hands `use` the input as a file; an empty input, which fmemopen refuses, is skipped.
template <typename Use> void withFile(const uint8_t *data, size_t size, Use use) {
  if (FILE *file = size ? fmemopen(const_cast<uint8_t *>(data), size, "rb") : nullptr) {
    use(file);
    std::fclose(file);
  }
}

// Each line as fgets reads it into a job's `Size` buffer, while `line` is true.
template <size_t Size, typename Line>
void forEachLine(const uint8_t *data, size_t size, Line line) {
  withFile(data, size, [&](FILE *file) {
    char buffer[Size];
    while (std::fgets(buffer, Size, file) && line(buffer))
      continue;
  });
}

} // namespace fuzz
