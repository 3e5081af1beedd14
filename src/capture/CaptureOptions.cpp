#include "capture/CaptureOptions.h"

#include "capture/GstHandles.h"
#include "capture/provider/TestPatternCamera.h"
#include "capture/provider/TestToneMicrophone.h"

#include <QRegularExpression>

#include <stdexcept>

namespace didev {

namespace {

std::invalid_argument badEntry(const QString& text, const QString& why)
{
    return std::invalid_argument(QStringLiteral("virtual device \"%1\": %2").arg(text, why).toStdString());
}

VideoFormat parseFormat(const QString& entry, const QString& text)
{
    static const QRegularExpression shape(QStringLiteral("^(\\d{1,5})x(\\d{1,5})(?:@(\\d{1,3}))?$"));
    const QRegularExpressionMatch match = shape.match(text);
    if (!match.hasMatch())
        throw badEntry(entry, QStringLiteral("size \"%1\" is not WIDTHxHEIGHT[@FPS]").arg(text));
    VideoFormat format;
    format.width = match.captured(1).toInt();
    format.height = match.captured(2).toInt();
    if (match.hasCaptured(3))
        format.framesPerSecond = match.captured(3).toInt();
    if (format.width < 16 || format.height < 16 || format.width > 7680 || format.height > 4320)
        throw badEntry(entry, QStringLiteral("size %1 is outside 16x16 to 7680x4320").arg(text));
    if (format.framesPerSecond < 1 || format.framesPerSecond > 120)
        throw badEntry(entry, QStringLiteral("frame rate %1 is outside 1 to 120").arg(format.framesPerSecond));
    return format;
}

struct KindName {
    const char* word;
    VirtualCameraKind kind;
};

constexpr KindName kKindNames[] = {{"raw", VirtualCameraKind::Raw},
                                   {"mjpeg", VirtualCameraKind::Mjpeg},
                                   {"broken", VirtualCameraKind::Broken},
                                   {"vanishing", VirtualCameraKind::Vanishing}};

VirtualCameraKind parseKind(const QString& entry, const QString& text)
{
    for (const KindName& name : kKindNames) {
        if (text == QLatin1String(name.word))
            return name.kind;
    }
    throw badEntry(entry, QStringLiteral("\"%1\" is not a kind (raw, mjpeg, broken, vanishing)").arg(text));
}

QStringList entriesOf(const QString& text)
{
    QStringList entries;
    for (const QString& entry : text.split(u';')) {
        if (!entry.trimmed().isEmpty())
            entries.append(entry.trimmed());
    }
    return entries;
}

} // namespace

bool isVideoTestPattern(const QString& pattern)
{
    ensureGstreamer();
    GstElementFactory* factory = gst_element_factory_find("videotestsrc");
    if (!factory)
        return false;
    const GstObjectPtr<GstElementFactory> owned(factory);
    const GstObjectPtr<GstElement> source(gst_element_factory_create(factory, nullptr));
    if (!source)
        return false;
    gst_object_ref_sink(source.get());
    GParamSpec* patternProperty = g_object_class_find_property(G_OBJECT_GET_CLASS(source.get()), "pattern");
    if (!patternProperty || !G_IS_PARAM_SPEC_ENUM(patternProperty))
        return false;
    const QByteArray nick = pattern.toUtf8();
    return g_enum_get_value_by_nick(G_PARAM_SPEC_ENUM(patternProperty)->enum_class, nick.constData()) != nullptr;
}

VirtualVideoDevice parseVirtualVideo(const QString& text)
{
    const QStringList parts = text.split(u':');
    if (parts.size() > 4)
        throw badEntry(text, QStringLiteral("more than NAME:PATTERN:SIZE:KIND"));
    VirtualVideoDevice device;
    device.name = parts[0].trimmed();
    if (device.name.isEmpty())
        throw badEntry(text, QStringLiteral("the name is empty"));
    if (parts.size() > 1 && !parts[1].trimmed().isEmpty()) {
        device.pattern = parts[1].trimmed();
        if (!isVideoTestPattern(device.pattern))
            throw badEntry(text, QStringLiteral("\"%1\" is not a test pattern").arg(device.pattern));
    }
    if (parts.size() > 2 && (parts.size() == 3 || !parts[2].trimmed().isEmpty()))
        device.format = parseFormat(text, parts[2].trimmed());
    if (parts.size() > 3)
        device.kind = parseKind(text, parts[3].trimmed());
    return device;
}

std::shared_ptr<const SourceRecipe> VirtualVideoDevice::recipe() const
{
    TestPatternCamera::Settings settings;
    settings.pattern = pattern.toStdString();
    settings.width = format.width;
    settings.height = format.height;
    settings.framesPerSecond = format.framesPerSecond;
    settings.encoding = kind == VirtualCameraKind::Mjpeg ? PictureEncoding::Jpeg : PictureEncoding::RawYuy2;
    if (kind == VirtualCameraKind::Broken)
        settings.fault = SourceFault::FailsToStart;
    else if (kind == VirtualCameraKind::Vanishing)
        settings.fault = SourceFault::FailsMidStream;
    return std::make_shared<TestPatternCamera>(name.toStdString(), settings);
}

std::shared_ptr<const SourceRecipe> VirtualAudioDevice::recipe() const
{
    return std::make_shared<TestToneMicrophone>(name.toStdString());
}

QList<VirtualVideoDevice> parseVirtualVideoList(const QString& text)
{
    QList<VirtualVideoDevice> devices;
    for (const QString& entry : entriesOf(text))
        devices.append(parseVirtualVideo(entry));
    return devices;
}

QList<VirtualAudioDevice> parseVirtualAudioList(const QString& text)
{
    QList<VirtualAudioDevice> devices;
    for (const QString& entry : entriesOf(text))
        devices.append(VirtualAudioDevice{entry});
    return devices;
}

CaptureOptions captureOptionsFrom(const std::optional<QStringList>& videoArguments,
                                  const std::optional<QStringList>& audioArguments,
                                  const QProcessEnvironment& environment)
{
    CaptureOptions options;
    if (videoArguments) {
        for (const QString& value : *videoArguments)
            options.virtualVideo.append(parseVirtualVideoList(value));
    } else {
        options.virtualVideo = parseVirtualVideoList(environment.value(QString::fromLatin1(kVirtualVideoVariable)));
    }
    if (audioArguments) {
        for (const QString& value : *audioArguments)
            options.virtualAudio.append(parseVirtualAudioList(value));
    } else {
        options.virtualAudio = parseVirtualAudioList(environment.value(QString::fromLatin1(kVirtualAudioVariable)));
    }
    return options;
}

} // namespace didev
