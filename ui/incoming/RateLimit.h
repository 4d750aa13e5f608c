#pragma once

#include <QtGlobal>

#include <chrono>
#include <functional>
#include <optional>

/// Lets a thing happen at most once per interval, on a clock of its own (a steady one in the program, a fake in
/// tests), so that a partner repeating a request cannot make the program flood the chat with answers.
class RateLimit
{
public:
    using Clock = std::function<std::chrono::milliseconds()>;

    RateLimit(std::chrono::milliseconds interval, Clock clock);

    /// True, and the interval starts again, when the last time it was true lies an interval or more back.
    bool take();

private:
    std::chrono::milliseconds m_interval;
    Clock m_clock;
    std::optional<std::chrono::milliseconds> m_last;
};
