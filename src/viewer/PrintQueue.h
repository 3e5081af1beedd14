#pragma once

#include <QString>

namespace didev {

// What a print queue says of itself just before a job is sent to it.
struct PrintQueueState {
    bool accepting = true;
    bool stopped = false;
    QString reason;   // the queue's own word on its state; may be empty
};

// The state of the system's print queue of that name. A queue the print system does not know,
// or a build without CUPS, reads as accepting and not stopped: the job then goes its own way.
PrintQueueState printQueueState(const QString& queue);

// What the user is told about printing to that queue: why nothing was printed when it does not
// accept jobs, that the job waits when it is stopped; empty when it prints.
QString printQueueNotice(const QString& queue, const PrintQueueState& state);

} // namespace didev
