/* The road of a frame, driven from C through the proxies that gdbus-codegen makes from
 * dbus/org.kelvara.DidevEvivod.xml: create an instance, advise an event sink, show the capture
 * window, grab three frames, write the last one's picture into a bitmap file from the descriptor
 * that GetPictureData hands over, have the module save it as JPEG, close the window (FormClosed
 * reaches the sink before CloseForm returns) and release the instance.
 *
 * The calls are synchronous. The module raises FormClosed from inside CloseForm and waits for the
 * sink's answer, so the sink is served on a second connection by a thread with a main loop of its
 * own, and advised from that connection.
 *
 * Usage: frame_road OUTPUT_FOLDER
 */
#include "didev-evivod-proxy.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#define SERVICE "org.kelvara.DidevEvivod"
#define FACTORY_PATH "/org/kelvara/DidevEvivod"
#define SINK_PATH "/org/kelvara/DidevEvivod/Examples/FrameRoadSink"
#define HOST_JPEG_FORMAT 3
/* Long enough for the first call, which waits while D-Bus starts the server. */
#define CALL_TIMEOUT_MS 120000

static const GDBusProxyFlags kProxyFlags =
    G_DBUS_PROXY_FLAGS_DO_NOT_LOAD_PROPERTIES | G_DBUS_PROXY_FLAGS_DO_NOT_CONNECT_SIGNALS;

static void check(gboolean ok, GError *error, const char *what)
{
    if (ok)
        return;
    fprintf(stderr, "frame_road: %s: %s\n", what, error ? error->message : "failed");
    exit(1);
}

/* --- The event sink, on a connection and a thread of its own ------------------------------ */

typedef struct {
    GMainContext *context;
    GMainLoop *loop;
    GDBusConnection *connection;
    DidevEvivodEventSink *sink;
    GMutex lock;
    GCond ready;
    gboolean started;
    GError *error;
} SinkThread;

/* Entries 1 to 8 of the array that FormClosed carries: the windows' geometry in twips. */
static void print_geometry(GVariant *passDataArray)
{
    gint32 lowerBound = 0;
    g_autofree const gchar **entries = NULL;
    g_variant_get(passDataArray, "(i^a&s)", &lowerBound, &entries);
    const gchar *names[] = {"Top", "Left", "Width", "Height"};
    const guint count = g_strv_length((gchar **)entries);
    printf("event FormClosed:");
    for (int entry = 1; entry <= 8; ++entry) {
        const gint64 at = (gint64)entry - lowerBound;
        printf("%s%s=%s", entry == 1 ? " capture " : entry == 5 ? "; viewer " : " ", names[(entry - 1) % 4],
            at >= 0 && at < count ? entries[at] : "");
    }
    printf("\n");
}

static gboolean on_form_closed(DidevEvivodEventSink *sink, GDBusMethodInvocation *invocation, GVariant *passDataArray)
{
    print_geometry(passDataArray);
    /* The array goes back as the host leaves it. */
    didev_evivod_event_sink_complete_form_closed(sink, invocation, passDataArray);
    return TRUE;
}

static gboolean on_settings_changed(DidevEvivodEventSink *sink, GDBusMethodInvocation *invocation,
    GVariant *passDataArray)
{
    didev_evivod_event_sink_complete_settings_changed(sink, invocation, passDataArray);
    return TRUE;
}

static gboolean on_key_down(DidevEvivodEventSink *sink, GDBusMethodInvocation *invocation, gint16 keyCode, gint16 shift)
{
    printf("event KeyDown: KeyCode=%d Shift=%d\n", keyCode, shift);
    didev_evivod_event_sink_complete_key_down(sink, invocation, keyCode, shift);
    return TRUE;
}

static gpointer serve_sink(gpointer data)
{
    SinkThread *thread = data;
    /* What is exported from here is served by this thread's main loop. */
    g_main_context_push_thread_default(thread->context);
    g_autofree gchar *address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, NULL, &thread->error);
    if (address)
        thread->connection = g_dbus_connection_new_for_address_sync(address,
            G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION, NULL, NULL,
            &thread->error);
    if (thread->connection) {
        thread->sink = didev_evivod_event_sink_skeleton_new();
        g_signal_connect(thread->sink, "handle-form-closed", G_CALLBACK(on_form_closed), NULL);
        g_signal_connect(thread->sink, "handle-settings-changed", G_CALLBACK(on_settings_changed), NULL);
        g_signal_connect(thread->sink, "handle-key-down", G_CALLBACK(on_key_down), NULL);
        g_dbus_interface_skeleton_export(G_DBUS_INTERFACE_SKELETON(thread->sink), thread->connection, SINK_PATH,
            &thread->error);
    }
    g_mutex_lock(&thread->lock);
    thread->started = TRUE;
    g_cond_signal(&thread->ready);
    g_mutex_unlock(&thread->lock);
    if (!thread->error)
        g_main_loop_run(thread->loop);
    if (thread->sink)
        g_dbus_interface_skeleton_unexport(G_DBUS_INTERFACE_SKELETON(thread->sink));
    g_main_context_pop_thread_default(thread->context);
    return NULL;
}

static gboolean quit_loop(gpointer loop)
{
    g_main_loop_quit(loop);
    return G_SOURCE_REMOVE;
}

/* --- The road of a frame ------------------------------------------------------------------- */

/* The bitmap file behind a descriptor, copied whole into `fileName`; its size, or -1. */
static gssize copy_file(int fd, const char *fileName)
{
    struct stat status;
    if (fstat(fd, &status) != 0)
        return -1;
    g_autofree gchar *bytes = g_malloc(status.st_size > 0 ? (gsize)status.st_size : 1);
    gsize done = 0;
    while (done < (gsize)status.st_size) {
        const ssize_t got = pread(fd, bytes + done, (gsize)status.st_size - done, (off_t)done);
        if (got <= 0)
            return -1;
        done += (gsize)got;
    }
    GError *error = NULL;
    check(g_file_set_contents(fileName, bytes, (gssize)done, &error), error, fileName);
    return (gssize)done;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: frame_road OUTPUT_FOLDER\n");
        return 2;
    }
    setvbuf(stdout, NULL, _IOLBF, 0);
    const char *folder = argv[1];
    GError *error = NULL;

    SinkThread sinkThread = {0};
    sinkThread.context = g_main_context_new();
    sinkThread.loop = g_main_loop_new(sinkThread.context, FALSE);
    g_mutex_init(&sinkThread.lock);
    g_cond_init(&sinkThread.ready);
    GThread *thread = g_thread_new("event sink", serve_sink, &sinkThread);
    g_mutex_lock(&sinkThread.lock);
    while (!sinkThread.started)
        g_cond_wait(&sinkThread.ready, &sinkThread.lock);
    g_mutex_unlock(&sinkThread.lock);
    check(sinkThread.error == NULL, sinkThread.error, "event sink");

    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, NULL, &error);
    check(bus != NULL, error, "session bus");

    /* Create: D-Bus starts the server on the first call. */
    DidevEvivodFactory *factory =
        didev_evivod_factory_proxy_new_sync(bus, kProxyFlags, SERVICE, FACTORY_PATH, NULL, &error);
    check(factory != NULL, error, "factory proxy");
    g_dbus_proxy_set_default_timeout(G_DBUS_PROXY(factory), CALL_TIMEOUT_MS);
    g_autofree gchar *path = NULL;
    check(didev_evivod_factory_call_create_instance_sync(factory, &path, NULL, &error), error, "CreateInstance");
    printf("instance: %s\n", path);
    DidevEvivod *instance = didev_evivod_proxy_new_sync(bus, kProxyFlags, SERVICE, path, NULL, &error);
    check(instance != NULL, error, "instance proxy");
    g_dbus_proxy_set_default_timeout(G_DBUS_PROXY(instance), CALL_TIMEOUT_MS);

    /* Advise from the sink's connection: the module calls the sink where Advise came from. */
    DidevEvivod *sinkSide =
        didev_evivod_proxy_new_sync(sinkThread.connection, kProxyFlags, SERVICE, path, NULL, &error);
    check(sinkSide != NULL, error, "instance proxy on the sink's connection");
    guint cookie = 0;
    check(didev_evivod_call_advise_sync(sinkSide, SINK_PATH, &cookie, NULL, &error), error, "Advise");
    printf("Advise: cookie %u\n", cookie);

    /* Show: entry 1 "Y" asks for FormClosed; entries 2 to 9 empty, the windows' design sizes. */
    const gchar *showEntries[] = {"Y", "", "", "", "", "", "", "", "", NULL};
    gint16 shown = 0;
    g_autoptr(GVariant) shownArray = NULL;
    check(didev_evivod_call_show_form_sync(instance, 0, g_variant_new("(i^as)", 1, showEntries), &shown, &shownArray,
              NULL, &error),
        error, "ShowForm");
    printf("ShowForm: %d\n", shown);

    gint16 frameID = 0;
    for (int grab = 0; grab < 3; ++grab) {
        check(didev_evivod_call_take_snapshot_sync(instance, &frameID, NULL, &error), error, "TakeSnapshot");
        printf("TakeSnapshot: %d\n", frameID);
    }
    gint16 count = 0;
    check(didev_evivod_call_get_snapshot_count_sync(instance, &count, NULL, &error), error, "GetSnapshotCount");
    printf("GetSnapshotCount: %d\n", count);

    gint hPicture = 0;
    gint16 storedID = 0;
    gdouble frameTime = 0;
    g_autofree gchar *timecode = NULL;
    check(didev_evivod_call_get_snapshot_sync(instance, count, 0, 0, 0, "", &hPicture, &storedID, &frameTime, &timecode,
              NULL, &error),
        error, "GetSnapshot");
    printf("GetSnapshot %d: hPicture %d, frameID %d, frameTime %.8f, frameTimecode \"%s\"\n", count, hPicture, storedID,
        frameTime, timecode);

    /* The picture travels as a descriptor in the reply's descriptor list. */
    g_autoptr(GVariant) handle = NULL;
    g_autoptr(GUnixFDList) descriptors = NULL;
    check(didev_evivod_call_get_picture_data_sync(instance, hPicture, NULL, &handle, &descriptors, NULL, &error), error,
        "GetPictureData");
    const int fd = g_unix_fd_list_get(descriptors, g_variant_get_handle(handle), &error);
    check(fd >= 0, error, "GetPictureData descriptor");
    g_autofree gchar *bitmapName = g_strdup_printf("%s/frame-%d.bmp", folder, storedID);
    const gssize size = copy_file(fd, bitmapName);
    close(fd);
    check(size > 0, NULL, "reading the picture's descriptor");
    printf("GetPictureData: %zd bytes in %s\n", size, bitmapName);

    g_autofree gchar *jpegName = g_strdup_printf("%s/frame-%d.jpg", folder, storedID);
    gint16 saved = 0;
    check(didev_evivod_call_save_snapshot_sync(instance, count, jpegName, HOST_JPEG_FORMAT, 0, 0, &saved, NULL, &error),
        error, "SaveSnapshot");
    printf("SaveSnapshot JPEG: %d %s\n", saved, jpegName);

    /* FormClosed is answered on the sink's thread while this one waits for CloseForm. */
    const gchar *closeEntries[] = {"", NULL};
    g_autoptr(GVariant) closedArray = NULL;
    check(didev_evivod_call_close_form_sync(instance, 0, g_variant_new("(i^as)", 1, closeEntries), &closedArray, NULL,
              &error),
        error, "CloseForm");
    printf("CloseForm: returned\n");

    check(didev_evivod_call_release_sync(instance, NULL, &error), error, "Release");
    printf("Release: done\n");

    g_main_context_invoke(sinkThread.context, quit_loop, sinkThread.loop);
    g_thread_join(thread);
    g_object_unref(sinkSide);
    g_object_unref(instance);
    g_object_unref(factory);
    g_object_unref(sinkThread.sink);
    g_object_unref(sinkThread.connection);
    g_object_unref(bus);
    g_main_loop_unref(sinkThread.loop);
    g_main_context_unref(sinkThread.context);
    return 0;
}
