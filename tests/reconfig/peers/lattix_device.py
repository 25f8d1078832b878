#!/usr/bin/env python3
"""A web-based I/O device's configuration service, as far as the
configuration jobs see it.

    lattix_device.py DIR

Serves HTTP on an ephemeral port and on 80, HTTPS (a self-signed certificate
for a name that is not ours, made at start with openssl) on an ephemeral port
and on 443, all on 127.0.0.1, a second HTTP port "http2", a port "stall" that accepts and never
answers (a TLS handshake there never completes), and a port "silent" whose connections never
stand (its queue is kept full: a SYN there goes unanswered, as to a device switched off). DIR/ready receives the ports as JSON once
every socket listens. Every request is recorded as raw bytes in
DIR/req-N.bin (N counts from 1, over all listeners, in the order the
requests were whole; number and file are made under one lock, so req-N
exists only when every earlier one does) before it is answered.

What the device does comes from DIR/mode.json, read at each request (missing
means defaults):
  password     the PW the device expects in a GET; another one gets 403
  status       HTTP status of the answer (200)
  status_seq   statuses for the requests in turn (the last one repeats)
  reset        reset the connection instead of answering
  reset_upload reset the connection as soon as an upload's head has come
  reply        text of the answer to a POST; reply_hex the same as hex
  body_hex     the body as hex (default: the configuration for the path)
  body_size    a generated body of this many bytes instead
  body_file    the body from this file (a path on this machine)
  length       "exact" (default), "none" (no Content-Length, close ends it),
               "short" (announces 100 bytes more than it sends, then closes),
               "huge" (announces 2^32 + the real length), "chunked" (chunked
               transfer coding), "chunked_cut" (chunked, closed before the
               last chunk)
  cut          send only this fraction of the body, then close as if whole
  no_status    the body alone, without a status line or headers
  endless      a GET's body again and again until the client goes;
               endless_reply the same for a POST's reply
  redirect     answer a GET with 302 and a Location on this port of
               127.0.0.1 (and a cookie); redirect_post the same for a POST
  reset_after  send this many body bytes, then reset the connection
  drop         close without any answer
  slow         [chunk, seconds]: the body in chunks with a pause after each
  content_type Content-Type of the answer; null sends none
  reply_delay  seconds to wait before answering a POST (after recording it)
  get_delay    the same for a GET
  pause        [bytes, seconds]: the body's first bytes, a pause, the rest
  by_password  {password: {...}}: more of the mode for the requests that carry
               that password (a GET's PW, an upload's LPW or PW field), so
               that several jobs at once each meet a device of their own
  head_pause   seconds between the bytes of the answer's head (a trickle)
  headers      extra header lines of the answer (such as a Location or a
               Set-Cookie)
The binary ports 8003, 8004 and 8888 record what arrives in DIR/raw-PORT-N.bin.
The device ends by itself after its time limit or when DIR/stop exists;
DIR/ended appears once every listening socket is closed.
"""
import json
import os
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse

LIMIT_S = 600
DIR = sys.argv[1]
counter_lock = threading.Lock()
counter = [0]
seq_index = [0]
raw_counts = {}

JSON_CONFIG = (b'{\n "Device": "Lattix 4.0",\n "Network": {\n  "TcpPort": 49159,\n'
               b'  "InputTrigger": 0\n },\n "Name": "Box \xc3\xa4 7"\n}\n')
XML_CONFIG = (b'<?xml version="1.0" encoding="ISO-8859-1"?>\n<Config>\n <BasicSettings>\n'
              b'  <TcpPort>49153</TcpPort>\n </BasicSettings>\n <OutputMode>0</OutputMode>\n'
              b' <Name>Box \xe4 7</Name>\n</Config>\n')


last_mode = ['']


def mode():
    try:
        with open(os.path.join(DIR, 'mode.json')) as f:
            text = f.read()
    except OSError:
        text = '{}'
    with counter_lock:
        if text != last_mode[0]:
            last_mode[0] = text
            seq_index[0] = 0  # a new mode starts its sequence again
    try:
        return json.loads(text)
    except ValueError:
        return {}


def record(raw):
    with counter_lock:
        counter[0] += 1
        path = os.path.join(DIR, 'req-%d.bin' % counter[0])
        with open(path + '.part', 'wb') as f:
            f.write(raw)
        os.replace(path + '.part', path)


def request_password(method, query, body):
    if method == 'GET':
        first = query.split('&')[0]
        return urllib.parse.unquote(first[3:]) if first.startswith('PW=') else None
    for field, prefix in ((b'LPW', b''), (b'PW', b'PW=')):
        mark = b'name="' + field + b'"\r\n\r\n' + prefix
        p = body.find(mark)
        if p >= 0:
            value = body[p + len(mark):].split(b'\r\n', 1)[0]
            if prefix:
                value = value.split(b'&', 1)[0]
            return urllib.parse.unquote(value.decode('latin-1'))
    return None


def body_for(path, m):
    if 'body_hex' in m:
        return bytes.fromhex(m['body_hex'])
    if 'body_file' in m:
        with open(m['body_file'], 'rb') as f:
            return f.read()
    if 'body_size' in m:
        n = int(m['body_size'])
        line = b'<Line>0123456789abcdefghijklmnopqrstuvwxyz</Line>\n'
        return (line * (n // len(line) + 1))[:n]
    if path.startswith('/config.js'):
        return JSON_CONFIG
    if path.startswith('/liste.xml') or path.startswith('/config.xml'):
        return XML_CONFIG
    return b'<html>ok</html>'


class Device(socketserver.BaseRequestHandler):
    def handle(self):
        conn = self.request
        conn.settimeout(30)
        raw = b''
        try:
            while b'\r\n\r\n' not in raw:
                chunk = conn.recv(65536)
                if not chunk:
                    return
                raw += chunk
            head, _, rest = raw.partition(b'\r\n\r\n')
            lines = head.split(b'\r\n')
            method, target, _ = lines[0].decode('latin-1').split(' ', 2)
            length = 0
            for line in lines[1:]:
                k, _, v = line.partition(b':')
                if k.strip().lower() == b'content-length':
                    length = int(v.strip())
            if mode().get('reset_upload') and length:
                record(raw)
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
                return
            while len(rest) < length:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                rest += chunk
                raw += chunk
        except (OSError, ValueError):
            return
        record(raw)
        m = mode()
        path = target
        query = urllib.parse.urlsplit(target).query
        pw = request_password(method, query, rest)
        if pw is not None and pw in m.get('by_password', {}):
            m = dict(m, **m['by_password'][pw])
        if method == 'POST' and m.get('reply_delay'):
            time.sleep(float(m['reply_delay']))
        if method == 'GET' and m.get('get_delay'):
            time.sleep(float(m['get_delay']))
        if m.get('drop'):
            return
        if m.get('reset'):
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
            return
        status = int(m.get('status', 200))
        if 'status_seq' in m:
            with counter_lock:
                seq_index[0] += 1
                i = seq_index[0] - 1
            seq = m['status_seq']
            status = int(seq[min(i, len(seq) - 1)])
        if method == 'GET' and 'password' in m:
            pw = query.split('&')[0]
            if pw != 'PW=' + m['password']:
                status = 403
        body = body_for(path, m) if method == 'GET' else m.get('reply', '').encode('utf-8')
        if method == 'POST' and 'reply_hex' in m:
            body = bytes.fromhex(m['reply_hex'])
        if 'cut' in m:
            body = body[:int(len(body) * float(m['cut']))]
        try:
            if m.get('no_status'):
                conn.sendall(body)
                conn.shutdown(socket.SHUT_WR)
                conn.settimeout(5)
                while conn.recv(65536):
                    pass
                return
            redirect = m.get('redirect') if method == 'GET' else m.get('redirect_post')
            if redirect:
                where = 'http://127.0.0.1:%d%s' % (int(redirect), target)
                conn.sendall(('HTTP/1.0 302 Found\r\nLocation: %s\r\nSet-Cookie: sid=device-secret\r\n'
                              'Content-Length: 0\r\nConnection: close\r\n\r\n' % where).encode('latin-1'))
                conn.shutdown(socket.SHUT_WR)
                conn.settimeout(5)
                while conn.recv(65536):
                    pass
                return
        except OSError:
            return
        reasons = {200: 'OK', 302: 'Found', 401: 'Unauthorized', 403: 'Forbidden', 404: 'Not Found',
                   503: 'Service Unavailable'}
        how = m.get('length', 'exact')
        chunked = how in ('chunked', 'chunked_cut')
        hdr = 'HTTP/1.%d %d %s\r\n' % (1 if chunked else 0, status, reasons.get(status, 'Status'))
        ctype = m.get('content_type', 'text/plain; charset=UTF-8' if method == 'POST' else 'text/plain')
        if ctype is not None:
            hdr += 'Content-Type: %s\r\n' % ctype
        endless = m.get('endless') if method == 'GET' else m.get('endless_reply')
        if endless:
            how = 'none'
        if how == 'exact':
            hdr += 'Content-Length: %d\r\n' % len(body)
        elif how == 'short':
            hdr += 'Content-Length: %d\r\n' % (len(body) + 100)
        elif how == 'huge':
            hdr += 'Content-Length: %d\r\n' % (len(body) + 2 ** 32)
        elif chunked:
            hdr += 'Transfer-Encoding: chunked\r\n'
        for line in m.get('headers', []):
            hdr += line + '\r\n'
        hdr += 'Connection: close\r\n\r\n'
        try:
            if 'head_pause' in m:
                for b in hdr.encode('latin-1'):
                    conn.sendall(bytes([b]))
                    time.sleep(float(m['head_pause']))
            else:
                conn.sendall(hdr.encode('latin-1'))
            if endless:
                block = (body or b'x') * (65536 // max(len(body), 1) + 1)
                end = time.time() + 120
                while time.time() < end:
                    conn.sendall(block)
                return
            if chunked:
                step = 500
                pieces = [body[i:i + step] for i in range(0, len(body), step)]
                if how == 'chunked_cut':
                    pieces = pieces[:max(1, len(pieces) * 6 // 10)]
                for piece in pieces:
                    conn.sendall(b'%x\r\n%s\r\n' % (len(piece), piece))
                if how == 'chunked':
                    conn.sendall(b'0\r\n\r\n')
                conn.shutdown(socket.SHUT_WR)
                conn.settimeout(5)
                while conn.recv(65536):
                    pass
                return
            if 'reset_after' in m:
                conn.sendall(body[:int(m['reset_after'])])
                time.sleep(0.2)
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
                return
            if 'pause' in m:
                at, pause = int(m['pause'][0]), float(m['pause'][1])
                conn.sendall(body[:at])
                time.sleep(pause)
                conn.sendall(body[at:])
            elif 'slow' in m:
                step, pause = int(m['slow'][0]), float(m['slow'][1])
                for i in range(0, len(body), step):
                    conn.sendall(body[i:i + step])
                    time.sleep(pause)
            else:
                conn.sendall(body)
            conn.shutdown(socket.SHUT_WR)
            # Let the client read to the end before the socket goes.
            conn.settimeout(5)
            while conn.recv(65536):
                pass
        except OSError:
            pass


class Raw(socketserver.BaseRequestHandler):
    """The binary ports 8003, 8004 and 8888: records what arrives up to its
    first zero byte (or for 2 s) in DIR/raw-PORT-N.bin and says nothing."""

    def handle(self):
        conn = self.request
        conn.settimeout(2)
        got = b''
        try:
            while b'\0' not in got:
                chunk = conn.recv(4096)
                if not chunk:
                    break
                got += chunk
        except OSError:
            pass
        port = self.server.server_address[1]
        with counter_lock:
            raw_counts[port] = raw_counts.get(port, 0) + 1
            path = os.path.join(DIR, 'raw-%d-%d.bin' % (port, raw_counts[port]))
            with open(path + '.part', 'wb') as f:
                f.write(got)
            os.replace(path + '.part', path)
        try:
            conn.settimeout(10)
            while conn.recv(4096):
                pass
        except OSError:
            pass


class Stall(socketserver.BaseRequestHandler):
    """Accepts and reads, and never says a word: a TLS handshake there
    never completes."""

    def handle(self):
        conn = self.request
        conn.settimeout(1)
        end = time.time() + 120
        while time.time() < end and not os.path.exists(os.path.join(DIR, 'stop')):
            try:
                if not conn.recv(4096):
                    return
            except socket.timeout:
                pass
            except OSError:
                return


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


class TlsServer(Server):
    def __init__(self, addr, handler, context):
        self.context = context
        super().__init__(addr, handler)

    def get_request(self):
        sock, addr = super().get_request()
        sock.settimeout(10)
        try:
            return self.context.wrap_socket(sock, server_side=True), addr
        except (OSError, ssl.SSLError):
            sock.close()
            raise OSError('handshake failed')


def main():
    # Started from a Wine program: let go of its output pipes, or whoever
    # reads them waits for the device's time limit.
    null = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(null, fd)
    os.makedirs(DIR, exist_ok=True)
    cert, key = os.path.join(DIR, 'cert.pem'), os.path.join(DIR, 'key.pem')
    subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', key,
                    '-out', cert, '-days', '2', '-subj', '/CN=wrong-name.invalid'],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    servers = {}
    servers['http'] = Server(('127.0.0.1', 0), Device)
    servers['https'] = TlsServer(('127.0.0.1', 0), Device, ctx)
    servers['stall'] = Server(('127.0.0.1', 0), Stall)
    servers['http2'] = Server(('127.0.0.1', 0), Device)
    for name, port, tls in (('http80', 80, False), ('https443', 443, True)):
        try:
            servers[name] = TlsServer(('127.0.0.1', port), Device, ctx) if tls else Server(('127.0.0.1', port), Device)
        except OSError:
            pass
    for port in (8003, 8004, 8888):
        try:
            servers['raw%d' % port] = Server(('127.0.0.1', port), Raw)
        except OSError:
            pass
    # A port whose connections never stand: its queue (one) is filled by
    # connections nobody accepts, so the kernel drops every further SYN.
    silent = socket.socket()
    silent.bind(('127.0.0.1', 0))
    silent.listen(0)
    fillers = []
    for _ in range(4):
        c = socket.socket()
        c.setblocking(False)
        try:
            c.connect(silent.getsockname())
        except BlockingIOError:
            pass
        fillers.append(c)
    # A port that refuses: bound once, then closed again.
    s = socket.socket()
    s.bind(('127.0.0.1', 0))
    closed = s.getsockname()[1]
    s.close()
    for srv in servers.values():
        # a short poll: a stop frees the ports at once
        threading.Thread(target=srv.serve_forever, args=(0.05,), daemon=True).start()
    ports = {k: v.server_address[1] for k, v in servers.items()}
    ports['closed'] = closed
    ports['silent'] = silent.getsockname()[1]
    with open(os.path.join(DIR, 'ready.part'), 'w') as f:
        json.dump(ports, f)
    os.replace(os.path.join(DIR, 'ready.part'), os.path.join(DIR, 'ready'))
    end = time.time() + LIMIT_S
    while time.time() < end and not os.path.exists(os.path.join(DIR, 'stop')):
        time.sleep(0.05)
    for srv in servers.values():
        srv.shutdown()
        srv.server_close()
    for c in fillers:
        c.close()
    silent.close()
    # The fixed ports are free now for the next program's device.
    with open(os.path.join(DIR, 'ended.part'), 'w') as f:
        f.write('ended\n')
    os.replace(os.path.join(DIR, 'ended.part'), os.path.join(DIR, 'ended'))


if __name__ == '__main__':
    main()
