#!/usr/bin/env python3
"""Runs the native glorp on a private Xvfb and checks what a user sees.

One case per run (--case), each on an X server of its own:

- frames: on a 640x480 screen the picture fills the screen one to one: the
  inner 636x476 rectangle equals, through the picture's palette, one of the
  480 frames glorp-frames renders, the animation moves on, and the two-pixel
  band around it is black.
- input: a key press ends the run with exit code 0 within a second; so does a
  pointer move after the first reported position; a click without a move
  does not.
- quick_exits: the configuration and preview tokens end at once with exit
  code 1, map no window and never open the display.
- no_display: without any display glorp says why on stderr and ends with 0.
- scaled: on a 1920x1080 screen the picture is scaled to 1440x1080 between
  black bars, crisp (every pixel shows the picture pixel under its centre).
- xscreensaver_window: with XSCREENSAVER_WINDOW naming a window, the frames
  appear in that window, scaled to its size, follow it when it is resized,
  and glorp maps no window of its own.
- xscreensaver_resizes: glorp in that window lives through quick resizes down
  to 1x1 and beyond the screen's size, still fits the picture to the window
  afterwards, and ends in silence with exit code 0 when the window is destroyed.
- xscreensaver_early_destroy: the window destroyed while glorp is still
  starting, at several moments from at once to about when the first frame
  appears: glorp ends with exit code 0 every time, never by a signal or an X
  error.
- backend: the SDL backend's tests on a real X server.

Every process started here is ended by its id at the end.
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
    HEIGHT, INNER_BOTTOM, INNER_LEFT, INNER_RIGHT, INNER_TOP, WIDTH, CaseFailure, ReferenceFrames,
    XServer, check, read_palette, reference_frames_command, save_ppm, stop_process,
    wait_for_exit, wait_until)

BLACK = b"\0\0\0"

# Deadlines, generous: the machine may be busy with other builds and tests.
START_SECONDS = 60
FRAMES_SECONDS = 60
QUICK_EXIT_SECONDS = 30
# A key press or a move ends the run within this.
END_SECONDS = 1.0


def fit_rect(output_width, output_height):
    """Where a 640x480 picture lies when fitted with its aspect ratio kept."""
    if output_width * HEIGHT > output_height * WIDTH:
        width, height = output_height * WIDTH // HEIGHT, output_height
    else:
        width, height = output_width, output_width * HEIGHT // WIDTH
    return (output_width - width) // 2, (output_height - height) // 2, width, height


def centre(position, fitted_size, picture_size):
    """The output position whose pixel shows picture position `position` at its centre."""
    return (2 * position + 1) * fitted_size // (2 * picture_size)


class Screen:
    """A rectangle of a screenshot where a 640x480 picture is shown fitted."""

    def __init__(self, shot, area, palette):
        self.width, _, self.pixels = shot
        self.area = area  # x, y, width, height of the output the picture is fitted to
        self.fit = fit_rect(area[2], area[3])
        self.index_of = {colour: index for index, colour in enumerate(palette)}

    def pixel(self, x, y):
        """The colour at a position of the output."""
        at = 3 * ((self.area[1] + y) * self.width + self.area[0] + x)
        return self.pixels[at:at + 3]

    def shown(self, x, y):
        """The colour that the output shows for picture pixel (x, y), at its centre."""
        fx, fy, fw, fh = self.fit
        return self.pixel(fx + centre(x, fw, WIDTH), fy + centre(y, fh, HEIGHT))

    def inner_indices(self):
        """The picture's inner rectangle read back as palette indices (None if a colour is not
        in the palette)."""
        indices = bytearray()
        for y in range(INNER_TOP, INNER_BOTTOM):
            for x in range(INNER_LEFT, INNER_RIGHT):
                index = self.index_of.get(self.shown(x, y))
                if index is None:
                    return None
                indices.append(index)
        return bytes(indices)

    def band_is_black(self):
        """Whether the two rows and columns around the inner rectangle show black."""
        band = [(x, y) for y in range(HEIGHT) for x in (0, 1, WIDTH - 2, WIDTH - 1)]
        band += [(x, y) for x in range(WIDTH) for y in (0, 1, HEIGHT - 2, HEIGHT - 1)]
        return all(self.shown(x, y) == BLACK for x, y in band)


class Run:
    """What one case needs: its X server, glorp, the reference frames."""

    def __init__(self, options):
        self.options = options
        self.xserver = None
        self.processes = []
        self.temporary = tempfile.mkdtemp(prefix="glorp-x11-")
        self.palette = read_palette(options.picture)
        self._frames = None

    def frames(self):
        if self._frames is None:
            path = os.path.join(self.temporary, "frames.raw")
            subprocess.run(reference_frames_command(self.options.frames_tool,
                                                    self.options.picture, path),
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
            self._frames = ReferenceFrames(path)
        return self._frames

    def start_xserver(self, size):
        self.xserver = XServer(size, os.path.join(self.options.work, "xvfb.log"))

    def start(self, name, arguments, env=None):
        log = open(os.path.join(self.options.work, name + ".log"), "wb")
        process = subprocess.Popen([self.options.glorp, *arguments],
                                   env=env if env is not None else self.xserver.env,
                                   stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        log.close()
        self.processes.append(process)
        return process

    def log_of(self, name):
        with open(os.path.join(self.options.work, name + ".log"), "rb") as log:
            return log.read().decode("utf-8", "replace")

    def wait_for_picture(self, process, area, name, shot_name=None):
        """Waits until a screenshot of the area shows one of the reference frames, and returns
        (scroll row, the Screen of that screenshot). name is the process's log."""
        found = {}

        def matching_frame():
            check(process.poll() is None,
                  f"glorp ended with {how_it_ended(process)}: {self.log_of(name)!r}")
            screen = Screen(self.xserver.screenshot(), area, self.palette)
            found["screen"] = screen
            indices = screen.inner_indices()
            scroll = self.frames().find(indices) if indices is not None else None
            return (scroll, screen) if scroll is not None else None

        matched = wait_until(matching_frame, FRAMES_SECONDS)
        if matched is None:
            path = os.path.join(self.options.work, (shot_name or name) + "-last.ppm")
            screen = found["screen"]
            save_ppm(path, (screen.width, len(screen.pixels) // 3 // screen.width, screen.pixels))
            raise CaseFailure(f"no screenshot matched a frame within {FRAMES_SECONDS} s "
                              f"(last one: {path})")
        return matched

    def finish(self):
        for process in self.processes:
            stop_process(process)
        if self.xserver is not None:
            self.xserver.stop()
        shutil.rmtree(self.temporary, ignore_errors=True)


# ---- Cases --------------------------------------------------------------------

def frames(run):
    run.start_xserver((WIDTH, HEIGHT))
    glorp = run.start("frames", ["/s"])
    first, screen = run.wait_for_picture(glorp, (0, 0, WIDTH, HEIGHT), "frames")
    check(screen.fit == (0, 0, WIDTH, HEIGHT), "the picture is not shown one to one")
    check(screen.band_is_black(), "the two-pixel band around the picture is not black")
    # The animation moves on.
    second = first
    deadline = time.monotonic() + FRAMES_SECONDS
    while second == first and time.monotonic() < deadline:
        second, _ = run.wait_for_picture(glorp, (0, 0, WIDTH, HEIGHT), "frames")
    check(second != first, f"the picture stayed at scroll row {first}")
    print(f"  screenshots matched the frames of scroll rows {first} and {second}")


def input_events(run):
    run.start_xserver((WIDTH, HEIGHT))
    area = (0, 0, WIDTH, HEIGHT)

    glorp = run.start("key", ["/s"])
    run.wait_for_picture(glorp, area, "key")
    run.xserver.run("xdotool", "key", "space")
    code = wait_for_exit(glorp, END_SECONDS)
    check(code is not None, f"a key press did not end glorp within {END_SECONDS} s")
    check(code == 0, f"after a key press glorp ended with exit code {code}, not 0")

    glorp = run.start("pointer", ["/s"])
    run.wait_for_picture(glorp, area, "pointer")
    run.xserver.run("xdotool", "click", "1")
    check(wait_for_exit(glorp, 2) is None, "a click without a move ended glorp")
    # The first reported position is only recorded: it may have been reported
    # when the window appeared under the pointer, or it is this move.
    run.xserver.run("xdotool", "mousemove", "100", "100")
    code = wait_for_exit(glorp, 1)
    if code is None:
        run.xserver.run("xdotool", "mousemove", "200", "150")
        code = wait_for_exit(glorp, END_SECONDS)
        check(code is not None, f"a second pointer move did not end glorp within {END_SECONDS} s")
    check(code == 0, f"after a pointer move glorp ended with exit code {code}, not 0")


def quick_exits(run):
    run.start_xserver((WIDTH, HEIGHT))
    before = run.xserver.top_level_windows()
    for arguments in (["/c"], ["-P:1234"], ["/p", "1234"]):
        shown = " ".join(arguments)
        glorp = run.start("quick", arguments)
        code = wait_for_exit(glorp, QUICK_EXIT_SECONDS)
        check(code == 1, f"'{shown}' ended with {code}, not 1 at once")
        check(run.xserver.top_level_windows() == before, f"'{shown}' left a window mapped")
        # On a display that does not exist, opening it would be said on stderr.
        env = dict(run.xserver.env, DISPLAY=":65000")
        glorp = run.start("quick-nowhere", arguments, env=env)
        code = wait_for_exit(glorp, QUICK_EXIT_SECONDS)
        check(code == 1, f"'{shown}' without a display ended with {code}, not 1")
        check(run.log_of("quick-nowhere") == "", f"'{shown}' opened the display: "
              f"{run.log_of('quick-nowhere')!r}")


def no_display(run):
    bare = {name: value for name, value in os.environ.items()
            if name not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "XSCREENSAVER_WINDOW")}
    # No display named at all, and one named that no server answers.
    for name, env in (("no-display", bare), ("dead-display", {**bare, "DISPLAY": ":59999"})):
        glorp = run.start(name, ["/s"], env=env)
        code = wait_for_exit(glorp, QUICK_EXIT_SECONDS)
        check(code == 0, f"{name}: glorp ended with {code}, not 0")
        said = run.log_of(name)
        print(f"  {name} stderr: {said.strip()!r}")
        check(re.fullmatch(r"glorp: [^\n]*DISPLAY[^\n]*\n", said),
              f"{name}: glorp did not say in one line why there is no display: {said!r}")


def scaled(run):
    size = (1920, 1080)
    run.start_xserver(size)
    glorp = run.start("scaled", ["/s"])
    scroll, screen = run.wait_for_picture(glorp, (0, 0) + size, "scaled")
    check(screen.fit == (240, 0, 1440, 1080), f"fitted at {screen.fit}")
    check(screen.band_is_black(), "the two-pixel band around the picture is not black")
    frame = run.frames().frame(scroll)
    width, pixels = screen.width, screen.pixels
    bar = BLACK * 240
    for y in range(size[1]):
        row = pixels[3 * y * width:3 * (y + 1) * width]
        check(row[:3 * 240] == bar and row[3 * 1680:] == bar, f"the bars are not black in row {y}")
        # Crisp: every pixel of the picture is the picture pixel under its centre.
        source_row = (2 * y + 1) * HEIGHT // (2 * 1080)
        if INNER_TOP <= source_row < INNER_BOTTOM:
            for x in range(1440):
                source_column = (2 * x + 1) * WIDTH // (2 * 1440)
                if INNER_LEFT <= source_column < INNER_RIGHT:
                    expected = run.palette[frame[source_row * WIDTH + source_column]]
                    at = 3 * (240 + x)
                    if row[at:at + 3] != expected:
                        raise CaseFailure(f"pixel {240 + x},{y} is not the colour of picture "
                                          f"pixel {source_column},{source_row}")
    print(f"  scroll row {scroll} shown at 1440x1080 between black bars")


def xscreensaver_window(run):
    run.start_xserver((1280, 720))
    helper = start_test_window(run)
    window = int(helper.stdout.readline().strip(), 16)
    before = run.xserver.top_level_windows()
    check(window in before, "the test window is not mapped")

    env = dict(run.xserver.env, XSCREENSAVER_WINDOW=hex(window))
    glorp = run.start("xscreensaver", [], env=env)
    _, screen = run.wait_for_picture(glorp, (0, 100, 800, 600), "xscreensaver")
    check(screen.band_is_black(), "the two-pixel band around the picture is not black")
    check(run.xserver.top_level_windows() == before, "glorp mapped a window of its own")

    # At 1280x480 the picture is one to one, between bars of 320 pixels.
    run.xserver.run("xdotool", "windowsize", str(window), "1280", "480")
    _, screen = run.wait_for_picture(glorp, (0, 100, 1280, 480), "xscreensaver",
                                     "xscreensaver-resized")
    check(screen.fit == (320, 0, WIDTH, HEIGHT), f"fitted at {screen.fit}")
    check(screen.pixel(0, 0) == BLACK and screen.pixel(1279, 479) == BLACK,
          "the bars beside the picture are not black")
    check(screen.band_is_black(), "the two-pixel band around the picture is not black")
    print("  frames shown in the handed-over window at 800x600 and, resized, at 1280x480")

    # XScreenSaver ends its screen savers with a signal.
    glorp.terminate()
    check(wait_for_exit(glorp, 5) is not None, "glorp did not end on SIGTERM")

    # A window id that names no window is refused in words.
    glorp = run.start("xscreensaver-gone", [], env=dict(env, XSCREENSAVER_WINDOW="0x7fffff0"))
    code = wait_for_exit(glorp, QUICK_EXIT_SECONDS)
    check(code == 0, f"with a window id that names no window glorp ended with {code}")
    check("XSCREENSAVER_WINDOW" in run.log_of("xscreensaver-gone"),
          f"glorp did not say what is wrong: {run.log_of('xscreensaver-gone')!r}")


# Sizes XScreenSaver's window may pass through, down to a single pixel and
# larger than the screen, given in quick succession.
RESIZES = [(1, 1), (1280, 480), (2, 1), (1, 600), (640, 1), (3, 2), (2560, 1440), (7, 5),
           (800, 600), (1, 1), (1280, 720), (17, 13), (1280, 480)]


def xscreensaver_resizes(run):
    run.start_xserver((1280, 720))
    helper = start_test_window(run)
    window = int(helper.stdout.readline().strip(), 16)
    glorp = run.start("resizes", [], env=dict(run.xserver.env, XSCREENSAVER_WINDOW=hex(window)))
    # Resized while glorp starts, then after it draws, then to every size of the table.
    for width, height in RESIZES[:3]:
        run.xserver.run("xdotool", "windowsize", str(window), str(width), str(height))
    run.xserver.run("xdotool", "windowsize", str(window), "800", "600")
    run.wait_for_picture(glorp, (0, 100, 800, 600), "resizes", "resizes-start")
    for _ in range(3):
        for width, height in RESIZES:
            run.xserver.run("xdotool", "windowsize", str(window), str(width), str(height))
            check(glorp.poll() is None, f"after a resize to {width}x{height} glorp ended with "
                  f"{how_it_ended(glorp)}: {run.log_of('resizes')!r}")
    _, screen = run.wait_for_picture(glorp, (0, 100, 1280, 480), "resizes", "resizes-end")
    check(screen.fit == (320, 0, WIDTH, HEIGHT), f"fitted at {screen.fit}")
    print(f"  glorp followed {3 * len(RESIZES) + 4} resizes, down to 1x1 and up to 2560x1440")

    # XScreenSaver destroys the window when it is done with it: glorp ends in silence.
    stop_process(helper)
    code = wait_for_exit(glorp, QUICK_EXIT_SECONDS)
    check(code == 0, f"once its window was destroyed glorp ended with {how_it_ended(glorp)}: "
          f"{run.log_of('resizes')!r}")
    check(run.log_of("resizes") == "", f"glorp complained: {run.log_of('resizes')!r}")


# Seconds from glorp's start to the window's destruction, each tried a few
# times: before the window is checked, while SDL takes it, while the mode is
# set and while the tables are built.
EARLY_DESTROY_DELAYS = [0, 0.01, 0.03, 0.045, 0.06, 0.08, 0.1, 0.12, 0.15]
EARLY_DESTROY_RUNS = 3


def xscreensaver_early_destroy(run):
    run.start_xserver((1280, 720))
    for delay in EARLY_DESTROY_DELAYS:
        for attempt in range(EARLY_DESTROY_RUNS):
            helper = start_test_window(run)
            window = helper.stdout.readline().strip()
            name = f"early-{delay}-{attempt}"
            glorp = run.start(name, [], env=dict(run.xserver.env, XSCREENSAVER_WINDOW=window))
            time.sleep(delay)
            stop_process(helper)
            wait_for_exit(glorp, QUICK_EXIT_SECONDS)
            check(glorp.returncode == 0,
                  f"with its window destroyed {delay * 1000:.0f} ms after its start glorp ended "
                  f"with {how_it_ended(glorp)}: {run.log_of(name)!r}")
            check("X Error" not in run.log_of(name), f"X error: {run.log_of(name)!r}")
    print(f"  glorp ended with 0 every time, its window destroyed after "
          f"{', '.join(f'{delay * 1000:.0f}' for delay in EARLY_DESTROY_DELAYS)} ms")


def start_test_window(run):
    helper = subprocess.Popen([run.options.test_window, "800", "600", "0", "100"],
                              env=run.xserver.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, text=True)
    run.processes.append(helper)
    return helper


def how_it_ended(process):
    """The exit code, or the signal that ended the process, in words."""
    if process.poll() is None:
        return "no end yet"
    if process.returncode < 0:
        return f"signal {signal.Signals(-process.returncode).name}"
    return f"exit code {process.returncode}"


def backend(run):
    run.start_xserver((WIDTH, HEIGHT))
    result = subprocess.run([run.options.backend_tests], env=run.xserver.env,
                            stdin=subprocess.DEVNULL, timeout=240, check=False)
    check(result.returncode == 0, f"the backend tests failed ({result.returncode})")


CASES = {
    "frames": frames,
    "input": input_events,
    "quick_exits": quick_exits,
    "no_display": no_display,
    "scaled": scaled,
    "xscreensaver_window": xscreensaver_window,
    "xscreensaver_resizes": xscreensaver_resizes,
    "xscreensaver_early_destroy": xscreensaver_early_destroy,
    "backend": backend,
}


def parse_options():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    parser.add_argument("--glorp", required=True, help="the native glorp")
    parser.add_argument("--frames-tool", required=True, help="glorp-frames")
    parser.add_argument("--picture", required=True, help="the picture embedded in glorp")
    parser.add_argument("--test-window", required=True, help="glorp-test-window")
    parser.add_argument("--backend-tests", required=True, help="the backend's tests on X")
    parser.add_argument("--work", required=True, help="folder for logs and screenshots")
    return parser.parse_args()


def main():
    options = parse_options()
    os.makedirs(options.work, exist_ok=True)
    for old in os.listdir(options.work):
        os.remove(os.path.join(options.work, old))
    # A timeout or an interrupt still runs the clean-up below.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    started = time.monotonic()
    run = Run(options)
    try:
        CASES[options.case](run)
        result = 0
    except CaseFailure as failure:
        print(f"FAILED: {failure}; logs in {options.work}", file=sys.stderr)
        result = 1
    finally:
        run.finish()
    print(f"{options.case}: {'ok' if result == 0 else 'failed'} "
          f"({time.monotonic() - started:.1f} s)")
    return result


if __name__ == "__main__":
    sys.exit(main())
