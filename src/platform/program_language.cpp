#include "platform/program_language.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string_view>

namespace korvax {
namespace {

struct EnglishText {
    std::string_view source;
    const char* english;
};

// Sorted by source text (bytes), made from the catalogue by scripts/translation_table.py.
constexpr EnglishText kEnglishTexts[] = {
#include "english_texts.inc"
};

}  // namespace

bool EnglishAsked() {
    const char* language = std::getenv("KORVAX_LANG");
    return language != nullptr && std::string_view(language) == "en";
}

const char* Translated(const char* text) {
    if (!EnglishAsked()) return text;
    const std::string_view source(text);
    const auto* found = std::lower_bound(std::begin(kEnglishTexts), std::end(kEnglishTexts), source,
                                         [](const EnglishText& entry, std::string_view key) { return entry.source < key; });
    return found != std::end(kEnglishTexts) && found->source == source ? found->english : text;
}

}  // namespace korvax
