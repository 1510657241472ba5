#!/usr/bin/env python3
"""Checks the rules of the program's layout that the compiler does not:

- no circle of includes among the files of one folder of src/ (app, articles);
- only the main window and the application object know the main window;
- no std::function in the headers of src/app and src/articles (parts report
  by signals);
- no form (.ui) over 800 lines;
- at most four places in src/ that run a nested event loop;
- only src/app and src/dialogs use Qt Widgets.

Prints each breach and exits 1 when there is one."""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
src = root / "src"
faults = []


def rel(path):
    return str(path.relative_to(root))


def sources(folder, suffixes=(".h", ".cpp")):
    return sorted(p for p in folder.rglob("*") if p.suffix in suffixes)


# Includes within one folder: a file's includes must never lead back to it.
include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
for folder in ("app", "articles"):
    files = {p.name: p for p in sources(src / folder)}
    edges = {}
    for name, path in files.items():
        targets = set()
        for target in include.findall(path.read_text(errors="replace")):
            base = pathlib.Path(target).name
            if base in files and base != name and (target == base or target.startswith(folder + "/")):
                targets.add(base)
        # A source and its header are one unit.
        edges[name] = targets
    units = {}
    for name, targets in edges.items():
        unit = pathlib.Path(name).stem
        units.setdefault(unit, set()).update(pathlib.Path(t).stem for t in targets if pathlib.Path(t).stem != unit)

    def reaches(start):
        seen, todo = set(), list(units.get(start, ()))
        while todo:
            unit = todo.pop()
            if unit in seen:
                continue
            seen.add(unit)
            todo.extend(units.get(unit, ()))
        return seen

    for unit in sorted(units):
        if unit in reaches(unit):
            faults.append(f"src/{folder}/{unit}: its includes lead back to it")

# The main window is known only to itself and the application object.
allowed = {"MainWindow.h", "MainWindow.cpp", "Application.h", "Application.cpp", "main.cpp"}
for path in sources(src):
    if path.name in allowed:
        continue
    text = path.read_text(errors="replace")
    if re.search(r"\bMainWindow\b", text) or '"MainWindow.h"' in text:
        faults.append(f"{rel(path)}: refers to the main window")

for folder in ("app", "articles"):
    for path in sources(src / folder, (".h",)):
        if "std::function" in path.read_text(errors="replace"):
            faults.append(f"{rel(path)}: std::function in a header")

for path in sorted(src.rglob("*.ui")):
    lines = path.read_text(errors="replace").count("\n")
    if lines > 800:
        faults.append(f"{rel(path)}: {lines} lines (at most 800)")

loops = []
for path in sources(src):
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        code = line.split("//")[0]
        if re.search(r"\bprocessEvents\s*\(|\bQEventLoop\s+\w", code):
            loops.append(f"{rel(path)}:{number}")
if len(loops) > 4:
    faults.append(f"{len(loops)} nested event loops (at most 4): " + ", ".join(loops))

for path in sources(src):
    if path.relative_to(src).parts[0] in ("app", "dialogs"):
        continue
    if re.search(r"#\s*include\s*<(QtWidgets/|QWidget|QDialog|QMainWindow|QApplication|QMessageBox)", path.read_text(errors="replace")):
        faults.append(f"{rel(path)}: uses Qt Widgets outside src/app and src/dialogs")

for fault in faults:
    print(fault)
print(f"structure_faults={len(faults)}")
sys.exit(1 if faults else 0)
