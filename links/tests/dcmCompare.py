"""Compares dcmcodec (the daemon's codec) with dcmCodecRef on random messages
of every command in both address modes: encoded by both, decoded by both
(frames of the reference, also damaged), and the answers must agree.

    python3 dcmCompare.py DCMCODEC [--seed N] [--rounds N]
"""
import argparse
import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dcmCodecRef as ref  # noqa: E402

COMMANDS = sorted(ref.KNOWN_CMDS)


def rand_addr(rng, mode):
    if mode == 1:
        return rng.choice([rng.getrandbits(32), rng.randrange(256), 0x01020304])
    return rng.randrange(256)


def rand_message(rng):
    mode = rng.randrange(2)
    # Mostly commands with a body; now and then one the encoder refuses.
    cmd = rng.choice(COMMANDS) if rng.random() < 0.9 else rng.randrange(256)
    m = {'mode': mode, 'addr': rand_addr(rng, mode), 'cmd': cmd, 'elems': [], 'block': (0, 0, 0, 0),
         'x': b'', 'd': b''}
    if cmd in ref.LIST_CMDS:
        m['access'] = 'list'
    elif cmd in ref.BLOCK_CMDS:
        m['access'] = 'block'
    else:
        m['access'] = rng.choice(['none', 'none', 'list', 'block'])
    if rng.random() < 0.05:
        m['access'] = rng.choice(['none', 'list', 'block'])
    bad = rng.random() < 0.1
    if m['access'] == 'list':
        n = rng.randrange(0, 40 if bad else 33)
        for _ in range(n):
            size = rng.choice([1, 2, 3])
            elem = rng.randrange(0, 70) if bad else rng.randrange(1, 64)
            value = rng.getrandbits(8 * ref.SIZE_BYTES[size])
            if rng.random() < 0.2:
                value = rng.choice([0x64, 0xFE, 0xFCFD, 0x69FEFCFD])
            m['elems'].append((size, rng.randrange(256), elem, value))
    elif m['access'] == 'block':
        size = rng.choice([1, 2, 3])
        count = rng.randrange(0, 70) if bad else rng.randrange(0, 64)
        first = rng.randrange(0, 70) if bad else rng.randrange(1, 64)
        m['block'] = (size, rng.randrange(256), first, count)
        n = count * ref.SIZE_BYTES[size]
        m['x'] = bytes(rng.choice([rng.randrange(256), 0xFD, 0x65]) for _ in range(n))
    if cmd in (136, 137, 138, 139, 140) or rng.random() < 0.1:
        m['d'] = bytes(rng.randrange(256) for _ in range(rng.randrange(17)))
    return m


def damage(rng, frame):
    f = bytearray(frame)
    kind = rng.randrange(7)
    if kind == 0 and f:
        f[rng.randrange(len(f))] ^= 1 << rng.randrange(8)
    elif kind == 1:
        f.insert(rng.randrange(len(f) + 1), rng.choice([0xFE, 0xFC, 0xFD, 0x66, 0x01]))
    elif kind == 2 and f:
        del f[rng.randrange(len(f)):]
    elif kind == 3:
        f[0:0] = bytes(rng.randrange(256) for _ in range(rng.randrange(1, 5)))
    elif kind == 4:
        f = bytearray(rng.randrange(256) for _ in range(rng.randrange(1, 60)))
    elif kind == 5 and len(f) > 4:
        # Right checksum on a damaged body.
        i = rng.randrange(1, len(f) - 3)
        f[i] = rng.randrange(256)
        f[-2] = sum(f[:-2]) & 0xFF
    return bytes(f[:ref.MAX_FRAME])


class Codec:
    def __init__(self, path):
        self.p = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def ask(self, line):
        self.p.stdin.write(line + '\n')
        self.p.stdin.flush()
        return self.p.stdout.readline().strip()

    def close(self):
        self.p.stdin.close()
        self.p.wait()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('dcmcodec')
    ap.add_argument('--seed', type=int, default=None)
    ap.add_argument('--rounds', type=int, default=3000)
    a = ap.parse_args()
    seed = a.seed if a.seed is not None else random.SystemRandom().randrange(1 << 32)
    print('seed', seed, flush=True)
    rng = random.Random(seed)
    codec = Codec(a.dcmcodec)
    failures = 0
    seen = {'enc': set(), 'dec': set()}

    def check(line, want):
        nonlocal failures
        got = codec.ask(line)
        if got != want:
            failures += 1
            if failures <= 10:
                print('MISMATCH\n  in:   %s\n  ref:  %s\n  C++:  %s' % (line, want, got))
        return got

    for _ in range(a.rounds):
        m = rand_message(rng)
        frame = ref.encode(m)
        want = frame.hex() if isinstance(frame, bytes) else 'err %d' % frame
        seen['enc'].add((m['cmd'], m['mode'], want.startswith('err')))
        check(ref.enc_line(m), want)
        if not isinstance(frame, bytes):
            continue
        expected = len(m['d']) if m['cmd'] in (136, 137, 138, 139, 140) else rng.randrange(17)
        if m['cmd'] == 136:
            expected = rng.randrange(len(m['d']), 20)
        for f in (frame, damage(rng, frame)):
            got = ref.decode(m['mode'], expected, f)
            want = ref.message_text(got) if isinstance(got, dict) else 'err %d' % got
            seen['dec'].add((m['cmd'], m['mode'], want.startswith('err')))
            check('dec %d %d %s' % (m['mode'], expected, f.hex()), want)
            # A decoded message encodes back to the same frame.
            if isinstance(got, dict) and f == frame and m['cmd'] not in (0, 128, 131, 136, 139):
                again = ref.encode(got)
                if again != frame:
                    failures += 1
                    print('ROUND TRIP of the reference codec differs: %s' % f.hex())
    codec.close()
    ok_enc = {(c, md) for c, md, err in seen['enc'] if not err}
    ok_dec = {(c, md) for c, md, err in seen['dec'] if not err}
    missing = [(c, md) for c in COMMANDS if c != 127 for md in (0, 1)
               if (c, md) not in ok_enc or (c, md) not in ok_dec]
    if missing and a.rounds >= 1000:
        failures += 1
        print('not covered (command, mode):', missing)
    print('%d rounds, %d mismatches' % (a.rounds, failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
