#pragma once

#include "capture/provider/SourceRecipe.h"

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

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

} // namespace didev
