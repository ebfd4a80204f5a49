#include "wingui/win_text.h"

#include <optional>
#include <vector>

#include "engine/display_text.h"
#include "platform/program_language.h"
#include "platform/wide_text.h"

namespace korvax::wingui {

std::wstring Wide(const std::string& text) {
    std::optional<std::u16string> units = WideFromUtf8(text);
    if (!units) units = WideFromUtf8(DisplayText(text));
    if (!units) return {};
    return std::wstring(units->begin(), units->end());
}

std::string Utf8(const std::wstring& text) {
    return Utf8FromWide(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
    const int read = ::GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data(), static_cast<std::size_t>(read > 0 ? read : 0));
}

std::wstring Tr(const char* russian) { return Wide(Translated(russian)); }

std::wstring TrFormat(const char* russian, std::initializer_list<std::wstring> arguments) {
    std::wstring text = Tr(russian);
    int number = 1;
    for (const std::wstring& argument : arguments) {
        const std::wstring marker = L"%" + std::to_wstring(number++);
        const std::size_t at = text.find(marker);
        if (at != std::wstring::npos) text.replace(at, marker.size(), argument);
    }
    return text;
}

}  // namespace korvax::wingui
