#include "core/i18n/QmCatalogue.h"

#include <cstdint>
#include <fstream>
#include <iterator>

#include "core/i18n/StringTable.h"

namespace hx {
namespace {

constexpr unsigned char kMagic[16] = {0x3c, 0xb8, 0x64, 0x18, 0xca, 0xef, 0x9c, 0x95,
                                      0xcd, 0x21, 0x1c, 0xbf, 0x60, 0xa1, 0xbd, 0xdd};
constexpr unsigned char kMessagesSection = 0x69;
// The tags of a message record.
enum : unsigned char {
    kTagEnd = 1,
    kTagTranslation = 3,  // UTF-16 big-endian; length 0xFFFFFFFF: none
    kTagObsolete1 = 5,    // four bytes nobody reads
    kTagSourceText = 6,   // UTF-8
    kTagContext = 7,
    kTagComment = 8,
};
constexpr uint32_t kNoText = 0xFFFFFFFFu;

class Reader {
public:
    Reader(const std::string& data, std::size_t begin, std::size_t end) : m_data(data), m_at(begin), m_end(end) {}
    bool AtEnd() const { return m_at >= m_end; }
    bool Byte(unsigned char* b) {
        if (m_at + 1 > m_end) return false;
        *b = static_cast<unsigned char>(m_data[m_at++]);
        return true;
    }
    bool Word(uint32_t* w) {
        if (m_at + 4 > m_end) return false;
        *w = 0;
        for (int i = 0; i < 4; ++i) *w = (*w << 8) | static_cast<unsigned char>(m_data[m_at++]);
        return true;
    }
    bool Bytes(uint32_t n, std::string* out) {
        if (n > m_end - m_at) return false;
        if (out) out->assign(m_data, m_at, n);
        m_at += n;
        return true;
    }

private:
    const std::string& m_data;
    std::size_t m_at, m_end;
};

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf16BeToUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t c = (static_cast<unsigned char>(bytes[i]) << 8) | static_cast<unsigned char>(bytes[i + 1]);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            const uint32_t low = (static_cast<unsigned char>(bytes[i + 2]) << 8) | static_cast<unsigned char>(bytes[i + 3]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        AppendUtf8(out, c);
    }
    return out;
}

// The message records, one after the other, each up to its end tag.
bool ReadMessages(Reader in, std::map<std::pair<std::string, std::string>, std::string, std::less<>>& texts) {
    std::string context, source, comment, translation;
    bool translated = false;
    while (!in.AtEnd()) {
        unsigned char tag = 0;
        uint32_t length = 0;
        if (!in.Byte(&tag)) return false;
        switch (tag) {
        case kTagEnd:
            // A text with a disambiguation is not what a plain look-up finds.
            if (translated && comment.empty()) texts.emplace(std::make_pair(context, source), translation);
            context.clear(), source.clear(), comment.clear(), translation.clear();
            translated = false;
            break;
        case kTagTranslation: {
            std::string bytes;
            if (!in.Word(&length)) return false;
            if (length == kNoText) break;
            if (length % 2 != 0 || !in.Bytes(length, &bytes)) return false;
            // Plural forms follow the first; a plain look-up takes the first.
            if (!translated) translation = Utf16BeToUtf8(bytes);
            translated = true;
            break;
        }
        case kTagObsolete1:
            if (!in.Word(&length)) return false;
            break;
        case kTagSourceText:
        case kTagContext:
        case kTagComment: {
            std::string* field = tag == kTagSourceText ? &source : tag == kTagContext ? &context : &comment;
            if (!in.Word(&length) || !in.Bytes(length, field)) return false;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

QmCatalogue g_installed;

std::string TranslateInstalled(const char* context, const char* source) {
    std::string text = g_installed.Find(context, source);
    return text.empty() ? std::string(source) : text;
}

}  // namespace

bool QmCatalogue::Load(const std::string& path) {
    m_texts.clear();
    std::ifstream file(path, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) return false;
    if (data.size() < sizeof kMagic || data.compare(0, sizeof kMagic, reinterpret_cast<const char*>(kMagic),
                                                    sizeof kMagic) != 0)
        return false;
    Reader sections(data, sizeof kMagic, data.size());
    std::map<std::pair<std::string, std::string>, std::string, std::less<>> texts;
    while (!sections.AtEnd()) {
        unsigned char tag = 0;
        uint32_t length = 0;
        std::string body;
        if (!sections.Byte(&tag) || !sections.Word(&length) || !sections.Bytes(length, &body)) return false;
        if (tag == kMessagesSection && !ReadMessages(Reader(body, 0, body.size()), texts)) return false;
    }
    m_texts = std::move(texts);
    return true;
}

std::string QmCatalogue::Find(const char* context, const char* source) const {
    const auto it = m_texts.find(std::make_pair(std::string(context ? context : ""), std::string(source ? source : "")));
    return it == m_texts.end() ? std::string() : it->second;
}

bool InstallCatalogue(const std::string& path) {
    if (!g_installed.Load(path)) return false;
    SetTranslator(&TranslateInstalled);
    return true;
}

}  // namespace hx
