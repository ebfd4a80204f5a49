#pragma once
// SHA-256 of a byte string, as 64 lowercase hex digits: how a backup names the original it
// keeps and how a restore knows the file is still the one the cure left.

#include <cstdint>
#include <span>
#include <string>

namespace korvax {

std::string Sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace korvax
