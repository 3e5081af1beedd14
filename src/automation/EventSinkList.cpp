#include "automation/EventSinkList.h"

#include <algorithm>

namespace didev {

std::optional<uint32_t> EventSinkList::advise(const QString& service, const QString& path)
{
    if (sinks_.size() >= kMaxSinks)
        return std::nullopt;
    if (nextCookie_ == 0)   // wrapped after four billion sinks: 0 is never a cookie
        nextCookie_ = 1;
    const uint32_t cookie = nextCookie_++;
    sinks_.push_back(EventSinkAddress{cookie, service, path});
    return cookie;
}

bool EventSinkList::unadvise(uint32_t cookie)
{
    const auto found = std::find_if(sinks_.begin(), sinks_.end(), [&](const auto& sink) { return sink.cookie == cookie; });
    if (found == sinks_.end())
        return false;
    sinks_.erase(found);
    return true;
}

void EventSinkList::unadviseService(const QString& service)
{
    sinks_.erase(std::remove_if(sinks_.begin(), sinks_.end(), [&](const auto& sink) { return sink.service == service; }),
        sinks_.end());
}

bool EventSinkList::contains(uint32_t cookie) const
{
    return std::any_of(sinks_.begin(), sinks_.end(), [&](const auto& sink) { return sink.cookie == cookie; });
}

} // namespace didev
