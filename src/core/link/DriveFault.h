#pragma once
// How one request to a drive ended, returned with its value: the link keeps
// no record of it for anyone to ask afterwards, so an answer and the words
// for its failure never part company, whichever thread asked.

#include <optional>
#include <string>
#include <utility>

namespace hx {

enum class DriveFaultKind {
    None,
    NotOpen,          // the port is not open
    NoAnswer,         // no reply within the time-out (after the link's retries), or a gateway's word that none came
    Damaged,          // only replies that failed their checks, or one a copy may have displaced
    Refused,          // the drive answered with a Modbus exception
    PortLost,         // the port itself failed (device gone, connection broken)
    InvalidArgument,  // a request the protocol cannot carry
};

struct DriveFault {
    DriveFaultKind kind = DriveFaultKind::None;
    int exceptionCode = 0;        // the drive's reason when Refused, else 0
    bool mayHaveApplied = false;  // a write that failed short of a refusal may have been carried out
    std::string text;             // the link's words ("no answer within 100 ms", ...)

    bool ok() const { return kind == DriveFaultKind::None; }
    // Whether the drive took part: an answer, even a refusal, shows it listens.
    bool answered() const { return kind == DriveFaultKind::None || kind == DriveFaultKind::Refused; }
};

// "illegal data value" for 3, and so on; "unknown exception" otherwise.
const char* ExceptionCodeName(int code);

// A request's value (when it succeeded) with how it ended. Reads like the
// std::optional it replaces, so `if (!r)`, `*r` and `r.value_or(x)` keep
// working; `fault` says why there is no value.
template <class T>
struct LinkResult {
    std::optional<T> answer;
    DriveFault fault;

    LinkResult() = default;
    LinkResult(T value) : answer(std::move(value)) {}                // NOLINT: a success reads as its value
    LinkResult(DriveFault failure) : fault(std::move(failure)) {}    // NOLINT: a failure reads as its fault

    bool has_value() const { return answer.has_value(); }
    explicit operator bool() const { return answer.has_value(); }
    const T& operator*() const { return *answer; }
    T& operator*() { return *answer; }
    const T* operator->() const { return &*answer; }
    const T& value() const { return answer.value(); }
    T value_or(T otherwise) const { return answer.value_or(std::move(otherwise)); }
    operator std::optional<T>() const { return answer; }  // NOLINT
    friend bool operator==(const LinkResult& r, const T& value) { return r.answer == value; }
    friend bool operator==(const LinkResult& r, std::nullopt_t) { return !r.answer; }
};

// A request that returns nothing but how it ended: true when it succeeded.
template <>
struct LinkResult<void> {
    DriveFault fault;

    LinkResult() = default;
    LinkResult(DriveFault failure) : fault(std::move(failure)) {}  // NOLINT
    bool ok() const { return fault.ok(); }
    explicit operator bool() const { return fault.ok(); }
};

}  // namespace hx
