#!/usr/bin/env python3
"""check_trace.py TRACE: checks a wineserver request trace (wineserver -d1)
of unix_start_test.

Between each pair of marker events the test creates ("krv-trace-begin",
"krv-trace-end"), the thread that created them may close, resume or wait on
a handle only if the server handed that value to it before, and every close
and resume must succeed. A Unix program started straight from the test
breaks both: Wine resumes and the test closes a value it never got."""
import re
import sys

REQUEST = re.compile(r'^([0-9a-f]+): (\w+)\( (.*) \)$')
REPLY = re.compile(r'^([0-9a-f]+): (\w+)\(\) = (\w+)(?: \{ (.*) \})?$')
# Reply fields that hand out a handle.
GIVEN = re.compile(r'(?:^|[ {,])(\w*handle|info)=([0-9a-f]+)\b')
CHECKED = ('close_handle', 'resume_thread')


def main(path):
    windows = 0
    faults = []
    got = {}  # thread -> handle values it was given
    thread = None  # the marker thread while inside a window
    pending = {}  # thread -> the checked request waiting for its reply
    with open(path, errors='replace') as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip('\n')
            m = REPLY.match(line)
            if m:
                tid, name, status, fields = m.groups()
                for _, value in GIVEN.findall(fields or ''):
                    got.setdefault(tid, set()).add(int(value, 16))
                if tid == thread and tid in pending:
                    req, req_line = pending.pop(tid)
                    if req == name and status != '0':
                        faults.append('%d: %s answered %s' % (req_line, name, status))
                continue
            m = REQUEST.match(line)
            if not m:
                continue
            tid, name, params = m.groups()
            if name == 'create_event' and 'name=L"krv-trace-begin"' in params:
                thread = tid
                windows += 1
                continue
            if name == 'create_event' and 'name=L"krv-trace-end"' in params and tid == thread:
                thread = None
                continue
            if tid != thread:
                continue
            used = []
            if name in CHECKED:
                h = re.search(r'\bhandle=([0-9a-f]+)', params)
                if h:
                    used.append(int(h.group(1), 16))
                pending[tid] = (name, n)
            elif name == 'select':
                h = re.search(r'handles=\{([0-9a-f,]*)\}', params)
                if h and h.group(1):
                    used += [int(v, 16) for v in h.group(1).split(',')]
            for value in used:
                if value not in got.get(tid, set()):
                    faults.append('%d: %s on %04x, a value this thread was never given' % (n, name, value))
    if thread is not None:
        faults.append('the trace ends inside a window')
    if windows == 0:
        faults.append('no marker events in the trace')
    for fault in faults:
        print('check_trace: ' + fault)
    print('check_trace: %d window(s), %d fault(s)' % (windows, len(faults)))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
