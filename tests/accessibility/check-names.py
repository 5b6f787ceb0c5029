"""Walks the program's accessibility tree over AT-SPI and fails on any
control that takes the focus without a useful name. Run by check-names.sh
inside Xvfb and a D-Bus session of its own.

A useful name has a letter or digit, is not merely the title of the frame
around the control, and for a combo box (whose name on Linux is its current
entry) comes from the label tied to it. The run goes on through the boxes a
user meets: the question after loading the samples and the report window.
"""
import os
import subprocess
import sys
import time

import pyatspi

TIMEOUT = 60


def wait_for(what, probe):
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(0.2)
    sys.exit(f"FAIL: no {what} after {TIMEOUT} s")


def children(acc):
    return [child for child in acc if child is not None]


def walk(acc, ancestors=()):
    yield acc, ancestors
    for child in children(acc):
        yield from walk(child, ancestors + (acc,))


def state(acc, flag):
    return acc.getState().contains(flag)


def labels(acc):
    names = []
    for relation in acc.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return names


def speaks(text):
    return any(ch.isalnum() for ch in text or "")


def fault(acc, ancestors):
    """What is wrong with a focusable control's name, or None."""
    # Qt ties every control in a group box to the box's title as a label;
    # that title names the group, not the control.
    frames = [a.name for a in ancestors if a.getRole() in (pyatspi.ROLE_PANEL, pyatspi.ROLE_FILLER)]
    labelled = [name for name in labels(acc) if speaks(name) and name not in frames]
    if acc.getRole() == pyatspi.ROLE_COMBO_BOX:
        return None if labelled else f"combo box showing {acc.name!r} has no label tied to it"
    if labelled:
        return None
    if not speaks(acc.name):
        return f"{acc.getRoleName()} named {acc.name!r}"
    if acc.name in frames:
        return f"{acc.getRoleName()} named only after its frame {acc.name!r}"
    return None


def check_window(window, faults):
    """Checks every shown, focusable control of a window; returns them by name."""
    shown = {}
    for acc, ancestors in walk(window):
        if not (state(acc, pyatspi.STATE_FOCUSABLE) and state(acc, pyatspi.STATE_SHOWING)):
            continue
        problem = fault(acc, ancestors)
        if problem:
            fail(faults, f"{window.name!r}: {problem}")
        shown[acc.name] = acc
        for label in labels(acc):
            shown[label] = acc
    return shown


def expect(faults, condition, text):
    if not condition:
        fail(faults, text)


def fail(faults, text):
    print("FAIL:", text, flush=True)
    faults.append(text)


def press(acc):
    action = acc.queryAction()
    for i in range(action.nActions):
        if action.getName(i) == "Press":
            action.doAction(i)
            return
    sys.exit(f"FAIL: {acc.name!r} cannot be pressed")


def main():
    program = sys.argv[1]
    process = subprocess.Popen([program])
    try:
        run(process)
    finally:
        process.terminate()
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def windows(process):
    app = application(process.pid)
    if process.poll() is not None:
        sys.exit(f"FAIL: the program ended with {process.returncode}")
    return [w for w in children(app) if state(w, pyatspi.STATE_SHOWING)] if app else []


def new_window(process, known, what):
    return wait_for(what, lambda: next((w for w in windows(process) if w not in known), None))


def run(process):
    faults = []
    main_window = wait_for("main window", lambda: next(iter(windows(process)), None))
    wait_for("controls", lambda: len(list(walk(main_window))) > 10)
    controls = check_window(main_window, faults)

    # Each name a user asked for, tied the way a screen reader looks for it.
    for name, role in [("Files to tag", "tree"), ("Tag:", "combo box"), ("Value:", "text"),
                       ("Value", "text"), ("Choose Results Folder…", "push button"),
                       ("How the value is used", "combo box"), ("Values From File…", "push button"),
                       ("Start Changing", "push button")]:
        expect(faults, name in controls and controls[name].getRoleName() == role,
               f"no {role} named or labelled {name!r}")
    bars = [a for a, _ in walk(main_window) if a.getRole() == pyatspi.ROLE_PROGRESS_BAR]
    expect(faults, len(bars) == 1 and bars[0].name == "Progress"
           and bars[0].description == "Progress Bar",
           f"progress bar: {[(b.name, b.description) for b in bars]}")

    # The question after loading the samples, answered No.
    press(controls["Load Sample/Example Files"])
    question = new_window(process, [main_window], "question after loading the samples")
    answers = check_window(question, faults)
    expect(faults, "No" in answers, f"question without a No button: {sorted(answers)}")
    press(answers["No"])
    wait_for("question closed", lambda: question not in windows(process))

    # The details window, its table read cell by cell as a screen reader reads it.
    press(controls["Picture Details"])
    details = new_window(process, [main_window], "Picture Details window")
    wait_for("details table", lambda: any(a.getRole() == pyatspi.ROLE_TABLE for a, _ in walk(details)))
    shown = check_window(details, faults)
    tables = [a for a, _ in walk(details) if a.getRole() == pyatspi.ROLE_TABLE]
    expect(faults, [t.name for t in tables] == ["Tags of the picture"],
           f"details window tables: {[t.name for t in tables]}")
    if tables:
        table = tables[0].queryTable()
        headers = [table.getColumnHeader(c).name for c in range(table.nColumns)]
        labels_read = [table.getAccessibleAt(r, 0).name for r in range(table.nRows)]
        expect(faults, headers == ["Tag", "Stored now", "Windows shows", "After the run"],
               f"details table columns: {headers}")
        expect(faults, len(labels_read) == 13 and labels_read[0] == "▸ Title (chosen)"
               and labels_read[12] == "Date and Time (digitized)",
               f"details table rows: {labels_read}")
    if "Close" in shown:
        press(shown["Close"])
    wait_for("details window closed", lambda: details not in windows(process))

    # One name is taken in the results folder: the run ends in the report.
    press(controls["Start Changing"])
    report = new_window(process, [main_window], "report window")
    wait_for("report text", lambda: any(a.getRoleName() == "text" for a, _ in walk(report)))
    shown = check_window(report, faults)
    expect(faults, "Report" in shown and shown["Report"].getRoleName() == "text",
           f"report window without a text view named Report: {sorted(shown)}")
    if "OK" in shown:
        press(shown["OK"])

    if faults:
        sys.exit(1)
    print("every focusable control has a useful name")


main()
