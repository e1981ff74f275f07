"""A second DCM frame codec, written from the frame and body tables alone,
to check the daemon's codec against.

Messages are dicts: mode, addr, cmd, access ('list', 'block' or 'none'),
elems [(size, table, element, value)], block (size, table, first, count),
x (block data bytes), d (data block bytes). encode() gives the frame bytes or
an int error code; decode() gives a message or an int result code.
"""

START, ESC, END = 0xFE, 0xFC, 0xFD
DELIMS = {START, ESC, END}
RESERVED = set(range(0x64, 0x6A))
MAX_FRAME = 384

LIST_CMDS = {2, 3, 129, 130, 137, 138}
BLOCK_CMDS = {4, 5, 132, 140}
KNOWN_CMDS = {0, 127, 128, 131, 136, 139} | LIST_CMDS | BLOCK_CMDS
SIZE_BYTES = {1: 1, 2: 2, 3: 4}


def _value_bytes(cmd, size, value):
    n = 1 if cmd in (129, 137) else SIZE_BYTES.get(size, 0)
    return list((value >> (8 * k)) & 0xFF for k in range(n))


def _body(m):
    cmd = m['cmd']
    out = []
    if cmd in LIST_CMDS:
        out.append(len(m['elems']) & 0xFF)
        for size, table, elem, value in m['elems']:
            out += [table & 0xFF, (elem * 4 + size) & 0xFF]
            if cmd != 2:
                out += _value_bytes(cmd, size, value)
    elif cmd in BLOCK_CMDS:
        size, table, first, count = m['block']
        out += [count & 0xFF, table & 0xFF, (first * 4 + size) & 0xFF]
        if cmd != 4:
            n = count * SIZE_BYTES.get(size, 0)
            out += list((m.get('x', b'') + bytes(n))[:n])
    elif cmd in (131, 139):
        out.append(0)
    if cmd in (136, 137, 138, 139, 140):
        out += list(m.get('d', b''))
    return out


def encode(m):
    """Frame bytes, or the refusal code, checks in the documented order."""
    addr, cmd, access = m['addr'], m['cmd'], m['access']
    if (addr & 0xFF) in DELIMS or cmd in DELIMS or cmd in RESERVED or cmd == 1:
        return -2
    # Address bytes are not escaped: in four-byte mode none may be a delimiter.
    if m['mode'] == 1 and any(((addr >> s) & 0xFF) in DELIMS for s in (8, 16, 24)):
        return -2
    if access == 'block':
        size, table, first, count = m['block']
        if count > 63:
            return -5
        if first == 0 or first > 63:
            return -7
    elif access == 'list':
        if len(m['elems']) > 32:
            return -5
        if any(e[2] == 0 or e[2] > 63 for e in m['elems']):
            return -7
    if cmd > 140 or cmd not in KNOWN_CMDS:
        return -8
    if cmd in BLOCK_CMDS and access != 'block':
        return -4
    if cmd in LIST_CMDS and access != 'list':
        return -4
    if cmd in (136, 137, 138, 139, 140) and len(m.get('d', b'')) > 16:
        return -3
    frame = [START]
    if m['mode'] == 1:
        frame += [(addr >> s) & 0xFF for s in (24, 16, 8, 0)]
    else:
        frame.append(addr & 0xFF)
    frame.append(cmd)
    for b in _body(m):
        if b in DELIMS or b in RESERVED:
            frame.append(ESC)
        frame.append(b)
    frame.append(ESC)
    frame.append(sum(frame) & 0xFF)
    frame.append(END)
    if len(frame) > MAX_FRAME:
        return -3
    return bytes(frame)


class _Receiver:
    """The receive state machine, byte by byte."""

    def __init__(self, mode):
        self.mode = mode
        self.state = 'hunt'
        self.escaped = False

    def _restart(self):
        self.state = 'addr'
        self.escaped = False
        self.addr = 0
        self.addr_left = 4 if self.mode == 1 else 1

    def feed(self, b):
        """True when b ends a frame."""
        s = self.state
        if s == 'hunt':
            if self.escaped:
                self.escaped = False
            elif b == START:
                self._restart()
            elif b == ESC:
                self.escaped = True
        elif s == 'addr':
            if b == START:
                self._restart()
            elif b in DELIMS:
                self.state = 'hunt'
            else:
                self.addr = ((self.addr << 8) | b) & 0xFFFFFFFF
                self.addr_left -= 1
                if self.addr_left == 0:
                    self.state = 'cmd'
        elif s == 'cmd':
            if b == START:
                self._restart()
            elif b in DELIMS or b in RESERVED or b == 1:
                self.state = 'hunt'
            else:
                self.cmd = b
                self.stored = []
                self.state = 'body'
        else:
            if self.escaped:
                self.escaped = False
                self._store(b)
            elif b == END:
                if not self.stored:
                    self.state = 'hunt'
                    return False
                self.state = 'hunt'
                return True
            elif b == START:
                self._restart()
            elif b == ESC:
                self.escaped = True
            elif b in RESERVED:
                self.state = 'hunt'
            else:
                self._store(b)
        return False

    def _store(self, b):
        # A body longer than any frame is not one.
        if len(self.stored) >= MAX_FRAME:
            self.state = 'hunt'
        else:
            self.stored.append(b)


def _parse_list(body, values, one_byte):
    if not body:
        return 17, None
    count = body[0]
    if count > 32:
        return 17, None
    pos, elems = 1, []
    for _ in range(count):
        if len(body) - pos < 2:
            return 17, None
        table, eb = body[pos], body[pos + 1]
        pos += 2
        size = eb & 3
        if size not in SIZE_BYTES:
            return -7, None
        value = 0
        if values:
            n = 1 if one_byte else SIZE_BYTES[size]
            if len(body) - pos < n:
                return 17, None
            value = int.from_bytes(bytes(body[pos:pos + n]), 'little')
            pos += n
        elems.append((size, table, eb >> 2, value))
    return 0, (elems, pos)


def _parse_block(body, with_data):
    if len(body) < 3:
        return 17, None
    count, table, eb = body[0], body[1], body[2]
    size = eb & 3
    pos, x = 3, b''
    if with_data:
        n = count * SIZE_BYTES.get(size, 0)
        if len(body) - pos < n:
            return 17, None
        x = bytes(body[3:3 + n])
        pos += n
    return 0, ((size, table, eb >> 2, count), x, pos)


def _decode_body(cmd, body, expected):
    """(code, fields) where code 0 is success."""
    n = len(body)
    if cmd in (0, 128):
        return (0, {'access': 'block', 'block': (0, 0, 0, 0)}) if n == 0 else (17, None)
    if cmd in (2, 3, 129, 130, 137, 138):
        r, got = _parse_list(body, cmd != 2, cmd in (129, 137))
        if r:
            return r, None
        elems, pos = got
        fields = {'access': 'list', 'elems': elems}
        if cmd in (137, 138):
            if expected > 16 or n - pos != expected:
                return 17, None
            fields['d'] = bytes(body[pos:])
        elif pos != n:
            return 17, None
        return 0, fields
    if cmd in (4, 5, 132, 140):
        r, got = _parse_block(body, cmd != 4)
        if r:
            return r, None
        block, x, pos = got
        fields = {'access': 'block', 'block': block}
        if cmd != 4:
            fields['x'] = x
        if cmd == 140:
            if expected > 16 or n - pos != expected:
                return 17, None
            fields['d'] = bytes(body[pos:])
        elif pos != n:
            return 17, None
        return 0, fields
    if cmd == 127:
        return 9, None
    if cmd in (131, 139):
        data_len = 0 if cmd == 131 else expected
        if n < 1 or body[0] != 0:
            return 17, None
        if cmd == 139 and expected > 16:
            return 17, None
        if n != 1 + data_len:
            return 17, None
        fields = {'access': 'block', 'block': (1, 0, 0, 1), 'x': b'\x00'}
        if cmd == 139:
            fields['d'] = bytes(body[1:])
        return 0, fields
    if cmd == 136:
        if n > expected or n > 16:
            return 17, None
        return 0, {'access': 'none', 'd': bytes(body)}
    return 17, None


def decode(mode, expected, frame):
    """The message, or the decoder's result code."""
    rx = _Receiver(mode)
    end = None
    for i, b in enumerate(frame):
        if rx.feed(b):
            end = i
            break
    if end is None:
        return 17
    checksum = rx.stored[-1]
    if sum(frame[:end - 1]) & 0xFF != checksum:
        return 17
    r, fields = _decode_body(rx.cmd, rx.stored[:-1], expected)
    if r:
        return 100 + r
    m = {'mode': mode, 'addr': rx.addr, 'cmd': rx.cmd, 'access': 'none', 'elems': [],
         'block': (0, 0, 0, 0), 'x': b'', 'd': b''}
    m.update(fields)
    if rx.cmd in (137, 138, 139, 140) and 'd' not in fields:
        m['d'] = b''
    return m


# Text lines of the dcmcodec program.

def _hex(b):
    return bytes(b).hex()


def enc_line(m):
    parts = ['enc', str(m['mode']), str(m['addr']), str(m['cmd'])]
    if m['access'] == 'list':
        parts.append('list')
        parts += ['%d/%d/%d/%d' % e for e in m['elems']]
    elif m['access'] == 'block':
        parts.append('block')
        parts.append('%d/%d/%d/%d' % m['block'])
        if m.get('x'):
            parts.append('x=' + _hex(m['x']))
    else:
        parts.append('none')
    if m.get('d'):
        parts.append('d=' + _hex(m['d']))
    return ' '.join(parts)


def message_text(m):
    """What dcmcodec prints for a decoded message."""
    parts = [str(m['mode']), str(m['addr']), str(m['cmd'])]
    if m['access'] == 'list':
        parts.append('list')
        parts += ['%d/%d/%d/%d' % e for e in m['elems']]
    elif m['access'] == 'block':
        parts.append('block')
        parts.append('%d/%d/%d/%d' % m['block'])
        if m['cmd'] in (5, 132, 140, 131, 139):
            parts.append('x=' + _hex(m['x']))
    else:
        parts.append('none')
    if m.get('d'):
        parts.append('d=' + _hex(m['d']))
    return ' '.join(parts)
