#pragma once

#include "capture/provider/NetworkCamera.h"
#include "capture/provider/SourceRecipe.h"

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace didev {

struct VideoFormat {
    int width = 640;
    int height = 480;
    int framesPerSecond = 25;

    bool operator==(const VideoFormat&) const = default;
};

// How a test-pattern camera behaves: as a camera sending raw YUY2, one sending JPEG only, one
// that refuses to start, or one that fails mid-stream as an unplugged camera does and goes away.
enum class VirtualCameraKind { Raw, Mjpeg, Broken, Vanishing };

// A test-pattern camera: a named pattern with a running clock burnt in.
struct VirtualVideoDevice {
    QString name;
    QString pattern = QStringLiteral("smpte");
    VideoFormat format;
    VirtualCameraKind kind = VirtualCameraKind::Raw;

    // What the module's device provider offers for it.
    std::shared_ptr<const SourceRecipe> recipe() const;

    bool operator==(const VirtualVideoDevice&) const = default;
};

// A test-tone microphone.
struct VirtualAudioDevice {
    QString name;

    std::shared_ptr<const SourceRecipe> recipe() const;

    bool operator==(const VirtualAudioDevice&) const = default;
};

// Which devices the capture control lists: those of every device provider the process's device
// monitor runs, or only the module's own (systemDevices false); and the virtual devices the
// control plugs into the module's own provider for its lifetime.
struct CaptureOptions {
    bool systemDevices = true;
    QList<VirtualVideoDevice> virtualVideo;
    QList<VirtualAudioDevice> virtualAudio;
};

inline constexpr const char* kVirtualVideoVariable = "DIDEV_VIRTUAL_VIDEO";
inline constexpr const char* kVirtualAudioVariable = "DIDEV_VIRTUAL_AUDIO";

// True when `pattern` names a pattern of the test-pattern source ("smpte", "ball", ...).
bool isVideoTestPattern(const QString& pattern);

// "NAME[:PATTERN[:WIDTHxHEIGHT[@FPS][:KIND]]]", KIND one of raw (the default), mjpeg, broken,
// vanishing; an empty PATTERN or size keeps its default. Throws std::invalid_argument naming the bad part.
VirtualVideoDevice parseVirtualVideo(const QString& text);
// ';'-separated entries; empty entries are skipped, so "" means none.
QList<VirtualVideoDevice> parseVirtualVideoList(const QString& text);
QList<VirtualAudioDevice> parseVirtualAudioList(const QString& text);

// Virtual devices from the environment; a kind given on the command line (each value may hold
// ';'-separated entries) replaces the environment's list of that kind.
CaptureOptions captureOptionsFrom(const std::optional<QStringList>& videoArguments,
                                  const std::optional<QStringList>& audioArguments,
                                  const QProcessEnvironment& environment);

// The network sources the user configured, and what was wrong with the rest.
struct NetworkSourceSettings {
    std::vector<NetworkStream> streams;
    QStringList problems;   // one line for each entry skipped, saying where it is and why
};

inline constexpr const char* kNetworkVideoVariable = "DIDEV_NETWORK_VIDEO";

// Adds the NAME=URI entries of `text`, split at `separator` ('\n' for a file, ';' for a value),
// to `settings`. Blank entries and those starting with '#' are passed over; an entry that is not
// NAME=URI, names an unsupported URI or a name already taken is skipped and added to the problems
// as "WHERE line N: why" (or "entry N" for a value).
void addNetworkSources(const QString& text, QChar separator, const QString& where, NetworkSourceSettings& settings);

// $XDG_CONFIG_HOME/didev-evivod/network-sources (default ~/.config/...).
QString networkSourcesFile(const QProcessEnvironment& environment);

// The file's sources, then those of the command line (each value may hold ';'-separated
// entries) or, when it gives none, of the environment.
NetworkSourceSettings networkSourcesFrom(const std::optional<QStringList>& arguments,
                                         const QProcessEnvironment& environment);

} // namespace didev
