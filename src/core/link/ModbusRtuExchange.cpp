// The RTU transport's requests: framed, sent and answered here, because a
// reply on a serial line carries no request number. The link therefore
// reads every frame that arrives, and takes a frame as the answer to a
// request only when nothing else can have sent it:
//
// - A late reply (one that came after its request's time-out) is waited out
//   before any other request goes to the same station (the late horizon).
//   The same read sent again need not wait: its late answer carries the
//   answer to the very same question, only a moment older, so it is as good
//   as the answer to the repeat. What may still come after it is waited out
//   before the next different request.
// - A reply from another station, or one that does not fit the request (its
//   function, length or echoed address), is dropped and the wait goes on: it
//   answers someone else, so a search or a sweep need not wait for it.
// - A repeater or gateway may deliver a reply twice, the copy up to
//   kCopyWindow later. A copy passes every check of the next request of the
//   same shape. A frame that is byte for byte one seen within that window
//   may therefore be a copy: unless it answered this very request, the link
//   listens on for the true reply, as long as the drive usually takes to
//   answer (and, once the line has shown copies, as long as the time-out
//   allows), and takes the fresh frame when one comes. The drive's answer
//   may of course be the same words as the frame before (a block of zeros);
//   then nothing else comes and the frame is taken, on a clean line that
//   keeps time after the silent interval the next request owes anyway.
// - Should the true reply come later still, it shows up as a fresh frame
//   fitting that earlier request: the station's next request then fails
//   (LinkError::Repeated) instead of handing the work further values.
// - On a line that keeps time (every answer so far came no sooner than its
//   time on the line allows), a frame that ends before the request's end plus
//   its own time on the line cannot be the drive's reply to it. A copy that
//   comes so soon is dropped like a stray: a lost reply then ends as a
//   time-out even where a copy of the reply before came in its place. A
//   fresh one is the late reply of an earlier try of this very request (as
//   good as the answer), the true reply to an answer that may have been a
//   copy (found out), or, where neither can be, a sign that the line does
//   not keep time after all.
// - Once a request has gone out, every way it can end without an answer (a
//   time-out, a damaged frame, a copy found out) leaves a guard: the drive's
//   reply may still come, so the next different request to the station
//   waits it out (a time-out's for the late horizon; a damaged frame's or a
//   found-out copy's, and that of a retry answered after it, for as long as
//   a drive that answers within its time-out can still reply). A damaged
//   frame may be noise or a damaged copy while the true reply is still on
//   its way; a retry taken on it would otherwise let that reply, or the
//   retry's own, answer the next block.

#include "core/link/ModbusRtuTransport.h"

#include <modbus/modbus.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "core/link/FrameTrace.h"
#include "core/link/ModbusFrame.h"

namespace hx {
namespace {

constexpr uint8_t kReadHolding = 0x03;
constexpr uint8_t kWriteSingle = 0x06;
constexpr uint8_t kWriteMultiple = 0x10;
constexpr uint8_t kBroadcast = 0;
constexpr uint16_t kMaxRead = 125;
constexpr uint16_t kMaxWrite = 123;
// What a reply may come later than the slowest of the drive's recent ones
// and still be waited for when a frame could be a copy.
constexpr auto kAnswerMargin = std::chrono::milliseconds(2);
// How much sooner or later than the frame's end the thread reading the line
// may see it, and how late a sleep may end: a wake-up's delay.
constexpr auto kSeenJitter = std::chrono::microseconds(100);

// Whether the replies to two requests to one station look alike: the same
// function, and the same count of registers read or the same echo.
bool SameShape(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a[1] != b[1]) return false;
    if (a[1] == kReadHolding) return a[4] == b[4] && a[5] == b[5];
    return std::equal(a.begin() + 2, a.begin() + 6, b.begin() + 2);
}

bool CrcOk(const std::vector<uint8_t>& frame) { return frame.size() >= 4 && ModbusCrc16(frame.data(), frame.size()) == 0; }

}  // namespace

bool ModbusRtuTransport::ReadRegisters(uint8_t station, uint16_t address, uint16_t count, uint16_t* dest) {
    if (count == 0 || count > kMaxRead || address + count > 0x10000) {
        SetError(LinkError::InvalidArgument, "register count or range out of bounds");
        return false;
    }
    if (!Context()) {
        SetError(LinkError::NotOpen, "not open");
        return false;
    }
    if (station == kBroadcast) {
        // Nobody answers a broadcast; do not even put it on the line.
        SetError(LinkError::Timeout, "the broadcast station never answers");
        return false;
    }
    Bytes request{station, kReadHolding};
    AppendWord(request, address);
    AppendWord(request, count);
    AppendCrc(request);
    Bytes reply;
    if (!Transact(request, &reply)) return false;
    for (uint16_t i = 0; i < count; ++i) dest[i] = WordAt(&reply[3 + 2 * i]);
    return true;
}

bool ModbusRtuTransport::WriteRegister(uint8_t station, uint16_t address, uint16_t value) {
    Bytes request{station, kWriteSingle};
    AppendWord(request, address);
    AppendWord(request, value);
    AppendCrc(request);
    Bytes reply;
    return Transact(request, &reply);
}

bool ModbusRtuTransport::WriteRegisters(uint8_t station, uint16_t address, uint16_t count, const uint16_t* values) {
    if (count == 0 || count > kMaxWrite || address + count > 0x10000) {
        SetError(LinkError::InvalidArgument, "register count or range out of bounds");
        return false;
    }
    Bytes request{station, kWriteMultiple};
    AppendWord(request, address);
    AppendWord(request, count);
    request.push_back(static_cast<uint8_t>(2 * count));
    for (uint16_t i = 0; i < count; ++i) AppendWord(request, values[i]);
    AppendCrc(request);
    Bytes reply;
    return Transact(request, &reply);
}

bool ModbusRtuTransport::Settle(uint8_t station) {
    const Unsettled u = m_unsettled[station];
    ClearError();
    // The last answer may have been a copy while the drive's reply to that
    // request is still on its way: listen until it can no longer come. If it
    // comes and says something else, the answer taken was the copy.
    //
    // How long: on a line that has never shown a copy and keeps time, the
    // true reply would follow the last answer taken (the copy's own time on
    // the line, then the drive's usual pace), so listening ends there; the
    // whole time-out (a tenth of a clean dump at 38400 baud) is listened
    // out only once the line has shown that it repeats, or where its timing
    // proves nothing.
    auto until = u.until;
    if (!m_copiesSeen && LineKeepsTime(station)) until = std::min(until, m_settleBy[station]);
    if (!u.active || u.sameQuestion || !Context() || Clock::now() >= until) {
        m_unsettled[station] = Unsettled{};
        return true;
    }
    if (!Drain(modbus_get_socket(Context()), until)) {
        SetError(LinkError::IoError, "the port failed");
        OnConnectionLost(Context());
        return false;
    }
    m_unsettled[station] = Unsettled{};
    if (m_repeated[station]) {
        m_repeated[station] = false;
        SetError(LinkError::Repeated,
                 "the line delivered a reply twice: an answer read just before was the copy of another");
        return false;
    }
    return true;
}

bool ModbusRtuTransport::Transact(const Bytes& request, Bytes* reply) {
    modbus_t* ctx = Context();
    if (!ctx) {
        SetError(LinkError::NotOpen, "not open");
        return false;
    }
    if (Lost()) {
        SetError(LinkError::IoError, "port lost");
        return false;
    }
    const int fd = modbus_get_socket(ctx);
    const uint8_t station = request[0];
    const auto deviceFailed = [&] {
        SetError(LinkError::IoError, std::string("the port failed: ") + std::strerror(errno ? errno : EIO));
        OnConnectionLost(ctx);
        return false;
    };
    if (!PrepareLine(fd, station, request)) return deviceFailed();
    if (station != kBroadcast && m_repeated[station]) {
        m_repeated[station] = false;
        SetError(LinkError::Repeated,
                 "the line delivered a reply twice: an answer read just before may have been the copy of another");
        return false;
    }
    // Taken before the write: a thread put aside right after it must not
    // make the request seem to have gone later than it did (a reply could
    // then seem to have come sooner than the line allows).
    const auto sent = Clock::now();
    if (!SendFrame(fd, request)) return deviceFailed();
    if (request[1] != kReadHolding) ForgetAnswers(station);
    if (station == kBroadcast) {
        // Nobody answers; the frame is still going out for its own length.
        m_lineQuietSince = sent + WireTime(request.size());
        ClearError();
        return true;
    }
    const bool ok = ReceiveAnswer(fd, request, sent, reply);
    const auto now = Clock::now();
    // Answered: the line has been silent since the answer's last byte (the
    // link listened all the while), so a wait for a possible true reply
    // behind a copy also counts towards the next request's silent interval.
    const bool answered = LastError() == LinkError::None || LastError() == LinkError::Exception;
    m_lineQuietSince = std::max(m_lineQuietSince, answered ? m_answerEnd : now);
    Pending& p = m_pending[station];
    // After a failed try the same request may go again at once; the replies
    // of the tries are waited out before any other request to the station.
    const auto within = (p.active ? std::max(p.until, now) : now);
    switch (LastError()) {
    case LinkError::Timeout:
        // Its reply may still come, for as long as the horizon; a drive that
        // is slow to answer may have queued the tries before and answer each
        // in turn, so every unanswered try adds a horizon.
        p = Pending{true, within + LateHorizon(), request, true};
        break;
    case LinkError::BadFrame:
    case LinkError::Repeated:
        // A damaged frame need not have been the reply (noise, a damaged
        // copy), nor was the frame a copy was found out by: the drive's reply
        // to this try may still come within its time-out.
        p = Pending{true, std::max(within, sent + WireTime(request.size()) + ResponseTimeout() + WireTime(256)),
                    request, p.active && p.timedOut};
        break;
    case LinkError::IoError:
        OnConnectionLost(ctx);
        break;
    default:
        // Answered. After a repeat of a request that had gone unanswered,
        // the answer may have been the first one's late reply: the repeat's
        // own may still come, and with it the need to wait before another
        // request. Only the same request goes on without a wait. Where no
        // try timed out, the drive answers within its time-out: the repeat's
        // reply is as late after it as the first try's after that try, at
        // most a time-out and a reply later than this answer.
        if (p.active)
            p.until = std::max(p.until, p.timedOut ? sent + ResponseTimeout() + LateHorizon()
                                                   : now + ResponseTimeout() + WireTime(256) +
                                                         m_settings.SilentInterval() + kAnswerMargin);
        break;
    }
    return ok;
}

bool ModbusRtuTransport::PrepareLine(int fd, uint8_t station, const Bytes& request) {
    // The silent interval is a third of a millisecond at 115200 baud; the
    // kernel's default slack of 50 us on each sleep and poll of the thread
    // that talks on the line would add a sixth to it, on every request.
    [[maybe_unused]] thread_local const bool precise = ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
    const Pending& p = m_pending[station];
    if (station != kBroadcast && p.active && p.request != request && !Drain(fd, p.until)) return false;
    // What came in since the last exchange: late replies and copies, each
    // noted; a frame still arriving is let end first.
    if (!Drain(fd, Clock::now())) return false;
    // The drive (and any other station on the bus) tells frames apart by the
    // silence between them.
    const auto earliest = m_lineQuietSince + m_settings.SilentInterval();
    // A sleep ends up to a wake-up late, a fifth of the interval at 115200
    // baud on every request: its last stretch is waited awake.
    if (Clock::now() + kSeenJitter < earliest) std::this_thread::sleep_until(earliest - kSeenJitter);
    while (Clock::now() < earliest) continue;
    // Tell the next program on this port how long a reply to this request
    // may still come, should this one end before it has waited that out.
    if (m_recordUsable)
        WriteRecord(Clock::now() + WireTime(request.size()) + ResponseTimeout() + LateHorizon());
    return true;
}

bool ModbusRtuTransport::SendFrame(int fd, const Bytes& request) {
    if (FrameTrace* trace = Trace()) trace->Sent(request.data(), request.size());
    size_t done = 0;
    while (done < request.size()) {
        const ssize_t n = ::write(fd, request.data() + done, request.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
            continue;
        }
        return false;
    }
    return true;
}

bool ModbusRtuTransport::Answers(const Bytes& frame, const Bytes& request) {
    if (frame.size() < 5 || frame[0] != request[0]) return false;
    const uint8_t function = request[1];
    if (frame[1] == (function | 0x80)) return frame.size() == 5;
    if (frame[1] != function) return false;
    if (function == kReadHolding) {
        const size_t count = WordAt(&request[4]);
        return frame[2] == 2 * count && frame.size() == 5 + 2 * count;
    }
    // Writes echo the address and the value or count.
    return frame.size() == 8 && std::equal(frame.begin() + 2, frame.begin() + 6, request.begin() + 2);
}

ModbusRtuTransport::Clock::duration ModbusRtuTransport::UsualAnswerTime(uint8_t station, size_t replyBytes) const {
    const AnswerTimes& t = m_answerTimes[station];
    if (t.count == 0) return ResponseTimeout() + WireTime(replyBytes);
    // The slowest of the recent ones. A reply later still, with a copy
    // before it, is caught all the same: the reply then shows up as a second
    // fresh frame (LinkError::Repeated), and a whole-table read asks its last
    // question again before it counts (Settle).
    Clock::duration late = t.late[0];
    for (size_t i = 1; i < std::min(t.count, t.late.size()); ++i) late = std::max(late, t.late[i]);
    return std::max<Clock::duration>(Clock::duration::zero(), late + WireTime(replyBytes)) + kAnswerMargin;
}

bool ModbusRtuTransport::OnTime(uint8_t station, Clock::time_point sendEnd, const Seen& answer) const {
    if (!LineKeepsTime(station)) return false;
    const AnswerTimes& t = m_answerTimes[station];
    Clock::duration fastest = t.late[0];
    for (size_t i = 1; i < std::min(t.count, t.late.size()); ++i) fastest = std::min(fastest, t.late[i]);
    // Both times are when the reading thread saw a frame end, each up to
    // some tens of microseconds after it did: a frame that ends within that
    // of the fastest is as much on time (and one closer than that to the
    // drive's own reply would have collided with it on a real line).
    return answer.at >= sendEnd + WireTime(answer.frame.size()) + fastest - kSeenJitter;
}

bool ModbusRtuTransport::ReceiveAnswer(int fd, const Bytes& request, Clock::time_point sent, Bytes* reply) {
    const uint8_t station = request[0];
    const auto sendEnd = sent + WireTime(request.size());
    const auto firstByteBy = sendEnd + ResponseTimeout();
    const auto gap = m_settings.ByteTimeout();
    const Unsettled unsettled = m_unsettled[station];
    // An earlier answer of the same shape may have been a copy whose true
    // reply is still to come: the first fitting frame may be that reply.
    const bool maybeDisplaced = unsettled.active && unsettled.request != request && sent < unsettled.until &&
                                SameShape(unsettled.request, request);
    // An earlier try of this very request is still unanswered: its late
    // reply answers the same question, and may come at any moment.
    const bool earlierTry = m_pending[station].active && m_pending[station].request == request;
    // Whether a frame ended sooner after the request than its own time on
    // the line allows, on a line that keeps time: then it cannot be the
    // drive's reply to this request.
    // The bound is taken at ten bits a character, the fewest an RTU
    // character has: a drive set to one stop bit less than the link still
    // answers, only that much sooner.
    const auto tooSoon = [&](const Bytes& frame, Clock::time_point at) {
        const auto fewest = (WireTime(request.size() + frame.size()) * 10) / m_settings.BitsPerChar();
        return LineKeepsTime(station) && at + kSeenJitter < sent + fewest;
    };

    // The frames that fit the request, in order of arrival, and whether each
    // is fresh (no copy of a frame seen before it).
    std::vector<Seen> answers;
    std::vector<bool> fresh;
    bool waitedToTheEnd = false;
    bool sameQuestion = false;
    Clock::time_point decideBy{};
    Clock::time_point lastByte = sent;
    uint8_t buffer[512];

    const auto take = [&](size_t index, bool mayBeCopy) {
        const Seen& chosen = answers[index];
        m_answerEnd = answers.back().at;
        for (size_t i = 0; i < answers.size(); ++i) {
            Remember(answers[i].frame, answers[i].at, i == index ? request : Bytes{});
            if (i != index) ++m_lateReplies;
            if (FrameTrace* trace = Trace())
                trace->Received(answers[i].frame.data(), answers[i].frame.size(),
                                i == index ? (mayBeCopy ? "the answer (the same words as a frame before)" : "")
                                           : "a copy or an earlier reply, dropped",
                                std::chrono::duration_cast<std::chrono::microseconds>(answers[i].at - sent));
        }
        // Had this answer been a copy, the true reply, at the drive's usual
        // pace (its margin included), or after the copy had left the line and
        // the silent interval with a margin, would be here by then. (Even
        // behind an answer that came on time the whole reply is waited for: a
        // pseudo-terminal or an adapter may hand its first bytes on
        // milliseconds late, and nothing comes after the Settle to catch it.)
        m_settleBy[station] = std::max(
            chosen.at + m_settings.SilentInterval() + WireTime(chosen.frame.size()) + kAnswerMargin,
            sendEnd + UsualAnswerTime(station, chosen.frame.size()));
        // Only an answer that could be nothing else tells how quickly the
        // drive answers (after an unanswered try, it may be that try's).
        if (!mayBeCopy && answers.size() == 1 && !earlierTry)
            NoteAnswerTime(station, chosen.at - sendEnd, chosen.frame.size());
        if (mayBeCopy && answers.size() == 1 && !waitedToTheEnd) {
            m_unsettled[station] =
                Unsettled{true, firstByteBy + WireTime(chosen.frame.size()), request, chosen.frame, sameQuestion};
        } else if (!maybeDisplaced || answers.size() > 1) {
            m_unsettled[station] = Unsettled{};
        }
        if (chosen.frame[1] & 0x80) {
            const int code = chosen.frame[2];
            SetError(LinkError::Exception, modbus_strerror(MODBUS_ENOBASE + code), code);
            return false;
        }
        *reply = chosen.frame;
        ClearError();
        return true;
    };
    // Frames that fit the request but answer none of it: dropped, and shown
    // in the trace like any other frame.
    const auto dropAll = [&](const char* why) {
        for (const Seen& a : answers) {
            Remember(a.frame, a.at, {});
            if (FrameTrace* trace = Trace())
                trace->Received(a.frame.data(), a.frame.size(), why,
                                std::chrono::duration_cast<std::chrono::microseconds>(a.at - sent));
        }
        m_lateReplies += answers.size();
    };
    const auto decide = [&] {
        size_t freshCount = 0, pick = 0;
        bool anyCopy = false;
        for (size_t i = 0; i < answers.size(); ++i) {
            if (fresh[i]) {
                ++freshCount;
                pick = i;
            } else {
                anyCopy = true;
            }
        }
        // More frames fitting one request than it gets, one a copy: the line repeats.
        if (anyCopy && answers.size() > 1) m_copiesSeen = true;
        if (maybeDisplaced && !unsettled.sameQuestion) {
            // Two frames saying other than the answer before: one may be the
            // true reply to that request (fresh or in words said before), and
            // that answer a copy.
            const auto differ = std::count_if(answers.begin(), answers.end(),
                                              [&](const Seen& a) { return a.frame != unsettled.taken; });
            if (differ >= 2) {
                m_copiesSeen = true;
                dropAll("shows the answer before was a copy, dropped");
                m_unsettled[station] = Unsettled{};
                SetError(LinkError::Repeated, "the line delivered a reply twice: an answer read just before may "
                                              "have been the copy of another");
                return false;
            }
        }
        if (freshCount == 0 && answers.size() > 1) {
            // Every frame is the same words as one seen before: copies, and
            // the true answer among them if its words were said before too.
            // (On a line that keeps time, a frame complete before the drive
            // could have sent the answer never got here.) If they say
            // different things, nothing tells which is true: the read fails
            // and is asked again.
            bool oneStory = true;
            for (const Seen& a : answers) oneStory = oneStory && a.frame == answers[0].frame;
            if (!oneStory) {
                dropAll("one of several replies that fit the request and say different things, dropped");
                m_copiesSeen = true;
                SetError(LinkError::BadFrame, "several replies fit the request and say different things");
                return false;
            }
            pick = 0;
        }
        return take(pick, freshCount == 0);
    };

    for (;;) {
        while (!m_backlog.empty()) {
            const int length = RtuReplyLength(m_backlog.data(), m_backlog.size());
            if (length < 0) break;  // no reply starts so: wait for the line to fall silent
            if (length == 0 || m_backlog.size() < static_cast<size_t>(length)) break;
            const Bytes frame(m_backlog.begin(), m_backlog.begin() + length);
            m_backlog.erase(m_backlog.begin(), m_backlog.begin() + length);
            if (!CrcOk(frame)) {
                // A damaged frame: the answer, or whatever else, is not to be trusted.
                if (FrameTrace* trace = Trace()) trace->Received(frame.data(), frame.size(), "damaged (checksum)");
                ++m_lateReplies;
                m_backlog.clear();
                SetError(LinkError::BadFrame, "damaged reply (invalid CRC)");
                return false;
            }
            const bool fits = Answers(frame, request);
            const Seen* copy = fits ? EarlierCopy(frame, lastByte) : nullptr;
            const bool early = fits && tooSoon(frame, lastByte);
            // Too soon for the drive's reply: a copy, or the true reply to an
            // answer that may have been a copy. Only the fresh late reply of
            // an earlier try of this very request stands for the answer.
            const bool stray = !fits || (early && (copy || !earlierTry));
            if (stray && early && !copy && !maybeDisplaced) {
                // Fresh, where no other reply can still come (those are waited
                // out first): the line does not keep time after all (a
                // pseudo-terminal whose far end answers at once, judged on a
                // few small frames a busy machine handed on late). Noted, so
                // that time proves nothing here from now on; the frame is
                // judged as any.
                NoteAnswerTime(station, lastByte - sendEnd, frame.size());
            } else if (stray) {
                if (!NoteStray(frame, lastByte) && frame[0] == station) {
                    m_repeated[station] = false;
                    SetError(LinkError::Repeated, "the line delivered a reply twice: an answer read just before may "
                                                  "have been the copy of another");
                    return false;
                }
                continue;
            }
            bool isFresh = copy == nullptr;
            for (const Seen& a : answers) isFresh = isFresh && a.frame != frame;
            answers.push_back(Seen{frame, lastByte, {}});
            fresh.push_back(isFresh);
            if (answers.size() > 1) continue;
            // The same question answered before: its copy says what the answer says.
            sameQuestion = copy && copy->answered == request;
            if (!maybeDisplaced && (isFresh || sameQuestion)) return take(0, !isFresh);
            // It may be a copy (or the reply before this one, late): listen
            // on for the true reply.
            const auto latest = firstByteBy + WireTime(frame.size());
            decideBy = m_copiesSeen ? latest : std::min(latest, sendEnd + UsualAnswerTime(station, frame.size()));
            waitedToTheEnd = decideBy == latest;
            // A copy follows its original at any moment, the drive's reply
            // comes at the drive's pace. On a line that keeps time and has
            // shown no copy, a frame that came no sooner than the drive's
            // fastest answer would have ended leaves the drive's reply no
            // room on the line: were this frame a copy, the reply was held
            // behind it and follows it after the silent interval. That
            // interval is listened out (it is owed before the next request
            // anyway; bytes begun within it are read to the end before
            // anything is decided); a reply that comes later, or that a
            // pseudo-terminal or an adapter hands on late, finds the answer
            // unsettled: the next request to the station, or the Settle
            // that ends a whole-table read, fails (LinkError::Repeated).
            // An earlier frame is waited on as above.
            if (!m_copiesSeen && OnTime(station, sendEnd, answers[0]))
                decideBy = std::min(decideBy, lastByte + m_settings.SilentInterval());
            // Even a frame on time is not taken at once, and an earlier one
            // keeps the whole wait where, on a line that keeps time, no frame
            // could seem to follow within it: on a pseudo-terminal frames may
            // come closer than their time on the line, and taking such a
            // frame at once let a displaced block shift every block after it
            // (the whole-table test at 5 % copies).
        }
        const auto now = Clock::now();
        if (!m_backlog.empty() && now - lastByte >= gap) {
            // A frame cut short or garbled: it answers nothing.
            if (FrameTrace* trace = Trace()) trace->Received(m_backlog.data(), m_backlog.size(), "incomplete, dropped");
            ++m_lateReplies;
            m_backlog.clear();
            SetError(LinkError::BadFrame, "damaged reply (incomplete frame)");
            return false;
        }
        if (m_backlog.empty()) {
            if (!answers.empty() && now >= decideBy) return decide();
            if (answers.empty() && now >= firstByteBy) {
                if (FrameTrace* trace = Trace())
                    trace->Note("no reply within " + std::to_string(ResponseTimeout().count()) + " ms");
                SetError(LinkError::Timeout, "no answer (time-out)");
                return false;
            }
        }
        const auto deadline = !m_backlog.empty() ? lastByte + gap : answers.empty() ? firstByteBy : decideBy;
        const auto wait = std::chrono::duration_cast<std::chrono::microseconds>(std::max(deadline - now, Clock::duration::zero()));
        pollfd p{fd, POLLIN, 0};
        const timespec ts{static_cast<time_t>(wait.count() / 1000000), static_cast<long>(wait.count() % 1000000) * 1000};
        const int n = ::ppoll(&p, 1, &ts, nullptr);
        if (n < 0 && errno != EINTR) {
            SetError(LinkError::IoError, std::strerror(errno));
            return false;
        }
        if (n <= 0) continue;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            SetError(LinkError::IoError, "the port failed");
            return false;
        }
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got > 0) {
                m_backlog.insert(m_backlog.end(), buffer, buffer + got);
                lastByte = Clock::now();
                continue;
            }
            if (got < 0 && errno != EAGAIN && errno != EINTR) {
                SetError(LinkError::IoError, std::strerror(errno));
                return false;
            }
            break;
        }
    }
}

}  // namespace hx
