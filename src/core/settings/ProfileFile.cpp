#include "core/settings/ProfileFile.h"

#include "core/util/AtomicFile.h"
#include "core/util/Text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <vector>

namespace hx {
namespace {

bool equalsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<std::string> readLines(const std::string& path, bool* ok) {
    std::vector<std::string> lines;
    // Only a regular file is read: opening a FIFO put in the file's place
    // would wait for a writer for ever (and freeze the program at start-up).
    *ok = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return lines;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return lines;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string bytes;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > (4u << 20)) break;  // no settings file is that large
    }
    ::close(fd);
    *ok = true;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        std::string line = bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

// "[name]" -> name; empty optional otherwise.
bool sectionName(const std::string& line, std::string* name) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    auto close = t.find(']');
    if (close == std::string::npos) return false;
    *name = Trim(t.substr(1, close - 1));
    return true;
}

bool keyOf(const std::string& line, std::string* key, std::string* value) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';') return false;
    auto eq = line.find('=');
    if (eq == std::string::npos) return false;
    *key = Trim(line.substr(0, eq));
    if (value) {
        std::string v = line.substr(eq + 1);
        std::size_t b = 0;
        while (b < v.size() && (v[b] == ' ' || v[b] == '\t')) ++b;
        *value = v.substr(b);
    }
    return true;
}

}  // namespace

std::string GetProfileString(const std::string& path, const std::string& section, const std::string& key,
                             const std::string& def, std::size_t bufferSize) {
    bool ok = false;
    auto lines = readLines(path, &ok);
    std::string result = def;
    if (ok) {
        bool inSection = false;
        for (const auto& line : lines) {
            std::string name;
            if (sectionName(line, &name)) {
                inSection = equalsNoCase(name, section);
                continue;
            }
            std::string k, v;
            if (inSection && keyOf(line, &k, &v) && equalsNoCase(k, key)) {
                if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                    v = v.substr(1, v.size() - 2);
                result = v;
                break;
            }
        }
    }
    if (bufferSize > 0 && result.size() > bufferSize - 1) result.resize(bufferSize - 1);
    return result;
}

int ProfileToInt(const std::string& text) { return LenientToInt(text); }

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
    bool ok = false;
    auto lines = readLines(path, &ok);
    if (!ok) lines.clear();

    bool inSection = false, written = false;
    std::ptrdiff_t sectionEnd = -1;  // index after the last line of the wanted section
    for (std::size_t i = 0; i < lines.size() && !written; ++i) {
        std::string name;
        if (sectionName(lines[i], &name)) {
            if (inSection) break;
            inSection = equalsNoCase(name, section);
            if (inSection) sectionEnd = static_cast<std::ptrdiff_t>(i) + 1;
            continue;
        }
        if (!inSection) continue;
        std::string k;
        if (keyOf(lines[i], &k, nullptr) && equalsNoCase(k, key)) {
            lines[i] = k + "=" + value;
            written = true;
        } else if (!Trim(lines[i]).empty()) {
            sectionEnd = static_cast<std::ptrdiff_t>(i) + 1;
        }
    }
    if (!written) {
        if (sectionEnd < 0) {
            if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
            lines.push_back("[" + section + "]");
            lines.push_back(key + "=" + value);
        } else {
            lines.insert(lines.begin() + sectionEnd, key + "=" + value);
        }
    }

    std::error_code ec;
    auto parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return WriteFileAtomically(path, out, nullptr, nullptr);
}

}  // namespace hx
