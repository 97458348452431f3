#!/usr/bin/env python3
"""render-video's speed and cost beside the bare frame loop, in the same run.

The bare loop is draw_loop: draw_scene on the hidden surface render-video
draws on, with its clock and its allocator settings, so that the two draw
the same frames and differ only by the capture's own work (mixing, reading
each frame back, encoding). Each round runs a 10 s capture at 640 x 480, 60
frames per second, between two runs of the loop, and holds it against the
mean of the two: on a shared machine the load comes and goes. The median
round counts.

Two figures per round. Speed: frames per second against the loop's (target
80% or more). On two idle cores this is the figure that counts; under load
it swings with whatever else runs, as the capture has more threads than the
loop and so gets another share of the cores. Cost: processor time a frame,
every thread counted, the loop's against the capture's. It is what the
capture takes from the machine whatever else runs, so it holds steady
under load, and since llvmpipe alone keeps both cores nearly busy it is
about what the speed comes to on an idle machine. The capture's is the
process's own (wait4) less that of a start-up-only run of the same
program; the loop's it measures itself.

Then a 30 s capture with its log: its size (target 12 Mbit/s or less) and
its PSNR over RGB against render-frame's redraw of every 29th logged frame
(video_psnr; target 25 dB or more). 29, not 60: every 60th frame would
catch one key frame in four, where the capture has one in 240.

With --before BUILD, another build tree's render-video (say, main's) is run
the same way in the same rounds, each capture between its own two loops,
the two builds taking turns to go first; and its 30 s capture too.

    render_video_bench [ROUNDS] [--before BUILD] [RENDER-VIDEO OPTIONS]...
                                   (default 3 rounds; needs an X display)
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile

BUILD = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
LOOP_FRAMES = 600


def cpu_of(command, cwd):
    """Standard output and processor seconds of command, measured with wait4."""
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    out = process.stdout.read()
    err = process.stderr.read()
    _, status, usage = os.wait4(process.pid, 0)
    if status:
        sys.exit("render_video_bench: %s failed: %s" % (" ".join(command), err.strip()))
    return out, usage.ru_utime + usage.ru_stime


def bare_loop():
    """Frames per second and milliseconds of processor time a frame of the bare loop."""
    out, _ = cpu_of([os.path.join(BUILD, "bench", "tools", "draw_loop"), str(LOOP_FRAMES)], BUILD)
    m = re.search(r"([\d.]+) frames per second, ([\d.]+) ms of CPU a frame", out)
    return float(m.group(1)), float(m.group(2))


class Capture:
    """One build tree's render-video; its start-up cost is measured once."""

    def __init__(self, build, options):
        self.build = build
        self.options = options
        # Start-up (the disk's files, the surface, the codecs) and one
        # frame: the median of three.
        self.start_cpu = statistics.median(self.capture(0.01)[2] for _ in range(3))

    def capture(self, seconds, log=None):
        """Frames per second, frames, processor seconds and bytes of one capture."""
        with tempfile.TemporaryDirectory() as folder:
            out = log[:-4] + ".mkv" if log else os.path.join(folder, "bench.mkv")
            extra = ["--log", log] if log else []
            line, cpu = cpu_of([os.path.join(self.build, "tools", "render-video"), out, "--seconds", str(seconds)]
                               + extra + self.options, self.build)
            m = re.search(r": (\d+) frames.*\(([\d.]+) frames per second\)", line)
            return float(m.group(2)), int(m.group(1)), cpu, os.path.getsize(out)

    def round(self, seconds):
        fps, frames, cpu, _ = self.capture(seconds)
        return fps, 1000 * (cpu - self.start_cpu) / (frames - 1)


def main():
    args = sys.argv[1:]
    rounds = int(args.pop(0)) if args and args[0].isdigit() else 3
    before = None
    if "--before" in args:
        i = args.index("--before")
        before = os.path.abspath(args[i + 1])
        del args[i:i + 2]
    # run-benchmarks passes Google Benchmark's options to every program.
    options = [a for a in args if not a.startswith("--benchmark")]
    builds = [("after", BUILD)] + ([("before", before)] if before else [])
    captures = {name: Capture(build, options) for name, build in builds}

    print("load at the start: %s" % open("/proc/loadavg").read().strip(), flush=True)
    loop = bare_loop()
    results = {name: [] for name, _ in builds}
    for r in range(rounds):
        # Each build goes first in every other round.
        for name, _ in builds[::-1] if r % 2 else builds:
            fps, cpu = captures[name].round(10)
            after_loop = bare_loop()
            bare_fps = (loop[0] + after_loop[0]) / 2
            bare_cpu = (loop[1] + after_loop[1]) / 2
            loop = after_loop
            results[name].append((fps / bare_fps, bare_cpu / cpu, fps, bare_fps, cpu, bare_cpu))
            print("round %d, %s: loop %.1f fps, %.2f ms of CPU a frame; capture %.1f fps (%.0f%%), %.2f ms (%.0f%%)"
                  % (r + 1, name, bare_fps, bare_cpu, fps, 100 * fps / bare_fps, cpu, 100 * bare_cpu / cpu),
                  flush=True)
    print("load at the end: %s" % open("/proc/loadavg").read().strip())
    for name, _ in builds:
        rows = results[name]
        speed = statistics.median(row[0] for row in rows)
        cost = statistics.median(row[1] for row in rows)
        print("median, %s: render-video at 640x480, 60 fps: %.0f%% of the bare loop's frame rate (target 80%%); "
              "the loop's processor time a frame is %.0f%% of the capture's" % (name, 100 * speed, 100 * cost))

    psnr = os.path.join(BUILD, "bench", "tools", "video_psnr")
    for name, build in builds:
        with tempfile.TemporaryDirectory() as folder:
            log = os.path.join(folder, "capture.tsv")
            fps, _, _, size = captures[name].capture(30, log)
            line, _ = cpu_of([psnr, log[:-4] + ".mkv", log, os.path.join(build, "tools", "render-frame")], BUILD)
            print("30 s capture, %s, at %s: %.1f MB (%.1f Mbit/s, target 12), %.1f fps; %s"
                  % (name, " ".join(options) or "the defaults", size / 1e6, size * 8 / 1e6 / 30, fps,
                     line.strip()))


if __name__ == "__main__":
    main()
