// Byte strings and their printable form for the event log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cardsim {

using Byte = std::uint8_t;
using Bytes = std::vector<Byte>;

// Bytes of a text, without a terminating zero.
Bytes toBytes(const std::string &text);

// Printable form: printable ASCII as is, backslash as "\\", CR as "\r",
// LF as "\n", every other byte as "\xNN".
std::string escape(const Bytes &bytes);
std::string escape(const std::string &text);

// "0x1B" style for one byte.
std::string hexByte(Byte b);

} // namespace cardsim
