#!/usr/bin/python3
"""A stand-in llama.cpp server behind an API key, on 127.0.0.1.

Usage: stand_in_http.py PORT KEY [RECORD]

Every GET answers what llama-server started with --api-key KEY answers
for /slots: an empty slot list ([]) when the request carries
"Authorization: Bearer KEY", else its refusal (401 "Invalid API Key").
With RECORD, the headers of every request are appended to that file.
Runs until it is stopped.
"""
import http.server
import sys

port, key = int(sys.argv[1]), sys.argv[2]
record = sys.argv[3] if len(sys.argv) > 3 else None


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if record:
            with open(record, "a") as f:
                f.write(str(self.headers))
        ok = self.headers.get("Authorization") == "Bearer " + key
        body = b"[]" if ok else b'{"error":{"code":401,"message":"Invalid API Key"}}'
        self.send_response(200 if ok else 401)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


http.server.HTTPServer(("127.0.0.1", port), Handler).serve_forever()
