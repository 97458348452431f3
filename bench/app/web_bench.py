#!/usr/bin/python3
"""The disk in headless Chromium, measured: its frame rate against the
native build's (frame_bench under Xvfb, same machine, same run) as a ratio;
the time from answering No to the first frame; the site's size, whole and
gzip-compressed (aim: under 6 MB whole); key-to-ear, from a track key's
event to the new track's first sample reaching Web Audio's output (aim: at
most 80 ms); and a minute of play with the blocks Web Audio got late.

    bench/app/web_bench.py [WEB_BUILD [NATIVE_BUILD [SECONDS]]]   (build-web build 60)

Debian's python3, for selenium and numpy; the page through
tests/web/browser_test.py's Page."""
import gzip
import os
import re
import subprocess
import sys
import time

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
WEB = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build-web"))
NATIVE = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "build"))
SECONDS = float(sys.argv[3]) if len(sys.argv) > 3 else 60
os.environ.setdefault("SITE", os.path.join(WEB, "site"))
os.environ.setdefault("RENDER_WAV", os.path.join(NATIVE, "tools", "render-wav"))
sys.path.insert(0, os.path.join(ROOT, "tests", "web"))
import browser_test as bt  # noqa: E402

# Frames as the page shows them: every animation frame the disk asks for.
FRAMES = """
window.frames_at = [];
const ask = window.requestAnimationFrame.bind(window);
window.requestAnimationFrame = f => ask(t => { frames_at.push(performance.now()); f(t); });
document.addEventListener('click', () => { window.answered_at = window.answered_at || performance.now(); }, true);
window.addEventListener('keydown', e => { if (tap.context) tap.key_at = tap.context.currentTime; }, true);
"""


def site_size(site):
    whole = packed = 0
    for folder, _, names in os.walk(site):
        for name in names:
            with open(os.path.join(folder, name), "rb") as f:
                data = f.read()
            whole += len(data)
            packed += len(gzip.compress(data, 9))
    return whole, packed


def native_fps():
    bench = os.path.join(NATIVE, "bench", "visuals", "frame_bench")
    if not os.path.exists(bench):
        return None
    out = subprocess.run([os.path.join(ROOT, "cmake", "xscreen.py"), bench, "--benchmark_filter=BM_DrawScene",
                          "--benchmark_counters_tabular=true"], cwd=NATIVE, capture_output=True, text=True).stdout
    found = re.search(r"BM_DrawScene\S*\s+[\d.]+ ms\s+[\d.]+ ms\s+\d+\s+([\d.]+)/s", out)
    return float(found.group(1)) if found else None


def key_to_ear(page, key, number):
    """Seconds from the key event to track number's first sample at the
    output: where its opening stands in what Web Audio took, on the
    context's clock, plus the output's own latency."""
    page.press(key)
    page.heard(bt.datas_file(number))
    # What was played since the key, taken with a margin before it, as
    # more comes in while it is fetched; the search starts at the key, as
    # nothing mixed before it holds the new track, and another track's bars
    # may look alike.
    rate, left, right = page.played(page.js("return tap.blocks.at(-1)[0] - tap.key_at + 0.5"))
    start = page.played_from
    key, base, output = page.js("return [tap.key_at, tap.context.baseLatency || 0, tap.context.outputLatency || 0]")
    skip = max(0, int((key - start) * rate))
    at = skip + page.opening_at(bt.datas_file(number), ((left + right) / 2)[skip:], rate)[1]
    # The opening is matched from 20 ms into it, past the engine's ramp.
    return start + at / rate - 0.02 - key + base + output


def main():
    whole, packed = site_size(os.environ["SITE"])
    print("site: %.2f MB, %.2f MB gzip-compressed" % (whole / 1e6, packed / 1e6))
    page = bt.Page()
    try:
        page.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": FRAMES})
        page.driver.refresh()
        page.answer(bt.QUESTION, "No")
        bt.until(lambda: page.js("return frames_at.some(t => t > answered_at)"), 60, "the first frame")
        print("No to the first frame: %.0f ms" % page.js("return frames_at.find(t => t > answered_at) - answered_at"))
        page.heard(bt.datas_file(1))
        # Keypad 4 (track 5) and the top row's 1 (track 2) in turn.
        ears = sorted(1000 * key_to_ear(page, *("KP4", 5) if i % 2 == 0 else ("1", 2)) for i in range(6))
        print("key to ear over %d presses: %.0f ms at best, %.0f median, %.0f at worst"
              % (len(ears), ears[0], ears[len(ears) // 2], ears[-1]))
        late, started, frames = page.js("return [tap.late, performance.now(), frames_at.length]")
        time.sleep(SECONDS)  # the minute of play being measured
        late_after, ended, frames_after = page.js("return [tap.late, performance.now(), frames_at.length]")
        fps = (frames_after - frames) * 1000 / (ended - started)
        print("%g s of play: %d blocks late; %.1f frames per second" % (SECONDS, late_after - late, fps))
    finally:
        page.close()
    native = native_fps()
    if native:
        print("native draw_scene: %.1f frames per second; browser / native: %.2f" % (native, fps / native))
    else:
        print("native frame rate: build %s's frame_bench to compare" % NATIVE)


if __name__ == "__main__":
    main()
