#include "ui/MessageBoxLayout.h"
#include "ui/MessageRequest.h"

#include <gtest/gtest.h>

using namespace didev;

namespace {

// Every character 100 twips wide in the message's font, 90 in the input box's; lines 195 high.
TextMeasure fixedMeasure()
{
    TextMeasure measure;
    measure.messageWidth = [](const QString& text) { return 100.0 * text.size(); };
    measure.inputWidth = [](const QString& text) { return 90.0 * text.size(); };
    measure.messageLineHeight = 195;
    return measure;
}

double width100(const QString& text)
{
    return 100.0 * text.size();
}

constexpr double kScreenWidth = 19200;    // maxFormWidth 11712, maxTextWidth 11472
constexpr double kScreenHeight = 14400;
const WindowMetrics kFrame{345, 90, 90, 30, 30};

MessageRequest request(const QString& prompt, int32_t style)
{
    ResetMessageRequest();
    MessageRequest r = messageRequest();
    r.Prompt = prompt;
    r.Style = style;
    return r;
}

MessageBoxGeometry layout(const MessageRequest& r, double screenWidth = kScreenWidth)
{
    return layoutMessageBox(r, screenWidth, kScreenHeight, kFrame, fixedMeasure());
}

} // namespace

TEST(MessageBoxLayout, AnUnplacedBoxIsCentredAndAStoredPlaceIsKeptTopZeroIncluded)
{
    MessageRequest r = request(QStringLiteral("ABCDEFGHIJ"), 0);
    const MessageBoxGeometry centred = layout(r);
    EXPECT_NEAR(centred.formRect.Left + centred.formRect.Width / 2, kScreenWidth / 2, 1);
    EXPECT_NEAR(centred.formRect.Top + centred.formRect.Height / 2, kScreenHeight / 2, 1);
    r.Left = 300;
    r.Top = 0;
    const MessageBoxGeometry placed = layout(r);
    EXPECT_EQ(std::make_pair(placed.formRect.Left, placed.formRect.Top), std::make_pair(300.0, 0.0));
}

// The captions and answers of each set are the box's own (MessageBoxTest clicks them); here
// how many buttons each style gets, and where they stand.
TEST(MessageBoxLayout, ButtonRowsAreCentred)
{
    const struct { int32_t style; double formWidth; QList<double> lefts; } cases[] = {
        {7, 2025, {510}},                            // unknown button sets are a single OK
        {2, 4275, {510, 1635, 2760}},                // the middle one on c 2137
        {6, 6525, {510, 1635, 2760, 3885, 5010}},    // the third on c 3262
    };
    for (const auto& c : cases) {
        const MessageBoxGeometry g = layout(request(QStringLiteral("?"), c.style));
        EXPECT_EQ(g.formRect.Width, c.formWidth) << c.style;
        QList<double> lefts;
        for (size_t i = 0; i < static_cast<size_t>(g.buttonCount); ++i)
            lefts << g.buttonRects[i].Left;
        EXPECT_EQ(lefts, c.lefts) << c.style;
    }
}

TEST(MessageBoxLayout, NarrowScreenStillFitsFiveButtons)
{
    // maxFormWidth 4880 on a screen 8000 wide; five buttons need 5 x 1125 + 240.
    const MessageBoxGeometry g = layout(request(QString(80, QLatin1Char('w')), 6), 8000);
    EXPECT_EQ(g.maxFormWidth, 4880);
    EXPECT_EQ(g.formRect.Width, 5865);
    EXPECT_EQ(g.buttonRects[2].Left, 5865 / 2 - 502);
}

TEST(WrapMessage, BreaksAtSpacesAndNeverInsideAWord)
{
    const struct { const char* fault; const char* prompt; QStringList lines; } cases[] = {
        {"exactly the limit is still one line", "aaaa bbbbb", {"aaaa bbbbb"}},
        {"words with their spaces fill each line", "aaa bbb ccc ddd eee", {"aaa bbb ", "ccc ddd ", "eee"}},
        {"a line reaching the limit is full", "aaaa bbbb cccc", {"aaaa ", "bbbb cccc"}},
        {"a first word wider than the limit leaves the first line empty", "xxxxxxxxxxxx yy",
            {"", "xxxxxxxxxxxx ", "yy"}},
        {"one word without spaces stays whole", "xxxxxxxxxxxxxxx", {"", "xxxxxxxxxxxxxxx"}},
        {"spaces after a break are dropped", "aaaaa bbbbb    ccc", {"aaaaa ", "bbbbb ccc"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wrapMessage(QString::fromLatin1(c.prompt), 1000, width100), c.lines) << c.fault;
}

TEST(MessageBoxLayout, InputBoxWidth)
{
    const struct {
        const char* fault;
        const char* prompt;
        int16_t maxChars;
        ControlRect inputRect;
    } cases[] = {
        // Below the one line at 195 + 400; the box is 2025 wide (c 1012): 1625 wide, centred.
        {"no limit spans the box less 400", "ABCDEFGHIJ", 0, {1012 - 812, 595, 1625, 315}},
        // 5 "X" are 450 + 200 = 650; the box is 1200 wide already.
        {"a limit narrows a wide enough box", "ABCDEFGHIJ", 5, {1012 - 325, 595, 650, 315}},
        // 30 "X" are 2900 wide, more than the 1200 the box has: it keeps the message's place.
        {"a limit wider than the box leaves it", "ABCDEFGHIJ", 30, {120, 595, 1200, 315}},
    };
    for (const auto& c : cases) {
        MessageRequest r = request(QString::fromLatin1(c.prompt), 0);
        r.ShowInput = kHostTrue;
        r.InputMaxChars = c.maxChars;
        const MessageBoxGeometry g = layout(r);
        EXPECT_EQ(g.inputRect, c.inputRect) << c.fault;
        EXPECT_EQ(g.buttonRects[0].Top, 595 + 315 + 120 + 120) << c.fault;
    }
}

TEST(MessageBoxLayout, CheckBoxBelowTheButtonsWidensForItsCaption)
{
    MessageRequest r = request(QStringLiteral("ABCDEFGHIJ"), 0);
    r.ShowCheck = kHostTrue;
    r.CheckCaption = QString(40, QLatin1Char('c'));   // 3600 + 255 + 120 + 200
    const MessageBoxGeometry g = layout(r);
    EXPECT_EQ(g.checkRect, (ControlRect{120, 715 + 345 + 200, 4005, 255}));
    EXPECT_EQ(g.formRect.Width, 4175);
    EXPECT_EQ(g.buttonRects[0].Left, 4175 / 2 - 502);
    EXPECT_EQ(g.formRect.Height, 1260 + 255 + 345 + 90 + 30);
}
