#include "ui/InteractionSeam.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// Tests of windows run with a real QApplication; without a display they use the offscreen platform.
int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // The tests read the message boxes shown, as the test driver does.
    didev::InteractionSeam::instance().setRecordingMessages(true);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
