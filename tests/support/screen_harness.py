"""What the end-to-end drivers share: a private Xvfb, process handling, and
the reference frames and palette that screenshots are compared against.

Standard library only; the drivers import it from this folder.
"""

import hashlib
import os
import re
import subprocess
import time

WIDTH, HEIGHT = 640, 480
FRAME_BYTES = WIDTH * HEIGHT
SCROLL_ROWS = 480
# Presentation covers the pixels two in from every edge.
INNER_LEFT, INNER_TOP, INNER_RIGHT, INNER_BOTTOM = 2, 2, 638, 478


class CaseFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise CaseFailure(message)


def wait_until(predicate, seconds, interval=0.1):
    """Polls until predicate returns a true value, which is returned; None at the deadline."""
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


def wait_for_exit(process, seconds):
    """The process's exit code, or None if it is still running after seconds."""
    try:
        return process.wait(seconds)
    except subprocess.TimeoutExpired:
        return None


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

    def __init__(self, size, log_path):
        read_end, write_end = os.pipe()
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{size[0]}x{size[1]}x24",
             "-nolisten", "tcp", "-noreset"],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT,
            pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            number = numbers.readline().strip()
        if not number.isdigit():
            stop_process(self.process)
            raise RuntimeError(f"Xvfb did not start; see {log_path}")
        self.display = ":" + number
        # Clients started here see this server and nothing else.
        self.env = dict(os.environ, DISPLAY=self.display)
        for name in ("WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "XSCREENSAVER_WINDOW"):
            self.env.pop(name, None)

    def run(self, *command):
        """Runs an X client on this server and returns its output ('' if it hangs)."""
        try:
            return subprocess.run(command, env=self.env, capture_output=True, text=True,
                                  check=False, timeout=30).stdout
        except subprocess.TimeoutExpired:
            return ""

    def top_level_windows(self):
        """The ids of the mapped children of the root window."""
        tree = self.run("xwininfo", "-root", "-children")
        return {int(found, 16) for found in re.findall(r"^\s+(0x[0-9a-f]+) ", tree, re.MULTILINE)
                if self.is_mapped(int(found, 16))}

    def is_mapped(self, window):
        return "IsViewable" in self.run("xwininfo", "-id", hex(window))

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
                               "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
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


def save_ppm(path, screenshot):
    width, height, pixels = screenshot
    with open(path, "wb") as image:
        image.write(b"P6\n%d %d\n255\n" % (width, height) + pixels)


def read_palette(picture_path):
    """The picture's 256 colours widened to 8 bits, as 3-byte strings by index."""
    with open(picture_path, "rb") as picture:
        stored = picture.read(10 + 768)[10:]
    check(len(stored) == 768, f"{picture_path} holds no full palette")
    widened = bytes(((s & 63) << 2) | ((s & 63) >> 4) for s in stored)
    colours = [widened[3 * i:3 * i + 3] for i in range(256)]
    check(len(set(colours)) == 256, "the picture's palette colours are not all distinct")
    return colours


def reference_frames_command(frames_tool, picture, path):
    """glorp-frames rendering every scroll row's frame, raw, into path."""
    return [frames_tool, "--picture", picture, "--scroll", "0", "--count", str(SCROLL_ROWS),
            "--step", "10", "--format", "raw", "--out", path]


def inner_rectangle(frame):
    """The presented part of a 640x480 frame of palette indices, row after row."""
    return b"".join(frame[y * WIDTH + INNER_LEFT:y * WIDTH + INNER_RIGHT]
                    for y in range(INNER_TOP, INNER_BOTTOM))


class ReferenceFrames:
    """Every scroll row's frame, as glorp-frames renders them; frames are read
    back from the file when needed rather than kept."""

    def __init__(self, path):
        self.path = path
        self.by_digest = {}
        with open(path, "rb") as frames:
            for scroll in range(SCROLL_ROWS):
                frame = frames.read(FRAME_BYTES)
                check(len(frame) == FRAME_BYTES, f"{path} holds fewer than {SCROLL_ROWS} frames")
                digest = hashlib.sha256(inner_rectangle(frame)).digest()
                self.by_digest.setdefault(digest, scroll)

    def frame(self, scroll):
        with open(self.path, "rb") as frames:
            frames.seek(scroll * FRAME_BYTES)
            return frames.read(FRAME_BYTES)

    def find(self, indices):
        """The scroll row whose inner rectangle equals indices, or None."""
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
