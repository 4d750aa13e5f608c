#include "Interest.h"

#include <utility>

namespace service {

namespace {

thread_local Interest t_current;

} // namespace

Interest Interest::current()
{
    return t_current;
}

Interest::Scope::Scope(Interest interest)
    : m_previous(std::exchange(t_current, std::move(interest)))
{ }

Interest::Scope::~Scope()
{
    t_current = std::move(m_previous);
}

} // namespace service
