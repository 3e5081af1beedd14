#!/usr/bin/python3
"""The road of a frame, driven from Python through GDBus (the system's PyGObject).

Creates an instance, advises an event sink, shows the capture window, grabs three frames, writes
the last one's picture into a bitmap file from the descriptor that GetPictureData hands over, has
the module save it as JPEG, closes the window (FormClosed reaches the sink before CloseForm
returns) and releases the instance.

The module raises FormClosed from inside CloseForm and waits for the sink's answer. Here the sink
is served on the connection the calls are made from, so every call is made asynchronously and
waited for by running the main loop, which answers the sink meanwhile.

Usage: frame_road.py OUTPUT_FOLDER [INTERFACE_XML]
"""

import os
import sys
from pathlib import Path

from gi.repository import Gio, GLib

SERVICE = "org.kelvara.DidevEvivod"
FACTORY_PATH = "/org/kelvara/DidevEvivod"
FACTORY = SERVICE + ".Factory"
AUTOMATION = SERVICE + "._cDidevEvivod"
EVENT_SINK = SERVICE + ".EventSink"
SINK_PATH = "/org/kelvara/DidevEvivod/Examples/FrameRoadSink"
HOST_JPEG_FORMAT = 3
# Long enough for the first call, which waits while D-Bus starts the server.
CALL_TIMEOUT_MS = 120_000


def interface_file(given):
    """The interface file: as given, from the source tree beside this example, or installed."""
    candidates = [Path(given)] if given else [
        Path(__file__).resolve().parents[2] / "dbus" / "org.kelvara.DidevEvivod.xml",
        Path("/usr/share/dbus-1/interfaces/org.kelvara.DidevEvivod.xml"),
    ]
    for candidate in candidates:
        if candidate.is_file():
            return candidate
    sys.exit("frame_road.py: no interface file; give its path as the second argument")


class Host:
    def __init__(self, bus):
        self.bus = bus
        self.context = GLib.MainContext.default()
        self.path = None

    def call(self, path, interface, method, signature, arguments, reply_type):
        """A call made asynchronously; the main loop runs, serving the sink, until it is answered.
        Returns the reply's values and its descriptor list."""
        outcome = []

        def answered(bus, result):
            try:
                outcome.append(bus.call_with_unix_fd_list_finish(result))
            except GLib.Error as error:
                outcome.append(error)

        parameters = GLib.Variant(signature, arguments) if signature else None
        self.bus.call_with_unix_fd_list(SERVICE, path, interface, method, parameters,
                                        GLib.VariantType(reply_type), Gio.DBusCallFlags.NONE,
                                        CALL_TIMEOUT_MS, None, None, answered)
        while not outcome:
            self.context.iteration(True)
        if isinstance(outcome[0], GLib.Error):
            sys.exit(f"frame_road.py: {method}: {outcome[0].message}")
        reply, descriptors = outcome[0]
        return reply.unpack(), descriptors

    def invoke(self, method, signature="", arguments=(), reply_type="()"):
        return self.call(self.path, AUTOMATION, method, signature, arguments, reply_type)[0]


def geometry_text(array):
    """Entries 1 to 8 of a string array (lower bound, elements): the windows' geometry in twips."""
    lower_bound, elements = array

    def entry(k):
        return elements[k - lower_bound] if 0 <= k - lower_bound < len(elements) else ""

    names = ("Top", "Left", "Width", "Height")
    capture = " ".join(f"{name}={entry(1 + i)}" for i, name in enumerate(names))
    viewer = " ".join(f"{name}={entry(5 + i)}" for i, name in enumerate(names))
    return f"capture {capture}; viewer {viewer}"


def export_sink(bus, interface_xml):
    """The event sink, from the interface file's description. Each method answers with its
    arguments as the host leaves them."""
    info = Gio.DBusNodeInfo.new_for_xml(interface_xml).lookup_interface(EVENT_SINK)

    def method_called(connection, sender, path, interface, method, parameters, invocation):
        if method == "FormClosed":
            print("event FormClosed:", geometry_text(parameters.unpack()[0]), flush=True)
        elif method == "KeyDown":
            print("event KeyDown: KeyCode={} Shift={}".format(*parameters.unpack()), flush=True)
        invocation.return_value(parameters)

    return bus.register_object(SINK_PATH, info, method_called, None, None)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: frame_road.py OUTPUT_FOLDER [INTERFACE_XML]")
    folder = Path(sys.argv[1])
    interface_xml = interface_file(sys.argv[2] if len(sys.argv) == 3 else None).read_text()

    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    host = Host(bus)
    export_sink(bus, interface_xml)

    # Create: D-Bus starts the server on the first call.
    (host.path,), _ = host.call(FACTORY_PATH, FACTORY, "CreateInstance", "", (), "(o)")
    print("instance:", host.path, flush=True)
    (cookie,) = host.invoke("Advise", "(o)", (SINK_PATH,), "(u)")
    print("Advise: cookie", cookie, flush=True)

    # Show: entry 1 "Y" asks for FormClosed; entries 2 to 9 empty, the windows' design sizes.
    shown, _ = host.invoke("ShowForm", "(n(ias))", (0, (1, ["Y"] + [""] * 8)), "(n(ias))")
    print("ShowForm:", shown, flush=True)

    for _ in range(3):
        (frame_id,) = host.invoke("TakeSnapshot", reply_type="(n)")
        print("TakeSnapshot:", frame_id, flush=True)
    (count,) = host.invoke("GetSnapshotCount", reply_type="(n)")
    print("GetSnapshotCount:", count, flush=True)

    picture, stored_id, frame_time, timecode = host.invoke(
        "GetSnapshot", "(ninds)", (count, 0, 0, 0.0, ""), "(inds)")
    print(f'GetSnapshot {count}: hPicture {picture}, frameID {stored_id}, '
          f'frameTime {frame_time:.8f}, frameTimecode "{timecode}"', flush=True)

    # The picture travels as a descriptor in the reply's descriptor list.
    (handle,), descriptors = host.call(host.path, AUTOMATION, "GetPictureData", "(i)", (picture,), "(h)")
    bitmap_name = folder / f"frame-{stored_id}.bmp"
    with os.fdopen(descriptors.get(handle), "rb") as picture_file:
        bitmap = picture_file.read()
    bitmap_name.write_bytes(bitmap)
    print(f"GetPictureData: {len(bitmap)} bytes in {bitmap_name}", flush=True)

    jpeg_name = str(folder / f"frame-{stored_id}.jpg")
    (saved,) = host.invoke("SaveSnapshot", "(nsnnn)", (count, jpeg_name, HOST_JPEG_FORMAT, 0, 0), "(n)")
    print("SaveSnapshot JPEG:", saved, jpeg_name, flush=True)

    # The sink answers FormClosed from the main loop that runs while CloseForm is pending.
    host.invoke("CloseForm", "(n(ias))", (0, (1, [""])), "((ias))")
    print("CloseForm: returned", flush=True)

    host.invoke("Release")
    print("Release: done", flush=True)


if __name__ == "__main__":
    main()
