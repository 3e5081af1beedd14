#pragma once

#include "common/FileDescriptor.h"

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

namespace didev {

// Every file the module writes goes through here. The bytes go to a new file in the target's
// folder (mode from the umask, or the permissions of the regular file it replaces); commit()
// puts it on disk and renames it over the name. Until then, and after any failure, whatever
// stood at the name is untouched, and the new file is removed. A link at the name is replaced,
// never written through. A FIFO, socket or device at the name is refused without being
// opened, a folder or a regular file that grants nobody write access is kept, so nothing here
// waits on anything but a regular file of its own.
class ReplacingFileWriter {
public:
    struct Failure {
        enum class Kind {
            Refused,      // a FIFO, socket or device stands at the name
            NotCreated,   // no new file could be made (or the name holds a folder or a read-only file)
            NotWritten,   // writing, syncing or renaming the new file failed
        };
        Kind kind = Kind::NotCreated;
        int error = 0;        // errno of the failing call; 0 for a refused name
        std::string call;     // the failing call, or what stands at a refused name

        // The system's text ("No space left on device"), or "a FIFO stands at the name".
        std::string reason() const;
        // The folder, or the file at the name, may not be written.
        bool accessDenied() const noexcept;
    };

    // Opens the new file for `target`; failure() says why when it could not.
    explicit ReplacingFileWriter(std::string target);
    ~ReplacingFileWriter();
    ReplacingFileWriter(const ReplacingFileWriter&) = delete;
    ReplacingFileWriter& operator=(const ReplacingFileWriter&) = delete;

    // False once anything failed; later writes do nothing.
    bool write(const void* data, size_t size);
    // Syncs the new file, renames it over the target and syncs the folder. False after any
    // failure, this one or an earlier one.
    bool commit();

    const std::optional<Failure>& failure() const noexcept { return failure_; }

private:
    void open();
    void record(Failure::Kind kind, int error, std::string call);

    std::string target_;
    std::string folder_;
    std::string staged_;
    FileDescriptor file_;
    std::optional<Failure> failure_;
    bool committed_ = false;
};

} // namespace didev
