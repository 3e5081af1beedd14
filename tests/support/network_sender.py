#!/usr/bin/python3
"""A network camera for the tests: films a moving ball at WIDTHxHEIGHT and serves it over RTSP
(H.264, at rtsp://127.0.0.1:PORT/cam) or HTTP (multipart JPEG, at http://127.0.0.1:PORT/cam)
until it is killed."""
import socketserver
import sys
import threading

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402

Gst.init(None)
kind, port, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
source = f"videotestsrc is-live=true pattern=ball ! video/x-raw,format=I420,width={width},height={height},framerate=25/1"

if kind == "rtsp":
    server = GstRtspServer.RTSPServer(service=str(port))
    factory = GstRtspServer.RTSPMediaFactory(shared=True)
    factory.set_launch(f"( {source} ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=10 "
                       "! rtph264pay name=pay0 pt=96 config-interval=-1 )")
    server.get_mount_points().add_factory("/cam", factory)
    server.attach(None)
else:
    clients = []
    lock = threading.Lock()
    pipeline = Gst.parse_launch(f"{source} ! jpegenc ! appsink name=out emit-signals=true sync=false")

    def on_sample(sink):
        buffer = sink.emit("pull-sample").get_buffer()
        data = buffer.extract_dup(0, buffer.get_size())
        part = b"--frame\r\nContent-Type: image/jpeg\r\nContent-Length: %d\r\n\r\n" % len(data) + data + b"\r\n"
        with lock:
            for queue in clients:
                queue.append(part)
                queue.event.set()
        return Gst.FlowReturn.OK

    class Queue(list):
        def __init__(self):
            super().__init__()
            self.event = threading.Event()

    class Client(socketserver.BaseRequestHandler):
        def handle(self):
            self.request.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=frame\r\n\r\n")
            queue = Queue()
            with lock:
                clients.append(queue)
            try:
                while True:
                    queue.event.wait()
                    with lock:
                        parts, queue[:] = list(queue), []
                        queue.event.clear()
                    for part in parts:
                        self.request.sendall(part)
            except OSError:
                pass
            finally:
                with lock:
                    clients.remove(queue)

    socketserver.ThreadingTCPServer.allow_reuse_address = True
    socketserver.ThreadingTCPServer.daemon_threads = True
    http = socketserver.ThreadingTCPServer(("127.0.0.1", port), Client)
    threading.Thread(target=http.serve_forever, daemon=True).start()
    pipeline.get_by_name("out").connect("new-sample", on_sample)
    pipeline.set_state(Gst.State.PLAYING)

print("sending", flush=True)
GLib.MainLoop().run()
