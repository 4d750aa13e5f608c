#pragma once

#include <functional>
#include <memory>

namespace service {

/// Whether whoever asked for a translation still waits for it: a client that has hung up does not, nor does the
/// router once it has given up on an engine. Work nobody waits for is dropped before an engine does it.
///
/// Handed down without changing every call: the translate() calls made while a Scope lives belong to its
/// interest, and an engine takes Interest::current() when it is asked (and makes it current again for the
/// steps it runs later on the same text).
class Interest
{
public:
    /// Always wanted: work asked for outside any Scope.
    Interest() = default;
    explicit Interest(std::function<bool()> wanted)
        : m_wanted(std::make_shared<const std::function<bool()>>(std::move(wanted)))
    { }

    bool wanted() const { return !m_wanted || (*m_wanted)(); }

    /// The interest of the translate() calls made now.
    static Interest current();

    class Scope;

private:
    std::shared_ptr<const std::function<bool()>> m_wanted;
};

/// Makes an interest current for as long as it lives.
class Interest::Scope
{
public:
    explicit Scope(Interest interest);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    Interest m_previous;
};

} // namespace service
