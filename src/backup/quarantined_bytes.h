#pragma once
// How a backup keeps an original on disk. The originals a store keeps are infected
// programs: kept as they are, a user could run one by mistake, and every scanner that
// walks the store (ours, or another on the same machine) would report the store itself as
// infected and might "cure" or delete the very copies a restore needs. So they are kept
// transformed: a header that says what the file is, then every byte mixed with a fixed key,
// which no signature survives. The file is never executable (the store makes it 0600).
//
// Pure functions; safe from any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace korvax {

// `original` in its kept form.
std::vector<std::uint8_t> Quarantined(std::span<const std::uint8_t> original);

// The original kept in `kept`. Backups of earlier versions were kept as they were (no
// header): those come back unchanged, and a restore still holds them to their SHA-256.
std::vector<std::uint8_t> Released(std::span<const std::uint8_t> kept);

}  // namespace korvax
