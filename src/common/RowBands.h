#pragma once

#include <cstddef>
#include <functional>

namespace didev {

// `convert(first, end)` over the rows 0 to `rows`, each `rowBytes` long, in bands of about 64 KB
// that the calling thread and kept helpers (one per other core, started on first use and woken
// for each call) take in turn until none is left. A helper whose core is busy elsewhere takes
// fewer bands or none, so the call waits at most for the bands already under way, never for a
// thread to start. A call made while another thread's call is sharing converts its rows alone.
// `convert` must not throw.
void inSharedRowBands(int rows, std::ptrdiff_t rowBytes, const std::function<void(int first, int end)>& convert);

} // namespace didev
