#!/usr/bin/env python3
"""Generates comtab/gen/writeRows.inc, the rows of the communication-table
write handlers, and comtab/tests/gen/writeRanges.inc, the documented range of
every checked element, from the text that describes the handlers.

Usage: genWriteRows.py <document.md> [repository root, default .]

The element lists of the sections "Write handlers of the transmitter, RF and
audio tables" and "Write handlers of the RDS and UECP tables" give, per
element, a name, a width (8-bit, s16, u16, whole word) and a range or "no
check". The key an element stores is the row of Config/keys/*.def published
to the cell of the same (table, element): the handler reaches the key's own
validator and setter, never a copy of the range. Elements whose key has no
row yet, and those with behaviour of their own, become WHAND rows naming a
hand-written function of comtab/writeHandlers.cpp (HAND_<table>_<element>).

The sections "Write handlers of the supply, receiver, GSM, ..." give the
remaining tables mostly as rules ("band b = (element - 1) / 4"): their rows
are written out below from those rules.

Row forms (comtab/writeTable.h):
  WKEY(table, first, last, step, base, Key, width, index, fail, flags)
                                           a key row: its own validator and setter
  WFN(table, element, isValid, set, width, fail, flags)
  WFN_APPLY(...)                           a key that is no row yet, by its
                                           validator and setter (with the apply flag)
  WGBE(table, element, width)              an MPX-over-IP parameter
  WCODE(table, first, last, code)          fixed result, nothing changes
  WHAND(table, first, last, fn)            hand-written
  WTABLE(table, code)                      result of an element not listed
The test file holds WRANGE(table, element, width, lo, hi, fail) rows.
"""
import glob
import os
import re
import sys

SECTIONS = ["Write handlers of the transmitter, RF and audio tables", "Write handlers of the RDS and UECP tables",
            "Write handlers of the supply, receiver, GSM, synchronisation, filter, audio-processor and amplifier tables"]


def section(doc, title):
    lines = doc.splitlines()
    start = next(i for i, l in enumerate(lines) if l.startswith("# ") and title in l)
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("# ")), len(lines))
    return "\n".join(lines[start:end])


def key_cells(root):
    """(section, item) -> (key id, kind, indexBase) of the rows whose first cell is there."""
    cells = {}
    for f in sorted(glob.glob(os.path.join(root, "Config/keys/*.def"))):
        text = open(f).read()
        for m in re.finditer(r"^CFG\((\w+), (\w+),(.*?)(?=^CFG|\Z)", text, re.S | re.M):
            kind, name, body = m.groups()
            base = re.search(r"\.indexBase = (\d+)", body)
            ctype = re.match(r"\s*(\w+)", body).group(1)
            for c in re.finditer(r"cell\w*\((\d+), (\d+)", body):
                cells.setdefault((int(c.group(1)), int(c.group(2))), (name, kind, int(base.group(1)) if base else 0))
            KEY_WIDTH[name] = {"uint8_t": "W_U8", "int16_t": "W_S16", "uint16_t": "W_U16"}.get(ctype, "W_WORD")
    return cells


# Elements whose key publishes to another cell than their own: the options
# B and C of table 9 (elements 2 and 3) publish to (9, 3) and (9, 2).
KEY_WIDTH = {}
# Widths of the keys not yet rows, from their own descriptions.
STANDIN_WIDTH = {"RetryBeforeLockout": "W_U8", "WaitBeforeRetry": "W_U8", "LockoutProcTime": "W_U16",
                 "AmplifierNumber": "W_U8", "LocalMaxTime": "W_U8", "ExternalAmplifierVoltageSupply": "W_U16",
                 "LocalTimeEnable": "W_U8", "PwrDeratingEnable": "W_U8", "PwrDeratingFactor": "W_U16",
                 "PwrDeratingTemperature": "W_U8", "PwrProgDeratingEnable": "W_U8", "PwrProgDeratingFactor": "W_U16",
                 "PwrProgDeratingTimeStart": "W_U16", "PwrProgDeratingTimeStop": "W_U16",
                 "PwrProgDeratingDayWeek": "W_U8", "TemperatureOffset": "W_WORD"}
# Table 13 elements with behaviour of their own.
HAND_13 = {5, 19, 24, 44, 45, 46, 47, 48, 51, 52, 53, 54, 56}
HAND_13_FN = {46: "HAND_13_45", 47: "HAND_13_45", 48: "HAND_13_45", 54: "HAND_13_53"}
# Table 13 elements named by what they hold: their setters.
SETTER_13 = {20: ("PowerCalCmd1", "W_U8"), 21: ("PowerCalCmd2", "W_U8"), 49: ("PowerCalCmd3", "W_U8"),
             50: ("PowerCalCmd4", "W_U8"), 35: ("UnitFlag", "W_U8"), 39: ("RefPowerMode", "W_U8"),
             42: ("I2cFaultFlag", "W_U8"), 35: ("UnitFlag", "W_U8")}
# 35 is checked by the unit flag's own validator.
CHECKED_13 = {35: (0, 1)}
# Where the key's own description gives another range than the table's.
KEY_PART_RANGE = {(13, 33): (0, 127)}
# Keys whose own description gives them no validator: stored unchecked.
NO_VALIDATOR = {"TxLowPowerConsiderDerating"}
CELL_OF = {(9, 2): (9, 3), (9, 3): (9, 2)}


def num(s):
    return int(s.replace(",", "").replace("\u2212", "-"))


def parse_range(rule):
    """(width, lo, hi) or (width, None, None) for no check / any value."""
    width = "W_WORD"
    if "8-bit" in rule:
        width = "W_U8"
    if "s16" in rule or "signed 16-bit" in rule:
        width = "W_S16"
    if "u16" in rule or "16-bit" in rule and width == "W_WORD":
        width = "W_U16"
    m = re.search(r"(-?[\d,]+) (?:to|-) (-?[\d,]+)|(-?\d[\d,]*)-(\d[\d,]*)", rule)
    if "no check" in rule or not m:
        return width, None, None
    if m.group(1) is not None:
        return width, num(m.group(1)), num(m.group(2))
    return width, num(m.group(3)), num(m.group(4))


def split_top(text):
    """Splits at ', ' and '. ' outside parentheses."""
    items, depth, cur = [], 0, ""
    for i, ch in enumerate(text):
        if ch == "(":
            depth += 1
        elif ch == ")":
            depth -= 1
        if depth == 0 and (ch in ",." and text[i + 1:i + 2] == " " or ch == "\n"):
            items.append(cur.strip())
            cur = ""
            continue
        cur += ch
    items.append(cur.strip())
    return items


def prose_elements(text):
    """Element lists written as '<n> Name (range), ...'; a run of elements
    may share one range: '25 A, 26 B, ..., 30 F (25 to 30: s16, -20 to 20)'."""
    out = {}
    for item in split_top(text):
        item = re.sub(r"^- ", "", item).rstrip(".")
        m = re.match(r"(\d+) ([A-Za-z][^()]*?)(?: \(([^()]*)\))?(?:;.*)?$", item)
        if not m:
            continue
        e, name, rule = int(m.group(1)), m.group(2), m.group(3) or ""
        shared = re.match(r"(\d+) to (\d+): (.*)", rule)
        if shared:
            for k in range(int(shared.group(1)), int(shared.group(2)) + 1):
                out[k] = (out.get(k, (name, ""))[0], shared.group(3))
            out[e] = (name, shared.group(3))
            continue
        out[e] = (name, rule)
    return out


def paragraph(text, start):
    i = text.index(start)
    j = text.find("\n\n", i)
    return text[i:j if j > 0 else len(text)]


def main():
    doc = open(sys.argv[1]).read()
    root = sys.argv[2] if len(sys.argv) > 2 else "."
    cells = key_cells(root)
    t103 = section(doc, SECTIONS[0])
    t105 = section(doc, SECTIONS[1])
    rows, ranges = [], []

    def key_row(t, e, name, rule, fail=11, flags="0", first=None, last=None, step=1, base=0, index="I_NONE",
                key=None):
        width, lo, hi = parse_range(rule)
        cell = (key, "IKEY", 1) if key else cells.get(CELL_OF.get((t, first or e), (t, first or e)))
        if not cell:
            rows.append(f"WHAND({t}, {e}, {e}, HAND_{t}_{e}) // {name}: no key row yet")
            return
        key = cell[0]
        # The value is narrowed to the key's own width, whatever the table's
        # text says of the element.
        width = KEY_WIDTH.get(key, width)
        if index == "I_NONE" and cell[1].startswith("IKEY") or cell[1] == "ISTATUS":
            index = index if index != "I_NONE" else "I_RUN"
            base = base or cell[2]
        f, l = first or e, last or e
        if lo is None:
            rows.append(f"WKEY({t}, {f}, {l}, {step}, {base}, {key}, {width}, {index}, 0, {flags}|F_NO_CHECK)")
        else:
            rows.append(f"WKEY({t}, {f}, {l}, {step}, {base}, {key}, {width}, {index}, {fail}, {flags})")
            for el in range(f, l + 1, step):
                ranges.append(f"WRANGE({t}, {el}, {width}, {lo}, {hi}, {fail})")

    def fn_row(t, e, key, width, checked, apply=False):
        """A key by its row handle when it is a row (its own validator and
        setter run, at its own width), else by its named validator and
        setter."""
        if key in KEY_WIDTH:
            flags = "0" if checked else "F_NO_CHECK"
            rows.append(f"WKEY({t}, {e}, {e}, 1, 0, {key}, {KEY_WIDTH[key]}, I_NONE, {11 if checked else 0}, {flags})")
            return KEY_WIDTH[key]
        form = "WFN_APPLY" if apply else "WFN"
        check = f"isValid{key}" if checked else "nullptr"
        rows.append(f"{form}({t}, {e}, {check}, set{key}, {width}, 11, 0)")
        return width

    # Table 5: keys of the power settings, the RF region and the logic,
    # reached through their rows, or their named validators and setters.
    rows.append("WTABLE(5, 1)")
    t5 = t103[t103.index("Table 5, RF power and frequency"):t103.index("Element 11: the frequency")]
    for line in t5.splitlines():
        m = re.match(r"\| (\d+) \| (\w+)(?: \(([^)]*)\))? \| (.*?) \|$", line)
        if not m:
            continue
        e, key, notes, valid = int(m.group(1)), m.group(2), m.group(3) or "", m.group(4)
        if e == 11:
            rows.append("WHAND(5, 11, 11, HAND_5_11)")
            continue
        width, lo, hi = parse_range(notes + ", " + valid)
        width = STANDIN_WIDTH.get(key, width)
        if not re.match(r"-?[\d,]+(?: to |-)-?[\d,]+$", valid):
            lo = hi = None  # a range of other keys' values
        width = fn_row(5, e, key, width, key not in NO_VALIDATOR, "apply flag" in notes)
        if lo is not None and key not in NO_VALIDATOR:
            ranges.append(f"WRANGE(5, {e}, {width}, {lo}, {hi}, 11)")

    # Table 3: keys of the transmitter logic.
    rows.append("WTABLE(3, 1)")
    for e in (1, 4, 7):
        rows.append(f"WCODE(3, {e}, {e}, 15)")
    t3 = t103[t103.index("Table 3, amplifier configuration"):t103.index("Table 5, RF power")]
    for line in t3.splitlines():
        m = re.match(r"\| (\d+) \| (\w+)(,? [^|]*?)? \| (.*?) \|$", line)
        if not m or not m.group(2)[0].isupper():
            continue
        e, key, notes, valid = int(m.group(1)), m.group(2), m.group(3) or "", m.group(4)
        width, lo, hi = parse_range(notes + ", " + valid)
        width = fn_row(3, e, key, STANDIN_WIDTH.get(key, width), True, "apply flag" in notes)
        if re.match(r"\d+-\d+$", valid):
            ranges.append(f"WRANGE(3, {e}, {width}, {lo}, {hi}, 11)")

    # Table 13: HPA calibration and logic options.
    rows.append("WTABLE(13, 1)")
    p13 = paragraph(t103, "3 ExternalAmplifierReferencePower")
    e13 = prose_elements(p13)
    # Runs written as "20 and 21 two ...", "45 to 48 web ...", "49 and 50 two ...".
    for m in re.finditer(r"(?:, |^)(\d+) (?:and|to) (\d+) ([a-z][^(,]*)\(([^)]*)\)", p13):
        for e in range(int(m.group(1)), int(m.group(2)) + 1):
            e13.setdefault(e, (m.group(3).strip(), m.group(4)))
    for e in (35, 50, 54):
        e13.setdefault(e, ("", "no check"))
    for e in sorted(e13):
        name, rule = e13[e]
        if e == 55:
            rows.append("WKEY(13, 55, 55, 1, 0, FSKSignTimeStart, W_WORD, I_NONE, 0, F_NO_CHECK)")
            continue
        if e == 3:  # any value but 0
            fn_row(13, 3, "ExternalAmplifierReferencePower", "W_WORD", True)
            continue
        if e in HAND_13:
            rows.append(f"WHAND(13, {e}, {e}, {HAND_13_FN.get(e, f'HAND_13_{e}')})")
            continue
        key, width = SETTER_13[e] if e in SETTER_13 else (name.split()[0], None)
        width = width or STANDIN_WIDTH.get(key) or parse_range(rule)[0]
        if (13, e) in cells and e not in (35,):
            key_row(13, e, name, rule, key=key if (13, e) not in cells else None)
            continue
        width_, lo, hi = parse_range(rule)
        lo, hi = KEY_PART_RANGE.get((13, e), CHECKED_13.get(e, (lo, hi)))
        width = fn_row(13, e, key, width, lo is not None)
        if lo is not None:
            ranges.append(f"WRANGE(13, {e}, {width}, {lo}, {hi}, 11)")

    # Table 9.
    p9 = paragraph(t103, "1 FPGA audio control option A")
    e9 = prose_elements(p9)
    fail13 = {int(x) for x in re.search(r"except for elements ([\d, and]+), where it gives 13", t103).group(1)
              .replace("and", ",").split(",") if x.strip()}
    rows.append("WTABLE(9, 0)")
    rows.append("WCODE(9, 35, 35, 0)")
    for e in range(1, 47):
        if e == 35:
            continue
        name, rule = e9[e]
        key_row(9, e, name, rule, fail=13 if e in fail13 else 11)

    # Table 11.
    p11 = paragraph(t103, "5 input configuration option A")
    e11 = prose_elements(p11)
    rows.append("WTABLE(11, 0)")
    rows.append("WCODE(11, 1, 4, 11)")
    for e in (12, 13, 14, 17, 18):
        rows.append(f"WCODE(11, {e}, {e}, 0)")
    for e in sorted(e11):
        name, rule = e11[e]
        key_row(11, e, name, rule)

    # Table 14 (every value 8-bit unless marked; the DAC mark raises the
    # hardware-apply word first).
    p14 = paragraph(t103, "1 Chan0GainNCO")
    e14 = prose_elements(p14)
    rows.append("WTABLE(14, 1)")
    for e in sorted(e14):
        name, rule = e14[e]
        if "(" in name:
            continue
        flags = "F_DAC" if "DAC" in rule.split(",")[0] and "DAC output" not in name else "0"
        if e == 1:
            rule = "8-bit, no check"
        if "s16" not in rule and "u16" not in rule and "8-bit" not in rule:
            rule = "8-bit, " + rule
        key_row(14, e, name, rule, flags=flags)
    key_row(14, 7, "option byte", "8-bit, no check")

    # Table 19.
    rows.append("WTABLE(19, 1)")
    for e in range(1, 16):
        k = (e - 1) % 3
        key_row(19, e, "", ["0-1", "-80 to -3", "5-300"][k])

    # Table 20, scalar elements.
    rows.append("WTABLE(20, 1)")
    p20 = paragraph(t105, "- 1 UECPInterface")
    e20 = prose_elements(p20)
    for e in sorted(e20):
        name, rule = e20[e]
        key_row(20, e, name, rule)
    # UECP slots: site addresses (u16), encoder addresses (8-bit), enable
    # flags (8-bit, no check) the element before; slot 1 is hand-written.
    rows.append("WHAND(20, 2, 3, HAND_20_slot1)")
    for first, last, slot in ((20, 24, 2), (44, 54, 5)):
        key_row(20, first, "site", "u16, 0-1023", first=first, last=last, step=2, base=slot, index="I_RUN",
                key="UECPSiteAddr")
        rows.append(f"WKEY(20, {first - 1}, {last - 1}, 2, {slot}, UECPSiteAddrEna, W_U8, I_RUN, 0, F_NO_CHECK)")
    key_row(20, 26, "encoder", "8-bit, 0-63", first=26, last=42, step=2, base=2, index="I_RUN",
            key="UECPEncoderAddr")
    rows.append("WKEY(20, 25, 41, 2, 2, UECPEncoderAddrEna, W_U8, I_RUN, 0, F_NO_CHECK)")

    # Tables 21 to 27, one data set each.
    rows.append("WTABLE(21, 1)")
    for line in t105.splitlines():
        m = re.match(r"\| ([\d, /to]+) \| (.*?) \| ?(.*?) ?\|$", line)
        if not m or not m.group(1)[0].isdigit():
            continue
        els, what, valid = m.groups()
        rule = valid if valid not in ("any", "") else "no check"
        if "8-bit" in what:
            rule = "8-bit, " + rule
        if "u16" in what:
            rule = "u16, " + rule
        groups = [g.strip() for g in els.split("/")]
        for g in groups:
            r = re.match(r"(\d+)(?:, (\d+)| to (\d+))?(?:, (\d+))?(?:, (\d+))?$", g)
            nums = [int(x) for x in r.groups() if x] if r else []
            if " to " in g:
                nums = [int(nums[0]), int(nums[1])]
                span = range(nums[0], nums[1] + 1)
            else:
                span = nums
            if "no store" in what:
                for e in span:
                    rows.append(f"WHAND(21, {e}, {e}, HAND_21_sequence)")
                continue
            if "words" in what or "EON entry" in what:
                key_row(21, span[0], what, rule, first=span[0], last=span[-1], index="I_DATASET_RUN")
            elif len(span) > 1 and "TP, TA" in what or "LA, EGI" in what:
                for e in span:
                    key_row(21, e, what, rule, index="I_DATASET")
            else:
                for e in span:
                    if e == 36:
                        rows.append("WHAND(21, 36, 36, HAND_21_36)")
                        ranges.append("WRANGE(21, 36, W_U8, 0, 1, 11)")
                        continue
                    key_row(21, e, what, rule, index="I_DATASET")

    t106 = section(doc, SECTIONS[2])

    def unchecked(t, text, index="I_NONE"):
        """'1 A, 2 B, 3 and 4 C words 0 and 1, 10 to 14 D words 0 to 4, 17
        and 18 two options (8-bit)': every element stored without a check."""
        for item in split_top(text):
            item = item.rstrip(".").strip()
            m = re.match(r"(\d+)(?: (and|to) (\d+))? (.*)$", item)
            if not m:
                continue
            first, last = int(m.group(1)), int(m.group(3) or m.group(1))
            what = m.group(4)
            rule = ("8-bit, " if "8-bit" in what or "byte" in what else "") + "no check"
            if "words" in what:
                key_row(t, first, what, rule, first=first, last=last, index="I_RUN")
            else:
                for e in range(first, last + 1):
                    key_row(t, e, what, rule, index=index)

    # Table 51, GSM common settings: all without a check.
    rows.append("WTABLE(51, 1)")
    p51 = re.search(r"Table 51, GSM common settings \(elements 1 to 19, all stored without a check, result 0\): (.*)",
                    t106).group(1)
    unchecked(51, p51)

    # Tables 53 and 54, GSM users: twelve elements a user; the rows give the
    # position k in the user's twelve.
    rows.append("WTABLE(53, 1)")
    rows.append(f"WKEY(53, 1, 1, 1, 0, PhoneDestPrefix, W_U16, I_GSM_USER, 0, F_NO_CHECK)")
    # The user's word at k = 2 and the ten words after it are the rows
    # published to those cells.
    for k, (key, kind) in enumerate([cells[(53, 2)][:2], cells[(53, 3)][:2]]):
        if kind == "IKEY2":
            rows.append(f"WKEY(53, 3, 12, 1, 0, {key}, W_WORD, I_GSM_USER_RUN, 0, F_NO_CHECK)")
        else:
            rows.append(f"WKEY(53, 2, 2, 1, 0, {key}, W_WORD, I_GSM_USER, 0, F_NO_CHECK)")

    # Table 55, synchronised operation.
    m55 = re.search(r"Table 55, synchronised operation \(elements 1 to 18; ([\d, and]+) give 15\): (.*?); all without",
                    t106)
    rows.append("WTABLE(55, 1)")
    for e in re.findall(r"\d+", m55.group(1)):
        rows.append(f"WCODE(55, {e}, {e}, 15)")
    unchecked(55, m55.group(2))

    # Table 57, audio-processor compressor and switches: without a check;
    # the marks set the modified items first.
    rows.append("WTABLE(57, 15)")
    rows.append("WCODE(57, 63, 65535, 1)")
    for pos, key in enumerate(["ApCmpLogTh", "ApCmpLinRt", "ApCmpLogKw", "ApCmpMinGainDec"]):
        rows.append(f"WKEY(57, {1 + pos}, {17 + pos}, 4, 0, {key}, {KEY_WIDTH[key]}, I_RUN, 0, F_NO_CHECK|F_MARK_CMP)")
    rows.append(f"WKEY(57, 21, 29, 2, 0, ApSmoothingNAttack, {KEY_WIDTH['ApSmoothingNAttack']}, I_RUN, 0, F_NO_CHECK|F_MARK_CMP)")
    rows.append(f"WKEY(57, 22, 30, 2, 0, ApSmoothingNRelease, {KEY_WIDTH['ApSmoothingNRelease']}, I_RUN, 0, F_NO_CHECK|F_MARK_CMP)")
    rows.append(f"WKEY(57, 31, 35, 1, 0, ApGainLogRef, {KEY_WIDTH['ApGainLogRef']}, I_RUN, 0, F_NO_CHECK|F_MARK_CMP)")
    for e, key, mark in ((36, "ApOn", "F_MARK_COMMON"), (37, "ApEqOn", "F_MARK_COMMON"), (38, "ApCmpOn", "F_MARK_COMMON"),
                         (40, "ApCmpLoad", "F_MARK_COMMON"), (41, "ApCmpModified", "0"),
                         (43, "ApEqLoad", "F_MARK_COMMON"), (44, "ApEqModified", "0"),
                         (46, "ApLimPostCpr", "F_MARK_COMMON"), (47, "ApLimGainSel", "F_MARK_COMMON"),
                         (57, "ApEqPostCpr", "F_MARK_COMMON"), (58, "ApLimLev", "F_MARK_COMMON"),
                         (48, "ApByte48", "0"), (49, "ApByte49", "0"), (50, "ApByte50", "0"), (56, "ApByte56", "0"),
                         (62, "ApCommonModified", "0")):
        rows.append(f"WKEY(57, {e}, {e}, 1, 0, {key}, {KEY_WIDTH[key]}, I_NONE, 0, F_NO_CHECK|{mark})")
    for e in (39, 42, 59, 60, 61):
        rows.append(f"WHAND(57, {e}, {e}, HAND_57_{e})")

    # Table 58, equaliser and economy mode.
    rows.append("WTABLE(58, 15)")
    rows.append("WCODE(58, 28, 65535, 1)")
    rows.append(f"WKEY(58, 1, 1, 1, 0, ApEqGain, {KEY_WIDTH['ApEqGain']}, I_NONE, 0, F_NO_CHECK|F_MARK_EQ)")
    for pos, key in enumerate(["ApEqFreqC", "ApEqBandGain", "ApEqQFactor"]):
        rows.append(f"WKEY(58, {2 + pos}, {17 + pos}, 3, 0, {key}, W_WORD, I_RUN, 0, F_NO_CHECK|F_MARK_EQ)")
    rows.append(f"WKEY(58, 20, 20, 1, 0, ApEqLlShelving, {KEY_WIDTH['ApEqLlShelving']}, I_NONE, 0, F_NO_CHECK|F_MARK_EQ)")
    rows.append(f"WKEY(58, 21, 21, 1, 0, ApEqHShelving, {KEY_WIDTH['ApEqHShelving']}, I_NONE, 0, F_NO_CHECK|F_MARK_EQ)")
    rows.append(f"WKEY(58, 25, 25, 1, 0, ApEconOn, {KEY_WIDTH['ApEconOn']}, I_NONE, 0, F_NO_CHECK)")
    rows.append(f"WKEY(58, 26, 26, 1, 0, ApEconReference, {KEY_WIDTH['ApEconReference']}, I_NONE, 0, F_NO_CHECK)")
    rows.append(f"WKEY(58, 27, 27, 1, 0, ApEconRatio, {KEY_WIDTH['ApEconRatio']}, I_NONE, 0, F_NO_CHECK)")

    # Table 56, tunable band-pass filter: the filter's own validators and
    # setters (its settings retune the filter).
    rows.append("WTABLE(56, 1)")
    for e in range(7, 13):
        rows.append(f"WCODE(56, {e}, {e}, 15)")
    for e, valid, setter in ((1, "isValidTunBpfCoarse", "setTunBpfCoarseA"), (2, "isValidTunBpfFine", "setTunBpfFineA"),
                             (3, "isValidTunBpfCoarse", "setTunBpfCoarseB"), (4, "isValidTunBpfFine", "setTunBpfFineB"),
                             (5, "isValidTunBpfByte5", "ignoreSettingByte"),
                             (6, "isValidTunBpfVeryFine", "setTunBpfVeryFine")):
        rows.append(f"WFN(56, {e}, {valid}, {setter}, W_WORD, 11, 0)")
        ranges.append(f"WRANGE(56, {e}, W_WORD, 0, {[7, 511, 7, 511, 15, 31][e - 1]}, 11)")

    # Table 37, MPX-over-IP parameters, each at its width.
    rows.append("WTABLE(37, 15)")
    rows.append("WCODE(37, 61, 65535, 1)")
    t37 = t106[t106.index("Table 37, MPX-over-IP parameters"):t106.index("Table 46, FM receiver")]
    for m in re.finditer(r"^\| (\d+) \| `(\w+)` \| (\d+)-bit \|$", t37, re.M):
        width = {"32": "W_WORD", "16": "W_U16", "8": "W_U8"}[m.group(3)]
        rows.append(f"WGBE(37, {m.group(1)}, {width}) // {m.group(2)}")

    # Table 46, FM receiver: the receiver's parameters, its command-table
    # entry and its alarm thresholds.
    rows.append("WTABLE(46, 15)")
    rows.append("WCODE(46, 52, 65535, 1)")
    for e in (1, 31, 33, 34, 35, 40):
        rows.append(f"WHAND(46, {e}, {e}, HAND_46_param)")
    rows.append("WHAND(46, 18, 18, HAND_46_18)")
    rows.append("WHAND(46, 20, 22, HAND_46_threshold)")

    # Table 31, power supply 0: 12 and 13 unchecked, 9 to 11 no element.
    rows.append("WTABLE(31, 1)")
    rows.append("WCODE(31, 1, 8, 15)")
    rows.append("WCODE(31, 9, 11, 1)")
    rows.append("WHAND(31, 12, 12, HAND_31_12)")
    rows.append("WHAND(31, 13, 13, HAND_31_13)")

    # Table 62, external amplifier 1: forwarded to the unit.
    rows.append("WTABLE(62, 1)")
    rows.append("WCODE(62, 1, 45, 15)")
    rows.append("WHAND(62, 46, 56, HAND_62_unit)")
    rows.append("WCODE(62, 57, 57, 15)")
    rows.append("WHAND(62, 58, 58, HAND_62_unit)")

    # Tables 59 to 61, preset names: word n - 1 of the names.
    for t in (59, 60, 61):
        rows.append(f"WTABLE({t}, 1)")
        rows.append(f"WHAND({t}, 1, 64, HAND_presetName)")

    # Tables 7, 15 to 18, 43, 44, 49 and 50: commands, unit, network and
    # time. Elements that store a key are its row; elements that request a
    # command-manager slot or a command-table entry are hand-written
    # (comtab/commandHandlers.cpp).
    def keys(t, items):
        for e, key, checked, lo, hi in items:
            width = KEY_WIDTH[key]
            if checked:
                rows.append(f"WKEY({t}, {e}, {e}, 1, 0, {key}, {width}, I_NONE, 11, 0)")
                ranges.append(f"WRANGE({t}, {e}, {width}, {lo}, {hi}, 11)")
            else:
                rows.append(f"WKEY({t}, {e}, {e}, 1, 0, {key}, {width}, I_NONE, 0, F_NO_CHECK)")

    rows.append("WTABLE(7, 1)")
    rows.append("WHAND(7, 1, 12, HAND_7_command)")

    rows.append("WTABLE(15, 1)")
    rows.append("WHAND(15, 1, 1, HAND_15_1)")
    keys(15, [(2, "Nplus1Mode", True, 0, 1), (3, "Nplus1MainsNumber", True, 1, 8),
              (9, "Nplus1HwAddressing", True, 0, 1), (10, "Nplus1CoExtension", True, 0, 1),
              (11, "Nplus1CoDisableTlc", True, 0, 1)])
    rows.append("WHAND(15, 5, 5, HAND_15_reserve)")
    rows.append("WHAND(15, 7, 7, HAND_15_reserve)")
    ranges.append("WRANGE(15, 1, W_U8, 1, 255, 11)")

    rows.append("WTABLE(16, 1)")
    keys(16, [(15, "VendorId", True, 0, 4), (17, "TlcTlsExtended", True, 0, 1),
              (18, "FanManualLevel", True, 0, 100)])

    rows.append("WTABLE(17, 1)")
    keys(17, [(2, "HpaMinFreq", False, 0, 0), (3, "HpaMaxFreq", False, 0, 0), (18, "HpaByteE", False, 0, 0),
              (21, "HPSMngMode", False, 0, 0), (22, "RestoreOffsetHpsVout", False, 0, 0),
              (24, "HpaRflPwrFilterStart", False, 0, 0), (25, "HpaRflPwrFilter", False, 0, 0),
              (26, "HpaDrvCurrConvFactor", False, 0, 0)])
    rows.append("WCODE(17, 1, 26, 15)")

    rows.append("WTABLE(18, 1)")
    rows.append("WCODE(18, 1, 2, 0)")
    rows.append("WCODE(18, 8, 9, 0)")
    rows.append("WCODE(18, 7, 7, 15)")
    rows.append("WCODE(18, 14, 14, 15)")
    for e, key in ((3, "FrontEthernetIPAddress"), (4, "FrontEthernetIPNetmask"), (5, "FrontEthernetIPGateway"),
                   (10, "RearEthernetIPAddress"), (11, "RearEthernetIPNetmask"), (12, "RearEthernetIPGateway")):
        rows.append(f"WKEY(18, {e}, {e}, 1, 0, {key}, W_NET32, I_NONE, 0, F_NO_CHECK)")
    rows.append("WHAND(18, 6, 6, HAND_entry_request)")
    rows.append("WHAND(18, 13, 13, HAND_entry_request)")
    keys(18, [(15, "RearEthernetAutoneg", False, 0, 0), (16, "RearEthernetDuplex", False, 0, 0),
              (17, "RearEthernetSpeed", False, 0, 0)])

    rows.append("WTABLE(43, 1)")
    for e, setter in ((1, "setTimeReqDay"), (2, "setTimeReqMonth"), (3, "setTimeReqYear"), (4, "setTimeReqHour"),
                      (5, "setTimeReqMinute"), (6, "setTimeReqSecond")):
        rows.append(f"WFN(43, {e}, nullptr, {setter}, W_WORD, 11, 0)")
    rows.append("WHAND(43, 7, 7, HAND_entry_request)")
    rows.append("WCODE(43, 8, 8, 15)")
    rows.append("WCODE(43, 14, 14, 15)")
    keys(43, [(9, "WebsRefreshTime", True, 1, 60), (10, "SystemClockSource", True, 0, 3),
              (12, "SystemTimezoneID", False, 0, 0), (15, "DaylightSavingTime", False, 0, 0),
              (16, "NTPPollIval", True, 60, 1440)])
    rows.append("WHAND(43, 11, 11, HAND_43_11)")
    ranges.append("WRANGE(43, 11, W_WORD, 0, 4, 11)")
    rows.append("WHAND(43, 13, 13, HAND_entry_request)")

    rows.append("WTABLE(44, 1)")
    rows.append("WHAND(44, 1, 2, HAND_44_mac)")
    rows.append("WHAND(44, 5, 6, HAND_44_mac)")
    rows.append("WHAND(44, 19, 19, HAND_44_mac)")
    for e in (3, 7, 12, 21):
        rows.append(f"WHAND(44, {e}, {e}, HAND_entry_request)")
    for e in (4, 8, 13, 18, 22):
        rows.append(f"WCODE(44, {e}, {e}, 15)")
    rows.append("WKEY(44, 9, 11, 1, 0, SerialNumberWord, W_WORD, I_RUN, 0, F_NO_CHECK)")
    rows.append("WCODE(44, 20, 20, 0)")

    rows.append("WTABLE(49, 1)")
    rows.append("WHAND(49, 1, 1, HAND_upgrade_request)")
    for e in (2, 3, 7, 9):
        rows.append(f"WHAND(49, {e}, {e}, HAND_entry_request)")
    for e in (4, 5, 6, 8, 10, 11):
        rows.append(f"WCODE(49, {e}, {e}, 0)")

    rows.append("WTABLE(50, 1)")
    rows.append("WFN(50, 1, isValidUpgradeParam, setUpgradeParam, W_WORD, 11, 0)")
    ranges.append("WRANGE(50, 1, W_WORD, 0, 1, 11)")
    rows.append("WHAND(50, 2, 2, HAND_upgrade_request)")
    for e in (3, 4, 8, 12, 13):
        rows.append(f"WHAND(50, {e}, {e}, HAND_entry_request)")
    rows.append("WHAND(50, 10, 10, HAND_50_10)")
    ranges.append("WRANGE(50, 10, W_WORD, 0, 8, 11)")
    for e in (5, 6, 7, 9, 11, 14, 15):
        rows.append(f"WCODE(50, {e}, {e}, 15)")

    out = os.path.join(root, "comtab/gen/writeRows.inc")
    with open(out, "w") as f:
        f.write("// Generated by tools/genWriteRows.py from the description of the write\n"
                "// handlers; edit the generator or the description, not this file.\n")
        f.write("\n".join(rows) + "\n")
    os.makedirs(os.path.join(root, "comtab/tests/gen"), exist_ok=True)
    with open(os.path.join(root, "comtab/tests/gen/writeRanges.inc"), "w") as f:
        f.write("// Generated by tools/genWriteRows.py: the documented range of every\n"
                "// checked element, transcribed from the description.\n")
        f.write("\n".join(ranges) + "\n")


if __name__ == "__main__":
    main()
