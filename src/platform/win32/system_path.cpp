#include "platform/win32/system_path.h"

#include <utility>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows names are 16-bit units");

#include "platform/wide_text.h"

namespace korvax::win32 {
namespace {

// Below this, every path works without the prefix; CreateDirectoryW keeps 12 units for
// the 8.3 name it may add, hence the margin.
constexpr std::size_t kClassicLimit = MAX_PATH - 12;

bool HasPrefix(const std::wstring& path, const wchar_t* prefix) { return path.rfind(prefix, 0) == 0; }

}  // namespace

std::optional<std::wstring> SystemPath(const std::string& path) {
    const auto units = WideFromUtf8(path);
    if (!units) return std::nullopt;
    std::wstring wide(units->begin(), units->end());
    if (wide.find(L'\0') != std::wstring::npos) return std::nullopt;
    if (wide.size() < kClassicLimit || HasPrefix(wide, L"\\\\?\\") || HasPrefix(wide, L"\\\\.\\")) return wide;
    // "\\?\" turns off the system's own clean-up of a path (separators, "." and ".."):
    // GetFullPathNameW does it first.
    std::wstring full(wide.size() + MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return wide;  // the call then fails with the system's own reason
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length);
    }
    if (HasPrefix(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string ProgramText(const wchar_t* units, std::size_t length) {
    return Utf8FromWide(std::u16string_view(reinterpret_cast<const char16_t*>(units), length));
}

std::string ProgramText(const std::wstring& units) { return ProgramText(units.data(), units.size()); }

std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? ProgramText(text, length) : std::string();
    if (text != nullptr) ::LocalFree(text);
    // The system ends its texts with a line break: a message stays one line.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    if (!message.empty()) message += ' ';
    return message + "(error " + std::to_string(error) + ")";
}

std::optional<std::wstring> FinalPath(const std::wstring& path) {
    const OwnedHandle opened(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!opened.valid()) return std::nullopt;
    std::wstring final(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(opened.get(), final.data(), static_cast<DWORD>(final.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::nullopt;
        if (length < final.size()) {
            final.resize(length);
            return final;
        }
        final.resize(length + 1);
    }
}

OwnedHandle& OwnedHandle::operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
        OwnedHandle old(std::exchange(handle_, other.release()));
    }
    return *this;
}

OwnedHandle::~OwnedHandle() {
    if (valid()) ::CloseHandle(handle_);
}

HANDLE OwnedHandle::release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

}  // namespace korvax::win32
