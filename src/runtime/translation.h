// The program's texts in the user's language: gettext catalogues of the "quenvale" domain.
//
// Texts are written in English in the sources (the message ids) and translated by the catalogue
// of the language the locale selects (LANGUAGE, LC_ALL, LC_MESSAGES, LANG, in gettext's order);
// without a catalogue for it, and in the "C" locale, the English text is shown.
#pragma once

#include <string>

// Marks a text for the catalogue where it is defined (a table, a constant) without translating
// it there; Tr translates it where it is shown.
#define N_(text) text
// The same for a text that Tr shows with TrCtx(context, text).
#define NC_(context, text) text

namespace qv {

inline constexpr char kTextDomain[] = "quenvale";

// The text in the user's language (text itself when the catalogue has no translation).
const char* Tr(const char* text);

// The text in the user's language where the same English text needs another translation in
// another place: context tells the places apart (gettext's message context).
const char* TrCtx(const char* context, const char* text);

// The text for a count n in the user's language: singular or plural in English, the catalogue's
// form for n in a language with other plural rules (gettext's plural forms).
const char* TrN(const char* singular, const char* plural, long n);

// Selects the user's message locale and binds the text domain to the catalogue folder (the
// folder that holds "ja/LC_MESSAGES/quenvale.mo"); the texts come out as UTF-8 whatever the
// locale's character set. Called once by each program's entry before any text is shown.
void InitTranslations(const std::string& catalogue_folder);

// The catalogue folder of the running program: "../share/locale" from the executable's folder
// (the build tree's bin/ and an installed bin/ alike), else the configured install location.
std::string DefaultCatalogueFolder();

}  // namespace qv
