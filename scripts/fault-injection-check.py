#!/usr/bin/env python3
"""The saved-articles file for scripts/fault-injection.sh.

  fault-injection-check.py generate FILE [COUNT]
      writes COUNT (default 5000) articles with accented titles and texts
  fault-injection-check.py check FILE [COUNT] [--typed TEXT]
      reads FILE record by record and compares every title and text with
      what "generate" writes; prints one line (what it found) and exits 1
      when an article is missing, added, changed or garbled. With --typed,
      TEXT must be in exactly one article, which without it is as generated.

The reader here is written independently of the program's own so that a
fault shared by the program's writer and reader still shows.
"""
import sys

START = "||||||Voxtrella MP3 Start of Article||||||"
END = "||||||Voxtrella MP3 End of Article||||||"


def article(i):
    # Accents in both title and text: a file read or written in another
    # encoding shows as a changed record, not just as odd bytes.
    title = f"Article {i} \u2013 Zo\u00eb's caf\u00e9"
    lines = [
        f"Number {i} of the saved articles: cr\u00e8me br\u00fbl\u00e9e, na\u00efve fa\u00e7ade.",
        f"\u00c5ngstr\u00f6m, Stra\u00dfe, \u0141\u00f3d\u017a \u2014 line two of {i}.",
    ]
    if i % 7 == 0:
        lines.append("")  # an empty last line is text too
    return title, lines


def generate(path, count):
    out = []
    for i in range(count):
        title, lines = article(i)
        out.append(START)
        out.append(f"{title}||{len(lines)}")
        out.extend(lines)
        out.append(END)
    with open(path, "wb") as f:
        f.write("".join(line + "\r\n" for line in out).encode("utf-8"))


def parse(data):
    """[(title, text lines)] and a list of problems with the file's form."""
    problems = []
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        return [], [f"not UTF-8 at byte {e.start}"]
    if text.startswith("\ufeff"):
        problems.append("byte-order mark")
        text = text[1:]
    if text and not text.endswith("\r\n"):
        problems.append("last line has no CR LF")
    lines = text.split("\r\n")
    if lines and lines[-1] == "":
        lines.pop()
    bare = sum(1 for line in lines if "\n" in line or "\r" in line)
    if bare:
        problems.append(f"{bare} lines with a bare LF or CR")

    records = []
    i = 0
    while i < len(lines):
        if lines[i] != START:
            problems.append(f"line {i + 1} outside a record: {lines[i][:60]!r}")
            i += 1
            continue
        if i + 1 >= len(lines):
            problems.append(f"record {len(records)}: cut off after the start marker")
            break
        prop = lines[i + 1]
        parts = prop.split("|")
        title = parts[0]
        j = i + 2
        body = []
        while j < len(lines) and lines[j] != END and lines[j] != START:
            body.append(lines[j])
            j += 1
        if j >= len(lines) or lines[j] != END:
            problems.append(f"record {len(records)} ({title!r}): no end marker")
        if len(parts) != 3 or parts[2] != str(len(body)):
            problems.append(f"record {len(records)} ({title!r}): property line {prop!r} for {len(body)} lines")
        records.append((title, body))
        i = j + 1 if j < len(lines) and lines[j] == END else j
    return records, problems


def take_out_typed(records, typed, problems):
    """The records with the typed text taken out of the one holding it."""
    hits = [n for n, (_, body) in enumerate(records) if typed in "\n".join(body)]
    if len(hits) != 1:
        problems.append(f"the typed edit {typed!r} is in {len(hits)} articles")
        return records
    n = hits[0]
    title, body = records[n]
    records = list(records)
    records[n] = (title, "\n".join(body).replace(typed, "", 1).split("\n"))
    return records


def check(path, count, typed=None):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        print(f"cannot read the saved file: {e.strerror}")
        return 1
    records, problems = parse(data)
    if typed is not None:
        records = take_out_typed(records, typed, problems)
    expected = [article(i) for i in range(count)]
    found = f"{len(records)} of {count} articles, {len(data)} bytes"
    first_diff = None
    for n in range(max(len(records), len(expected))):
        got = records[n] if n < len(records) else None
        want = expected[n] if n < len(expected) else None
        if got != want:
            first_diff = n
            break
    if first_diff is None and not problems:
        print(f"{found}, all intact")
        return 0
    report = [found]
    if first_diff is not None:
        got = records[first_diff] if first_diff < len(records) else "(none)"
        want = expected[first_diff] if first_diff < len(expected) else "(none)"
        report.append(f"first differing record {first_diff}: expected {want!r}, found {got!r}")
    if problems:
        report.append(f"{len(problems)} problems, first: {problems[0]}")
    print("; ".join(report))
    return 1


def main(argv):
    typed = None
    if len(argv) >= 2 and argv[-2] == "--typed":
        typed = argv[-1]
        argv = argv[:-2]
    if len(argv) not in (3, 4) or argv[1] not in ("generate", "check"):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    count = int(argv[3]) if len(argv) == 4 else 5000
    if argv[1] == "generate":
        generate(argv[2], count)
        return 0
    return check(argv[2], count, typed)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
