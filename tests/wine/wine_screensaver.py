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
import hashlib
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

WIDTH, HEIGHT = 640, 480
# The X server's screen, larger than the saver's mode so that a mode it cannot
# switch to is a real failure.
SCREEN_WIDTH, SCREEN_HEIGHT = 1024, 768
FRAME_BYTES = WIDTH * HEIGHT
SCROLL_ROWS = 480
# Presentation covers the pixels two in from every edge.
INNER_LEFT, INNER_TOP, INNER_RIGHT, INNER_BOTTOM = 2, 2, 638, 478
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


class CaseFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise CaseFailure(message)


def wait_until(predicate, seconds, interval=0.2):
    """Polls until predicate returns a true value, which is returned; None at the deadline."""
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


def stop_process(process, seconds=10):
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class XServer:
    """An Xvfb of its own, on the first display number that is free."""

    def __init__(self, log_path):
        read_end, write_end = os.pipe()
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end),
             "-screen", "0", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24", "-nolisten", "tcp", "-noreset"],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT,
            pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            number = numbers.readline().strip()
        if not number.isdigit():
            stop_process(self.process)
            raise RuntimeError(f"Xvfb did not start; see {log_path}")
        self.display = ":" + number

    def run(self, *command):
        """Runs an X client on this server and returns its output ('' if it hangs)."""
        try:
            return subprocess.run(command, env=dict(os.environ, DISPLAY=self.display),
                                  capture_output=True, text=True, check=False,
                                  timeout=30).stdout
        except subprocess.TimeoutExpired:
            return ""

    def windows_named(self, name):
        """The ids of the mapped windows whose title is exactly name."""
        pattern = "^" + re.escape(name) + "$"
        return [int(line) for line in self.run("xdotool", "search", "--onlyvisible",
                                               "--name", pattern).split()]

    def geometry(self, window):
        values = dict(re.findall(r"^(\w+)=(-?\d+)$",
                                 self.run("xdotool", "getwindowgeometry", "--shell", str(window)),
                                 re.MULTILINE))
        return tuple(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))

    def screen_state(self):
        """Size and depth of the screen, as a user of the X server sees them."""
        info = self.run("xdpyinfo")
        dimensions = re.search(r"dimensions:\s+(\d+x\d+) pixels", info)
        depth = re.search(r"depth of root window:\s+(\d+) planes", info)
        return (dimensions and dimensions.group(1), depth and depth.group(1))

    def screenshot(self):
        """The whole screen as (width, height, RGB bytes)."""
        data = subprocess.run(["import", "-display", self.display, "-window", "root",
                               "-depth", "8", "ppm:-"],
                              capture_output=True, check=True).stdout
        return parse_ppm(data)

    def stop(self):
        stop_process(self.process)
        self.log.close()


def parse_ppm(data):
    """Reads a binary PPM (P6) with 8-bit samples."""
    fields = []
    position = 0
    while len(fields) < 4:
        while data[position:position + 1].isspace():
            position += 1
        if data[position:position + 1] == b"#":
            position = data.index(b"\n", position)
            continue
        start = position
        while not data[position:position + 1].isspace():
            position += 1
        fields.append(data[start:position])
    check(fields[0] == b"P6" and fields[3] == b"255", "the screenshot is not an 8-bit PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[position + 1:position + 1 + 3 * width * height]
    check(len(pixels) == 3 * width * height, "the screenshot is cut short")
    return width, height, pixels


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


def read_palette(picture_path):
    """Maps each of the picture's 256 colours, widened to 8 bits, to its index."""
    with open(picture_path, "rb") as picture:
        stored = picture.read(10 + 768)[10:]
    check(len(stored) == 768, f"{picture_path} holds no full palette")
    widened = bytes(((s & 63) << 2) | ((s & 63) >> 4) for s in stored)
    palette = {}
    for index in range(256):
        palette.setdefault(widened[3 * index:3 * index + 3], index)
    check(len(palette) == 256, "the picture's palette colours are not all distinct")
    return palette


def inner_rectangle(frame):
    """The presented part of a 640x480 frame of palette indices, row after row."""
    return b"".join(frame[y * WIDTH + INNER_LEFT:y * WIDTH + INNER_RIGHT]
                    for y in range(INNER_TOP, INNER_BOTTOM))


class ReferenceFrames:
    """The inner rectangles of every scroll row's frame, as glorp-frames renders them."""

    def __init__(self, path):
        self.path = path
        self.by_digest = {}
        with open(path, "rb") as frames:
            for scroll in range(SCROLL_ROWS):
                frame = frames.read(FRAME_BYTES)
                check(len(frame) == FRAME_BYTES, f"{path} holds fewer than {SCROLL_ROWS} frames")
                digest = hashlib.sha256(inner_rectangle(frame)).digest()
                self.by_digest.setdefault(digest, scroll)

    def find(self, indices):
        return self.by_digest.get(hashlib.sha256(indices).digest())

    def nearest(self, indices):
        """(scroll row, number of differing pixels) of the closest frame."""
        shown = int.from_bytes(indices, "little")
        best = (None, len(indices) + 1)
        with open(self.path, "rb") as frames:
            for scroll in range(SCROLL_ROWS):
                inner = inner_rectangle(frames.read(FRAME_BYTES))
                same = (shown ^ int.from_bytes(inner, "little")).to_bytes(len(inner), "little")
                differing = len(inner) - same.count(0)
                if differing < best[1]:
                    best = (scroll, differing)
        return best


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


def save_ppm(path, screenshot):
    width, height, pixels = screenshot
    with open(path, "wb") as image:
        image.write(b"P6\n%d %d\n255\n" % (width, height) + pixels)


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
        try:
            return self.program.wait(seconds)
        except subprocess.TimeoutExpired:
            return None

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

        box = wait_until(message_box, WINDOW_SECONDS)
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

        origin = wait_until(desktop, WINDOW_SECONDS)
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
        [options.frames_tool, "--picture", options.picture, "--scroll", "0",
         "--count", str(SCROLL_ROWS), "--step", "10", "--format", "raw", "--out", path],
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
        xserver = XServer(os.path.join(options.work, "xvfb.log"))
        frames_path = os.path.join(temporary, "frames.raw")
        frames_job = render_reference_frames(options, frames_path)
        wine = Wine(os.path.join(temporary, "prefix"), xserver.display, options.work)
        wine.boot()
        if frames_job.wait() != 0:
            raise RuntimeError("glorp-frames could not render the reference frames")
        frames = ReferenceFrames(frames_path)
        palette = read_palette(options.picture)
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
