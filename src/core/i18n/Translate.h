#pragma once
// Built-in Chinese texts of the core shown in the interface's language. The
// window program installs its catalogue (SetTranslator) at start-up, so a
// missing English catalogue leaves the Chinese text, never a stray English
// one. Programs without a catalogue (the command-line tools, which speak
// English) get the English given beside the text.

#include <initializer_list>
#include <string>

namespace hx {

// source is the Chinese text, marked for the catalogue with
// QT_TRANSLATE_NOOP(context, ...) where it is defined.
std::string Translate(const char* context, const char* source, const char* withoutCatalogue);

// text with "%1", "%2", ... replaced by the arguments in order.
std::string FillIn(std::string text, std::initializer_list<std::string> arguments);

}  // namespace hx
