#pragma once
// Modbus RTU on a serial device (a USB-serial adapter, a built-in port or a
// pseudo-terminal). Keeps the silent interval between frames that libmodbus
// leaves to the caller, asks USB adapters for low latency, and claims the
// port so that two programs never share it.

#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "core/link/ModbusTransport.h"

namespace hx {

struct SerialSettings {
    std::string device;   // "/dev/ttyUSB0"
    int baud = 38400;
    char parity = 'N';    // 'N', 'O' or 'E'
    int dataBits = 8;
    int stopBits = 1;

    // Start bit, data bits, parity bit, stop bits.
    int BitsPerChar() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
    std::chrono::nanoseconds CharTime() const;
    // The silence that ends a frame: 3.5 characters.
    std::chrono::nanoseconds SilentInterval() const;
    // The longest gap allowed between two bytes of one reply.
    std::chrono::microseconds ByteTimeout() const;
};

// The rates a serial port can be set to (110 .. 4000000); libmodbus would
// quietly use 9600 for any other.
bool IsStandardBaud(int baud);

class ModbusRtuTransport : public ModbusTransport {
public:
    // recordFolder: where the link notes, for the next program to open the
    // same port, until when a reply to its requests may still arrive; empty:
    // no note is kept, and opening waits only for a short quiet.
    explicit ModbusRtuTransport(SerialSettings settings, std::string recordFolder = {});
    ~ModbusRtuTransport() override;

    std::string Describe() const override;
    const SerialSettings& Settings() const { return m_settings; }

    // RTU requests are framed, sent and answered here rather than in
    // libmodbus: a reply carries no request number, so the link must see
    // every frame on the line (ModbusRtuExchange.cpp says why and how).
    bool ReadRegisters(uint8_t station, uint16_t address, uint16_t count, uint16_t* dest) override;
    bool WriteRegister(uint8_t station, uint16_t address, uint16_t value) override;
    bool WriteRegisters(uint8_t station, uint16_t address, uint16_t count, const uint16_t* values) override;

    bool Settle(uint8_t station) override;

    void SetLateHorizon(std::chrono::milliseconds horizon) override;
    uint64_t LateReplies() const override { return m_lateReplies; }
    bool Lost() const override { return m_lost; }
    // How long after a request without a proper answer its reply may still
    // come: the horizon set, else 1 s or ten time-outs, whichever is longer.
    std::chrono::milliseconds LateHorizon() const;
    static constexpr std::chrono::milliseconds kMinLateHorizon{1000};
    static constexpr int kLateHorizonTimeOuts = 10;
    // How long the line must stay silent when the port is opened before the
    // first request goes out, when no note tells whether an earlier request
    // can still be answered (with a note: FrameEndSilence).
    static constexpr std::chrono::milliseconds kOpenQuiet{30};
    // How long after a frame a repeater or gateway may send it again (on
    // top of the frame's own time on the line).
    static constexpr std::chrono::milliseconds kCopyWindow{100};

protected:
    modbus_t* CreateContext() override;
    bool AfterConnect(modbus_t* ctx) override;
    void BeforeClose(modbus_t* ctx) override;
    std::chrono::microseconds SendTime(int requestBytes) const override;
    void OnConnectionLost(modbus_t* ctx) override;

private:
    using Clock = std::chrono::steady_clock;
    using Bytes = std::vector<uint8_t>;

    // A station whose last request got no proper answer: its reply may
    // still come until `until`. Nothing but the same request goes to that
    // station before (not even the same request would be safe were it a
    // different question: a drive that is slow to answer may queue the
    // repeat and answer it later still).
    struct Pending {
        bool active = false;
        Clock::time_point until{};
        Bytes request;
        // A try went unanswered within its time-out: the drive may be slower
        // than that, so its replies are waited out for the whole horizon.
        bool timedOut = false;
    };
    // A frame seen on the line, and the request it was taken as the answer
    // to (empty when it was dropped).
    struct Seen {
        Bytes frame;
        Clock::time_point at{};
        Bytes answered;
    };
    // An answer taken while a copy of an earlier frame could have stood in
    // for it: the true reply may still come until `until`.
    struct Unsettled {
        bool active = false;
        Clock::time_point until{};
        Bytes request;
        Bytes taken;
        // The frame taken answered this same request before: a later true
        // reply only says the same thing, a moment newer.
        bool sameQuestion = false;
    };

    // One request: waits until it may go, sends it and takes its answer
    // (into *reply); broadcast requests are only sent.
    bool Transact(const Bytes& request, Bytes* reply);
    // Before a request to station goes out: waits out late replies that
    // could pass for its answer, reads what came in since the last exchange
    // and keeps the silent interval.
    bool PrepareLine(int fd, uint8_t station, const Bytes& request);
    bool SendFrame(int fd, const Bytes& request);
    // The silence that shows a frame has ended: 3.5 characters, at least
    // 2 ms (a pseudo-terminal or USB adapter hands bytes on in bursts).
    std::chrono::nanoseconds FrameEndSilence() const;
    bool ReceiveAnswer(int fd, const Bytes& request, Clock::time_point sent, Bytes* reply);
    // Whether frame answers request (station, function, length or echo).
    static bool Answers(const Bytes& frame, const Bytes& request);
    // The latest frame seen within the copy window before `at` that is
    // byte for byte the same as frame; null when none.
    const Seen* EarlierCopy(const Bytes& frame, Clock::time_point at) const;
    // A frame that is no answer to the request on the line: counted and
    // remembered. Returns false when it shows that an earlier answer was a
    // copy standing in for the true reply.
    bool NoteStray(const Bytes& frame, Clock::time_point at);
    void Remember(const Bytes& frame, Clock::time_point at, const Bytes& answered);
    std::chrono::microseconds WireTime(size_t bytes) const;
    // How long after its request the answer of this size normally arrives:
    // the slowest of the station's recent clean answers and a margin.
    Clock::duration UsualAnswerTime(uint8_t station, size_t replyBytes) const;
    void NoteAnswerTime(uint8_t station, Clock::duration afterSend, size_t replyBytes);
    // Whether the station's answers have all come no sooner than their time
    // on the line allows (a real line, or a simulator that keeps its pace).
    bool LineKeepsTime(uint8_t station) const;
    // Whether an answer, on a line that keeps time, ended no sooner than the
    // station's fastest recent answer would have: then no reply of the drive
    // can have been on the line before it.
    bool OnTime(uint8_t station, Clock::time_point sendEnd, const Seen& answer) const;
    // Reads and counts whatever is on the line now, waiting for a frame in
    // progress to end.
    bool ReadBacklog(int fd);

    // Reads and drops whatever arrives until `until` has passed and the line
    // has then been silent for a byte time-out; each frame counts as one
    // late reply. A line that never falls silent is given up on a horizon
    // later. False when the device failed.
    bool Drain(int fd, Clock::time_point until);
    // Drains until no reply to any request sent so far can still arrive.
    void DrainAll(modbus_t* ctx);
    // When the last reply to any request sent so far may still arrive.
    Clock::time_point QuietBy() const;

    // The note shared with the next program on this port.
    void OpenRecord();
    Clock::time_point ReadRecord() const;
    void WriteRecord(Clock::time_point until);
    void CloseRecord(Clock::time_point until);
    // The frames the last program saw lately: a repeater's copy of its last
    // reply may still come, and must be told from a fresh frame here too.
    void ReadRecordFrames();
    // A write may change what a question is answered: an earlier answer to
    // it no longer stands for a new one (its copy is then one like any).
    void ForgetAnswers(uint8_t station);

    SerialSettings m_settings;
    std::string m_recordFolder;
    std::chrono::milliseconds m_lateHorizon{0};
    std::atomic<uint64_t> m_lateReplies{0};
    // The port failed with an error of the device itself: a serial device
    // does not come back under the same descriptor, so nothing more is
    // written into it until the port is opened again.
    std::atomic<bool> m_lost{false};
    // When the line last fell silent (the end of the last frame seen or sent).
    Clock::time_point m_lineQuietSince{};
    std::array<Pending, 256> m_pending{};
    std::array<Unsettled, 256> m_unsettled{};
    // When the true reply to each station's last answer, had it been a
    // copy, would have come at the drive's usual pace (Settle).
    std::array<Clock::time_point, 256> m_settleBy{};
    // Stations whose earlier answer turned out to have been a copy: their
    // next request fails, so the work that read it stops.
    std::array<bool, 256> m_repeated{};
    // Frames seen lately (the copy window), oldest first.
    std::vector<Seen> m_seen;
    // The line has delivered a frame twice since the port was opened: an
    // answer that may be a copy waits for the true reply as long as it may
    // take, not only as long as the drive usually takes.
    bool m_copiesSeen = false;
    // How late after the request each station's recent answers came,
    // beyond their own time on the line.
    struct AnswerTimes {
        std::array<Clock::duration, 8> late{};
        size_t count = 0;
    };
    std::array<AnswerTimes, 256> m_answerTimes{};
    Bytes m_backlog;  // bytes read that do not yet form a frame
    Clock::time_point m_answerEnd{};  // the last byte of the frames of the last answer
    int m_recordFd = -1;
    bool m_recordUsable = false;
    Clock::time_point m_recorded{};  // the time last written to the note
};

}  // namespace hx
