#pragma once
// Serves a VirtualDrive the way a drive on a line answers: Modbus RTU on a
// pseudo-terminal and/or Modbus TCP on a local socket, on its own thread.
//
// RTU: frames are delimited by their function's length and resynchronised
// at a silent interval; a frame with a bad CRC or for another station is
// dropped without a word; station 0 is broadcast (writes are carried out,
// nothing is answered). Pseudo-terminals ignore the baud rate, so with a
// baud rate set the server paces itself: the reply starts no earlier than
// the request would have taken to arrive on a real line and trickles out at
// the line rate.
//
// Several drives may share the line (a multi-drop bus, or drives behind a
// gateway): each request goes to the drive at the station it names, and a
// broadcast to all of them. The line's pacing and faults apply to all.
//
// TCP: MBAP framing; the unit id must be a drive's station, or 0xFF when the
// server has one drive (0 is broadcast). Pacing and the dropped/delayed replies apply too; damaged
// replies only on RTU, as TCP carries no check a client could use.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/DriveOptions.h"

namespace hx {
class FrameTrace;
}

namespace hx::sim {

class VirtualDrive;

class DriveServer {
public:
    using Clock = std::chrono::steady_clock;

    struct Stats {
        uint64_t framesReceived = 0;  // intact frames, any station
        uint64_t framesRejected = 0;  // bad CRC, broken framing
        uint64_t otherStation = 0;    // intact, for a station no drive here has
        uint64_t broadcasts = 0;
        uint64_t repliesSent = 0;
        uint64_t repliesDropped = 0;    // fault injection
        uint64_t repliesCorrupted = 0;  // fault injection
        uint64_t repliesDuplicated = 0;  // fault injection: copies sent
    };

    // Station, pacing and faults come from the options.
    DriveServer(VirtualDrive& drive, const DriveOptions& options);
    // Drives on one line, each answering at its own station; pacing and
    // faults come from the line's options.
    DriveServer(const std::vector<VirtualDrive*>& drives, const DriveOptions& lineOptions);
    ~DriveServer();
    DriveServer(const DriveServer&) = delete;
    DriveServer& operator=(const DriveServer&) = delete;

    // Before Start(): every RTU request received and reply sent also goes to
    // trace, with what the line's faults did to it.
    void SetTrace(std::shared_ptr<FrameTrace> trace) { m_trace = std::move(trace); }

    // Before Start(). Each throws std::runtime_error on failure.
    // Creates the pseudo-terminal (and the symlink linkPath to its slave,
    // replacing an older symlink there) and returns the slave's path.
    std::string OpenPty(const std::string& linkPath = {});
    // Listens on host:port (port 0 picks a free one) and returns the port.
    uint16_t ListenTcp(const std::string& host, uint16_t port);

    void Start();
    void Stop();  // joins the thread; removes the symlink

    std::string DevicePath() const { return m_slavePath; }
    std::string LinkPath() const { return m_linkPath; }
    uint16_t TcpPort() const { return m_tcpPort; }

    // The line's faults, each on its own (the others stay as they are); they
    // may change while serving.
    // A fraction of the requests gets no reply (all of them at 1.0).
    void LoseReplies(double rate);
    // A fraction of the replies has one damaged byte (RTU only: TCP carries
    // no check a client could use).
    void DamageReplies(double rate);
    // Every reply comes this much later than the drive would send it.
    void AnswerLate(std::chrono::milliseconds delay);
    // A repeater or gateway on the line that sends a fraction of the replies
    // (RTU) a second time, the copy 0..maxDelay after the original has gone
    // out, whole, between the drive's own replies.
    void DuplicateReplies(double rate, std::chrono::milliseconds maxDelay);
    // A clean line again: none of the faults above.
    void ClearFaults();
    // The next `count` requests that write `address` get no reply; the drive
    // carries them out first when carryOut is set (the reply was lost), else
    // it never sees them (the request was lost).
    void LoseWritesTo(uint16_t address, int count, bool carryOut);
    // Another device's frame, or noise, on the line `after` the next request
    // arrives: written whole, between the drive's own replies.
    void StrayFrame(std::vector<uint8_t> frame, std::chrono::milliseconds after);
    // Modbus TCP: a fraction of the requests is carried out, but the gateway
    // answers exception 0x0B (the target failed to respond): the reply was
    // lost behind it.
    void GatewayLosesReplies(double rate);
    // Moves the one drive to another station (a server of several drives
    // throws std::logic_error).
    void SetStation(uint8_t station);
    Stats GetStats() const;

private:
    // More clients than a gateway serves wait in the listen queue.
    static constexpr size_t kMaxTcpClients = 8;
    struct TcpClient {
        int fd = -1;
        std::vector<uint8_t> buffer;
    };

    void Run();
    void ReadRtu();
    void ProcessRtuBuffer(bool gapElapsed);
    void HandleRtuFrame(const uint8_t* frame, size_t size);
    void AcceptTcp();
    bool ReadTcp(TcpClient& client);  // false: close it
    void CloseTcp(TcpClient& client);

    // Fault decisions for one reply.
    bool DecideDrop();
    // Whether this reply goes out again, and when.
    void MaybeDuplicate(const std::vector<uint8_t>& frame);
    // Queues a frame to go out whole at `due`, between replies.
    void Schedule(Clock::time_point due, std::vector<uint8_t> frame);
    // Writes the copies that are due by now.
    void SendDueCopies();
    // When the next copy is due (max() when none).
    Clock::time_point NextCopyDue() const;
    void MaybeCorrupt(std::vector<uint8_t>& frame);
    // Waits until the reply may start, then writes it (trickling on RTU).
    // The wire sizes are those of the RTU frames (a TCP reply is paced as
    // the serial side of a gateway would be).
    bool SendPaced(int fd, bool trickle, const std::vector<uint8_t>& frame, Clock::time_point requestSeen,
                   size_t requestWireBytes, size_t replyWireBytes);
    bool WriteAll(int fd, const uint8_t* data, size_t size);
    bool SleepUntil(Clock::time_point deadline);  // false when stopping
    std::chrono::nanoseconds CharTime() const;
    std::chrono::nanoseconds RtuGap() const;

    // The drive at a station, null when none is; every drive for station 0.
    VirtualDrive* DriveAt(uint8_t station) const;
    std::vector<VirtualDrive*> AllDrives() const;

    const DriveOptions m_options;
    std::shared_ptr<FrameTrace> m_trace;

    mutable std::mutex m_mutex;  // faults, stations, stats
    double m_dropRate, m_corruptRate;
    int m_delayMs;
    double m_duplicateRate;
    std::chrono::milliseconds m_duplicateDelay;
    // Copies waiting to go out (server thread only), in order of due time.
    std::vector<std::pair<Clock::time_point, std::vector<uint8_t>>> m_copies;
    uint16_t m_loseAddress = 0;
    int m_loseCount = 0;
    bool m_loseCarryOut = false;
    std::vector<std::pair<std::chrono::milliseconds, std::vector<uint8_t>>> m_strays;
    double m_gatewayLossRate = 0;
    std::map<uint8_t, VirtualDrive*> m_drives;
    std::mt19937 m_rng;
    Stats m_stats;

    int m_master = -1, m_slave = -1;
    std::string m_slavePath, m_linkPath;
    int m_listen = -1;
    uint16_t m_tcpPort = 0;
    std::vector<TcpClient> m_clients;
    int m_wake[2] = {-1, -1};

    // RTU receive state (server thread only).
    std::vector<uint8_t> m_rtuBuffer;
    Clock::time_point m_rtuFirstByte{}, m_rtuLastByte{};
    bool m_rtuDiscarding = false;

    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

// "HOST:PORT", "[v6]:PORT" or ":PORT" (host 127.0.0.1). Throws
// std::invalid_argument.
std::pair<std::string, uint16_t> ParseHostPort(const std::string& text);

}  // namespace hx::sim
