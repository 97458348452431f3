#!/usr/bin/env python3
"""render-video's speed beside the bare draw_scene loop, in the same run.

Three rounds of frame_bench's draw_scene loop and a 10 s capture at 640 x
480, 60 frames per second, each capture held against the mean of the loops
on either side of it (the load of a shared machine changes); the median
round counts. Then a 30 s capture at the default quality for its size.
Prints the capture's speed as a multiple of real time, its frame rate as a
share of the bare loop's (target: 80% or more) and the file's size.

    render_video_bench [ROUNDS] [RENDER-VIDEO OPTIONS]...
                                   (default 3 rounds; needs an X display)
"""
import json
import os
import re
import subprocess
import sys
import tempfile

BUILD = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def bare_loop_fps():
    out = subprocess.run([os.path.join(BUILD, "bench", "visuals", "frame_bench"), "--benchmark_filter=BM_DrawScene",
                          "--benchmark_format=json"], cwd=BUILD, check=True, capture_output=True, text=True).stdout
    return json.loads(out)["benchmarks"][0]["fps"]


def capture(seconds, options):
    """Frames per second, multiple of real time and bytes of one capture."""
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "bench.mkv")
        line = subprocess.run([os.path.join(BUILD, "tools", "render-video"), out, "--seconds", str(seconds)] + options,
                              cwd=BUILD, check=True, capture_output=True, text=True).stdout
        m = re.search(r"([\d.]+)x real time \(([\d.]+) frames per second\)", line)
        return float(m.group(2)), float(m.group(1)), os.path.getsize(out)


def main():
    args = sys.argv[1:]
    rounds = int(args.pop(0)) if args and args[0].isdigit() else 3
    # run-benchmarks passes Google Benchmark's options to every program.
    options = [a for a in args if not a.startswith("--benchmark")]
    loops = [bare_loop_fps()]
    results = []
    for _ in range(rounds):
        fps, speed, _ = capture(10, options)
        loops.append(bare_loop_fps())
        bare = (loops[-2] + loops[-1]) / 2
        results.append((fps / bare, fps, speed, bare))
        print("round: bare loop %.1f fps, capture %.1f fps (%.2fx real time): %.0f%%"
              % (bare, fps, speed, 100 * fps / bare))
    share, fps, speed, bare = sorted(results)[len(results) // 2]
    print("median: render-video at 640x480, 60 fps: %.1f frames per second, %.2fx real time, "
          "%.0f%% of the bare loop's %.1f (target 80%%)" % (fps, speed, 100 * share, bare))
    fps, speed, size = capture(30, options)
    print("30 s capture at %s: %.1f MB (%.1f Mbit/s), %.2fx real time"
          % (" ".join(options) or "the default quality", size / 1e6, size * 8 / 1e6 / 30, speed))


if __name__ == "__main__":
    main()
