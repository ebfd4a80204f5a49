#pragma once
// Text that must stay one unambiguous line: file paths and virus names in the rows and
// messages the terminal tools print. File names are whatever bytes the file system holds
// (a newline, a tab, an escape sequence, bytes that are not UTF-8), so anything that could
// break a line, move the cursor or be misread is written as a C-style escape:
//
//   \\        a backslash
//   \t \n \r  tab, line feed, carriage return
//   \xHH      (two uppercase hex digits) any other control byte 0x00-0x1F and 0x7F, each
//             byte of a C1 control U+0080-U+009F (\xC2\x80 to \xC2\x9F), and every byte
//             that is not part of well-formed UTF-8
//
// Everything else, valid UTF-8 without controls or backslash, stands as it is, so an
// ordinary name prints unchanged. The escaped text holds no tab, so a tab still separates
// a row's columns. UnescapeText gives the original bytes back.
//
// Pure functions; safe from any thread.

#include <optional>
#include <string>
#include <string_view>

#include "platform/file_name.h"

namespace korvax {

std::string EscapeText(std::string_view bytes);

// The bytes EscapeText was given. Empty optional when `text` is not escaped text: a
// backslash at the end, or followed by anything but \, t, n, r or x and two hex digits
// (either case).
std::optional<std::string> UnescapeText(std::string_view text);

// A path, or a message that names one, as the rows and messages show it on the system the
// program runs on (kPathShowing, platform/file_name.h): on Linux escaped as above; on
// Windows as it stands, backslashes and all, with whatever cannot stand on one readable
// line shown as U+FFFD: a control character (C0, DEL or C1), a byte that is no UTF-8, and
// a lone surrogate (the three bytes WTF-8 gives it, one U+FFFD for them). A Win32 name
// holds none of them: only a name made behind Win32's back does. Unlike the escapes this
// is not reversible; JSON gives every path exactly (engine/json_path.h).
std::string ShownPath(std::string_view path);
std::string ShownPath(std::string_view path, PathShowing showing);

}  // namespace korvax
