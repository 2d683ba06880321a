#!/usr/bin/env python3
"""Runs glorp.scr under Wine on a private X server and checks what a user sees.

- The configuration and preview tokens end the program at once with exit
  code 1, before any window or DirectDraw object exists.
- Without a virtual desktop Wine cannot switch the X server to 640x480x8, so
  opening the displays fails: a message box captioned "Glorp 1.1" names the
  failing call, Return dismisses it, the exit code is 0 and the screen is left
  as it was.
- In a 640x480 virtual desktop the saver runs: the inner 636x476 rectangle of
  the screen equals, through the picture's palette, one of the 480 frames that
  glorp-frames renders, the animation moves on, and a key press ends the run
  with exit code 0.

One Wine prefix and one Xvfb serve the whole run; every process started here
is ended by its id at the end, and the Wine server with 'wineserver -k'.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from screen_harness import (  # noqa: E402
    HEIGHT, INNER_BOTTOM, INNER_LEFT, INNER_RIGHT, INNER_TOP, SCROLL_ROWS, WIDTH, CaseFailure,
    ReferenceFrames, XServer, check, read_palette, reference_frames_command, save_ppm,
    stop_process, wait_for_exit, wait_until)

# The X server's screen, larger than the saver's mode so that a mode it cannot
# switch to is a real failure.
SCREEN_WIDTH, SCREEN_HEIGHT = 1024, 768
CAPTION = "Glorp 1.1"
FAILURE_TEXTS = ("DirectDrawCreateEx FAILED", "SetCooperativeLevel FAILED",
                 "SetDisplayMode FAILED", "CreateSurface FAILED")
# Calls whose use the cases observe through Wine's relay trace.
TRACED_CALLS = "user32.CreateWindowExA;user32.MessageBoxA;ddraw.DirectDrawCreateEx"

# Deadlines, generous: the machine may be busy with other builds and tests.
QUICK_EXIT_SECONDS = 60
WINDOW_SECONDS = 90
FRAMES_SECONDS = 120
EXIT_SECONDS = 60


class Wine:
    """A fresh prefix, used by every case of the run."""

    def __init__(self, prefix, display, work):
        self.work = work
        self.env = dict(os.environ, WINEPREFIX=prefix, DISPLAY=display, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")

    def run(self, *command):
        log_path = os.path.join(self.work, "wine-setup.log")
        with open(log_path, "ab") as log:
            result = subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=log, stderr=subprocess.STDOUT, check=False,
                                    timeout=300)
        if result.returncode != 0:
            raise RuntimeError(f"{' '.join(command)} failed; see {log_path}")

    def boot(self):
        self.run("wineboot", "-i")
        self.set_value(r"HKCU\Software\Wine\Debug", "RelayInclude", TRACED_CALLS)
        self.restart()

    def set_value(self, key, name, value):
        self.run("wine", "reg", "add", key, "/v", name, "/d", value, "/f")

    def use_virtual_desktop(self, size):
        # A desktop named in the registry, unlike 'explorer /desktop', hands the
        # program's exit code back to the caller.
        self.set_value(r"HKCU\Software\Wine\Explorer", "Desktop", "Default")
        self.set_value(r"HKCU\Software\Wine\Explorer\Desktops", "Default", size)
        self.restart()

    def restart(self):
        """Ends every process of the prefix and waits for the server to go."""
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)
        subprocess.run(["wineserver", "-w"], env=self.env, check=False, timeout=60)

    def start(self, program, arguments, log_path):
        """Starts the program with the relay trace of the calls the cases observe."""
        with open(log_path, "wb") as log:
            return subprocess.Popen(["wine", program, *arguments],
                                    env=dict(self.env, WINEDEBUG="-all,+relay"),
                                    stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=subprocess.STDOUT, cwd=self.work)


def traced_calls(log_path, function):
    """The argument lists of every traced call of function, in order."""
    with open(log_path, "rb") as log:
        text = log.read().decode("latin-1")
    return re.findall(r"Call " + re.escape(function) + r"\((.*)\) ret=", text)


def message_box_calls(log_path):
    """(owner, text, caption, type) of every MessageBoxA call in the trace."""
    calls = []
    for arguments in traced_calls(log_path, "user32.MessageBoxA"):
        found = re.fullmatch(r'([0-9a-f]+),[0-9a-f]+ "(.*)",[0-9a-f]+ "(.*)",([0-9a-f]+)',
                             arguments)
        check(found, f"unexpected MessageBoxA trace: {arguments}")
        calls.append((int(found.group(1), 16), found.group(2), found.group(3),
                      int(found.group(4), 16)))
    return calls


def screen_indices(screenshot, origin, palette):
    """The desktop's inner rectangle turned back into palette indices.

    Returns (indices, number of pixels whose colour is not in the palette)."""
    width, _, pixels = screenshot
    left, top = origin
    indices = bytearray()
    strangers = 0
    for y in range(top + INNER_TOP, top + INNER_BOTTOM):
        row = pixels[3 * (y * width + left + INNER_LEFT):3 * (y * width + left + INNER_RIGHT)]
        for x in range(0, len(row), 3):
            index = palette.get(row[x:x + 3])
            if index is None:
                strangers += 1
                index = 0
            indices.append(index)
    return bytes(indices), strangers


class Run:
    """The cases. Each leaves nothing of the program running when it ends."""

    def __init__(self, options, xserver, wine, frames, palette):
        self.options = options
        self.xserver = xserver
        self.wine = wine
        self.frames = frames
        self.palette = palette
        self.program = None

    def start(self, name, arguments):
        log_path = os.path.join(self.options.work, name + ".log")
        self.program = self.wine.start(self.options.scr, arguments, log_path)
        return log_path

    def wait_for_exit(self, seconds):
        return wait_for_exit(self.program, seconds)

    def press_until_exit(self, window, key):
        """Presses key on window until the program ends, and returns its exit code.

        A window that is mapped may not take keys yet, so a press that goes
        unanswered is repeated."""
        deadline = time.monotonic() + EXIT_SECONDS
        while time.monotonic() < deadline:
            self.xserver.run("xdotool", "windowfocus", "--sync", str(window))
            self.xserver.run("xdotool", "key", key)
            code = self.wait_for_exit(5)
            if code is not None:
                return code
        raise CaseFailure(f"the program did not end within {EXIT_SECONDS} s of pressing {key}")

    def finish(self):
        """Ends whatever a case left running, by id and through the Wine server."""
        stop_process(self.program)
        self.program = None
        self.wine.restart()

    def ends_at_once_for_configuration_and_preview(self):
        for arguments in (["/c"], ["/P", "1234"], ["-c:99"]):
            shown = " ".join(arguments)
            log_path = self.start("command-line", arguments)
            code = self.wait_for_exit(QUICK_EXIT_SECONDS)
            check(code is not None, f"'{shown}' did not end within {QUICK_EXIT_SECONDS} s")
            check(code == 1, f"'{shown}' ended with exit code {code}, not 1")
            for call in ("user32.CreateWindowExA", "ddraw.DirectDrawCreateEx"):
                check(not traced_calls(log_path, call), f"'{shown}' called {call}")
        self.finish()

    def reports_a_display_mode_it_cannot_set(self):
        before = self.xserver.screen_state()
        log_path = self.start("no-desktop", ["/s"])

        def message_box():
            for window in self.xserver.windows_named(CAPTION):
                if self.xserver.geometry(window)[2:] != (SCREEN_WIDTH, SCREEN_HEIGHT):
                    return window
            return None

        box = wait_until(message_box, WINDOW_SECONDS, interval=0.2)
        check(box, f"no message box captioned '{CAPTION}' within {WINDOW_SECONDS} s")
        calls = message_box_calls(log_path)
        check(len(calls) == 1, f"expected one MessageBoxA call, traced {calls}")
        owner, text, caption, box_type = calls[0]
        print(f"  message box text: '{text}'")
        check(text in FAILURE_TEXTS, f"the box says '{text}', which names no failing call")
        check(caption == CAPTION and box_type == 0,
              f"the box has caption '{caption}' and type {box_type:#x}, not '{CAPTION}' and MB_OK")
        check(owner != 0, "the box has no owner window")
        check(self.program.poll() is None, "the program ended before the box was dismissed")

        code = self.press_until_exit(box, "Return")
        check(code == 0, f"the program ended with exit code {code}, not 0")
        check(not self.xserver.windows_named(CAPTION), "a window of the program is left")
        check(self.xserver.screen_state() == before,
              f"the screen changed from {before} to {self.xserver.screen_state()}")
        self.finish()

    def shows_the_frames_and_ends_on_a_key(self):
        self.wine.use_virtual_desktop(f"{WIDTH}x{HEIGHT}")
        log_path = self.start("desktop", ["/s"])

        def desktop():
            for window in self.xserver.windows_named("Default - Wine desktop"):
                x, y, width, height = self.xserver.geometry(window)
                if (width, height) == (WIDTH, HEIGHT):
                    return (x, y)
            return None

        origin = wait_until(desktop, WINDOW_SECONDS, interval=0.2)
        check(origin, f"no {WIDTH}x{HEIGHT} virtual desktop within {WINDOW_SECONDS} s")

        # A screenshot may catch a frame half presented; the next one will not.
        # Two different frames show that the animation moves on.
        matched = []
        last = {}

        def next_frame():
            check(self.program.poll() is None,
                  f"the program ended with exit code {self.program.returncode} "
                  f"and message boxes {message_box_calls(log_path)}")
            shot = self.xserver.screenshot()
            indices, strangers = screen_indices(shot, origin, self.palette)
            scroll = self.frames.find(indices) if strangers == 0 else None
            last.update(shot=shot, indices=indices, strangers=strangers)
            if scroll is not None and scroll not in matched:
                matched.append(scroll)
            return len(matched) >= 2

        if not wait_until(next_frame, FRAMES_SECONDS, interval=0.1):
            path = os.path.join(self.options.work, "desktop-last.ppm")
            save_ppm(path, last["shot"])
            scroll, differing = self.frames.nearest(last["indices"])
            raise CaseFailure(
                f"matched frames {matched}, not two different ones, within {FRAMES_SECONDS} s; "
                f"last screenshot ({path}): {last['strangers']} pixels outside the palette, "
                f"nearest frame scroll {scroll} with {differing} differing pixels")
        print(f"  screenshots matched the frames of scroll rows {matched[0]} and {matched[1]}")

        windows = self.xserver.windows_named(CAPTION)
        check(windows, f"no window titled '{CAPTION}'")
        code = self.press_until_exit(windows[0], "space")
        check(code == 0, f"the program ended with exit code {code}, not 0")
        self.finish()


def render_reference_frames(options, path):
    return subprocess.Popen(
        reference_frames_command(options.frames_tool, options.picture, path),
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)


def parse_options():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scr", required=True, help="glorp.scr to run")
    parser.add_argument("--frames-tool", required=True, help="glorp-frames")
    parser.add_argument("--picture", required=True, help="the picture embedded in glorp.scr")
    parser.add_argument("--work", required=True, help="folder for logs and screenshots")
    return parser.parse_args()


def main():
    options = parse_options()
    if not os.path.isfile(options.scr):
        print(f"{options.scr} does not exist: build glorp.scr with the MinGW-w64 toolchain first",
              file=sys.stderr)
        return 2
    options.scr = os.path.abspath(options.scr)
    # Logs and screenshots of an earlier run would only mislead.
    shutil.rmtree(options.work, ignore_errors=True)
    os.makedirs(options.work)
    # A timeout or an interrupt still runs the clean-up below.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))

    started = time.monotonic()
    temporary = tempfile.mkdtemp(prefix="glorp-wine-")
    xserver = wine = frames_job = None
    failures = []
    try:
        xserver = XServer((SCREEN_WIDTH, SCREEN_HEIGHT), os.path.join(options.work, "xvfb.log"))
        frames_path = os.path.join(temporary, "frames.raw")
        frames_job = render_reference_frames(options, frames_path)
        wine = Wine(os.path.join(temporary, "prefix"), xserver.display, options.work)
        wine.boot()
        if frames_job.wait() != 0:
            raise RuntimeError("glorp-frames could not render the reference frames")
        frames = ReferenceFrames(frames_path)
        palette = {colour: index for index, colour in enumerate(read_palette(options.picture))}
        print(f"set-up: {time.monotonic() - started:.1f} s (prefix, Xvfb {xserver.display}, "
              f"{SCROLL_ROWS} reference frames)")

        run = Run(options, xserver, wine, frames, palette)
        for case in (run.ends_at_once_for_configuration_and_preview,
                     run.reports_a_display_mode_it_cannot_set,
                     run.shows_the_frames_and_ends_on_a_key):
            case_started = time.monotonic()
            try:
                case()
                result = "ok"
            except CaseFailure as failure:
                result = f"FAILED: {failure}"
                failures.append(case.__name__)
                run.finish()
            print(f"{case.__name__}: {result} ({time.monotonic() - case_started:.1f} s)")
    except (CaseFailure, RuntimeError) as error:
        print(f"set-up failed: {error}", file=sys.stderr)
        return 1
    finally:
        stop_process(frames_job)
        if wine is not None:
            wine.restart()
        if xserver is not None:
            xserver.stop()
        shutil.rmtree(temporary, ignore_errors=True)
    print(f"total: {time.monotonic() - started:.1f} s")
    if failures:
        print(f"failed: {', '.join(failures)}; logs in {options.work}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
