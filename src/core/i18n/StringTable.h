#pragma once
// The string-table entries the program looks up by number: messages, captions
// and database table names. The Chinese text is the built-in one; the English
// catalogue supplies the same numbers through the installed translator.

#include <string>

#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif

namespace hx {

// Translates a built-in Chinese text; the GUI installs Qt's translator here.
using Translator = std::string (*)(const char* context, const char* source);
void SetTranslator(Translator translator);
// Whether one is installed: without, the core's texts are its English ones.
bool HasTranslator();

// A built-in text of the given translation context in the current language
// (the text itself when no translator is installed).
std::string Translate(const char* context, const char* source);

// The entry's text in the current language; empty for an unknown number.
std::string LoadString(int id);
// The built-in (Chinese) text of an entry; nullptr for an unknown number.
const char* BuiltinString(int id);

// Every entry, for the catalogue check.
struct StringEntry {
    int id;
    const char* text;
};
const StringEntry* StringEntries(int* count);

inline constexpr const char* kStringTableContext = "StringTable";

}  // namespace hx
