#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace didev {

// Where a host's sink object lives on the bus, and the cookie it was advised under.
struct EventSinkAddress {
    uint32_t cookie = 0;
    QString service;
    QString path;
};

// The sinks advised on one instance, in the order they were added. Cookies start at 1 and are
// not reused, so a stale cookie can never remove a later sink.
class EventSinkList {
public:
    // An instance takes no more sinks than this: each event waits on each sink in turn.
    static constexpr size_t kMaxSinks = 64;

    // Nothing when the list is full.
    std::optional<uint32_t> advise(const QString& service, const QString& path);
    // False for a cookie that names no sink.
    bool unadvise(uint32_t cookie);
    // Every sink that `service` serves.
    void unadviseService(const QString& service);
    void clear() { sinks_.clear(); }
    bool contains(uint32_t cookie) const;

    // A copy, so the list may change while the events are delivered.
    std::vector<EventSinkAddress> sinks() const { return sinks_; }
    bool empty() const noexcept { return sinks_.empty(); }

private:
    std::vector<EventSinkAddress> sinks_;
    uint32_t nextCookie_ = 1;
};

} // namespace didev
