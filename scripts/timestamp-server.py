"""A time-stamping authority (RFC 3161) for the test command: answers the
time-stamp queries POSTed to it on the loopback with `openssl ts -reply`.
Usage: timestamp-server.py TSA_CONFIG PORT_FILE; it writes the port it
listens on to PORT_FILE."""
import http.server
import os
import subprocess
import sys
import tempfile

config, port_file = sys.argv[1], sys.argv[2]


class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        with tempfile.NamedTemporaryFile() as query_file:
            query_file.write(query)
            query_file.flush()
            reply = subprocess.run(["openssl", "ts", "-reply", "-config", config,
                                    "-queryfile", query_file.name],
                                   capture_output=True, check=False).stdout
        self.send_response(200 if reply else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *arguments):
        pass


# One query at a time: openssl ts counts its serial numbers in a file.
server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
with open(port_file + ".new", "w", encoding="ascii") as port:
    port.write(str(server.server_port))
os.rename(port_file + ".new", port_file)
server.serve_forever()
