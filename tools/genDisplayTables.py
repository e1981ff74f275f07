#!/usr/bin/env python3
"""Generates the tables of lumiro from the text that describes them.

Usage: genDisplayTables.py <document.md> [output folder, default display/gen]

- imageLayouts.inc: from the section "DbPool view, table copies and FPGA
  window", the words of the five table images, one row per word:
  IMAGE_WORD(image, word, source, table, element) with source CELL (cell
  (table, element)), T4 (table-4 word `element` byte-reversed) or SERIAL (the
  four serial-number characters from cell (table, element) on).
- staticTexts.inc: from the section "Pages and menus", the four lines of each
  page's static text: STATIC_PAGE(id, width, "line 1", ..., "line 4"); width
  32 lines are drawn from the left edge, narrower ones centred.
- inputModes.inc: the input-mode table of the status page:
  INPUT_MODE(mode, "source", "rds").
- alarmNames.inc: from the alarm-name table of the alarm page, its rows
  padded with spaces to their width: ALARM_NAME("name").
- notices.inc: from the section "USB key, presets and notice page", the
  lines of the notice page: NOTICE(number, "line 1", "line 3", "line 4"),
  and for the request notices their outcome lines:
  NOTICE_OUTCOME(number, state, "line 1", "line 3").
- inputCombos.inc: from the section "Settings pages and value editors", the
  input configuration page's sources and combinations:
  PRIMARY_SOURCE(index, "label"), INPUT_RDS(code, "label"),
  SECONDARY_SOURCE(code, "label"), INPUT_COMBO(mode, source, rds) (the
  input mode a primary source and its RDS source make) and
  SECONDARY_ALLOWED(mode, code) (each secondary source a mode offers).
"""
import os
import re
import sys


def section(doc, title):
    lines = doc.splitlines()
    start = next(i for i, l in enumerate(lines) if l.startswith("# ") and title in l)
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("# ")), len(lines))
    return lines[start:end]


def word_list(words):
    out = []
    for part in words.split(","):
        part = part.strip()
        if "-" in part:
            a, b = part.split("-")
            out.extend(range(int(a), int(b) + 1))
        else:
            out.append(int(part))
    return out


def images(lines):
    rows, image = [], None
    for l in lines:
        m = re.match(r"Image (\d) \(", l)
        if m:
            image = int(m.group(1))
            continue
        m = re.match(r"\| ([0-9][0-9, -]*) \| (.*) \|$", l)
        if not m or image is None:
            continue
        words = word_list(m.group(1))
        text = m.group(2)
        if "T4[" in text:
            srcs = [("T4", 4, int(w)) for w in re.findall(r"T4\[(\d+)\]", text)]
        elif "serial number" in text:
            t, e = map(int, re.search(r"\((\d+),(\d+)\)", text).groups())
            srcs = [("SERIAL", t, e + 4 * i) for i in range(len(words))]
        elif re.search(r"\((\d+),(\d+)\) to \((\d+),(\d+)\)", text):
            t, e1, _, e2 = map(int, re.search(r"\((\d+),(\d+)\) to \((\d+),(\d+)\)", text).groups())
            srcs = [("CELL", t, e) for e in range(e1, e2 + 1)]
        elif re.search(r"\((\d+),(\d+)\)", text):
            srcs = [("CELL", int(t), int(e)) for t, e in re.findall(r"\((\d+),(\d+)\)", text)]
        else:
            continue  # a word that stays 0
        assert len(srcs) == len(words), (image, words, text)
        for w, (k, t, e) in zip(words, srcs):
            rows.append((image, w, k, t, e))
    return rows


def quoted(text):
    return re.findall(r'"([^"]*)"', text)


# Rows of the further lines where they do not follow the first line: the
# status page's frequency and power take rows 2 and 3 in the large font, so
# its unit line is row 3 and its status line row 4.
ROWS = {1: (3, 4)}


def static_texts(lines):
    pages = []
    in_table = False
    for l in lines:
        if l.startswith("| id | first line"):
            in_table = True
            continue
        if in_table and not l.startswith("|"):
            break
        m = re.match(r"\| (\d+) \| (.*) \| (.*) \|$", l)
        if not in_table or not m:
            continue
        pid = int(m.group(1))
        first = quoted(m.group(2))[0]
        rest = m.group(3)
        more = quoted(rest)
        width = 32 if len(first) == 32 else 21
        body = [""] * 3
        at = re.search(r"in row (\d)", rest)
        if at:
            body[int(at.group(1)) - 2] = more[0]
        elif rest.startswith("three lines"):
            body = [more[0]] * 3
        elif "draw opens" in rest:
            pass
        else:
            rows = ROWS.get(pid, (2, 3, 4))
            for r, t in zip(rows, more[:3]):
                body[r - 2] = t
        texts = [first] + body
        texts = [t.ljust(width) if t or width == 32 else " " * width for t in texts]
        pages.append((pid, width, texts))
    return pages


def input_modes(lines):
    out = []
    for l in lines:
        m = re.match(r'\| ([\d, ]+) \| "([^"]*)" \| (.*?) \| ([\d, ]+) \| "([^"]*)" \| (.*) \|$', l)
        if not m:
            continue
        for modes, src, rds in ((m.group(1), m.group(2), m.group(3)), (m.group(4), m.group(5), m.group(6))):
            ms = [int(x) for x in modes.split(",")]
            rs = quoted(rds)
            for i, mode in enumerate(ms):
                out.append((mode, src, rs[min(i, len(rs) - 1)]))
    return sorted(out)


def alarm_names(lines):
    for l in lines:
        m = re.match(r"Alarm-name table \((\d+) rows of (\d+) characters", l)
        if m:
            rows, width = int(m.group(1)), int(m.group(2))
            names = quoted(l)
            assert len(names) == rows, (len(names), rows)
            assert all(len(n) <= width for n in names)
            return [n.ljust(width) for n in names]
    raise SystemExit("alarm-name table not found")


NOTICE_WIDTH = 21


def notice_numbers(text):
    m = re.match(r"(\d+) to (\d+)$", text)
    if m:
        return list(range(int(m.group(1)), int(m.group(2)) + 1))
    return [int(x) for x in text.split(",")]


def notices(lines):
    out, outcomes, in_table = [], [], False
    for l in lines:
        if l.startswith("| notice | lines"):
            in_table = True
            continue
        if in_table and not l.startswith("|"):
            break
        m = re.match(r"\| ([\d, to]+) \| (.*) \|$", l)
        if not in_table or not m:
            continue
        nums, text = notice_numbers(m.group(1)), m.group(2)
        q = quoted(text)
        if not q:
            continue  # drawn by its own code (the upgrade progress)
        if text.startswith("first "):
            first, rest = re.split(r"; then(?: by the state)?:?", text)
            fq = quoted(first)
            body = [fq[0], fq[1], ""]
            for state, part in re.findall(r"(\d) ((?:\"[^\"]*\"(?: and )?)+)", rest):
                pq = quoted(part)
                if len(pq) == 1:
                    outcomes.append((nums[0], int(state), "", pq[0]))
                else:
                    outcomes.append((nums[0], int(state), pq[0], pq[1]))
        else:
            body = (q + ["", ""])[:3]
        for n in nums:
            out.append((n, [t.ljust(NOTICE_WIDTH) for t in body]))
    for n, state, a, b in outcomes:
        assert len(a) <= NOTICE_WIDTH and len(b) <= NOTICE_WIDTH
    return out, [(n, st, a.ljust(NOTICE_WIDTH), b.ljust(NOTICE_WIDTH)) for n, st, a, b in outcomes]


def numbered_labels(text):
    return [(int(n), label) for n, label in re.findall(r'(\d+) "([^"]*)"', text)]


def input_combos(lines):
    text = "\n".join(lines)
    row = next(l for l in lines if l.startswith("| 29 "))
    primary_part = re.search(r"primary source \((.*?)\) and its RDS", row).group(1)
    primary = numbered_labels(primary_part)
    rds_part = re.search(r"secondary source \(row 2: .*?\) and its RDS \((.*?)\)", row).group(1)
    rds = numbered_labels(rds_part)
    secondary = numbered_labels(re.search(r"secondary source \((row 2: .*?)\) and its RDS", row).group(1))
    assert [n for n, _ in primary] == list(range(len(primary))), primary
    by_name = {label.strip(): n for n, label in primary}
    rds_code = {label: n for n, label in rds}
    para = re.search(r"Input combinations of page 29: (.*?)\n", text).group(1)
    combos_text = re.search(r"decodes: (.*?)\. The secondary source allowed", para).group(1)
    combos = []
    for item in combos_text.split("; "):
        m = re.match(r'(.+?) (?:gives )?(\d+(?:, \d+)*)(?: \((.*)\))?$', item)
        assert m, item
        source = by_name[m.group(1)]
        modes = [int(x) for x in m.group(2).split(",")]
        note = m.group(3) or ""
        if "only" in note:
            allowed = [rds_code[x] for x in quoted(note)]
        elif "not allowed" in note:
            banned = {rds_code[x] for x in quoted(note)}
            allowed = [n for n, _ in rds if n not in banned]
        else:
            allowed = [n for n, _ in rds]
        assert len(allowed) == len(modes), item
        combos.extend((mode, source, r) for mode, r in zip(modes, allowed))
    sec_code = {label: n for n, label in secondary}
    allowed_text = re.search(r"The secondary source allowed for each input mode: (.*?)\. Other combinations", para).group(1)
    sec_allowed = []
    for item in allowed_text.split("; "):
        modes_text, labels = item.split(": ", 1)
        for mode in (int(x) for x in modes_text.split(",")):
            sec_allowed.extend((mode, sec_code[label]) for label in quoted(labels))
    known = {m for m, _, _ in combos}
    assert {m for m, _ in sec_allowed} == known, "every input mode lists its secondary sources"
    return primary, rds, secondary, sorted(combos), sec_allowed


def c(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


HEAD = "// Generated by tools/genDisplayTables.py. Do not edit.\n"


def main():
    doc = open(sys.argv[1], encoding="utf-8").read()
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__), "..", "display", "gen")
    os.makedirs(out, exist_ok=True)
    view = section(doc, "DbPool view, table copies and FPGA window")
    with open(os.path.join(out, "imageLayouts.inc"), "w") as f:
        f.write(HEAD)
        for r in images(view):
            f.write("IMAGE_WORD(%d, %d, %s, %d, %d)\n" % r)
    pages = section(doc, "Pages and menus")
    with open(os.path.join(out, "staticTexts.inc"), "w") as f:
        f.write(HEAD)
        for pid, width, texts in static_texts(pages):
            f.write("STATIC_PAGE(%d, %d, %s)\n" % (pid, width, ", ".join(c(t) for t in texts)))
    with open(os.path.join(out, "inputModes.inc"), "w") as f:
        f.write(HEAD)
        for mode, src, rds in input_modes(pages):
            f.write("INPUT_MODE(%d, %s, %s)\n" % (mode, c(src), c(rds)))
    with open(os.path.join(out, "alarmNames.inc"), "w") as f:
        f.write(HEAD)
        for name in alarm_names(pages):
            f.write("ALARM_NAME(%s)\n" % c(name))
    usb = section(doc, "USB key, presets and notice page")
    rows, outcomes = notices(usb)
    with open(os.path.join(out, "notices.inc"), "w") as f:
        f.write(HEAD)
        for n, texts in rows:
            f.write("NOTICE(%d, %s)\n" % (n, ", ".join(c(t) for t in texts)))
        for n, state, a, b in outcomes:
            f.write("NOTICE_OUTCOME(%d, %d, %s, %s)\n" % (n, state, c(a), c(b)))
    primary, rds, secondary, combos, allowed = input_combos(section(doc, "Settings pages and value editors"))
    with open(os.path.join(out, "inputCombos.inc"), "w") as f:
        f.write(HEAD)
        for n, label in primary:
            f.write("PRIMARY_SOURCE(%d, %s)\n" % (n, c(label)))
        for n, label in rds:
            f.write("INPUT_RDS(%d, %s)\n" % (n, c(label)))
        for n, label in secondary:
            f.write("SECONDARY_SOURCE(%d, %s)\n" % (n, c(label)))
        for mode, source, r in combos:
            f.write("INPUT_COMBO(%d, %d, %d)\n" % (mode, source, r))
        for mode, code in allowed:
            f.write("SECONDARY_ALLOWED(%d, %d)\n" % (mode, code))


if __name__ == "__main__":
    main()
