#pragma once

#include "capture/provider/NetworkCamera.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

namespace didev {

// The network sources of the process, offered by the module's own device provider while their
// streams come. Each source has a thread of its own that tries to reach it (every attempt ends
// within the source's connection time), offers it as a device with the caps its stream has once
// a picture came, and tries again, after the source's retry time, once the device has gone
// because its stream stopped. Device monitors hear device-added and device-removed as for any
// camera plugged in or pulled out.
class NetworkCameras {
public:
    explicit NetworkCameras(std::vector<NetworkStream> streams);
    // Stops trying and takes the devices off.
    ~NetworkCameras();
    NetworkCameras(const NetworkCameras&) = delete;
    NetworkCameras& operator=(const NetworkCameras&) = delete;

    // Waits until every source has been tried once, at most `limit`; true when all were.
    bool waitForFirstAttempts(std::chrono::milliseconds limit);

    // What an attempt found: the caps of the stream's first picture as a device offers them
    // (a new reference), or nothing, with the reason in `reason`. Blocks up to the stream's
    // connection time, or until `cancelled` turns true.
    static GstCaps* probe(const NetworkStream& stream, const std::atomic<bool>& cancelled, std::string* reason);

private:
    class Source;
    std::vector<std::unique_ptr<Source>> sources_;
};

} // namespace didev
