#pragma once

#include <cstddef>
#include <functional>

namespace didev {

// Rows are shared in bands of about this many bytes: few enough to be handed out cheaply, small
// enough that a core held up elsewhere leaves little for the others to wait for.
inline constexpr std::ptrdiff_t kRowBandBytes = 64 * 1024;

// `convert(first, end)` over the rows 0 to `rows`, in bands of `bandRows` that the calling thread
// and kept helpers (one per other core, started on first use and woken for each call) take in
// turn until none is left. A helper whose core is busy elsewhere takes fewer bands or none, so
// the call waits at most for the bands already under way, never for a thread to start. A call
// made while another thread's call is sharing converts its rows alone. `convert` must not throw.
void inSharedRowBands(int rows, int bandRows, const std::function<void(int first, int end)>& convert);

} // namespace didev
