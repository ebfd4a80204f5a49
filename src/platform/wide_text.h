#pragma once
// Names between the program and Windows' wide (UTF-16) calls. Inside, every path is UTF-8;
// at each system call it becomes UTF-16, and a name the system hands back becomes UTF-8.
//
// Windows names are sequences of 16-bit units that need not be valid UTF-16: a name made
// behind Win32's back may hold a surrogate without its partner. Such a name must still be
// checked, and written back under its very name, so the UTF-8 side uses WTF-8: UTF-8 in
// which a lone surrogate (U+D800 to U+DFFF, never a pair) is encoded like any other code
// point in three bytes (ED A0 80 to ED BF BF). Every sequence of 16-bit units has exactly
// one WTF-8 form and comes back from it unit for unit; valid UTF-16 gives plain UTF-8.
//
// The conversions are plain code, built and tested on every system; only the Windows
// build calls the system with their results.
//
// Thread safety: no state.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvax {

// The WTF-8 form of `units` (never fails: every sequence of units has one).
std::string Utf8FromWide(std::u16string_view units);

// The 16-bit units `text` encodes, or nothing when `text` is not WTF-8: a byte that begins
// no sequence, a cut sequence, an overlong form, a value above U+10FFFF, or a surrogate
// pair written as two three-byte surrogates (its one form is the four-byte sequence, so a
// second spelling would make two names of one). A path that is not WTF-8 names no file
// on Windows.
std::optional<std::u16string> WideFromUtf8(std::string_view text);

// How many 16-bit units the WTF-8 `text` takes (the length Windows counts in a path), or
// nothing when it is not WTF-8.
std::optional<std::size_t> WideLength(std::string_view text);

}  // namespace korvax
