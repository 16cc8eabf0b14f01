#!/usr/bin/python3
"""Uses the real program as a person would, through the accessibility bus.

Run inside a D-Bus session with an X server on $DISPLAY (see run_e2e.sh). Arguments: the
executable, the folder of the tables, a folder for the screenshot.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

import reference

TIMEOUT = 20.0
AREA_DOSE = "12.5"


class Failure(Exception):
    pass


def wait_for(what, probe, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            found = probe()
        except Exception:  # the tree changes under our feet while windows open and close
            found = None
        if found:
            return found
        time.sleep(0.05)
    raise Failure(f"timed out waiting for {what}")


def children(node):
    try:
        return [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:
        return []


def walk(node, depth=0):
    yield node
    if depth < 12:
        for c in children(node):
            if c is not None:
                yield from walk(c, depth + 1)


def find(root, role=None, name=None, contains=None):
    for n in walk(root):
        try:
            if role and n.getRoleName() != role:
                continue
            if name is not None and n.name != name:
                continue
            if contains is not None and contains not in (n.name or ""):
                continue
            return n
        except Exception:
            continue
    return None


def app_node():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in children(desktop):
        if app is not None and app.name and app.name.lower() == "mirelo":
            return app
    return None


def window(title_part):
    app = app_node()
    if app is None:
        return None
    for w in children(app):
        if w is not None and title_part in (w.name or ""):
            return w
    return None


def alert():
    app = app_node()
    if app is None:
        return None
    for w in children(app):
        if w is not None and w.getRoleName() == "alert":
            return w
    return None


def alert_text(box):
    labels = [n.name for n in walk(box) if n.getRoleName() == "label" and n.name]
    return " | ".join(labels)


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i).lower() in ("press", "click", "activate"):
            action.doAction(i)
            return
    action.doAction(0)


def press_button(root, caption, prefix=None):
    """Presses the button named caption, or, with prefix, the first whose name starts with it."""
    def probe():
        if prefix is None:
            return find(root, role="push button", name=caption)
        return next((n for n in walk(root) if n.getRoleName() == "push button" and (n.name or "").startswith(prefix)), None)
    button = wait_for(f'button "{prefix or caption}"', probe)
    press(button)


def answer_alert(button, expect_text=None, prefix=None):
    box = wait_for("a message box", alert)
    text = alert_text(box)
    if expect_text is not None and expect_text not in text:
        raise Failure(f"message box says {text!r}, expected {expect_text!r}")
    press_button(box, button, prefix)
    wait_for("the message box to close", lambda: alert() is None)
    return text


NO_SPECTRUM = "スペクトルデータがありません"


def set_voltage(main_window, kv):
    press_button(main_window, "管電圧設定")
    dialog = wait_for("the tube-voltage dialog", lambda: window("管電圧の設定"))
    wait_for("the fixed-voltage field", lambda: find(dialog, role="text", name="固定の管電圧 (kV)")) \
        .queryEditableText().setTextContents(kv)
    press_button(dialog, "OK")
    wait_for(f"the tube-voltage display {kv}", lambda: find(main_window, role="label", name=kv))


def set_area_dose(main_window, text):
    wait_for("the area-dose field", lambda: find(main_window, role="text", contains="面積")) \
        .queryEditableText().setTextContents(text)


def result_list(main_window):
    """The list of the doses (the unit choice beside the area dose holds a list of its own)."""
    return next((n for n in walk(main_window) if n.getRoleName() == "list" and n.parent is not None and
                 n.parent.getRoleName() != "combo box"), None)


def dose_rows(main_window):
    return [c.name for c in children(result_list(main_window))]


def press_key_on(node, keysym, window_spot):
    """A real keystroke to the control, as a person at the keyboard would give it. Without a window
    manager a click activates the window (here on a caption, which does nothing) and keys go where
    the pointer is."""
    x, y, w, h = window_spot.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + w // 2, y + h // 2, "b1c")
    wait_for("the keyboard focus", lambda: node.queryComponent().grabFocus() and
             node.getState().contains(pyatspi.STATE_FOCUSED))
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)


def start(exe, work, limit_kib=None):
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    command = [exe] if limit_kib is None else ["/bin/bash", "-c", f'ulimit -f {limit_kib}; exec "$0"', exe]
    return subprocess.Popen(command, cwd=work, env=env, stderr=subprocess.PIPE)


def what_is_on_screen_belongs_together(main_window):
    """The stale voltage, a negative area dose, and Enter on a focused button."""
    set_voltage(main_window, "120")
    press_button(main_window, "入射Ｘ線スペクトルを計算")
    answer_alert("いいえ", "Ｘ線スペクトルを表示しますか？", prefix="いいえ")
    set_voltage(main_window, "60")
    set_area_dose(main_window, AREA_DOSE)
    press_button(main_window, "患者容積線量を計算")
    answer_alert("OK", NO_SPECTRUM)
    if dose_rows(main_window):
        raise Failure(f"results shown for a spectrum of another voltage: {dose_rows(main_window)}")
    print("stale voltage: no spectrum, no results")

    press_button(main_window, "入射Ｘ線スペクトルを計算")
    answer_alert("いいえ", "Ｘ線スペクトルを表示しますか？", prefix="いいえ")
    set_area_dose(main_window, "-25")
    press_button(main_window, "患者容積線量を計算")
    answer_alert("OK", "面積線量を正しく入力して下さい")
    if dose_rows(main_window):
        raise Failure(f"results shown for a negative area dose: {dose_rows(main_window)}")
    print("negative area dose: refused")

    set_area_dose(main_window, AREA_DOSE)
    button = wait_for("the dose command", lambda: find(main_window, role="push button", name="患者容積線量を計算"))
    press_key_on(button, 0xFF0D, find(main_window, role="label", name="計算結果"))  # Return
    wait_for("eleven dose lines after Enter", lambda: len(dose_rows(main_window)) == 11)
    print("Enter on the focused dose command: eleven lines")


def readings_and_units(main_window, lines):
    """A decimal comma is refused, and the area dose in mGy·cm² gives the list of the same dose in Gy·cm²."""
    aluminium = wait_for("the aluminium field", lambda: find(main_window, role="text", name="付加フィルタ (アルミ)"))
    aluminium.queryEditableText().setTextContents("1,5")
    press_button(main_window, "入射Ｘ線スペクトルを計算")
    answer_alert("OK", "フィルタの厚さを正しく入力して下さい")
    print('"1,5" in the aluminium field: refused')
    aluminium.queryEditableText().setTextContents("1.0")
    press_button(main_window, "入射Ｘ線スペクトルを計算")
    answer_alert("いいえ", "Ｘ線スペクトルを表示しますか？", prefix="いいえ")

    unit = wait_for("the area-dose unit", lambda: find(main_window, role="combo box"))
    def choose(steps):
        """A click on the unit opens its list; the arrow keys move in it and Return takes the entry."""
        x, y, w, h = unit.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        pyatspi.Registry.generateMouseEvent(x + w // 2, y + h // 2, "b1c")
        time.sleep(0.5)
        for _ in range(abs(steps)):
            pyatspi.Registry.generateKeyboardEvent(0xFF54 if steps > 0 else 0xFF52, None, pyatspi.KEY_SYM)
            time.sleep(0.1)
        pyatspi.Registry.generateKeyboardEvent(0xFF0D, None, pyatspi.KEY_SYM)
    choose(3)  # Gy·cm², dGy·cm², cGy·cm², mGy·cm²
    wait_for("the unit mGy·cm²", lambda: "mGy·cm²" in (unit.name or ""))
    set_area_dose(main_window, str(float(AREA_DOSE) * 1000))
    press_button(main_window, "患者容積線量を計算")
    rows = wait_for("eleven dose lines in mGy·cm²", lambda: dose_rows(main_window) if len(dose_rows(main_window)) == 11 else None)
    if rows != lines:
        raise Failure("the dose list of the area dose in mGy·cm² differs:\n" +
                      "\n".join(f"{r!r} vs {e!r}" for r, e in zip(rows, lines)))
    print(f"{float(AREA_DOSE) * 1000:g} mGy·cm²: the same eleven lines as {AREA_DOSE} Gy·cm²")
    choose(-3)
    wait_for("the unit Gy·cm² again", lambda: (unit.name or "").startswith("Gy·cm²"))


def tool_window_not_above():
    """The tube-voltage dialog is a utility window and not transient for the program's windows."""
    dialog = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
    match = re.search(r"^\s+(0x[0-9a-f]+) \"  管電圧の設定\"", dialog, re.M)
    if match is None:
        raise Failure("the tube-voltage dialog is not on the X display")
    props = subprocess.run(["xprop", "-id", match.group(1), "_NET_WM_WINDOW_TYPE", "WM_TRANSIENT_FOR"],
                           capture_output=True, text=True).stdout
    if "_NET_WM_WINDOW_TYPE_UTILITY" not in props or re.search(r"WM_TRANSIENT_FOR\(WINDOW\): window id", props):
        raise Failure(f"the tube-voltage dialog is not a free utility window: {props!r}")
    print("tube-voltage dialog: a utility window, transient for none")


def fits_a_small_screen(exe, tables):
    """At 125 % on 1366 × 768 the main window's whole frame is on the screen."""
    small = os.environ.get("MIRELO_E2E_SMALL_DISPLAY")
    if not small:
        raise Failure("no small X server (1366 × 768) was started")
    work = tempfile.mkdtemp(prefix="mirelo-e2e-small-")
    for name in ("Att_coeff2021.dat", "effEA.dat"):
        shutil.copy(os.path.join(tables, name), work)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb", DISPLAY=small,
               QT_SCALE_FACTOR="1.25")
    proc = subprocess.Popen([exe], cwd=work, env=env, stderr=subprocess.PIPE)
    try:
        wait_for("the main window on the small screen", lambda: window("Mirelo"))
        def geometry():
            out = subprocess.run(["xwininfo", "-display", small, "-name", "  Mirelo ( Patient Volume Dose Calculator )"],
                                 capture_output=True, text=True).stdout
            values = {k: int(v) for k, v in re.findall(r"(Absolute upper-left [XY]|Width|Height):\s+(-?\d+)", out)}
            return values if len(values) == 4 and values["Width"] > 1 else None
        g = wait_for("the main window's geometry", geometry)
        x, y, w, h = g["Absolute upper-left X"], g["Absolute upper-left Y"], g["Width"], g["Height"]
        if x < 0 or y < 0 or x + w > 1366 or y + h > 768:
            raise Failure(f"the main window at 125 % is not wholly on the 1366 × 768 screen: {w}×{h} at {x},{y}")
        subprocess.run(["import", "-display", small, "-window", "root", os.path.join(sys.argv[3], "e2e_1366x768_125.png")],
                       check=False)
        print(f"1366 × 768 at 125 %: main window {w}×{h} at {x},{y}, wholly on the screen")
    finally:
        proc.kill()
        proc.wait()
        shutil.rmtree(work, ignore_errors=True)


def save_under_a_file_size_limit(exe, tables):
    """Data save past "ulimit -f": a warning, the old file kept, the program still there."""
    work = tempfile.mkdtemp(prefix="mirelo-e2e-limit-")
    for name in ("Att_coeff2021.dat", "effEA.dat"):
        shutil.copy(os.path.join(tables, name), work)
    old = b"an earlier X_SPCTL.dat\r\n"
    with open(os.path.join(work, "X_SPCTL.dat"), "wb") as f:
        f.write(old)
    proc = start(exe, work, limit_kib=4)  # the file takes 6600 bytes
    try:
        main_window = wait_for("the main window", lambda: window("Mirelo"))
        set_voltage(main_window, "80")
        press_button(main_window, "入射Ｘ線スペクトルを計算")
        answer_alert("はい", "Ｘ線スペクトルを表示しますか？", prefix="はい")
        plot = wait_for("the spectrum window", lambda: window("X-ray spectrum"))
        press_button(plot, "Data save")
        text = answer_alert("OK", "X_SPCTL.dat に保存できませんでした")
        if "File too large" not in text:
            raise Failure(f"the warning does not give the reason: {text!r}")
        if proc.poll() is not None:
            raise Failure(f"the program ended with status {proc.returncode}")
        if open(os.path.join(work, "X_SPCTL.dat"), "rb").read() != old:
            raise Failure("the earlier X_SPCTL.dat was changed")
        print("Data save under ulimit -f:", text.strip())
        press_button(main_window, "終了")
        proc.wait(timeout=TIMEOUT)
        if proc.returncode != 0:
            raise Failure(f"the program ended with status {proc.returncode}")
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        shutil.rmtree(work, ignore_errors=True)


def choose_language(main_window, entry):
    """Opens the language menu of the menu bar and picks `entry`."""
    bar = wait_for("the menu bar", lambda: find(main_window, role="menu bar"))
    menu = wait_for("the language menu", lambda: next((c for c in children(bar) if "Language" in (c.name or "")), None))
    press(menu)
    item = wait_for(f'the menu entry "{entry}"', lambda: next(
        (n for n in walk(app_node()) if n.name == entry and "menu item" in n.getRoleName()), None))
    press(item)


def compare_quality_line(plot, work):
    """The beam quality under the plot is what mirelo-calc --quality gives for the same beam."""
    calc = os.environ.get("MIRELO_CALC")
    if not calc:
        raise Failure("MIRELO_CALC (the mirelo-calc executable) is not set")
    line = wait_for("the quality line", lambda: getattr(find(plot, role="label", contains="HVL₁"), "name", None))
    shown = re.findall(r"HVL₁ ([0-9.]+) mm Al · HVL₂ ([0-9.]+) mm Al · h ([0-9.]+) · 平均 ([0-9.]+) keV · 実効 ([0-9.]+) keV", line)
    out = subprocess.run([calc, "--kv", "80", "--area-dose", AREA_DOSE, "--quality", "--tables", work],
                         capture_output=True, text=True, check=True).stdout
    wanted = [re.search(rf"^{key} +(\S+)$", out, re.M).group(1)
              for key in (r"HVL1 \(mm Al\)", r"HVL2 \(mm Al\)", "homogeneity", r"mean energy \(keV\)",
                          r"effective energy \(keV\)")]
    if not shown or list(shown[0]) != wanted:
        raise Failure(f"quality line {line!r} does not match mirelo-calc --quality {wanted}")
    print("quality line:", line)


def table_rows(table):
    """The rows of a table as lists of cell texts, through its table interface."""
    t = table.queryTable()
    return [[(t.getAccessibleAt(r, c).name or "") for c in range(t.nColumns)] for r in range(t.nRows)]


def column(table, name):
    t = table.queryTable()
    for c in range(t.nColumns):
        if (t.getColumnDescription(c) or "") == name or getattr(t.getColumnHeader(c), "name", None) == name:
            return c
    raise Failure(f"no column {name!r}")


def dose_reports_into_the_main_window(main_window, work):
    """Opens a folder of generated reports, selects a study and one of its events, sends the event to
    the main window, and holds List1 against mirelo-calc with the event's conditions."""
    make = os.environ.get("MIRELO_MAKE_FOLDER")
    calc = os.environ.get("MIRELO_CALC")
    if not make:
        print("dose reports: not part of this build (no report generator), not run")
        return
    if not calc:
        raise Failure("MIRELO_CALC (the mirelo-calc executable) is not set")
    reports = os.path.join(work, "reports")
    subprocess.run([make, reports, "3", "4"], check=True, capture_output=True)

    bar = wait_for("the menu bar", lambda: find(main_window, role="menu bar"))
    press(wait_for("the file menu", lambda: next((c for c in children(bar) if (c.name or "").startswith("ファイル")), None)))
    press(wait_for("the menu entry", lambda: next(
        (n for n in walk(app_node()) if "menu item" in n.getRoleName() and (n.name or "").startswith("線量レポートを開く")), None)))
    reports_window = wait_for("the dose-reports window", lambda: window("線量レポート"))
    press_button(reports_window, None, prefix="フォルダを開く")
    chooser = wait_for("the folder chooser", lambda: window("線量レポートのフォルダを開く"))
    # Qt's own chooser (no desktop's one under Xvfb), in Japanese: the folder's name field, then its
    # accept button "選択(C)".
    wait_for("the chooser's folder field", lambda: find(chooser, role="text", name="ディレクトリ:")) \
        .queryEditableText().setTextContents(reports)
    press_button(chooser, None, prefix="選択")
    wait_for("the chooser to close", lambda: window("線量レポートのフォルダを開く") is None)

    studies = wait_for("the studies table", lambda: find(reports_window, role="table", name="検査"))
    wait_for("three studies", lambda: studies.queryTable().nRows == 3)
    # The second study, selected as an assistive tool does.
    studies.queryTable().addRowSelection(1)
    study_uid = table_rows(studies)[1][column(studies, "study_uid")]
    events = find(reports_window, role="table", name="照射イベント")
    wait_for("the study's events", lambda: events.queryTable().nRows == 4 and
             table_rows(events)[0][column(events, "study_uid")] == study_uid)
    # Its third event, selected, then sent.
    row = table_rows(events)[2]
    events.queryTable().addRowSelection(2)
    wait_for("the third event selected", lambda: events.queryTable().isRowSelected(2))
    press_button(reports_window, None, prefix="主画面で計算")
    answer_alert("いいえ", "Ｘ線スペクトルを表示しますか？", prefix="いいえ")
    rows = wait_for("eleven dose lines", lambda: dose_rows(main_window) if len(dose_rows(main_window)) == 11 else None)
    get = lambda name: row[column(events, name)]
    args = ["--angle", get("angle_deg"), "--inherent", get("inherent_mm_al"), "--al", get("al_mm"), "--cu", get("cu_mm"),
            "--kv", get("kv"), "--area-dose", get("dap_gycm2"), "--tables", work]
    out = subprocess.run([calc] + args, capture_output=True, text=True, check=True).stdout.splitlines()
    tool = [line for line in out[next(i for i, l in enumerate(out) if l.startswith("body thickness")) + 1:] if line]
    if rows != tool:
        raise Failure("List1 after the event differs from mirelo-calc " + " ".join(args) + ":\n" +
                      "\n".join(f"{r!r} vs {t!r}" for r, t in zip(rows, tool)))
    subprocess.run(["import", "-window", "root", os.path.join(os.environ.get("MIRELO_E2E_OUT", work), "e2e_dose_reports.png")], check=False)
    print("dose reports: study", study_uid, "event", get("event_uid"), "->", " ".join(args[:-2]))
    print("List1 is mirelo-calc's, line for line")
    press_button(reports_window, "閉じる")
    wait_for("the dose-reports window to close", lambda: window("線量レポート") is None)


def main():
    exe, tables, outdir = sys.argv[1:4]
    work = tempfile.mkdtemp(prefix="mirelo-e2e-")
    for name in ("Att_coeff2021.dat", "effEA.dat"):
        shutil.copy(os.path.join(tables, name), work)
    proc = start(exe, work)
    try:
        main_window = wait_for("the main window", lambda: window("Mirelo"))
        print("main window:", main_window.name.strip())

        # Step 2: the tube voltage, the dialog's defaults (fixed 80 kV).
        press_button(main_window, "管電圧設定")
        dialog = wait_for("the tube-voltage dialog", lambda: window("管電圧の設定"))
        press_button(dialog, "OK")
        wait_for("the tube-voltage display", lambda: find(main_window, contains="80", role="label"))

        # Step 3: the spectrum, and Yes to the question.
        press_button(main_window, "入射Ｘ線スペクトルを計算")
        answer_alert("はい", "Ｘ線スペクトルを表示しますか？", prefix="はい")  # Qt's Japanese "Yes"
        plot = wait_for("the spectrum window", lambda: window("X-ray spectrum"))
        compare_quality_line(plot, work)
        press_button(plot, "Data save")
        print("confirmation:", answer_alert("OK", "スペクトルデータは X_SPCTL.dat に保存しました"))

        # Steps 4 and 5: the area dose and the volume dose.
        field = wait_for("the area-dose field", lambda: find(main_window, role="text", contains="面積"))
        field.queryEditableText().setTextContents(AREA_DOSE)
        press_button(main_window, "患者容積線量を計算")
        dose_list = wait_for("the dose list", lambda: result_list(main_window))
        rows = wait_for("eleven dose lines", lambda: [c.name for c in children(dose_list)] if dose_list.childCount == 11 else None)

        subprocess.run(["import", "-window", "root", os.path.join(outdir, "e2e.png")], check=False)

        # What the program shows and wrote, against our own computation from the same tables.
        t = reference.load_tables(work)
        fluence = reference.spectrum(t, 12, 0.25, 0.1, 0.0, 80, 80, 1)
        expected_file = reference.export_bytes(fluence)
        written = open(os.path.join(work, "X_SPCTL.dat"), "rb").read()
        if written != expected_file:
            a = written.split(b"\r\n")
            b = expected_file.split(b"\r\n")
            diff = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), None)
            raise Failure(f"X_SPCTL.dat differs at line {diff}: {a[diff]!r} vs {b[diff]!r}" if diff is not None
                          else f"X_SPCTL.dat has {len(written)} bytes, expected {len(expected_file)}")
        photons, lines = reference.dose_lines(t, fluence, 80, float(AREA_DOSE))
        if rows != lines:
            raise Failure("dose list differs:\n" + "\n".join(f"{r!r} vs {e!r}" for r, e in zip(rows, lines)))
        if find(main_window, role="label", name=photons) is None:
            raise Failure(f"photon count {photons} is not shown")
        print("X_SPCTL.dat: 300 lines, identical to the independent computation")
        print("photons:", photons)
        print("\n".join(rows))

        # The interface in English, chosen from the menu, used for one calculation, and back.
        choose_language(main_window, "English")
        wait_for("English captions", lambda: find(main_window, role="push button", name="Compute integral dose"))
        for caption in ("Target angle", "Added filtration (Al)", "Tube voltage", "Results"):
            if find(main_window, role="label", contains=caption) is None:
                raise Failure(f"no English caption {caption!r}")
        field.queryEditableText().setTextContents("")
        field.queryEditableText().setTextContents(AREA_DOSE)
        press_button(main_window, "Compute integral dose")
        rows_en = wait_for("eleven dose lines in English", lambda: [c.name for c in children(dose_list)] if dose_list.childCount == 11 else None)
        if rows_en != lines:
            raise Failure("dose list in English differs from the reference")
        subprocess.run(["import", "-window", "root", os.path.join(outdir, "e2e_en.png")], check=False)
        print("English: captions found, the same eleven lines")
        choose_language(main_window, "日本語")
        wait_for("Japanese captions again", lambda: find(main_window, role="push button", name="患者容積線量を計算"))
        print("back in Japanese")

        readings_and_units(main_window, lines)
        what_is_on_screen_belongs_together(main_window)
        press_button(main_window, "管電圧設定")
        wait_for("the tube-voltage dialog", lambda: window("管電圧の設定"))
        tool_window_not_above()

        os.environ["MIRELO_E2E_OUT"] = outdir
        dose_reports_into_the_main_window(main_window, work)

        press_button(main_window, "終了")
        proc.wait(timeout=TIMEOUT)
        if proc.returncode != 0:
            raise Failure(f"the program ended with status {proc.returncode}")

        save_under_a_file_size_limit(exe, tables)
        fits_a_small_screen(exe, tables)
        print("end-to-end run passed")
        return 0
    except Failure as e:
        print("FAIL:", e, file=sys.stderr)
        return 1
    finally:
        if proc.poll() is None:
            proc.kill()
        err = proc.stderr.read().decode(errors="replace") if proc.stderr else ""
        if err.strip():
            print("program's standard error:\n" + err, file=sys.stderr)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
