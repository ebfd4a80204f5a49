#pragma once
// The program's own texts are Russian. KORVAX_LANG=en in the environment asks for English:
// the windows then load their translation through the toolkit, and the terminal tools and
// the engine's messages take theirs from the same catalogue (translations/korvax_en.ts),
// turned into a table at build time.
//
// Thread safety: reads the environment, which nothing changes once threads run.

namespace korvax {

// KORVAX_LANG is "en".
bool EnglishAsked();

// `text`, one of the program's own texts, in the language asked for: its English
// translation when English is asked for and the catalogue has one, else `text` itself.
// What a result row carries (virus names, "Ошибка чтения", "Вылечен", "Пропущен") never
// comes here: rows keep the engine's own texts in every language.
const char* Translated(const char* text);

}  // namespace korvax
