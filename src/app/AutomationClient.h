#pragma once

#include "app/HostCallError.h"
#include "common/HostBoolean.h"
#include "common/HostStringArray.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

#include <cstdint>

namespace didev {

// A host's handle on one automation instance over the bus, with the members of the automation
// class (by-reference arguments updated from the reply). Every call waits with an event loop,
// so the host's own sink objects keep answering while the module calls back into them. A reply
// that is an error, or a reply of the wrong shape, throws HostCallError.
class AutomationClient {
public:
    // Long enough for a call that waits on a person at a modal window.
    static constexpr int kDefaultTimeoutMs = 10 * 60 * 1000;
    // CreateInstance may take this long, whatever the timeout: D-Bus may have to start the server.
    static constexpr int kStartTimeoutMs = 2 * 60 * 1000;
    // The name of the HostCallError of a call that got no answer in time.
    static constexpr char kTimeoutError[] = "org.freedesktop.DBus.Error.Timeout";

    explicit AutomationClient(const QDBusConnection& bus, int timeoutMs = kDefaultTimeoutMs);
    ~AutomationClient();
    AutomationClient(const AutomationClient&) = delete;
    AutomationClient& operator=(const AutomationClient&) = delete;

    // CreateInstance through the service name (starting the server by activation); later calls
    // go to the process that answered, by its unique name. The instance is released with this.
    void create();
    // An instance someone else created; it is not released here.
    void attach(const QString& service, const QString& path);
    // Calls Release now; the destructor no longer does.
    void release();

    const QString& service() const noexcept { return service_; }
    const QString& path() const noexcept { return path_; }
    QDBusConnection& bus() noexcept { return bus_; }

    void ClearSnapshots();
    void ClearSavedSnapshots();
    void CloseForm(int16_t& formID, HostStringArray& passDataArray);
    void GetSettings(HostStringArray& passDataArray);
    void GetSnapshot(int16_t& index, int32_t& hPicture, int16_t& frameID, double& frameTime, QString& frameTimecode);
    int16_t GetSnapshotCount();
    void PictureSavedByLogger(int16_t& index, HostBoolean& setting);
    HostBoolean SaveSnapshot(int16_t& index, QString& fileName, int16_t& format, int16_t& colorDepth,
        int16_t& colorReduction);
    void SetPointers(QString& appMainWindow, QString& apPath, QString& wkPath, QString& tmpPath, int32_t& userRegArea);
    void SetProperty(int16_t& propID, QString& propValue);
    HostBoolean ShowForm(int16_t& formID, HostStringArray& passDataArray);
    int16_t TakeSnapshot();
    HostBoolean AllowInternalCapture();
    void setAllowInternalCapture(HostBoolean value);

    // The picture's bitmap file, read from the sealed memory file the server hands over.
    QByteArray GetPictureData(int32_t hPicture);
    uint32_t Advise(const QString& sinkPath);
    void Unadvise(uint32_t cookie);

    // A call of the automation interface with the given arguments, its reply checked.
    QDBusMessage call(const QString& member, const QVariantList& arguments, const QString& replySignature);

private:
    static HostCallError callError(const QDBusMessage& reply, int timeoutMs);
    QDBusMessage callInterface(const QString& interfaceName, const QString& member, const QVariantList& arguments,
        const QString& replySignature);

    QDBusConnection bus_;
    int timeoutMs_;
    QString service_;
    QString path_;
    bool owned_ = false;
};

// The bitmap file of a received descriptor: its whole content, or an error naming the failing call.
QByteArray readWholeFile(int fd);

} // namespace didev
