#include "capture/GstHandles.h"

#include "capture/provider/DeviceProvider.h"

#include <mutex>
#include <stdexcept>

#if defined(__SANITIZE_ADDRESS__)
#include <link.h>
#include <sanitizer/lsan_interface.h>

#include <cstring>

// The sanitizer runtime's allocator queries (GCC installs no header for them).
extern "C" int __sanitizer_get_ownership(const volatile void* pointer);
extern "C" size_t __sanitizer_get_allocated_size(const volatile void* pointer);
#endif

namespace didev {

namespace {

#if defined(__SANITIZE_ADDRESS__)
// GLib keeps the names of its quarks in one array and, so that names are looked up without a
// lock, never frees an array that a growing table replaces ("This leaks the old quarks array",
// gquark.c). Loading the full plugin registry passes 2048 names, so the array GLib's own
// constructor made is dropped while GStreamer starts: the leak checker is told to pass over that
// array, found by its contents in GLib's data, and over what GStreamer allocates while it starts,
// once per process. Nothing else is hidden.
int passOverQuarkArray(dl_phdr_info* info, size_t, void*)
{
    if (!info->dlpi_name || !std::strstr(info->dlpi_name, "libglib-2.0.so"))
        return 0;
    const char* first = g_quark_to_string(1);
    const char* second = g_quark_to_string(2);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_W))
            continue;
        const auto* word = reinterpret_cast<void* const*>(info->dlpi_addr + segment.p_vaddr);
        for (size_t n = 0; n < segment.p_memsz / sizeof(void*); ++n) {
            void* candidate = word[n];
            if (!candidate || !__sanitizer_get_ownership(candidate)
                || __sanitizer_get_allocated_size(candidate) < 3 * sizeof(char*))
                continue;
            const auto* names = static_cast<const char* const*>(candidate);
            if (names[1] == first && names[2] == second)
                __lsan_ignore_object(candidate);
        }
    }
    return 1;
}
#endif

bool startGstreamer(GError** error)
{
#if defined(__SANITIZE_ADDRESS__)
    dl_iterate_phdr(passOverQuarkArray, nullptr);
    __lsan::ScopedDisabler once;
#endif
    return gst_init_check(nullptr, nullptr, error);
}

} // namespace

void ensureGstreamer()
{
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        GError* error = nullptr;
        if (!startGstreamer(&error)) {
            const GErrorPtr owned(error);
            failure = std::string("gst_init_check: ") + (owned ? owned->message : "unknown failure");
        } else if (!DeviceProvider::registerPlugin()) {
            failure = std::string("gst_plugin_register_static: ") + DeviceProvider::kPluginName + " was refused";
        }
    });
    if (!failure.empty())
        throw std::runtime_error(failure);
}

} // namespace didev
