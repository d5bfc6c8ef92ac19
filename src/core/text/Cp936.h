#pragma once
// Conversion between the program's internal UTF-8 text and code page 936,
// the multibyte encoding of the Chinese text in parameter files and the one
// whose byte lengths the length rules count. Built on iconv ("GBK", with
// "CP936" as the second name tried). Every call opens its own converter, so
// the functions may be used from any thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace hx {

// Strict conversions: false (*out left unchanged) when the input holds a
// byte sequence that is not valid in its encoding or a character that the
// other side cannot represent. Plain ASCII passes through unchanged.
bool Cp936ToUtf8(std::string_view cp936, std::string* out);
bool Utf8ToCp936(std::string_view utf8, std::string* out);

// Lenient conversions. Encoding: a character that code page 936 cannot
// represent, and a byte that is not valid UTF-8, become '?', as the classic
// program's wide-to-multibyte conversion did. Decoding: a byte that does not
// start a valid code page 936 character becomes U+FFFD.
std::string Utf8ToCp936Lossy(std::string_view utf8);
std::string Cp936ToUtf8Lossy(std::string_view cp936);

// Length in bytes of the text in code page 936 (lenient encoding, so each
// character the code page lacks counts as the one byte of its '?').
std::size_t Cp936ByteLength(std::string_view utf8);

bool IsAscii(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);

}  // namespace hx
