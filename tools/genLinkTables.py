#!/usr/bin/env python3
"""Generates the rows of the unit-link responders from the text that
describes them:

  links/gen/changeOverRows.inc  the change-over link (section "Change-over
                                link responder")
  links/gen/slaveRows.inc       the slave link ("Slave link responder")
  links/gen/remoteLtxRows.inc   both families of the remote link over UDP
                                ("Remote LTX link over UDP")

Usage: genLinkTables.py <document.md> [repository root, default .]

For each link it reads
  - the table catalogue: per table its count, its width (W/H/B, "words",
    "half-words", "bytes"), its byte order and the element each position
    holds, and the width list reads take it at;
  - the status bits: per byte and bit an event, "not event", "event a or
    event b", or a named function;
  - the writable elements: per (table, element run) a key's validator and
    setter, COMTAB_WriteElement (t, e), a command-manager slot, a fixed
    result, or a hand-written function.

An element named by its configuration name (`level_left_dBu`) is the key
row of Config/keys/*.def with that name; a run written as (`A` ... `B`) is
the rows from A to B in the row files' order. Elements the text names only
by their role, and the few effects that need code of their own, are mapped
to this system's getters and functions by the explicit tables below; a
phrase the tables do not know stops the generator.

Row forms (links/linkRows.h):
  LINK_KEY(Id)  LINK_GET(expr)  LINK_ZERO       an element's getter
  TABLE_ELEMS / TABLE_ZERO / TABLE_BUILT / TABLE_STATUS
                                               a table of the catalogue
  STATUS_EVENT / STATUS_NOT / STATUS_OR / STATUS_FN
                                               one status bit
  WR_ROW / WR_ROW_S16 (the key row's validator and setter), WR_FN /
  WR_FN_APPLY (a validator and setter by name), WR_SET / WR_SET_APPLY (a
  setter without validation), WR_RANGED (a range the link gives), WR_COMTAB /
  WR_COMTAB_DROP, WR_CMD, WR_CODE, WR_HAND   one write row
"""
import glob
import os
import re
import sys

SECTIONS = {"co": "Change-over link responder", "slave": "Slave link responder", "remote": "Remote LTX link over UDP"}

# ---- Explicit mappings -------------------------------------------------------

# Elements named by role: the getter of this system that gives each. A key
# is (link, table, element, phrase) for a phrase the table repeats, (link,
# table, phrase), or the phrase alone for every link; the value is
# one expression per element the phrase covers (None: the element reads 0).
UNIT_WORDS = {
    "equipment code of the unit record": ["linkUnit().infoUT"],
    "the three version words of the unit record": ["linkUnit().infoFWV", "linkUnit().infoFWR", "linkUnit().infoFWB"],
    "the three version words": ["linkUnit().infoFWV", "linkUnit().infoFWR", "linkUnit().infoFWB"],
    "the part-number word of the unit record": ["linkUnit().infoFWC"],
    "the part-number word": ["linkUnit().infoFWC"],
    "the last word of the unit record": ["linkUnit().infoFWE"],
}
POWER_WORDS = ["getTxForwardPower()", "getTxReflectedPower() / 10", "getTxForwardPowerPercent()",
               "getTxNominalPowerLinear()", "getTxForwardPower() / 10", "getTxReflectedPower()"]
ROLE = {
    **UNIT_WORDS,
    "start/stop request": ["LogicaTx_GetTxStartRequest()"],
    "is 1 when the control mode is not LOCAL, else 0": ["LogicaTx_GetControlMode() != 1"],
    "is 1 when the control mode is not LOCAL": ["LogicaTx_GetControlMode() != 1"],
    "the reserve-configuration state": ["LogicaTx_GetReserveConfigState()"],
    "the derated power set point": ["getDeratedPower()"],
    "forward power in percent of nominal": ["getTxForwardPowerPercent()"],
    "forward power in units of 0.1 mW divided by 10": ["getTxForwardPower() / 10"],
    "reflected power in units of 0.1 mW divided by 10": ["getTxReflectedPower() / 10"],
    "the clipper-in-action flag": ["cfgGetElement(KEYROW(ClipperInAction), 0)"],
    "the AES/EBU alarm code": ["cfgGetElement(KEYROW(AesEbuAlCode), 0)"],
    "the measured deviations of MPX, left, right, aux and pilot":
        [f"cfgGetElement(KEYROW(Measured{n}Deviation), 0)" for n in ("Mpx", "Left", "Right", "Aux", "Pilot")],
    "the measured levels in dB of MPX, left, right, aux and pilot":
        [f"cfgGetElement(KEYROW(Measured{n}Level_dB), 0)" for n in ("Mpx", "Left", "Right", "Aux", "Pilot")],
    "the measured levels in dB of the same five":
        [f"cfgGetElement(KEYROW(Measured{n}Level_dB), 0)" for n in ("Mpx", "Left", "Right", "Aux", "Pilot")],
    "power-table word 7": ["cfgGetElement(KEYROW(PowerTableWord), 7)"],
    "power-table word 10": ["cfgGetElement(KEYROW(PowerTableWord), 10)"],
    # The derating override: no such setting exists in this system.
    "the derating override": [None],
    "the output configuration code": ["cfgGetElement(KEYROW(OutputCfgCode), 0)"],
    "the UECP site address and encoder address of slot 1":
        ["cfgGetElement(KEYROW(UECPSiteAddr), 1)", "cfgGetElement(KEYROW(UECPEncoderAddr), 1)"],
    # Change-over: the word a write of (11, 2) sets, and the logic words.
    ("co", 1, "the `logica_tx` word that a write of table 11 element 2 sets"): ["coWord()"],
    ("co", 6, "a runtime power word of the power chain"): ["getTxNominalPowerLinear()"],
    ("co", 6, "two further runtime power words of the power chain"): ["getTxForwardPower()", "getTxReflectedPower()"],
    ("co", 10, "running flag of command-manager slot 9"): ["CMD_IsRunning(9)"],
    ("co", 11, "a `logica_tx` word"): ["getExciterMode()"],
    ("co", 11, "the `logica_tx` word of table 1 element 2"): ["coWord()"],
    ("co", 11, 4, "a further `logica_tx` word"): ["getNplus1Mode()"],
    ("co", 11, 7, "a further `logica_tx` word"): ["getChangeOverSerialAddress()"],
    # Slave: the byte item shared with the remote link, its two flags, the
    # runtime words of table 7 and the command-manager flags. The command
    # manager publishes no requested flag of its own: a slot reads as
    # requested while it runs.
    ("slave", 5, "a byte item of the configuration"): ["cfgGetElement(KEYROW(SWRFoldback), 0)"],
    ("slave", 5, "the slave RDS flag"): ["st().slaveRdsFlag.load()"],
    ("slave", 5, "the TA from the telecommands"): ["st().taFromTlc.load()"],
    ("slave", 7, "a signed `logica_tx` word"): ["cfgGetElement(KEYROW(TemperatureOffset), 0)"],
    ("slave", 7, "six runtime power words of which the second and the fifth are divided by 10"): POWER_WORDS,
    ("slave", 7, "three runtime words of the power section"):
        ["getMaxPowerIndex()", "getMinPowerIndex()", "getDeratedPower()"],
    ("slave", 7, "a runtime word of the audio section"): ["cfgGetElement(KEYROW(FrequencyDeviation), 0)"],
    ("slave", 10, "requested and running flags of command-manager slot 8"): ["CMD_IsRunning(8)"] * 2,
    ("slave", 10, "requested and running flags of slot 9"): ["CMD_IsRunning(9)"] * 2,
    ("slave", 11, "requested and running flags of command-manager slot 6"): ["CMD_IsRunning(6)"] * 2,
    ("slave", 11, "requested and running flags of slot 5"): ["CMD_IsRunning(5)"] * 2,
    # Remote, process data.
    ("pd", 3, "the byte item of the other link's table 5 element 3"): ["cfgGetElement(KEYROW(SWRFoldback), 0)"],
    ("pd", 6, "a signed `logica_tx` word"): ["cfgGetElement(KEYROW(TemperatureOffset), 0)"],
    ("pd", 6, "six runtime power words of the power chain"): POWER_WORDS,
    ("pd", 10, "requested and running flags of command-manager slot 8"): ["CMD_IsRunning(8)"] * 2,
    ("pd", 10, "then of slot 9"): ["CMD_IsRunning(9)"] * 2,
    # Remote, extended.
    ("ext", 1, "then seven zero words"): [None] * 7,
    ("ext", 3, "three audio-processing items of the audio section"):
        [f"cfgGetElement(KEYROW({k}), 0)" for k in ("ApOn", "ApEqOn", "ApCmpOn")],
    ("ext", 3, "a further audio item"): ["cfgGetElement(KEYROW(RdsExternalLevelOffset_dBu), 0)"],
    ("ext", 3, "the extended RDS flag"): ["st().extRdsFlag.load()"],
    ("ext", 3, "the extended TA byte"): ["st().extTa.load()"],
    ("ext", 3, "two input-selection items 0..7"):
        ["cfgGetElement(KEYROW(InputRx), 0)", "cfgGetElement(KEYROW(InputRxRds), 0)"],
    # No further words of the audio section exist in this system: 0.
    ("ext", 5, "then five further words of the audio section"): [None] * 5,
    ("ext", 7, "the active time-reference source"): ["cfgGetElement(KEYROW(TimeRefSource), 0)"],
    ("ext", 7, "the active frequency-reference source"): ["cfgGetElement(KEYROW(FreqRefSource), 0)"],
    ("ext", 7, "a status word of the input-delay machine"): ["cfgGetElement(KEYROW(DelMeasState), 0)"],
    ("ext", 7, "the input-delay measurement request"): ["cfgGetElement(KEYROW(InputDelayMeasReq), 0)"],
    ("ext", 7, "a further status word of the input-delay machine"): ["cfgGetElement(KEYROW(DelMeasOk), 0)"],
}
# Introductions and remarks of a catalogue cell that name no element.
SKIP = ["runtime power words of the power chain: ", "the low byte of each of: ",
        "each sent as its low byte"]

# Tables with a builder of their own (the bytes of one element do not follow
# the table's width), by link and table.
BUILDERS = {("co", 12): "buildTable12", ("slave", 2): "buildTable2", ("pd", 11): "buildPd11"}

# Status bits that are a named function.
STATUS_FN = {
    "1 when the input-group status word (table 11 element 17) is 0": "inputGroupIdle",
    "start request is 1": "startRequested",
    "B1 or B3": "statusB1OrB3",
    "B2": "statusB2",
    "a81": "a81",
    "a82": "a82",
    "input-group status word is 1": "inputGroupBusy",
}

# Writes with behaviour of their own: (link, table, element) -> function.
HAND = {
    ("co", 5, 1): "writeStartStop", ("co", 11, 2): "writeCoWord",
    ("slave", 5, 1): "writeStartStop", ("slave", 5, 2): "writeControlMode", ("slave", 5, 20): "writeRdsFlag",
    ("slave", 5, 21): "writeTa", ("slave", 11, 3): "writeLockoutReset",
    ("ext", 3, 19): "writeNcoLowByte", ("ext", 3, 25): "writeExtRdsFlag", ("ext", 3, 26): "writeExtTa",
    ("ext", 3, 27): "writeInputItem", ("ext", 3, 28): "writeInputItem",
    ("ext", 6, 2): "writeUecpSlot1", ("ext", 6, 3): "writeUecpSlot1",
}
# Setters that take an apply flag: a link write applies at once.
APPLY = {"setTransmitterNominalPower", "setExciterNominalPower", "setOutputRFfrequency"}
# Setters the text names for which this system has no setting: refused.
NO_SETTING = {"setDeratingOverride"}
# Slave table 5 element 11 sets "the item of extended table 3 element 7".
WRITE_ITEM = {("slave", 5, 11): "RdsExternalLevelOffset_dBu"}

# ---- Text --------------------------------------------------------------------


def section(doc, title):
    lines = doc.splitlines()
    start = next(i for i, l in enumerate(lines) if l.startswith("# ") and title in l)
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("# ")), len(lines))
    return lines[start:end]


def table_after(lines, heading_start, header_start="| "):
    """Rows (cells) of the first markdown table after the line starting with
    `heading_start`."""
    i = next(k for k, l in enumerate(lines) if l.startswith(heading_start))
    while not lines[i].startswith(header_start):
        i += 1
    rows = []
    for l in lines[i + 2:]:
        if not l.startswith("|"):
            break
        rows.append([c.strip() for c in l.strip().strip("|").split("|")])
    return rows


class Keys:
    """The key rows of Config/keys/*.def by their element name."""

    def __init__(self, root):
        self.by_name, self.kind, self.ctype, self.order = {}, {}, {}, []
        for f in sorted(glob.glob(os.path.join(root, "Config/keys/*.def"))):
            text = open(f).read()
            for m in re.finditer(r"^CFG\((\w+), (\w+), (\w+)(.*?)(?=^CFG|\Z)", text, re.S | re.M):
                kind, ident, ctype, body = m.groups()
                self.kind[ident], self.ctype[ident] = kind, ctype
                self.order.append(ident)
                # A family named by a rule ("EON_1") does not own its stem.
                name = re.search(r'\.name = "([^"]*)"', body)
                if name and ".nameRule" not in body:
                    self.by_name[name.group(1)] = ident

    def ident(self, name):
        if name in self.by_name:
            return self.by_name[name]
        raise SystemExit(f"no key row is named {name}")

    def run(self, first, last):
        a, b = self.order.index(self.ident(first)), self.order.index(self.ident(last))
        return self.order[a:b + 1]


class Elem:
    """One element of a catalogue: its getter, and the key it names."""

    def __init__(self, expr, key=None, text=""):
        self.expr, self.key, self.text = expr, key, text

    def form(self):
        if self.expr is None:
            return "LINK_ZERO"
        m = re.fullmatch(r"cfgGetElement\(KEYROW\((\w+)\), 0\)", self.expr)
        if m:
            return f"LINK_KEY({m.group(1)})"
        return f"LINK_GET({self.expr})"


def strip_parens(text):
    while True:
        t = re.sub(r" ?\([^()]*\)", "", text)
        if t == text:
            return t
        text = t


def role(link, table, element, phrase):
    return ROLE.get((link, table, element, phrase), ROLE.get((link, table, phrase), ROLE.get(phrase)))


def key_elem(ident, text):
    return Elem(f"cfgGetElement(KEYROW({ident}), 0)", ident, text)


# Element forms tried before the mapped phrases: the key run (`A` ... `B`)
# after the words that introduce it, and a flag of a key.
FIRST_RULES = [
    (r"(?:then )?for [^`;]*?\(`(\w+)` \.\.\. `(\w+)`\)",
     lambda m, keys: [key_elem(k, k) for k in keys.run(m[1], m[2])]),
    (r"1 when `(\w+)` is non-zero",
     lambda m, keys: [Elem(f"cfgGetElement(KEYROW({keys.ident(m[1])}), 0) != 0", keys.ident(m[1]), m[0])]),
]
# Element forms tried after them: a constant, a key by its name.
LAST_RULES = [
    (r"(?:always )?(\d+)(?=$|[,;])", lambda m, keys: [Elem(None if m[1] == "0" else m[1], None, m[0])]),
    (r"`(\w+)`( \([^)]*\))?(?=$|[,;])", lambda m, keys: [key_elem(keys.ident(m[1]), m[1])]),
]


def apply_rule(rules, rest, keys, out):
    """The length of `rest` the first matching rule takes, its elements added
    to out; 0 when none matches."""
    for pattern, make in rules:
        m = re.match(pattern, rest)
        if m:
            out.extend(make(m, keys))
            return m.end()
    return 0


def parse_elements(link, table, cell, keys):
    """The elements of a catalogue cell, in order; the element numbers the
    cell writes are checked against the position."""
    # Citations of other sections go; a reference into another link's
    # tables reads "the other link's table ...".
    text = re.sub(r" \(Parts? [\d.]+(?: and [\d.]+)?\)", "", cell)
    text = re.sub(r"\bPart [\d.]+ (?=table)", "the other link's ", text)
    for s in SKIP:
        if text.startswith(s) and ":" in s:
            text = text[len(s):]
    out = []
    pos = 0
    while pos < len(text):
        rest = text[pos:]
        sep = re.match(r"(?:[,;] |then (?=\d)|and (?=`))+", rest)
        if sep:
            pos += sep.end()
            continue
        # An element number or run, checked against the position.
        num = re.match(r"(\d+)(?:-(\d+)| to (\d+)| and (\d+))? (?=[a-z`A-Z])", rest)
        if num and not rest.startswith(num.group(1) + " when"):
            first = int(num.group(1))
            if first != len(out) + 1:
                raise SystemExit(f"{link} table {table}: element {first} at position {len(out) + 1}: {rest}")
            pos += num.end()
            continue
        rule = apply_rule(FIRST_RULES, rest, keys, out)
        if rule:
            pos += rule
            continue
        # A phrase the mappings know, the longest first.
        known = sorted([p for p in ROLE if isinstance(p, str)] +
                       [p[-1] for p in ROLE if isinstance(p, tuple) and p[:2] == (link, table)], key=len, reverse=True)
        plain = strip_parens(rest)
        hit = next((p for p in known if plain.startswith(p) and re.match(r"$|[,;]", plain[len(p):])), None)
        if hit:
            for e in role(link, table, len(out) + 1, hit):
                out.append(Elem(e, key_of(e), hit))
            pos += len(consume(rest, hit))
            continue
        skip = next((s for s in SKIP if rest.startswith(s)), None)
        if skip:
            pos += len(skip)
            continue
        rule = apply_rule(LAST_RULES, rest, keys, out)
        if rule:
            pos += rule
            continue
        raise SystemExit(f"{link} table {table}: no mapping for: {rest}")
    return out


def key_of(expr):
    m = re.fullmatch(r"cfgGetElement\(KEYROW\((\w+)\), 0\)", expr or "")
    return m.group(1) if m else None


def consume(rest, phrase):
    """The part of `rest` that `phrase` covers, with the parentheses the
    phrase was matched without."""
    i = j = 0
    while j < len(phrase):
        if rest[i] == phrase[j]:
            i += 1
            j += 1
            continue
        m = re.match(r" ?\([^()]*\)", rest[i:])
        if not m:
            raise SystemExit(f"cannot follow {phrase!r} in {rest!r}")
        i += m.end()
    m = re.match(r" ?\([^()]*\)", rest[i:])
    return rest[:i + (m.end() if m else 0)]


def numbers(text):
    """'1, 3 and 5' or '2 / 3 / 8' or '12-16 and 18' or '3 to 17, 22' -> list."""
    out = []
    for part in re.split(r",|/| and ", text):
        part = part.strip()
        m = re.fullmatch(r"(\d+)(?:-| to )(\d+)", part)
        if m:
            out.extend(range(int(m.group(1)), int(m.group(2)) + 1))
        elif part.isdigit():
            out.append(int(part))
    return out


# ---- Catalogues ----------------------------------------------------------------

WIDTH = {"W": 4, "H": 2, "B": 1, "words": 4, "half-words": 2, "bytes": 1}


class Link:
    def __init__(self, name, prefix, order):
        self.name, self.prefix, self.order = name, prefix, order
        self.tables = []  # (table, count, width, order, source, elems)
        self.list_width = {}
        self.status = []  # STATUS_* rows
        self.status_bytes = 0
        self.writes = []
        self.writable = []
        self.extra = []  # further generated lines


def dcm_catalogue(link, lines, keys, status_no):
    rows = table_after(lines, "Table catalogue")
    for table, count, kind, cell in rows:
        t, n = int(table), int(count)
        width = WIDTH[kind.split(",")[0]]
        order = "TO_HOST" if "not byte-swapped" in kind else link.order
        if t == status_no:
            link.tables.append((t, n, width, order, "status", None))
        elif (link.name, t) in BUILDERS:
            link.tables.append((t, n, width, order, BUILDERS[(link.name, t)], None))
        elif cell in ("all 0", "always 0"):
            link.tables.append((t, n, width, order, "zero", None))
        else:
            elems = parse_elements(link.name, t, cell, keys)
            if len(elems) != n:
                raise SystemExit(f"{link.name} table {t}: {len(elems)} elements, count {n}: {[e.text for e in elems]}")
            link.tables.append((t, n, width, order, "elems", elems))


def status_cell(cell):
    m = re.fullmatch(r"event (\d+)", cell)
    if m:
        return f"STATUS_EVENT({{b}}, {{k}}, {m.group(1)})"
    # "a76 clear": the event bit a76 stands for is clear.
    m = re.fullmatch(r"not event (\d+)|a(\d+) clear", cell)
    if m:
        return f"STATUS_NOT({{b}}, {{k}}, {m.group(1) or m.group(2)})"
    m = re.fullmatch(r"event (\d+) or event (\d+)", cell)
    if m:
        return f"STATUS_OR({{b}}, {{k}}, {m.group(1)}, {m.group(2)})"
    if cell == "0":
        return None
    if cell in STATUS_FN:
        return f"STATUS_FN({{b}}, {{k}}, {STATUS_FN[cell]})"
    raise SystemExit(f"no mapping for the status bit: {cell}")


def status_table(link, rows):
    for cells in rows:
        b = int(cells[0])
        for k, cell in enumerate(cells[1:]):
            form = status_cell(cell)
            if form:
                link.status.append(form.format(b=b, k=k))


# ---- Write rows ------------------------------------------------------------------


class Writes:
    def __init__(self, link, keys, reads):
        self.link, self.keys, self.reads = link, keys, reads
        self.rows = []

    def code(self, t, els, code):
        for a, b in runs(els):
            self.rows.append(f"WR_CODE({t}, {a}, {b}, {code})")

    def hand(self, t, e):
        self.rows.append(f"WR_HAND({t}, {e}, {e}, {HAND[(self.link.name, t, e)]})")

    def setter(self, t, e, name, validated=True, valid=None, refused=13):
        """The write of `set<Id>`: a key row through its handle, other
        setters by name."""
        if name in NO_SETTING:
            self.rows.append(f"WR_CODE({t}, {e}, {e}, {refused}) // {name}: no such setting in this system")
            return
        ident = name[3:]
        if name in APPLY:
            self.rows.append(f"WR_FN_APPLY({t}, {e}, isValid{ident}, {name})" if validated else
                             f"WR_SET_APPLY({t}, {e}, {name})")
            return
        if not validated:
            self.rows.append(f"WR_SET({t}, {e}, {name})")
            return
        if valid is None and self.keys.kind.get(ident) in ("KEY", "KEY_HAND"):
            s16 = "_S16" if self.keys.ctype[ident] == "int16_t" else ""
            self.rows.append(f"WR_ROW{s16}({t}, {e}, {ident})")
            return
        self.rows.append(f"WR_FN({t}, {e}, {valid or 'isValid' + ident}, {name})")

    def read_item(self, t, e, effect=""):
        """The setter of the item the read table names at (t, e), unless the
        effect names another for the element ("element 12, which sets `X`",
        "element 4 setting `X`")."""
        item = WRITE_ITEM.get((self.link.name, t, e))
        if item:
            return "set" + item
        m = re.search(rf"element {e},? (?:which sets|setting|sets) `(\w+)`", effect)
        if m:
            return "set" + self.keys.ident(m.group(1))
        el = self.reads[t][e - 1]
        if el.key:
            return "set" + el.key
        if el.text == "the derating override":
            return "setDeratingOverride"
        raise SystemExit(f"{self.link.name} ({t}, {e}): the read table names no key: {el.text}")


def runs(els):
    els = sorted(els)
    out = []
    for e in els:
        if out and out[-1][1] == e - 1:
            out[-1][1] = e
        else:
            out.append([e, e])
    return [(a, b) for a, b in out]


def effect_rows(w, t, els, effect, result):
    """Rows for the common effects of the write tables; False when the effect
    needs the caller."""
    name = w.link.name
    if all((name, t, e) in HAND for e in els):
        for e in els:
            w.hand(t, e)
        return True
    if effect in ("none", "refused (13)"):
        code = re.match(r"\d+", result).group(0) if result else "13"
        w.code(t, els, code)
        return True
    m = re.fullmatch(r"`COMTAB_WriteElement`\((\d+), ([\d /]+), value\)(.*)", effect)
    if m:
        targets = [int(x) for x in m.group(2).split("/")]
        drop = "not passed on" in m.group(3) or result == "0"
        for e, te in zip(els, targets * len(els) if len(targets) == 1 else targets):
            w.rows.append(f"WR_COMTAB{'_DROP' if drop else ''}({t}, {e}, {m.group(1)}, {te})")
        return True
    m = re.match(r"value 1: command-manager slot (\d+) with parameter 1; other values: nothing", effect)
    if m:
        for e in els:
            w.rows.append(f"WR_CMD({t}, {e}, {m.group(1)})")
        return True
    # Setters named in order, each with its validator ("the byte item of
    # element n": the setter of the item the read table names there).
    if re.match(r"the key's validator, then its setter|validated setters:|validated `set", effect):
        setters = setter_list(effect)
        assert len(setters) == len(els), (t, els, setters)
        for e, (setter, valid, item) in zip(els, setters):
            w.setter(t, e, setter or w.read_item(t, item), valid=valid)
        return True
    m = re.fullmatch(r"`(set\w+)`\(value, 1\)(?:, without validation)?", effect)
    if m:
        for e in els:
            w.setter(t, e, m.group(1), validated=False)
        return True
    return False


def setter_list(effect):
    """The setters a cell names in order, with the validator a parenthesis
    gives one of them."""
    out = []
    for m in re.finditer(r"`(set\w+)`(?: \(validated with `(\w+)`\))?|the byte item of element (\d+)", effect):
        out.append((m.group(1), m.group(2), int(m.group(3)) if m.group(3) else None))
    return out


def dcm_writes(link, lines, keys):
    reads = {t: elems for t, n, w, o, s, elems in link.tables if elems}
    w = Writes(link, keys, reads)
    rows = table_after(lines, "Writable elements")
    listed = {}
    for where, effect, result in rows:
        if where == "other tables":
            continue
        m = re.fullmatch(r"(\d+), (.*)", where)
        t, elements = int(m.group(1)), m.group(2)
        if elements == "other":
            els = [e for e in range(0, 256) if e not in listed.get(t, set())]
        else:
            els = numbers(elements)
        listed.setdefault(t, set()).update(els)
        if effect_rows(w, t, els, effect, result):
            continue
        if effect.startswith("validated setter of the item") or \
                effect.startswith("validated setters in the order of the read table"):
            for e in els:
                w.setter(t, e, w.read_item(t, e, effect))
            continue
        raise SystemExit(f"{link.name} ({t}, {elements}): no mapping for the effect: {effect}")
    link.writes = w.rows
    # Tables whose unlisted elements answer 0: those the text names so, or
    # every listed table that has no row for "other".
    m = re.search(r"tables other than ([\d, and]+) answer 1", "\n".join(lines))
    if m:
        link.writable = numbers(m.group(1))
    else:
        link.writable = sorted(t for t in listed if len(listed[t]) < 256)


# ---- The remote link ----------------------------------------------------------------


def remote_catalogue(link, lines, heading, keys, status_no):
    for table, elements, cell in table_after(lines, heading):
        t = int(table)
        m = re.match(r"(\d+) (words|half-words|bytes)", elements)
        n, width = int(m.group(1)), WIDTH[m.group(2)]
        if t == status_no:
            link.tables.append((t, n, width, "TO_HOST", "status", None))
        elif (link.name, t) in BUILDERS:
            link.tables.append((t, n, width, "TO_HOST", BUILDERS[(link.name, t)], None))
        else:
            slots = re.fullmatch(r"running flags of command-manager slots ([\d, and]+), then 0", cell)
            if slots:
                elems = [Elem(f"CMD_IsRunning({s})") for s in numbers(slots.group(1))] + [Elem(None)]
            else:
                elems = parse_elements(link.name, t, cell, keys)
            if len(elems) != n:
                raise SystemExit(f"{link.name} table {t}: {len(elems)} elements, count {n}: {elems}")
            link.tables.append((t, n, width, "TO_HOST", "elems", elems))


def remote_writes(pd, ext, lines, keys):
    text = "\n".join(lines)
    # Process data.
    reads = {t: elems for t, n, w, o, s, elems in pd.tables if elems}
    w = Writes(pd, keys, reads)
    listed = {}
    commands = []
    for where, effect, result in table_after(lines, "Write element, process-data family"):
        m = re.fullmatch(r"(\d+), (.*)", where.split(";")[0])
        t, elements = int(m.group(1)), m.group(2)
        if where == "10, other; 11, any":
            for tt in (10, 11):
                els = [e for e in range(0, 256) if e not in listed.get(tt, set())]
                listed.setdefault(tt, set()).update(els)
                w.code(tt, els, result)
            continue
        els = [e for e in range(0, 256) if e not in listed.get(t, set())] if elements == "other" else numbers(elements)
        listed.setdefault(t, set()).update(els)
        book = re.fullmatch(r'book line "([^"]*)"(?: \(two blanks before "from"\))?, '
                            r'`COMTAB_WriteElement`\(7, (\d+), 1\)', effect)
        if book:
            commands.append(f'BOOK_COMMAND({t}, {els[0]}, "{book.group(1)}", {book.group(2)})')
            w.rows.append(f"WR_HAND({t}, {els[0]}, {els[0]}, externalCommand)")
            continue
        if effect_rows(w, t, els, effect, result):
            continue
        raise SystemExit(f"pd ({t}, {elements}): no mapping for the effect: {effect}")
    pd.writes = w.rows
    m = re.search(r"Elements of table (\d+) outside 1-(\d+) answer 0", text)
    pd.writable = [int(m.group(1))]
    m = re.search(r"a change code is computed: 0 for tables (\d+) and (\d+) and for table (\d+) elements ([\d, and]+),",
                  text)
    pd.extra.append(f"NO_CHANGE({m.group(1)}, 0, 255)")
    pd.extra.append(f"NO_CHANGE({m.group(2)}, 0, 255)")
    for e in numbers(m.group(4)):
        pd.extra.append(f"NO_CHANGE({m.group(3)}, {e}, {e})")
    pd.extra += commands

    # Extended.
    reads = {t: elems for t, n, w_, o, s, elems in ext.tables if elems}
    w = Writes(ext, keys, reads)
    for where, effect in table_after(lines, "Write element, extended family"):
        m = re.fullmatch(r"(\d+), (.*)", where)
        t, elements = int(m.group(1)), m.group(2)
        els = numbers(elements)
        if effect_rows(w, t, els, effect, None):
            continue
        if effect.startswith("validated setter of the item") or effect.startswith("validated setters"):
            for e in els:
                if (ext.name, t, e) in HAND:
                    w.hand(t, e)
                else:
                    w.setter(t, e, w.read_item(t, e, effect))
            continue
        m = re.fullmatch(r"((?:`set\w+`(?:, | / )?)+) without validation", effect)
        if m:
            for e, name in zip(els, re.findall(r"`(set\w+)`", m.group(1))):
                w.setter(t, e, name, validated=False)
            continue
        m = re.fullmatch(r"((?:`set\w+`(?: / )?)+), values (-?[\d,]+) (?:to|and) (-?[\d,]+)", effect)
        if m:
            for e, name in zip(els, re.findall(r"`(set\w+)`", m.group(1))):
                lo, hi = m.group(2).replace(",", ""), m.group(3).replace(",", "")
                w.rows.append(f"WR_RANGED({t}, {e}, {name[3:]}, {lo}, {hi})")
            continue
        raise SystemExit(f"ext ({t}, {elements}): no mapping for the effect: {effect}")
    ext.writes = w.rows
    m = re.search(r"Write element, extended family: tables ([\d, and]+) have handlers", text)
    ext.writable = numbers(m.group(1))


def remote_status(pd, ext, lines):
    rows = table_after(lines, "Process-data status bytes")
    status_table(pd, rows)
    m = re.search(r"Extended status bytes: (.*)", "\n".join(lines)).group(1)
    for b, k0, k1, events in re.findall(r"byte (\d) bits (\d)-(\d) = events ([\d, ]+\d)", m):
        evs = [int(x) for x in events.split(",")]
        assert len(evs) == int(k1) - int(k0) + 1
        for k, e in zip(range(int(k0), int(k1) + 1), evs):
            ext.status.append(f"STATUS_EVENT({b}, {k}, {e})")


def list_widths(link, text):
    """'tables 1, 3 and 6 by 32-bit word, 5 by byte, table 7 by 16-bit
    value' -> the width a list read takes each table's elements at."""
    how = {"32-bit word": 4, "word": 4, "16-bit value": 2, "half-word": 2, "byte": 1}
    for tables, by in re.findall(r"(\d+(?:(?:, | and )\d+)*) by (32-bit word|16-bit value|half-word|word|byte)", text):
        for t in numbers(tables):
            link.list_width[t] = how[by]


# ---- Output -----------------------------------------------------------------------


def header(title):
    return (f"// Generated by tools/genLinkTables.py from the description of {title};\n"
            "// edit the generator or the description, not this file.\n\n")


def emit(link):
    p = link.prefix
    lines = []
    if link.status:
        lines.append(f"const StatusBit k{p}Status[] = {{")
        lines += [f"    {s}," for s in link.status]
        lines += ["};", ""]
    for t, n, width, order, source, elems in link.tables:
        if source != "elems":
            continue
        lines.append(f"const ElemGetter k{p}Elems{t}[{n}] = {{")
        for i, e in enumerate(elems):
            said = i > 0 and elems[i - 1].text == e.text
            lines.append(f"    {e.form()}, // {i + 1}" + ("" if said or not e.text else f" {e.text}"))
        lines += ["};", ""]
    lines.append(f"const TableSpec k{p}Tables[] = {{")
    for t, n, width, order, source, elems in link.tables:
        lw = link.list_width.get(t, 0)
        if source == "elems":
            lines.append(f"    TABLE_ELEMS({t}, {n}, {width}, {order}, {lw}, k{p}Elems{t}),")
        elif source == "zero":
            lines.append(f"    TABLE_ZERO({t}, {n}, {width}, {order}, {lw}),")
        elif source == "status":
            lines.append(f"    TABLE_STATUS({t}, {n}, {order}, {lw}, k{p}Status, {link.status_bytes}),")
        else:
            lines.append(f"    TABLE_BUILT({t}, {n}, {width}, {order}, {lw}, {source}),")
    lines += ["};", ""]
    lines.append(f"const LinkWriteRow k{p}Writes[] = {{")
    for r in link.writes:
        row, _, note = r.partition(" // ")
        lines.append(f"    {row}," + (f" // {note}" if note else ""))
    lines += ["};", ""]
    lines.append(f"const uint8_t k{p}Writable[] = {{{', '.join(str(t) for t in link.writable)}}};")
    if link.extra:
        kinds = {"NO_CHANGE": f"const LinkElemRun k{p}NoChange[] = {{",
                 "BOOK_COMMAND": f"const BookCommand k{p}Commands[] = {{"}
        for kind, head in kinds.items():
            rows = [x for x in link.extra if x.startswith(kind)]
            if rows:
                lines += ["", head] + [f"    {x}," for x in rows] + ["};"]
    return "\n".join(lines) + "\n"


def dcm_link(doc, name, prefix, keys):
    """A serial link's rows: its catalogue, the status bits of its table 4
    and its write rows; and its section's text."""
    lines = section(doc, SECTIONS[name])
    link = Link(name, prefix, "TO_MSB_FIRST")
    dcm_catalogue(link, lines, keys, 4)
    status_table(link, table_after(lines, "Status bits of table 4"))
    link.status_bytes = 4
    dcm_writes(link, lines, keys)
    return link, "\n".join(lines)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    doc = open(sys.argv[1], encoding="utf-8").read()
    root = sys.argv[2] if len(sys.argv) > 2 else "."
    keys = Keys(root)
    outputs = {}

    co, text = dcm_link(doc, "co", "Co", keys)
    m = re.search(r"A list read takes element e .*? as word e - 1 for tables ([\d, and]+) and as byte e - 1 for the "
                  r"other tables", text)
    for t, *_ in co.tables:
        co.list_width[t] = 4 if t in numbers(m.group(1)) else 1
    outputs["links/gen/changeOverRows.inc"] = header("the change-over link") + emit(co)

    sl, text = dcm_link(doc, "slave", "Slave", keys)
    m = re.search(r"List read takes each element at the position of this width: (.*?); tables [\d, and]+ are not "
                  r"readable", text)
    list_widths(sl, m.group(1))
    outputs["links/gen/slaveRows.inc"] = header("the slave link") + emit(sl)

    rl_lines = section(doc, SECTIONS["remote"])
    pd = Link("pd", "Pd", "TO_HOST")
    ext = Link("ext", "Ext", "TO_HOST")
    remote_catalogue(pd, rl_lines, "Process-data tables", keys, 2)
    remote_catalogue(ext, rl_lines, "Extended tables", keys, 2)
    remote_status(pd, ext, rl_lines)
    pd.status_bytes, ext.status_bytes = 4, 2
    remote_writes(pd, ext, rl_lines, keys)
    m = re.search(r"Read element takes element e .*? at this width: process data (.*?); extended (.*?); the other",
                  "\n".join(rl_lines))
    list_widths(pd, m.group(1))
    list_widths(ext, m.group(2))
    outputs["links/gen/remoteLtxRows.inc"] = (header("the remote link over UDP") + "// Process-data family.\n\n" +
                                              emit(pd) + "\n// Extended family.\n\n" + emit(ext))

    for path, text in outputs.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as f:
            f.write(text)


if __name__ == "__main__":
    main()
