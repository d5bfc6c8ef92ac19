#pragma once
// The English catalogue (i18n/halvex_en.qm, as lrelease writes it) read
// without Qt, so the command-line tool names channels and captions in English
// without loading Qt at all. Looks a text up as QCoreApplication::translate
// does without a disambiguation: by context and source text, first form.

#include <map>
#include <string>
#include <utility>

namespace hx {

class QmCatalogue {
public:
    // false when the file cannot be read or is not a catalogue (nothing is
    // kept then).
    bool Load(const std::string& path);
    // The translation in UTF-8; empty when the catalogue has none.
    std::string Find(const char* context, const char* source) const;
    std::size_t Size() const { return m_texts.size(); }

private:
    std::map<std::pair<std::string, std::string>, std::string, std::less<>> m_texts;
};

// Installs the catalogue at path as the core's translator (SetTranslator)
// for the rest of the program; false, leaving the built-in texts, when it
// cannot be read.
bool InstallCatalogue(const std::string& path);

}  // namespace hx
