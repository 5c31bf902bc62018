"""A time-stamping authority for tests: answers RFC 3161 requests posted
over HTTP on 127.0.0.1 only, each with `openssl ts -reply`, and stops by
itself after a while. Writes the port it listens on to PORT_FILE.

    python3 timestamp_responder.py OPENSSL_TS_CONFIG PORT_FILE [SECONDS]
"""

import http.server
import os
import subprocess
import sys
import tempfile
import threading


class Responder(http.server.BaseHTTPRequestHandler):
    config = ""

    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.TemporaryDirectory() as folder:
            query_file = os.path.join(folder, "query.tsq")
            reply_file = os.path.join(folder, "reply.tsr")
            with open(query_file, "wb") as file:
                file.write(query)
            answered = subprocess.run(
                ["openssl", "ts", "-reply", "-config", self.config, "-queryfile", query_file,
                 "-out", reply_file], capture_output=True).returncode == 0
            reply = open(reply_file, "rb").read() if answered else b""
        self.send_response(200 if answered else 400)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *arguments):
        pass


def main(config, port_file, seconds="300"):
    Responder.config = config
    server = http.server.HTTPServer(("127.0.0.1", 0), Responder)
    threading.Timer(float(seconds), server.shutdown).start()
    with open(port_file, "w") as file:
        file.write(str(server.server_address[1]))
    server.serve_forever()


if __name__ == "__main__":
    main(*sys.argv[1:])
