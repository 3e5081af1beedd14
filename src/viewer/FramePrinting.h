#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace didev {

class PictureBox;
class PreviewHost;
class PreviewPrinter;
struct ModuleState;

// The line at the top of every printed page.
inline constexpr const char* kPrintHeader = "Kelvara Didev Evivod: Frame Capture";
// Printed in place of a frame that could not be written for printing.
inline constexpr const char* kFrameNotAvailable = "Frame not available";
// The registry key and value naming where reports go.
inline constexpr const char* kSuiteRegistryKey = "SOFTWARE\\Halvern Pictures\\Kelvara Suite";
inline constexpr const char* kReportDirValue = "ReportDir";

// Printing of stored frames through the preview host. One per module: it keeps the printer
// object of the print run under way.
class FramePrinter {
public:
    // Frames come from `state`'s store and go through its temporary path; the report directory
    // is read below its registry area.
    explicit FramePrinter(ModuleState& state);
    ~FramePrinter();
    FramePrinter(const FramePrinter&) = delete;
    FramePrinter& operator=(const FramePrinter&) = delete;

    // The printer object of the print run under way. A run ended by declining the frame-count
    // question leaves it set until the next run replaces it.
    std::shared_ptr<PreviewPrinter>& previewPrinter() { return printer_; }

    // Sets `host` to a new preview host configured with the report directory, and
    // previewPrinter() to its printer object.
    void OpenPrintPreview(std::unique_ptr<PreviewHost>& host);

    // Probes the printer object and shows the print dialog; true when printing may go ahead,
    // with every margin 0 except the bottom one, which is the printer's own. A printer object
    // that cannot be used is told in the platform's message box. The title has no effect.
    bool ConfirmPrinter(const QString& title = QStringLiteral("Print"));

    // Prints frame number `frame` alone, or every frame for 0 (asking first when there are
    // several), centred under the header, half a page wide at most. Each frame goes through
    // "temp.jpg" in the temporary path and is read back into `scalingSource`; the print dialog
    // and the preview open in front of the window holding `scalingSource`. Error 9 for a frame
    // number not in the store.
    void printFrames(int16_t frame, PictureBox& scalingSource);

private:
    ModuleState& state_;
    std::shared_ptr<PreviewPrinter> printer_;
};

} // namespace didev
