#include "viewer/FramePrinting.h"

#include "common/AutomationError.h"
#include "common/RegularFile.h"
#include "common/Rounding.h"
#include "snapshots/PictureFormat.h"
#include "snapshots/PictureWriter.h"
#include "snapshots/ModuleState.h"
#include "ui/InteractionSeam.h"
#include "ui/MessageBox.h"
#include "ui/PictureBox.h"
#include "ui/Registry.h"
#include "ui/SyntheticInput.h"
#include "ui/WaitCursor.h"
#include "viewer/DialogOwner.h"
#include "viewer/PictureFile.h"
#include "viewer/PreviewHost.h"
#include "viewer/PreviewPrinter.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

namespace didev {

namespace {


// Top of the first item of a page and the room kept under the last one, printer units.
constexpr int32_t kPageTop = 720;
constexpr int32_t kBottomRoom = 720;
// Space between a frame and the next one, and between a frame and its numbers.
constexpr int32_t kGap = 50;

// The viewer window holding the hidden picture box when it is shown, else the window in front.
QWidget* dialogOwner(const PictureBox& scalingSource)
{
    QWidget* viewer = scalingSource.window();
    return viewer->isVisible() ? viewer : QApplication::activeWindow();
}

void showPrinterFailure(const QString& description, QWidget* owner)
{
    const QString text = QStringLiteral("Internal error in Printer Confirmation.  Try restarting the program and trying again.")
        + QChar(10) + description;
    const QString title = QGuiApplication::applicationDisplayName();
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, owner);
    keepInFrontOfOwner(box, owner);
    InteractionSeam& seam = InteractionSeam::instance();
    seam.recordMessage(ShownMessage{text, title, static_cast<int>(MessageStyle::Critical)});
    seam.execDialog(box, ModalKind::Message, [&box](const QVariant&) {
        if (QAbstractButton* ok = box.button(QMessageBox::Ok))
            clickCentre(*ok);
    });
}

// The bytes of the regular file of that name; none for anything else, which is never waited on.
QByteArray fileBytes(const QString& fileName)
{
    const std::optional<std::string> bytes = readRegularFile(QFile::encodeName(fileName).toStdString());
    return bytes ? QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size())) : QByteArray();
}

PictureHandle handleOf(const ModuleState& state, int index)
{
    const PicturePtr& picture = state.snapshotStore.at(index).picture;
    return picture ? picture->handle() : 0;
}

// One print run on the printer object: the header, then frames down the page.
class FramePageLayout {
public:
    FramePageLayout(const ModuleState& state, PreviewPrinter& printer, PictureBox& scalingSource)
        : state_(state)
        , printer_(printer)
        , hidden_(scalingSource)
        , tempFile_(state.tmpPath + QStringLiteral("temp.jpg"))
        , notAvailable_(QString::fromLatin1(kFrameNotAvailable))
    {
    }

    void start()
    {
        printer_.StartDoc();
        printer_.setFontName(QStringLiteral("Arial"));
        printer_.setFontSize(QStringLiteral("11"));
        lineHeight_ = roundToLong(printer_.textHeight(QStringLiteral("X")));
        header(TextAlignment::CentredLine);
    }

    void printAll(int count)
    {
        for (int i = 1; i <= count; ++i) {
            const bool drawn = placeFrame(i, true);
            if (!drawn) {
                printer_.setCurrentY(y_);
                printNotAvailable();
            }
            const double height = slotHeight();
            const double width = drawn || r_ > 0 ? hidden_.Width() * r_ : printer_.textWidth(notAvailable_);
            printNumbers(i, height, width);
            y_ = roundToLong(y_ + height + kGap);
            // Room for another frame of this height and the bottom margin, or a new page.
            if (i < count && y_ + height + kBottomRoom > printer_.PageHeight()) {
                printer_.NewPage();
                header(TextAlignment::CentredWrapped);
            }
            hidden_.setPicture(nullptr);
        }
    }

    void printOne(int index)
    {
        if (!placeFrame(index, false))
            printNotAvailable();
    }

    void end() { printer_.EndDoc(); }

private:
    void header(TextAlignment alignment)
    {
        y_ = kPageTop;
        printer_.setCurrentY(kPageTop);
        printer_.setTextAlign(static_cast<int32_t>(alignment));
        printer_.setText(QString::fromLatin1(kPrintHeader));
        y_ = kPageTop + 2 * lineHeight_;
    }

    // Writes frame `index` to the temporary file, reads it back and draws it centred at y.
    // False when the frame could not be written or read back.
    bool placeFrame(int index, bool setPosition)
    {
        const bool written = writer_.SaveStdPicture(handleOf(state_, index), static_cast<int32_t>(PictureFormat::Jpeg), tempFile_);
        const QByteArray bytes = written ? fileBytes(tempFile_) : QByteArray();
        const PicturePtr loaded = decodedPicture(bytes);
        // The document keeps the file's compressed bytes and decodes them only to draw the page.
        RecordedPicture recorded = loaded ? RecordedPicture::fromEncoded(bytes) : RecordedPicture();
        if (written)
            QFile::remove(tempFile_);
        if (!loaded)
            return false;
        if (recorded.size() != QSize(loaded->width(), loaded->height()))
            recorded = {};

        hidden_.setPicture(loaded);
        const double pageWidth = printer_.PageWidth();
        w_ = roundToLong(pageWidth / 2);
        // Half a page wide at most, and never enlarged.
        if (hidden_.Width() < w_)
            w_ = roundToLong(hidden_.Width());
        r_ = static_cast<float>(w_ / hidden_.Width());
        if (setPosition)
            printer_.setCurrentY(y_);
        double top = y_;
        double width = w_;
        const double left = pageWidth / 2 - w_ / 2.0;
        const double height = hidden_.Height() * r_;
        const auto fit = static_cast<int16_t>(PictureFit::Stretch);
        if (recorded.isNull())
            printer_.DrawPicture(*loaded, left, top, width, height, fit);
        else
            printer_.DrawPicture(recorded, left, top, width, height, fit);
        y_ = roundToLong(top);
        w_ = roundToLong(width);
        hidden_.setPicture(nullptr);
        return true;
    }

    void printNotAvailable()
    {
        const double textWidth = printer_.textWidth(notAvailable_);
        printer_.setCurrentX(printer_.PageWidth() / 2 - textWidth / 2);
        printer_.TextBox(notAvailable_, printer_.CurrentX(), printer_.CurrentY(), textWidth,
            printer_.textHeight(QStringLiteral("X")) + kGap);
    }

    // The height a frame takes on the page: the last drawn frame's (the box keeps its size when
    // its picture goes), or the notice's when no frame has been drawn yet.
    double slotHeight() const
    {
        const double height = hidden_.Height() * r_;
        return height > 0 ? height : printer_.textHeight(QStringLiteral("X")) + kGap;
    }

    // The frame's number 50 units left and right of it, at its vertical middle.
    void printNumbers(int index, double height, double width)
    {
        const QString caption = QString::number(index);
        const double pageWidth = printer_.PageWidth();
        printer_.setCurrentY(y_ + height / 2);
        printer_.setCurrentX(pageWidth / 2 - width / 2 - printer_.textWidth(caption) - kGap);
        printer_.setTextAlign(static_cast<int32_t>(TextAlignment::LeftMiddle));
        printer_.setText(caption);
        printer_.setCurrentY(y_ + height / 2);
        printer_.setCurrentX(pageWidth / 2 + width / 2 + kGap);
        printer_.setText(caption);
    }

    const ModuleState& state_;
    PreviewPrinter& printer_;
    PictureBox& hidden_;
    const PictureWriter writer_{};
    const QString tempFile_;
    const QString notAvailable_;
    int32_t lineHeight_ = 0;
    int32_t y_ = 0;
    int32_t w_ = 0;
    float r_ = 0;
};

} // namespace

FramePrinter::FramePrinter(ModuleState& state)
    : state_(state)
{
}

FramePrinter::~FramePrinter() = default;

void FramePrinter::OpenPrintPreview(std::unique_ptr<PreviewHost>& host)
{
    const QString reportDir = ReadRegistryString(state_.userRegArea, QString::fromLatin1(kSuiteRegistryKey),
        QString::fromLatin1(kReportDirValue));
    host = std::make_unique<PreviewHost>();
    host->SetReportDirectory(reportDir);
    host->ProvidePrinter(previewPrinter());
}

bool FramePrinter::ConfirmPrinter(const QString&)
{
    try {
        if (!previewPrinter())
            raiseError(ErrorNumber::ObjectNotSet);
        previewPrinter()->setMarginBottom(-1);
    } catch (const AutomationError& error) {
        QWidget* owner = previewPrinter() ? previewPrinter()->dialogOwner() : nullptr;
        showPrinterFailure(QString::fromStdString(error.description()), owner ? owner : QApplication::activeWindow());
        return false;
    }

    PreviewPrinter& printer = *previewPrinter();
    bool accepted = false;
    {
        const WaitCursor hourglass;
        accepted = printer.PrintDialog(1);
    }
    if (!accepted)
        return false;
    printer.setMarginRight(0);
    printer.setMarginLeft(0);
    printer.setMarginTop(0);
    printer.setMarginBottom(-1);
    return true;
}

void FramePrinter::printFrames(int16_t frame, PictureBox& scalingSource)
{
    const int n = state_.snapshotStore.count();
    if (n == 0) {
        askUser(QStringLiteral("There are no frames to print."), MessageStyle::Exclamation);
        return;
    }
    if (frame < 0 || frame > n)
        raiseError(ErrorNumber::SubscriptOutOfRange);

    std::unique_ptr<PreviewHost> host;
    OpenPrintPreview(host);
    host->SetOwnerWindow(dialogOwner(scalingSource));

    const int single = frame != 0 ? frame : (n == 1 ? 1 : 0);
    if (single == 0
        && askUser(QStringLiteral("Print %1 frames?").arg(n), MessageStyle::QuestionYesNo) == MessageResult::No)
        return;

    if (!ConfirmPrinter()) {
        previewPrinter().reset();
        return;
    }
    // The store may have changed while the dialogs were open.
    const int count = state_.snapshotStore.count();
    if (single > count || count == 0)
        raiseError(ErrorNumber::SubscriptOutOfRange);

    const std::shared_ptr<PreviewPrinter> printer = previewPrinter();
    {
        FramePageLayout layout(state_, *printer, scalingSource);
        layout.start();
        if (single == 0)
            layout.printAll(count);
        else
            layout.printOne(single);
        layout.end();
    }
    host->PresentDocument();
    previewPrinter().reset();
}

} // namespace didev
