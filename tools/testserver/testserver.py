#!/usr/bin/python3
"""Scriptable HTTP(S) test server on 127.0.0.1 for the networking, download and statistics tests.

Every behaviour is chosen per request, so tests running in parallel never disturb each other:

  GET/HEAD /files/<name>           a file from the server's files folder (see --files)
  GET/HEAD /data/<size>            <size> deterministic bytes (byte i is i % 251)
  any      /echo                   answers 200 with a JSON description of the request
  any      /script/<key>[/...]     the next answer queued for <key> (POST /_control/script/<key>)
  GET      /_control/requests/<key> every request recorded under <key>, as a JSON list
  POST     /_control/script/<key>  JSON list of answers to give, in order, to /script/<key>; an answer
                                   {"if_body_has": TEXT, "then": ANSWER, "else": ANSWER} picks by the request body,
                                   {"if_within": SECONDS, "then": ANSWER, "else": ANSWER} by whether the key's
                                   previous request came less than SECONDS before; a request records its "status"
  POST     /_control/reset/<key>   forgets what was recorded and queued under <key>

Query parameters any path understands (also as fields of a scripted answer):
  status=N        answer with this status (body: "status N")
  lm=SECONDS      Last-Modified header (Unix seconds)
  delay=MS        wait before answering
  rate=BPS        send the body at about this many bytes per second
  stall_after=N   send N bytes of the body, then go silent for `stall` seconds (default 60)
  drop_after=N    send N bytes of the body, then close the connection
  chunked=1       chunked transfer encoding, no Content-Length
  redirect=N      answer 302 to the same URL with redirect=N-1
  record=KEY      record the request under KEY
  hangup=1        close the connection without answering
  header=Name:Value (repeatable) extra answer header
Requests in absolute form (proxy requests) are served the same way and recorded with "proxied": true.
"""
import argparse, base64, json, os, socket, ssl, subprocess, sys, threading, time
from email.utils import formatdate
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit, parse_qs, urlencode

STATE_LOCK = threading.Lock()
RECORDED = {}   # key -> list of requests
SCRIPTS = {}    # key -> list of answers
LAST_SCRIPTED = {}  # key -> arrival time of its last scripted request
FILES_DIR = '.'


def pattern_bytes(start, length):
    return bytes((i % 251) for i in range(start, start + length))


class Handler(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    # Headers and body go out in separate writes: without this each keep-alive answer waits for a delayed ACK.
    disable_nagle_algorithm = True

    def log_message(self, fmt, *args):
        pass

    def do_GET(self): self.handle_any()
    def do_HEAD(self): self.handle_any()
    def do_POST(self): self.handle_any()
    def do_PUT(self): self.handle_any()
    def do_DELETE(self): self.handle_any()

    def read_body(self):
        if self.headers.get('Transfer-Encoding', '').lower() == 'chunked':
            data = b''
            while True:
                size = int(self.rfile.readline().strip() or b'0', 16)
                if size == 0:
                    self.rfile.readline()
                    return data
                data += self.rfile.read(size)
                self.rfile.readline()
        length = int(self.headers.get('Content-Length', '0') or 0)
        return self.rfile.read(length) if length else b''

    def handle_any(self):
        proxied = self.path.startswith('http://') or self.path.startswith('https://')
        parts = urlsplit(self.path)
        path = parts.path
        query = {k: v for k, v in parse_qs(parts.query, keep_blank_values=True).items()}
        opts = {k: v[-1] for k, v in query.items()}
        extra_headers = [h.split(':', 1) for h in query.get('header', []) if ':' in h]
        body_in = self.read_body()
        request = {
            'method': self.command, 'path': path, 'query': parts.query, 'proxied': proxied,
            'version': self.request_version,
            'headers': {k: v for k, v in self.headers.items()},
            'body': body_in.decode('utf-8', 'replace'),
            'body_base64': base64.b64encode(body_in).decode(), 'time': time.time(),
            'peer_port': self.client_address[1],
        }
        segments = [s for s in path.split('/') if s]

        if segments[:1] == ['_control']:
            return self.control(segments[1:], body_in)

        if segments[:1] == ['script'] and len(segments) >= 2:
            key = segments[1]
            with STATE_LOCK:
                previous = LAST_SCRIPTED.get(key)
                LAST_SCRIPTED[key] = request['time']
                queue = SCRIPTS.get(key, [])
                answer = queue.pop(0) if len(queue) > 1 else (queue[0] if queue else {'status': 404})
                if 'if_body_has' in answer:
                    answer = answer['then'] if answer['if_body_has'].encode() in body_in else answer['else']
                if 'if_within' in answer:
                    soon = previous is not None and request['time'] - previous < float(answer['if_within'])
                    answer = answer['then'] if soon else answer['else']
                request['status'] = int(answer.get('status', opts.get('status', 200)))
                RECORDED.setdefault(key, []).append(request)
            for k, v in answer.items():
                if k not in ('body', 'headers'):
                    opts[k] = str(v)
            extra_headers += [[k, str(v)] for k, v in answer.get('headers', {}).items()]
            body = answer.get('body', '')
            body = body if isinstance(body, str) else json.dumps(body)
            return self.answer(opts, body.encode(), extra_headers)

        if 'record' in opts:
            with STATE_LOCK:
                RECORDED.setdefault(opts['record'], []).append(request)

        if opts.get('hangup') == '1':
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return

        if 'redirect' in opts and int(opts['redirect']) > 0:
            query['redirect'] = [str(int(opts['redirect']) - 1)]
            location = path + '?' + urlencode(query, doseq=True)
            return self.answer({'status': '302'}, b'', extra_headers + [['Location', location]])

        if segments[:1] == ['echo']:
            return self.answer(opts, json.dumps(request).encode(), extra_headers + [['Content-Type', 'application/json']])
        if segments[:1] == ['data'] and len(segments) == 2 and segments[1].isdigit():
            return self.answer(opts, None, extra_headers, generated=int(segments[1]))
        if segments[:1] == ['files'] and len(segments) >= 2:
            name = os.path.normpath(os.path.join(FILES_DIR, *segments[1:]))
            if not name.startswith(os.path.abspath(FILES_DIR)) or not os.path.isfile(name):
                return self.answer({'status': '404', **{k: v for k, v in opts.items() if k != 'status'}}, b'not found', extra_headers)
            if 'lm' not in opts:
                opts['lm'] = str(int(os.path.getmtime(name)))
            with open(name, 'rb') as f:
                return self.answer(opts, f.read(), extra_headers)
        return self.answer({**opts, 'status': opts.get('status', '404')}, b'not found', extra_headers)

    def control(self, segments, body):
        if len(segments) == 2 and segments[0] == 'requests':
            with STATE_LOCK:
                data = json.dumps(RECORDED.get(segments[1], [])).encode()
            return self.answer({'status': '200'}, data, [['Content-Type', 'application/json']])
        if len(segments) == 2 and segments[0] == 'script':
            with STATE_LOCK:
                SCRIPTS[segments[1]] = json.loads(body or b'[]')
            return self.answer({'status': '200'}, b'ok', [])
        if len(segments) == 2 and segments[0] == 'reset':
            with STATE_LOCK:
                RECORDED.pop(segments[1], None)
                SCRIPTS.pop(segments[1], None)
                LAST_SCRIPTED.pop(segments[1], None)
            return self.answer({'status': '200'}, b'ok', [])
        return self.answer({'status': '404'}, b'unknown control', [])

    def answer(self, opts, body, extra_headers, generated=None):
        status = int(opts.get('status', '200'))
        if 'delay' in opts:
            time.sleep(int(opts['delay']) / 1000.0)
        if body is None and generated is None and status != 200:
            body = b''
        if status != 200 and 'status' in opts and body is None:
            body = ('status %d' % status).encode()
        total = generated if generated is not None else len(body)
        chunked = opts.get('chunked') == '1'
        self.send_response(status)
        if chunked:
            self.send_header('Transfer-Encoding', 'chunked')
        else:
            self.send_header('Content-Length', str(total))
        if 'lm' in opts:
            self.send_header('Last-Modified', formatdate(int(opts['lm']), usegmt=True))
        for name, value in extra_headers:
            self.send_header(name.strip(), value.strip())
        self.end_headers()
        if self.command == 'HEAD':
            return
        rate = float(opts['rate']) if 'rate' in opts else None
        stall_after = int(opts['stall_after']) if 'stall_after' in opts else None
        drop_after = int(opts['drop_after']) if 'drop_after' in opts else None
        sent, block, started = 0, 64 * 1024, time.monotonic()
        if rate:
            block = max(1, min(block, int(rate / 20) or 1))
        try:
            while sent < total:
                n = min(block, total - sent)
                for limit in (stall_after, drop_after):
                    if limit is not None and sent < limit:
                        n = min(n, limit - sent)
                data = pattern_bytes(sent, n) if generated is not None else body[sent:sent + n]
                self.write_body(data, chunked)
                sent += n
                if stall_after is not None and sent >= stall_after:
                    self.wfile.flush()
                    time.sleep(float(opts.get('stall', '60')))
                    stall_after = None
                if drop_after is not None and sent >= drop_after:
                    self.wfile.flush()
                    self.connection.shutdown(socket.SHUT_RDWR)
                    self.close_connection = True
                    return
                if rate:
                    ahead = sent / rate - (time.monotonic() - started)
                    if ahead > 0:
                        time.sleep(ahead)
            if chunked:
                self.wfile.write(b'0\r\n\r\n')
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
            self.close_connection = True

    def write_body(self, data, chunked):
        if chunked:
            self.wfile.write(b'%x\r\n' % len(data) + data + b'\r\n')
        else:
            self.wfile.write(data)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def make_certificate(folder):
    cert, key = os.path.join(folder, 'cert.pem'), os.path.join(folder, 'key.pem')
    if not os.path.exists(cert):
        subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '30',
                        '-subj', '/CN=127.0.0.1', '-keyout', key, '-out', cert],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


def main():
    global FILES_DIR
    parser = argparse.ArgumentParser()
    parser.add_argument('--dir', required=True, help='folder for ports.json, the certificate and files/')
    args = parser.parse_args()
    os.makedirs(os.path.join(args.dir, 'files'), exist_ok=True)
    FILES_DIR = os.path.abspath(os.path.join(args.dir, 'files'))

    http = Server(('127.0.0.1', 0), Handler)
    https = Server(('127.0.0.1', 0), Handler)
    cert, key = make_certificate(args.dir)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    https.socket = context.wrap_socket(https.socket, server_side=True)
    for server in (http, https):
        threading.Thread(target=server.serve_forever, daemon=True).start()
    ports = {'http': http.server_address[1], 'https': https.server_address[1], 'pid': os.getpid()}
    tmp = os.path.join(args.dir, 'ports.json.tmp')
    with open(tmp, 'w') as f:
        json.dump(ports, f)
    os.replace(tmp, os.path.join(args.dir, 'ports.json'))
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass


if __name__ == '__main__':
    main()
