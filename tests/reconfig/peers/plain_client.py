#!/usr/bin/env python3
"""The plain client of the benchmark: the same download or upload as the
jobs, timed inside this process (start-up not counted).

    plain_client.py RESULT get|post URL SIZE

Writes the seconds of the transfer and 1, or 0 when it failed, to RESULT
(then renames it into place).
"""
import os
import sys
import time
import urllib.request


def main():
    result, how, url, size = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    null = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(null, fd)
    b = b'3blau2blau1blau0'
    start = time.perf_counter()
    try:
        if how == 'get':
            with urllib.request.urlopen(url, timeout=60) as r:
                data = r.read()
            ok = r.status == 200 and len(data) == size
        else:
            body = (b'--' + b + b'\r\nContent-Disposition: form-data; name="JSUPLOAD"; filename="config.js"\r\n'
                    b'Content-Type: application/json\r\n\r\n' + b'p' * size + b'\r\n--' + b + b'--\r\n')
            req = urllib.request.Request(url, data=body, method='POST', headers={
                'Content-Type': 'multipart/form-data; boundary="%s"' % b.decode()})
            with urllib.request.urlopen(req, timeout=60) as r:
                r.read()
            ok = r.status == 200
    except OSError:
        ok = False   # the caller prints no time for it
    took = time.perf_counter() - start
    with open(result + '.part', 'w') as f:
        f.write('%.6f %d\n' % (took, 1 if ok else 0))
    os.replace(result + '.part', result)


if __name__ == '__main__':
    main()
