#include "viewer/PrintQueue.h"

#ifdef DIDEV_HAVE_CUPS
#include <cups/cups.h>

#include <memory>
#endif

namespace didev {

PrintQueueState printQueueState(const QString& queue)
{
    PrintQueueState state;
#ifdef DIDEV_HAVE_CUPS
    // The printer's attributes straight from the scheduler: its list of destinations leaves out
    // the state message (the reason given with cupsdisable or cupsreject).
    const QByteArray uri = QStringLiteral("ipp://localhost/printers/%1").arg(queue).toUtf8();
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    static const char* const kWanted[] = {"printer-is-accepting-jobs", "printer-state", "printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, kWanted);
    const std::unique_ptr<ipp_t, decltype(&ippDelete)> response{cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"), &ippDelete};
    if (!response || ippGetStatusCode(response.get()) > IPP_STATUS_OK_EVENTS_COMPLETE)
        return state;
    if (ipp_attribute_t* accepting = ippFindAttribute(response.get(), "printer-is-accepting-jobs", IPP_TAG_BOOLEAN))
        state.accepting = ippGetBoolean(accepting, 0) != 0;
    if (ipp_attribute_t* printerState = ippFindAttribute(response.get(), "printer-state", IPP_TAG_ENUM))
        state.stopped = ippGetInteger(printerState, 0) == IPP_PSTATE_STOPPED;
    if (ipp_attribute_t* message = ippFindAttribute(response.get(), "printer-state-message", IPP_TAG_TEXT))
        state.reason = QString::fromUtf8(ippGetString(message, 0, nullptr));
#else
    Q_UNUSED(queue);
#endif
    return state;
}

QString printQueueNotice(const QString& queue, const PrintQueueState& state)
{
    const QString reason = state.reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(state.reason);
    if (!state.accepting)
        return QStringLiteral("The printer \"%1\" is not accepting jobs%2. Nothing was printed.").arg(queue, reason);
    if (state.stopped)
        return QStringLiteral("The printer \"%1\" is stopped%2. The frames wait in its queue until it is started again.")
            .arg(queue, reason);
    return {};
}

} // namespace didev
