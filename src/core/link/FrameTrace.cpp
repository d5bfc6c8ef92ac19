#include "core/link/FrameTrace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace hx {

FrameTrace::FrameTrace(std::FILE* stream) : m_stream(stream) {}

FrameTrace::~FrameTrace() {
    if (m_own && m_stream) std::fclose(m_stream);
}

std::shared_ptr<FrameTrace> FrameTrace::ToFile(const std::string& path, std::string* error) {
    if (path == "-" || path == "stderr") return std::make_shared<FrameTrace>(stderr);
    std::FILE* f = std::fopen(path.c_str(), "ae");
    if (!f) {
        if (error) *error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    auto trace = std::make_shared<FrameTrace>(f);
    trace->m_own = true;
    return trace;
}

std::shared_ptr<FrameTrace> FrameTrace::FromEnvironment() {
    const char* path = std::getenv("HALVEX_TRACE");
    if (!path || !*path) return nullptr;
    return ToFile(path);
}

std::string FrameTrace::Hex(const uint8_t* bytes, size_t size) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size * 3);
    for (size_t i = 0; i < size; ++i) {
        if (i) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

void FrameTrace::Line(const std::string& tag, const std::string& text) {
    const double seconds = std::chrono::duration<double>(Clock::now() - m_start).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%12.3f ", seconds);
    const std::string line = stamp + tag + " " + text + "\n";
    std::lock_guard lock(m_mutex);
    std::fwrite(line.data(), 1, line.size(), m_stream);
    std::fflush(m_stream);
}

void FrameTrace::Note(const std::string& text) { Line("--", text); }

void FrameTrace::Sent(const uint8_t* frame, size_t size) { Line("TX", Hex(frame, size)); }

void FrameTrace::Received(const uint8_t* frame, size_t size, const std::string& what,
                          std::chrono::microseconds sinceRequest) {
    std::string text = Hex(frame, size);
    if (sinceRequest.count() >= 0) {
        char took[32];
        std::snprintf(took, sizeof took, "  (%.1f ms)", static_cast<double>(sinceRequest.count()) / 1000.0);
        text += took;
    }
    if (!what.empty()) text += "  " + what;
    Line("RX", text);
}

}  // namespace hx
