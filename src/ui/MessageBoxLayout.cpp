#include "ui/MessageBoxLayout.h"

#include "common/Rounding.h"

#include <algorithm>

namespace didev {

namespace {

using namespace messagebox;

constexpr double kGap = 120;   // between buttons, and around the rows

// Halves the way the layout does: the value rounded to a whole twip, then divided with
// truncation.
int32_t half(double value)
{
    return roundToLong(value) / 2;
}

} // namespace

MessageIcon messageIcon(int32_t style)
{
    const int32_t place = (style & 0xF0) >> 4;
    if (place > static_cast<int32_t>(MessageIcon::Information))
        return MessageIcon::None;
    return static_cast<MessageIcon>(place);
}

QList<MessageButton> messageButtons(int32_t style)
{
    using R = MessageResult;
    auto b = [](const char* caption, R result) { return MessageButton{QString::fromLatin1(caption), result}; };
    switch (style & 0xF) {
    case 1:
        return {b("&OK", R::Ok), b("&Cancel", R::Cancel)};
    case 2:
        return {b("&Abort", R::Abort), b("&Retry", R::Retry), b("&Ignore", R::Ignore)};
    case 3:
        return {b("&Yes", R::Yes), b("&No", R::No), b("&Cancel", R::Cancel)};
    case 4:
        return {b("&Yes", R::Yes), b("&No", R::No)};
    case 5:
        return {b("&Retry", R::Retry), b("&Cancel", R::Cancel)};
    case 6:
        return {b("&Yes", R::Yes), b("Yes to &All", R::YesToAll), b("&No", R::No), b("N&o to All", R::NoToAll),
            b("&Cancel", R::Cancel)};
    default:
        return {b("&OK", R::Ok)};
    }
}

QStringList wrapMessage(const QString& prompt, double maxTextWidth, const std::function<double(const QString&)>& width)
{
    if (width(prompt) <= maxTextWidth)
        return {prompt};

    QStringList lines{QString()};
    QString rest = prompt;
    while (!rest.isEmpty()) {
        const qsizetype space = rest.indexOf(QLatin1Char(' '));
        if (space < 0) {
            if (roundHalfEven(width(lines.last()) + width(rest)) > maxTextWidth)
                lines.append(QString());
            lines.last() += rest;
            rest.clear();
            continue;
        }
        const QString piece = rest.left(space + 1);   // the word and its space
        if (roundHalfEven(width(lines.last() + piece)) < maxTextWidth) {
            lines.last() += piece;
            rest.remove(0, space + 1);
        } else {
            lines.append(piece);
            rest = rest.mid(space + 1).trimmed();
        }
    }
    return lines;
}

MessageBoxGeometry layoutMessageBox(const MessageRequest& request, double screenWidth, double screenHeight,
    const WindowMetrics& metrics, const TextMeasure& measure)
{
    MessageBoxGeometry g;
    g.iconRect = kIconRect;
    g.messageRect = kMessageRect;
    g.inputRect = kInputRect;
    g.checkRect = kCheckRect;
    for (size_t i = 0; i < g.buttonRects.size(); ++i)
        g.buttonRects[i] = {kButtonLefts[i], kButtonTop, kButtonWidth, kButtonHeight};

    g.maxFormWidth = roundToLong(screenWidth * 0.61);
    g.maxTextWidth = g.maxFormWidth - 240;

    g.icon = messageIcon(request.Style);
    if (g.icon != MessageIcon::None) {
        const double iconRoom = g.iconRect.Width + 140;
        g.messageRect.Left += iconRoom;
        g.maxTextWidth = roundToLong(g.maxTextWidth - iconRoom);
    } else {
        g.messageRect.Top -= 120;
    }

    const QList<MessageButton> buttons = messageButtons(request.Style);
    g.buttonCount = static_cast<int>(buttons.size());
    for (int i = 0; i < g.buttonCount; ++i)
        g.buttons[static_cast<size_t>(i)] = buttons[i];
    const double n = g.buttonCount;
    const int32_t buttonsWidth = roundToLong(n * kButtonWidth + (n - 1) * kGap + 1020);

    g.lines = wrapMessage(request.Prompt, g.maxTextWidth, measure.messageWidth);
    double widest = 0;
    for (const QString& line : g.lines)
        widest = std::max(widest, measure.messageWidth(line));
    const int32_t textWidth = std::max(0, roundToLong(widest));
    g.messageRect.Width = textWidth + 200;

    double formWidth;
    if (g.messageRect.Left + textWidth + 200 < g.maxFormWidth)
        formWidth = std::max(roundToLong(g.messageRect.Left + textWidth + 200), buttonsWidth);
    else
        formWidth = g.maxFormWidth;
    if ((kButtonWidth + kGap) * n + 240 > formWidth)
        formWidth = roundToLong((kButtonWidth + kGap) * n + 240);

    const int32_t lineHeight = roundToLong(measure.messageLineHeight);
    double y = 0;
    for (qsizetype i = 0; i < g.lines.size(); ++i) {
        g.lineTops.append(y);
        y += lineHeight;
    }
    g.messageRect.Height = y + 200;
    double cursor = y + 400;

    double wantWidth = 0;
    bool wantApplies = false;
    g.inputVisible = request.ShowInput != kHostFalse;
    if (g.inputVisible) {
        g.inputRect.Left = g.messageRect.Left;
        g.inputRect.Width = g.messageRect.Width;
        g.inputRect.Top = cursor;
        cursor = g.inputRect.Top + g.inputRect.Height + kGap;
        if (request.InputMaxChars > 0) {
            wantWidth = measure.inputWidth(QString(request.InputMaxChars, QLatin1Char('X'))) + 200;
            wantApplies = g.inputRect.Width >= wantWidth;
        } else {
            wantWidth = formWidth - 400;
            wantApplies = true;
        }
    }

    const double buttonTop = cursor + kGap;
    for (ControlRect& rect : g.buttonRects)
        rect.Top = buttonTop;
    cursor = buttonTop + kButtonHeight;

    g.checkVisible = request.ShowCheck != kHostFalse;
    if (g.checkVisible) {
        g.checkRect.Left = g.iconRect.Left;
        g.checkRect.Top = cursor + 200;
        cursor = g.checkRect.Top + g.checkRect.Height;
        const double wanted = measure.inputWidth(request.CheckCaption) + kCheckIndicatorWidth + g.checkRect.Left + 200;
        if (wanted > formWidth)
            formWidth = roundToLong(wanted);
    } else {
        cursor += 100;
    }

    const int32_t centre = roundToLong(formWidth) / 2;
    const int32_t buttonHalf = half(kButtonWidth);
    auto& r = g.buttonRects;
    switch (g.buttonCount) {
    case 1:
        r[0].Left = centre - buttonHalf;
        break;
    case 2:
        r[0].Left = centre - kButtonWidth - kGap;
        r[1].Left = centre + kGap;
        break;
    case 3:
        r[1].Left = centre - buttonHalf;
        r[0].Left = r[1].Left - kGap - kButtonWidth;
        r[2].Left = r[1].Left + kButtonWidth + kGap;
        break;
    case 5:
        r[2].Left = centre - buttonHalf;
        r[1].Left = r[2].Left - kGap - kButtonWidth;
        r[0].Left = r[1].Left - kGap - kButtonWidth;
        r[3].Left = r[2].Left + kButtonWidth + kGap;
        r[4].Left = r[3].Left + kButtonWidth + kGap;
        break;
    default:
        break;
    }

    if (g.inputVisible && wantApplies) {
        g.inputRect.Width = wantWidth;
        g.inputRect.Left = centre - half(wantWidth);
    }

    g.formRect.Width = formWidth;
    g.formRect.Height = cursor + metrics.captionHeight + metrics.sizingFrameHeight + metrics.borderHeight;
    g.formRect.Left = request.Left == -1 ? half(screenWidth) - half(g.formRect.Width) : request.Left;
    g.formRect.Top = request.Top == -1 ? half(screenHeight) - half(g.formRect.Height) : request.Top;
    return g;
}

} // namespace didev
