#pragma once

#include "automation/FrameRoad.h"
#include "common/Picture.h"
#include "support/TestModule.h"
#include "support/WindowFixture.h"
#include "ui/InteractionSeam.h"
#include "ui/PopupMenu.h"
#include "ui/Screen.h"
#include "viewer/SnapshotViewer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMenu>
#include <QString>
#include <QTest>

#include <vector>

namespace didev::testing {

// The message box's answers.
inline constexpr int kOk = 1;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;

// A picture of one colour, so that frames can be told apart by a pixel.
inline PicturePtr solidPicture(int width, int height, QRgb colour)
{
    return Picture::create(width, height, [&](uint8_t* bits, std::ptrdiff_t stride) {
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(bits + stride * y);
            for (int x = 0; x < width; ++x)
                row[x] = colour | 0xFF000000u;
        }
    });
}

// Appends a frame the way a grab leaves it; its ID, timecode and flag tell it apart.
inline void storeFrame(int16_t frameID, int width = 320, int height = 240, bool savedByLogger = false)
{
    SnapshotRecord record;
    record.picture = solidPicture(width, height, qRgb(40 * frameID % 256, 255 - 30 * frameID % 256, 90));
    record.frameID = frameID;
    record.frameTime = 45000.0 + frameID;
    record.frameTimecode = QStringLiteral("tc%1").arg(frameID);
    record.savedByLogger = savedByLogger;
    testModule().state().snapshotStore.append(std::move(record));
    testModule().state().frameCounter = frameID;
}

// The IDs of the stored frames, in store order.
inline std::vector<int16_t> storedFrameIDs()
{
    std::vector<int16_t> ids;
    for (int i = 1; i <= testModule().state().snapshotStore.count(); ++i)
        ids.push_back(testModule().state().snapshotStore.at(i).frameID);
    return ids;
}

// Records the rows of every popup menu shown while it lives.
class MenuSpy : public QObject {
public:
    MenuSpy() { QCoreApplication::instance()->installEventFilter(this); }
    ~MenuSpy() override { QCoreApplication::instance()->removeEventFilter(this); }

    std::vector<QList<PopupMenuRow>> menus;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* menu = qobject_cast<QMenu*>(watched);
        if (menu && event->type() == QEvent::Show)
            menus.push_back(popupMenuRows(*menu));
        return false;
    }
};

// Opens the viewer on frame `frame`, fitted, and waits until it is on the screen.
inline SnapshotViewer& openViewer(int16_t frame)
{
    SnapshotViewer& viewer = testModule().viewer();
    viewer.showFrame(frame, false);
    viewer.show();
    (void)QTest::qWaitForWindowExposed(&viewer);
    return viewer;
}

} // namespace didev::testing
