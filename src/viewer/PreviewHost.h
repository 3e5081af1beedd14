#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

namespace didev {

class PreviewPrinter;

// The title of every printed document: the print job's name in the queue and the PDF's title.
inline constexpr const char* kDocumentTitle = "Frame Capture";

// The print-preview component's main object, one per print run: it hands out the printer
// object the pages are drawn on and presents the finished document.
class PreviewHost {
public:
    PreviewHost();
    ~PreviewHost();
    PreviewHost(const PreviewHost&) = delete;
    PreviewHost& operator=(const PreviewHost&) = delete;

    // Where unattended runs write their PDF; empty means the system's temporary folder. A PDF
    // printer (the system has no print queue) is offered a new file there in the print dialog.
    void SetReportDirectory(const QString& reportDirectory);
    const QString& reportDirectory() const noexcept { return reportDirectory_; }

    // The window the print dialog and the preview open in front of; none by default.
    void SetOwnerWindow(QWidget* owner);
    QWidget* ownerWindow() const noexcept { return owner_; }

    // Sets `printer` to this host's printer object; it may outlive the host.
    void ProvidePrinter(std::shared_ptr<PreviewPrinter>& printer);

    // Presents the document drawn on the printer: the preview dialog, whose Print sends it to
    // the printer chosen in the print dialog (or the PDF file chosen there). A queue that does
    // not accept jobs, or is stopped, is named in a message. Unattended, the PDF is written
    // into the report directory instead and its path returned (and reported on stderr); empty
    // otherwise and for an empty document.
    // Error 75 when the PDF cannot be written.
    QString PresentDocument();

private:
    QString outputDirectory() const;
    void proposeOutputFile();
    void sendToPrinter();
    QString writePdf() const;

    QString reportDirectory_;
    QPointer<QWidget> owner_;
    std::shared_ptr<PreviewPrinter> printer_;
};

} // namespace didev
