#pragma once
// Text between the program and the windows: the program keeps UTF-8 (WTF-8 for names the
// system gave it), the windows take UTF-16. And the windows' own texts in the language
// asked for, from the one catalogue every front end uses (platform/program_language.h).
//
// Thread safety: no state.

#include <windows.h>

#include <initializer_list>
#include <string>

namespace korvax::wingui {

// `text` as the windows show it. WTF-8 comes back unit for unit (a name the system gave,
// lone surrogates and all); anything else is decoded as the statistics rows are
// (DisplayText: Windows-1251 where it is not UTF-8), so nothing is ever dropped.
std::wstring Wide(const std::string& text);

// What a window holds, as the program's WTF-8.
std::string Utf8(const std::wstring& text);

// The text of a window (a control's caption, an edit box's contents).
std::wstring WindowText(HWND window);

// One of the program's own texts (Russian in the source) in the language asked for.
std::wstring Tr(const char* russian);

// Marks one of the program's own texts kept for later (in a table of captions, say), so
// that the catalogue has it: Tr() translates it where it is shown.
constexpr const char* TrText(const char* russian) { return russian; }

// Tr(russian) with "%1", "%2"... replaced by `arguments`, in order.
std::wstring TrFormat(const char* russian, std::initializer_list<std::wstring> arguments);

}  // namespace korvax::wingui
