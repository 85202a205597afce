// Failures inside operations, and the one mechanism through which every operation states
// how it reports them: raised (the default), trapped in stages, partly ignored, or a sentinel.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

#include "core/value.h"

namespace kx {

// A failed step: the status the platform (or the run time) gave, with its description.
class Failure : public std::exception
{
public:
    Failure(int32_t status, String description) : status_(status), description_(std::move(description)) {}

    int32_t status() const { return status_; }
    const String& description() const { return description_; }
    const char* what() const noexcept override { return "Kestrix failure"; }

private:
    int32_t status_;
    String description_;
};

// The automation run-time errors that operations raise for their own steps.
namespace runtime {
constexpr int32_t kOverflow = static_cast<int32_t>(0x800A0006);
constexpr int32_t kSubscriptOutOfRange = static_cast<int32_t>(0x800A0009);
constexpr int32_t kTypeMismatch = static_cast<int32_t>(0x800A000D);
constexpr int32_t kObjectNotSet = static_cast<int32_t>(0x800A005B);

inline Failure overflow() { return Failure(kOverflow, L"Overflow"); }
inline Failure subscript_out_of_range() { return Failure(kSubscriptOutOfRange, L"Subscript out of range"); }
inline Failure type_mismatch() { return Failure(kTypeMismatch, L"Type mismatch"); }
inline Failure object_not_set() { return Failure(kObjectNotSet, L"Object variable or With block variable not set"); }
}  // namespace runtime

// Runs an operation's body in stages. While no stage is armed a failure is raised to the
// caller; once a stage is armed, a failure ends the body with that stage's result instead.
// Arming a later stage replaces the earlier one; nothing done before a failure is undone.
// A stage may name what its trap does before it answers (closing a stream); that is not
// itself trapped: its failure is raised.
//
//   Stages<int32_t> stages;
//   return stages.run([&] {
//       stages.arm(2);
//       ...
//       stages.arm(3, [&] { stream->close(); });
//       ...
//       return 0;
//   });
template <class Result>
class Stages
{
public:
    template <class Body>
    Result run(Body&& body)
    {
        try {
            return body();
        } catch (const Failure&) {
            if (!armed_)
                throw;
            if (const auto trap = std::exchange(trap_, nullptr))
                trap();
            return *armed_;
        }
    }

    void arm(Result on_failure, std::function<void()> trap = nullptr)
    {
        armed_ = std::move(on_failure);
        trap_ = std::move(trap);
    }
    bool armed() const { return armed_.has_value(); }

private:
    std::optional<Result> armed_;
    std::function<void()> trap_;
};

// A step whose failure is ignored: the operation goes on with its next step, and may look
// at what failed.
template <class Step>
std::optional<Failure> ignoring_failure(Step&& step)
{
    try {
        step();
    } catch (const Failure& failure) {
        return failure;
    }
    return std::nullopt;
}

// A 16-bit signed counter as the operations count: going past 32767 is an overflow.
class Counter16
{
public:
    explicit Counter16(int16_t start) : value_(start) {}
    int16_t value() const { return value_; }
    Counter16& operator++()
    {
        if (value_ == INT16_MAX)
            throw runtime::overflow();
        ++value_;
        return *this;
    }

private:
    int16_t value_;
};

}  // namespace kx
