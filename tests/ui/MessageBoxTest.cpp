#include "common/Twips.h"
#include "ui/InteractionSeam.h"
#include "ui/MessageBox.h"
#include "ui/MessageImage.h"
#include "ui/MessageRequest.h"
#include "ui/Screen.h"
#include "ui/SyntheticInput.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>

using namespace didev;

namespace {

// The box of any style, the result as its code.
int16_t ask(const QString& prompt, int style, const QString& title)
{
    return static_cast<int16_t>(askUser(prompt, static_cast<MessageStyle>(style), title));
}

// Acts as the person at the screen once the box is up (nothing is queued for it then).
void whenBoxShown(std::function<void(MessageBox&)> act)
{
    whenReady(*qApp, [] { return MessageBox::current() && MessageBox::current()->isVisible(); },
        [act = std::move(act)] { act(*MessageBox::current()); },
        [] { ADD_FAILURE() << "the message box never showed"; });
}

void typeKey(MessageBox& box, QChar c)
{
    QWidget* target = box.focusWidget() ? box.focusWidget() : &box;
    pressKey(*target, c.toUpper().unicode(), QString(c));
}

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setFixedScreenMetrics(ScreenMetrics{19200, 14400, 15, 15});
        seam.clearAnswers();
        seam.takeMessages();
    }
    void TearDown() override
    {
        seam.clearAnswers();
        setFixedScreenMetrics(std::nullopt);
    }

    InteractionSeam& seam = InteractionSeam::instance();
};

QRect pixelsOf(const ControlRect& r)
{
    return {twipsToPixels(r.Left, 15), twipsToPixels(r.Top, 15), twipsToPixels(r.Width, 15),
        twipsToPixels(r.Height, 15)};
}

} // namespace

TEST_F(MessageBoxTest, ScriptedAnswersClickTheRealButtons)
{
    const struct { const char* fault; int16_t style; int answer; int16_t result; } cases[] = {
        {"Yes of a confirmation", 36, 6, 6},
        {"the close box on a box with Cancel leaves the reset result", 3, 0, 1},
        {"No to All, the fourth of five buttons", 6, 9, 9},
        {"Ignore, the last of three", 2, 5, 5},
        {"a button the box lacks closes it", 4, 2, 1},
    };
    for (const auto& c : cases) {
        seam.queueAnswer(ModalKind::Message, c.answer);
        EXPECT_EQ(ask(QStringLiteral("Confirm: Discard current frame?"), c.style, QString()), c.result)
            << c.fault;
        EXPECT_EQ(MessageBox::current(), nullptr) << c.fault;
    }
}

TEST_F(MessageBoxTest, ALetterClicksTheFirstButtonWithThatAcceleratorAndEscapeCancelThenNoThenALoneOk)
{
    const struct { const char* fault; int16_t style; char key; int16_t result; } cases[] = {
        {"an upper-case letter picks Yes", 36, 'Y', 6},
        {"O picks OK when it is shown", 0, 'o', 1},
        {"O picks No to All when OK is not shown", 6, 'o', 9},
        {"N picks No, before No to All", 6, 'n', 7},
        // '\x1b' is Escape.
        {"Escape picks Cancel over No", 6, '\x1b', 2},
        {"Escape picks No without Cancel", 4, '\x1b', 7},
        {"Escape picks a lone OK", 0, '\x1b', 1},
    };
    for (const auto& c : cases) {
        whenBoxShown([&c](MessageBox& box) {
            if (c.key == '\x1b')
                pressKey(box, Qt::Key_Escape);
            else
                typeKey(box, QLatin1Char(c.key));
        });
        EXPECT_EQ(ask(QStringLiteral("Keys"), c.style, QString()), c.result) << c.fault;
    }
}

TEST_F(MessageBoxTest, AKeyWithoutAnAnswerLeavesTheBoxOpen)
{
    const struct { const char* fault; int16_t style; std::function<void(MessageBox&)> press; int16_t second; } cases[] = {
        {"a letter no button has", 4, [](MessageBox& box) { typeKey(box, QLatin1Char('q')); typeKey(box, QLatin1Char('&')); }, 7},
        {"Escape where Abort, Retry and Ignore have no answer for it", 2,
            [](MessageBox& box) { pressKey(box, Qt::Key_Escape); }, 4},
    };
    for (const auto& c : cases) {
        whenBoxShown([&](MessageBox& box) {
            c.press(box);
            EXPECT_TRUE(box.isVisible()) << c.fault;
            clickCentre(*box.button(2));
        });
        EXPECT_EQ(ask(QStringLiteral("No answer"), c.style, QString()), c.second) << c.fault;
    }
}

TEST_F(MessageBoxTest, InputBoxTakesTypedLettersAndFollowsThem)
{
    ResetMessageRequest();
    messageRequest().Prompt = QStringLiteral("Name of the take:");
    messageRequest().Style = 4;
    messageRequest().ShowInput = kHostTrue;
    messageRequest().InputText = QStringLiteral("abc");
    whenBoxShown([&](MessageBox& box) {
        EXPECT_EQ(box.inputField()->selectedText(), QStringLiteral("abc"));
        typeKey(box, QLatin1Char('y'));   // replaces the selection; no button is clicked
        typeKey(box, QLatin1Char('o'));
        EXPECT_TRUE(box.isVisible());
        clickCentre(*box.button(2));
    });
    MessageBox box;
    box.run();
    EXPECT_EQ(messageRequest().InputText, QStringLiteral("yo"));
    EXPECT_EQ(messageRequest().Result, 7);
}

TEST_F(MessageBoxTest, CheckBoxShowsTheValueAndKeepsTheClick)
{
    const struct { int16_t initial; bool shownTicked; int16_t after; } cases[] = {{0, false, 1}, {1, true, 0}};
    for (const auto& c : cases) {
        ResetMessageRequest();
        messageRequest().Prompt = QStringLiteral("Discard the frame?");
        messageRequest().Style = 36;
        messageRequest().ShowCheck = kHostTrue;
        messageRequest().CheckCaption = QStringLiteral("Do not ask again");
        messageRequest().CheckValue = c.initial;
        whenBoxShown([&](MessageBox& box) {
            EXPECT_TRUE(box.checkBox()->isVisible());
            EXPECT_EQ(box.checkBox()->text(), QStringLiteral("Do not ask again"));
            EXPECT_EQ(box.checkBox()->isChecked(), c.shownTicked) << c.initial;
            clickAt(*box.checkBox(), QPoint(8, box.checkBox()->height() / 2));   // on the tick box
            clickCentre(*box.button(1));
        });
        MessageBox box;
        box.run();
        EXPECT_EQ(messageRequest().CheckValue, c.after) << c.initial;
        EXPECT_EQ(messageRequest().Result, 6);
    }
}

TEST_F(MessageBoxTest, RecordNotResetWarnsOnceThenOpens)
{
    messageRequest() = MessageRequest{};
    messageRequest().Prompt = QStringLiteral("Left over");
    seam.queueAnswer(ModalKind::Message, 1);   // the warning's OK
    seam.queueAnswer(ModalKind::Message, 1);   // the box's OK
    MessageBox box;
    box.run();
    const QList<ShownMessage> shown = seam.takeMessages();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].prompt, QStringLiteral("Warning: Custom Input Box was not properly initialized."));
    EXPECT_EQ(shown[1].prompt, QStringLiteral("Left over"));
    EXPECT_EQ(messageRequest().Result, 1);
}

namespace {

// The pixels of the box as the person sees them, saved as PNG when DIDEV_SCREENSHOT_DIR is set.
QImage screenshot(MessageBox& box, const char* name)
{
    const QImage image = box.grab().toImage();
    const QString dir = qEnvironmentVariable("DIDEV_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(dir);
        image.save(dir + QLatin1Char('/') + QLatin1String(name) + QLatin1String(".png"));
    }
    return image;
}

// Rows of `area` in `image` that hold a pixel much darker than the window's background.
QList<int> inkedRows(const QImage& image, const QRect& area)
{
    QList<int> rows;
    for (int y = area.top(); y <= area.bottom() && y < image.height(); ++y) {
        for (int x = area.left(); x <= area.right() && x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 100) {
                rows << y;
                break;
            }
        }
    }
    return rows;
}

} // namespace

TEST_F(MessageBoxTest, WindowAppliesTheLayout)
{
    const struct {
        const char* name;
        int16_t style;
        QStringList captions;
        bool closeBox;
    } cases[] = {
        {"confirm-discard", 36, {"&Yes", "&No"}, false},   // no Cancel: no close box to answer for the operator
        {"keep-frames", 6 + 32, {"&Yes", "Yes to &All", "&No", "N&o to All", "&Cancel"}, true},
    };
    for (const auto& c : cases) {
        bool shown = false;
        whenBoxShown([&](MessageBox& box) {
            shown = true;
            const MessageBoxGeometry& layout = box.layout();
            const QRect laidOut(twipsToPixels(layout.formRect.Left, 15), twipsToPixels(layout.formRect.Top, 15),
                twipsToPixels(layout.formRect.Width, 15), twipsToPixels(layout.formRect.Height, 15));
            // The window manager may frame the box, and the box fit into the frame, after it shows.
            (void)QTest::qWaitFor([&] { return box.frameGeometry().size() == laidOut.size(); }, 5000);
            screenshot(box, c.name);
            EXPECT_EQ(box.windowTitle(), QStringLiteral("Didev Evivod"));
            EXPECT_TRUE(box.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
            EXPECT_TRUE(box.isModal());
            EXPECT_EQ(box.windowFlags().testFlag(Qt::WindowCloseButtonHint), c.closeBox) << c.name;
            QList<QRect> buttons, expected;
            QStringList captions, buttonFonts;
            for (int i = 1; i <= 5; ++i) {
                if (box.button(i)->isVisible()) {
                    buttons << box.button(i)->geometry();
                    expected << pixelsOf(layout.buttonRects[static_cast<size_t>(i - 1)]);
                    captions << box.button(i)->text();
                    buttonFonts << QFontInfo(box.button(i)->font()).family();
                }
            }
            EXPECT_EQ(captions, c.captions);
            EXPECT_EQ(buttonFonts, QStringList(c.captions.size(), QFontInfo(box.messageText()->font()).family()));
            EXPECT_EQ(buttons, expected) << c.name;
            // The outer frame is the layout's, whatever frame the window system draws.
            EXPECT_EQ(box.frameGeometry(), laidOut);
            EXPECT_EQ(box.icon()->geometry(), pixelsOf(layout.iconRect));
            EXPECT_GT(box.messageText()->x(), box.icon()->geometry().right()) << "the message beside the icon";
            EXPECT_EQ(box.icon()->pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                QImage(QStringLiteral(":/icons/question.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied));
            clickCentre(*box.button(2));
        });
        EXPECT_EQ(ask(QStringLiteral("Keep the frames?"), c.style, QString()), c.style == 36 ? 7 : 8) << c.name;
        EXPECT_TRUE(shown) << c.name;
    }
}

TEST_F(MessageBoxTest, LongMessageIsPrintedOverSeveralLines)
{
    const QString prompt = QStringLiteral(
        "The capture device stopped sending pictures while a frame was being grabbed. The frame has not been "
        "stored. Check that the camera is switched on and its cable is plugged in, then grab the frame again; "
        "the frames captured before are kept and can still be saved, printed or discarded from the viewer.");
    bool shown = false;
    whenBoxShown([&](MessageBox& box) {
        shown = true;
        const QStringList lines = box.messageText()->lines();
        const QRect messageArea = box.messageText()->geometry();
        const QList<int> rows = inkedRows(screenshot(box, "long-message"), messageArea);
        const QFontMetrics metrics(box.messageText()->font());
        const int lineHeight = metrics.height();
        EXPECT_GE(lines.size(), 3);
        EXPECT_EQ(lines.join(QString()).simplified(), prompt);
        EXPECT_LE(box.frameGeometry().width() * 15, 19200 * 0.61 + 15 * 8);
        // Ink in the band of every line, and none below the last one.
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const int top = messageArea.top() + static_cast<int>(i) * lineHeight;
            const bool inked = std::any_of(rows.begin(), rows.end(), [&](int y) { return y >= top && y < top + lineHeight; });
            EXPECT_TRUE(inked) << "line " << i;
        }
        EXPECT_TRUE(!rows.isEmpty() && rows.last() < messageArea.top() + static_cast<int>(lines.size()) * lineHeight);
        clickCentre(*box.button(1));
    });
    EXPECT_EQ(ask(prompt, 48, QString()), 1);
    EXPECT_TRUE(shown);
}
