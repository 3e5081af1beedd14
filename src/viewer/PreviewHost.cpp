#include "viewer/PreviewHost.h"

#include "common/AutomationError.h"
#include "ui/InteractionSeam.h"
#include "ui/MessageBox.h"
#include "ui/SyntheticInput.h"
#include "ui/WaitCursor.h"
#include "viewer/DialogOwner.h"
#include "viewer/PreviewPrinter.h"
#include "viewer/PrintQueue.h"
#include "viewer/ReplacingFileDevice.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QToolBar>
#include <QtDebug>

namespace didev {

namespace {

// A name no earlier run of this second has taken.
QString unusedPdfPath(const QDir& directory)
{
    const QString stem = QStringLiteral("frame-capture-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString path = directory.filePath(stem + QStringLiteral(".pdf"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = directory.filePath(stem + QLatin1Char('-') + QString::number(n) + QStringLiteral(".pdf"));
    return path;
}

// The preview's own Print button, which would ask for a printer again.
QAction* printAction(const QPrintPreviewDialog& dialog)
{
    const QString print = QCoreApplication::translate("QPrintPreviewDialog", "Print");
    for (QAction* action : dialog.findChildren<QAction*>()) {
        if (action->text() == print)
            return action;
    }
    return nullptr;
}

QWidget* toolButton(const QPrintPreviewDialog& dialog, QAction* action)
{
    for (const QToolBar* toolBar : dialog.findChildren<QToolBar*>()) {
        if (QWidget* button = action ? toolBar->widgetForAction(action) : nullptr)
            return button;
    }
    return nullptr;
}

} // namespace

PreviewHost::PreviewHost()
    : printer_(std::make_shared<PreviewPrinter>())
{
    printer_->printer().setDocName(QString::fromLatin1(kDocumentTitle));
    proposeOutputFile();
}

PreviewHost::~PreviewHost() = default;

void PreviewHost::SetReportDirectory(const QString& reportDirectory)
{
    reportDirectory_ = reportDirectory;
    proposeOutputFile();
}

QString PreviewHost::outputDirectory() const
{
    return reportDirectory_.isEmpty() ? QDir::tempPath() : reportDirectory_;
}

void PreviewHost::proposeOutputFile()
{
    QPrinter& printer = printer_->printer();
    if (printer.outputFormat() != QPrinter::PdfFormat)
        return;
    // The print dialog refuses a file in a folder that does not exist yet.
    const QDir directory(outputDirectory());
    printer.setOutputFileName(unusedPdfPath(directory.exists() ? directory : QDir(QDir::tempPath())));
}

void PreviewHost::SetOwnerWindow(QWidget* owner)
{
    owner_ = owner;
    printer_->setDialogOwner(owner);
}

void PreviewHost::ProvidePrinter(std::shared_ptr<PreviewPrinter>& printer)
{
    printer = printer_;
}

QString PreviewHost::PresentDocument()
{
    if (printer_->document().empty())
        return {};
    if (InteractionSeam::instance().unattended())
        return writePdf();

    QPrintPreviewDialog dialog(&printer_->printer(), owner_);
    keepInFrontOfOwner(dialog, owner_);
    dialog.setWindowTitle(QStringLiteral("Didev Evivod - Print Preview"));
    // Room for a whole page at a readable size.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize available = screen->availableSize();
        dialog.resize(available.width() * 3 / 5, available.height() * 9 / 10);
    }
    const PrintedDocument& document = printer_->document();
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
        [&document](QPrinter* printer) { document.render(*printer); });
    // The printer was chosen in the print dialog: the preview's Print sends the document there
    // instead of asking for a printer a second time.
    QAction* print = printAction(dialog);
    if (print) {
        QObject::disconnect(print, &QAction::triggered, nullptr, nullptr);
        QObject::connect(print, &QAction::triggered, &dialog, &QDialog::accept);
    }
    const int result = InteractionSeam::instance().execDialog(dialog, ModalKind::Preview, [&dialog, print](const QVariant& answer) {
        QWidget* button = answer.toBool() ? toolButton(dialog, print) : nullptr;
        if (button)
            clickCentre(*button);
        else
            pressKey(dialog, Qt::Key_Escape);
    });
    if (result == QDialog::Accepted)
        sendToPrinter();
    return {};
}

void PreviewHost::sendToPrinter()
{
    QPrinter& printer = printer_->printer();
    const bool queue = printer.outputFormat() == QPrinter::NativeFormat;
    const QString name = queue ? printer.printerName() : printer.outputFileName();
    const PrintQueueState state = queue ? printQueueState(name) : PrintQueueState{};
    if (!state.accepting) {
        askUser(printQueueNotice(name, state), MessageStyle::Exclamation);
        return;
    }
    {
        const WaitCursor hourglass;
        if (!printer_->document().render(printer)) {
            askUser(QStringLiteral("The frames could not be sent to \"%1\".").arg(name), MessageStyle::Exclamation);
            return;
        }
    }
    if (state.stopped)
        askUser(printQueueNotice(name, state), MessageStyle::Exclamation);
}

QString PreviewHost::writePdf() const
{
    QDir directory(outputDirectory());
    if (!directory.mkpath(QStringLiteral(".")))
        raiseError(ErrorNumber::PathFileAccess);
    const QString path = unusedPdfPath(directory);

    ReplacingFileDevice file(path);
    const auto raiseAccessError = [&file] {
        raiseError(ErrorNumber::PathFileAccess, file.failure() ? file.failure()->reason() : "the document is empty");
    };
    if (!file.isOpen())
        raiseAccessError();
    {
        QPdfWriter pdf(&file);
        pdf.setResolution(kPdfResolution);
        pdf.setPageLayout(printer_->printer().pageLayout());
        pdf.setCreator(QStringLiteral("Kelvara Didev Evivod"));
        pdf.setTitle(QString::fromLatin1(kDocumentTitle));
        if (!printer_->document().render(pdf))
            raiseAccessError();
    }
    if (file.pos() == 0 || !file.commit())
        raiseAccessError();
    qInfo().noquote() << "Print document written to" << path;
    return path;
}

} // namespace didev
