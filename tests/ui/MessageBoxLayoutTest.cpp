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

TEST(MessageBoxLayout, OneShortLineKeepsTheBoxAsWideAsItsButtons)
{
    const MessageBoxGeometry g = layout(request(QStringLiteral("ABCDEFGHIJ"), 0));   // 1000 twips
    EXPECT_EQ(g.maxFormWidth, 11712);
    EXPECT_EQ(g.lines, QStringList{QStringLiteral("ABCDEFGHIJ")});
    EXPECT_EQ(g.formWidth, 2025);
    EXPECT_EQ(g.buttonRects[0].Left, 510);
    EXPECT_EQ(g.icon, MessageIcon::None);
    EXPECT_EQ(g.messageRect, (ControlRect{120, 150, 1200, 395}));
    // One line: buttons at 195 + 400 + 120; then 345 of buttons and 100 below them.
    EXPECT_EQ(g.buttonRects[0].Top, 715);
    EXPECT_EQ(g.formHeight, 1160 + 345 + 90 + 30);
    EXPECT_EQ(g.formLeft, 9600 - 1012);
    EXPECT_EQ(g.formTop, 7200 - 1625 / 2);

    // A stored position is kept, a top of 0 included.
    MessageRequest placed = request(QStringLiteral("ABCDEFGHIJ"), 0);
    placed.Left = 300;
    placed.Top = 0;
    const MessageBoxGeometry at = layout(placed);
    EXPECT_EQ(std::make_pair(at.formLeft, at.formTop), std::make_pair(300.0, 0.0));
}

TEST(MessageBoxLayout, IconMovesTheMessageRightAndNarrowsIt)
{
    const struct { int32_t style; MessageIcon icon; } cases[] = {
        {16, MessageIcon::Stop}, {36, MessageIcon::Question}, {48, MessageIcon::Exclamation},
        {64, MessageIcon::Information}, {0x50, MessageIcon::None}, {0x100, MessageIcon::None},
    };
    for (const auto& c : cases) {
        const MessageBoxGeometry g = layout(request(QStringLiteral("Frame successfully saved."), c.style));
        EXPECT_EQ(g.icon, c.icon) << c.style;
        if (c.icon == MessageIcon::None) {
            EXPECT_EQ(g.messageRect.Left, 120) << c.style;
            EXPECT_EQ(g.messageRect.Top, 150) << c.style;
            EXPECT_EQ(g.maxTextWidth, 11472) << c.style;
        } else {
            EXPECT_EQ(g.messageRect.Left, 755) << c.style;
            EXPECT_EQ(g.messageRect.Top, 270) << c.style;
            EXPECT_EQ(g.maxTextWidth, 11472 - 635) << c.style;
        }
    }
}

// The captions and answers of each set are the box's own (MessageBoxTest clicks them); here
// how many buttons each style gets, and where they stand.
TEST(MessageBoxLayout, ButtonRowsAreCentred)
{
    const struct { int32_t style; double formWidth; QList<double> lefts; } cases[] = {
        {0, 2025, {510}},
        {7, 2025, {510}},                            // unknown button sets are a single OK
        {1, 3150, {450, 1695}},                      // c 1575: 120 either side of the centre
        {36, 3150, {450, 1695}},                     // the icon bits do not change the buttons
        {2, 4275, {510, 1635, 2760}},                // the middle one on c 2137
        {6, 6525, {510, 1635, 2760, 3885, 5010}},    // the third on c 3262
    };
    for (const auto& c : cases) {
        const MessageBoxGeometry g = layout(request(QStringLiteral("?"), c.style));
        EXPECT_EQ(g.formWidth, c.formWidth) << c.style;
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
    EXPECT_EQ(g.formWidth, 5865);
    EXPECT_EQ(g.buttonRects[2].Left, 5865 / 2 - 502);
}

TEST(MessageBoxLayout, LongMessageTakesTheWidestBoxAndWraps)
{
    const QString words = QString(QStringLiteral("Discard every captured frame now ")).repeated(8).trimmed();
    const MessageBoxGeometry g = layout(request(words, 36));
    ASSERT_GT(g.lines.size(), 1);
    for (const QString& line : g.lines)
        EXPECT_LT(width100(line), g.maxTextWidth) << line.toStdString();
    EXPECT_EQ(g.lines.join(QString()).simplified(), words);
    // 107, 105 and 51 characters: the widest line and the icon give 755 + 10700 + 200.
    EXPECT_EQ(g.lines.size(), 3);
    EXPECT_EQ(g.lines[0].size(), 107);
    EXPECT_EQ(g.formWidth, 11655);
    EXPECT_EQ(g.messageRect.Width, 10900);
    EXPECT_EQ(g.lineTops, (QList<double>{0, 195, 390}));
    EXPECT_EQ(g.messageRect.Height, 3 * 195 + 200);
    EXPECT_EQ(g.buttonRects[0].Top, 3 * 195 + 400 + 120);
}

TEST(WrapMessage, BreaksAtSpacesAndNeverInsideAWord)
{
    const struct { const char* fault; const char* prompt; QStringList lines; } cases[] = {
        {"fits on one line", "aaa bbb", {"aaa bbb"}},
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
        EXPECT_TRUE(g.inputVisible);
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
    EXPECT_TRUE(g.checkVisible);
    EXPECT_EQ(g.checkRect, (ControlRect{120, 715 + 345 + 200, 4005, 255}));
    EXPECT_EQ(g.formWidth, 4175);
    EXPECT_EQ(g.buttonRects[0].Left, 4175 / 2 - 502);
    EXPECT_EQ(g.formHeight, 1260 + 255 + 345 + 90 + 30);
}
