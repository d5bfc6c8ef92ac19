#include "core/text/Cp936.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace hx {
namespace {

constexpr const char* kCodePageNames[] = {"GBK", "CP936"};
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

class Converter {
public:
    Converter(bool toCodePage) {
        for (const char* name : kCodePageNames) {
            m_cd = toCodePage ? ::iconv_open(name, "UTF-8") : ::iconv_open("UTF-8", name);
            if (m_cd != reinterpret_cast<iconv_t>(-1)) break;
        }
    }
    ~Converter() {
        if (Ok()) ::iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much of [*in, *in + *left) as it can, appending to out.
    // Returns 0 when everything was converted, else the errno that stopped
    // it (EILSEQ or EINVAL) with *in at the offending byte.
    int Run(const char** in, std::size_t* left, std::string& out) {
        char buffer[4096];
        while (*left > 0) {
            char* dst = buffer;
            std::size_t room = sizeof buffer;
            char* src = const_cast<char*>(*in);
            std::size_t r = ::iconv(m_cd, &src, left, &dst, &room);
            int err = (r == static_cast<std::size_t>(-1)) ? errno : 0;
            *in = src;
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (err == E2BIG) continue;
            if (err != 0) {
                ::iconv(m_cd, nullptr, nullptr, nullptr, nullptr);  // reset the shift state
                return err;
            }
        }
        return 0;
    }

private:
    iconv_t m_cd = reinterpret_cast<iconv_t>(-1);
};

// Length of the UTF-8 sequence that starts at s[0], or 0 when it is not a
// valid one (overlong forms, surrogates and values above U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view s) {
    const auto b = [&](std::size_t i) { return static_cast<uint8_t>(s[i]); };
    const auto cont = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    uint8_t c = b(0);
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2)) return 0;
        if (c == 0xE0 && b(1) < 0xA0) return 0;  // overlong
        if (c == 0xED && b(1) >= 0xA0) return 0;  // surrogate
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3)) return 0;
        if (c == 0xF0 && b(1) < 0x90) return 0;  // overlong
        if (c == 0xF4 && b(1) >= 0x90) return 0;  // above U+10FFFF
        return 4;
    }
    return 0;
}

// Shared driver of the four conversions. skipBad decides how many input
// bytes an unconvertible spot covers; replacement is what it becomes.
// The result is built apart from *out, so in may view *out itself.
bool Convert(std::string_view in, bool toCodePage, bool lenient, std::string* result) {
    if (IsAscii(in)) {
        result->assign(in);
        return true;
    }
    std::string converted;
    std::string* out = &converted;
    Converter conv(toCodePage);
    if (!conv.Ok()) {
        // No converter on this system: keep what is plain ASCII only.
        if (!lenient) return false;
        for (char c : in) out->push_back(static_cast<uint8_t>(c) < 0x80 ? c : '?');
        *result = std::move(converted);
        return true;
    }
    out->reserve(in.size() + in.size() / 2);
    const char* p = in.data();
    std::size_t left = in.size();
    while (left > 0) {
        if (conv.Run(&p, &left, *out) == 0) break;
        if (!lenient) return false;
        std::string_view rest(p, left);
        std::size_t skip = 1;
        if (toCodePage) {
            // A valid character the code page lacks is skipped whole.
            std::size_t n = Utf8SequenceLength(rest);
            if (n > 0) skip = n;
            out->push_back('?');
        } else {
            out->append(kReplacementUtf8);
        }
        p += skip;
        left -= skip;
    }
    *result = std::move(converted);
    return true;
}

}  // namespace

bool IsAscii(std::string_view bytes) {
    for (char c : bytes)
        if (static_cast<uint8_t>(c) >= 0x80) return false;
    return true;
}

bool IsValidUtf8(std::string_view bytes) {
    while (!bytes.empty()) {
        std::size_t n = Utf8SequenceLength(bytes);
        if (n == 0) return false;
        bytes.remove_prefix(n);
    }
    return true;
}

bool Cp936ToUtf8(std::string_view cp936, std::string* out) { return Convert(cp936, false, false, out); }

bool Utf8ToCp936(std::string_view utf8, std::string* out) { return Convert(utf8, true, false, out); }

std::string Utf8ToCp936Lossy(std::string_view utf8) {
    std::string out;
    Convert(utf8, true, true, &out);
    return out;
}

std::string Cp936ToUtf8Lossy(std::string_view cp936) {
    std::string out;
    Convert(cp936, false, true, &out);
    return out;
}

std::size_t Cp936ByteLength(std::string_view utf8) {
    if (IsAscii(utf8)) return utf8.size();
    return Utf8ToCp936Lossy(utf8).size();
}

}  // namespace hx
