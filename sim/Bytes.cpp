#include "Bytes.h"

#include <cstdio>

namespace cardsim {

Bytes toBytes(const std::string &text) { return Bytes(text.begin(), text.end()); }

std::string escape(const Bytes &bytes) {
  std::string out;
  for (Byte b : bytes) {
    if (b == '\\') {
      out += "\\\\";
    } else if (b == '\r') {
      out += "\\r";
    } else if (b == '\n') {
      out += "\\n";
    } else if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out;
}

std::string escape(const std::string &text) { return escape(toBytes(text)); }

std::string hexByte(Byte b) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", b);
  return hex;
}

} // namespace cardsim
