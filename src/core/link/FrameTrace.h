#pragma once
// A frame trace: every request and reply on a link, in hex, with the time
// since the trace began and how long the reply took, as an engineer reads
// them when a line misbehaves. One line each:
//
//        0.031 TX 05 03 00 00 00 01 85 8E
//        0.037 RX 05 03 02 10 E1 F4 1C  (5.9 ms)
//        0.139 -- no reply within 100 ms
//        0.152 RX 05 03 02 10 E1 F4 1C  copy of an earlier frame, dropped
//
// Several links (and threads) may share one trace; each line is written
// whole.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace hx {

class FrameTrace {
public:
    using Clock = std::chrono::steady_clock;

    // Writes into an open stream the caller keeps (stderr).
    explicit FrameTrace(std::FILE* stream);
    ~FrameTrace();
    FrameTrace(const FrameTrace&) = delete;
    FrameTrace& operator=(const FrameTrace&) = delete;

    // Appends to a file; nullptr (with why in *error) when it cannot be opened.
    static std::shared_ptr<FrameTrace> ToFile(const std::string& path, std::string* error = nullptr);
    // The trace the environment asks for: HALVEX_TRACE=FILE ("-" or
    // "stderr": standard error); nullptr when it asks for none.
    static std::shared_ptr<FrameTrace> FromEnvironment();

    // "open /dev/ttyUSB0 38400 8N2" and the like.
    void Note(const std::string& text);
    // A frame that went out.
    void Sent(const uint8_t* frame, size_t size);
    // A frame that came in; what became of it when it was not the answer
    // ("copy of an earlier frame, dropped"), and the time since the request
    // went out when it was.
    void Received(const uint8_t* frame, size_t size, const std::string& what,
                  std::chrono::microseconds sinceRequest = std::chrono::microseconds(-1));

    // "05 03 00 00 00 01 85 8E"
    static std::string Hex(const uint8_t* bytes, size_t size);

private:
    void Line(const std::string& tag, const std::string& text);

    std::FILE* m_stream;
    bool m_own = false;
    Clock::time_point m_start = Clock::now();
    std::mutex m_mutex;
};

}  // namespace hx
