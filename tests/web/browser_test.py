#!/usr/bin/python3
"""The disk in headless Chromium, as a person uses the page: the site
served by python3 -m http.server, its boxes clicked, its keys pressed, and
the samples Web Audio is handed compared with render-wav's render of the
same module. Run one case: browser_test.py Browser.test_name (CTest runs
each alone). Debian's python3 for its selenium, numpy and PIL.

Needs SITE (build-web/site), SCENE_FRAME (scene_frame's path, no .js),
RENDER_WAV and RENDER_FRAME (the native build's) in the environment."""
import base64
import io
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import numpy as np
from PIL import Image
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

SITE = os.environ.get("SITE", "")
HEARD = 0.75  # an opening's correlation with what was played; another track's reaches about 0.5
QUESTION = "Velvane Musik Disk"
# Each block Web Audio takes from the disk, kept with its time on the
# context's clock; a block handed over after its time came was late.
TAP = """
window.tap = {blocks: [], late: 0, kept: 30};
const slot = Object.getOwnPropertyDescriptor(ScriptProcessorNode.prototype, 'onaudioprocess');
Object.defineProperty(ScriptProcessorNode.prototype, 'onaudioprocess', {get: slot.get, set(f) {
  slot.set.call(this, f && function (e) {
    f.call(this, e);
    const b = e.outputBuffer, t = tap.blocks;
    tap.context = this.context;
    if (e.playbackTime < this.context.currentTime) tap.late++;
    tap.rate = b.sampleRate;
    t.push([e.playbackTime, b.getChannelData(0).slice(), b.getChannelData(1).slice()]);
    while (t.length && t[0][0] < e.playbackTime - tap.kept) t.shift();
  });
}});
window.tap_take = function (seconds) {
  const t = tap.blocks, end = t.length ? t[t.length - 1][0] : 0, out = [];
  let first = null;
  for (const [at, l, r] of t) {
    if (at < end - seconds) continue;
    if (first === null) first = at;
    for (let i = 0; i < l.length; i++) out.push(l[i], r[i]);
  }
  const s = new Int16Array(out.map(v => Math.max(-32768, Math.min(32767, Math.round(v * 32768)))));
  let text = ''; const bytes = new Uint8Array(s.buffer);
  for (let i = 0; i < bytes.length; i += 8192) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  return [tap.rate, btoa(text), first];
};
"""
# Key events as the browser makes them: code, key, legacy code, keypad.
KEYS = {"Escape": ("Escape", "Escape", 27, False), "F1": ("F1", "F1", 112, False),
        "KP4": ("Numpad4", "4", 100, True), "1": ("Digit1", "1", 49, False)}


def until(condition, timeout, what, every=0.05):
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("%s never happened within %g s" % (what, timeout))
        time.sleep(every)


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
                "--autoplay-policy=no-user-gesture-required", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--no-first-run",
                "--user-data-dir=" + tempfile.mkdtemp(prefix="chromium_")):
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 640, "height": 480, "deviceScaleFactor": 1, "mobile": False})
    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": TAP})
    return driver


class Page:
    """The site (a copy, so a case may take files away) served on a port of
    its own and opened in a fresh headless Chromium."""

    def __init__(self, remove=(), program=None):
        self.dir = tempfile.mkdtemp(prefix="browser_test_")
        shutil.copytree(SITE, self.dir, dirs_exist_ok=True)
        for name in remove:
            os.remove(os.path.join(self.dir, "datas", name))
        page = "index.html"
        if program:  # another program of the build in the disk's page
            for ext in (".js", ".wasm"):
                shutil.copy(program + ext, self.dir)
            page = os.path.basename(program) + ".html"
            with open(os.path.join(self.dir, "index.html")) as f:
                text = f.read().replace("musicdisk.js", os.path.basename(program) + ".js")
            with open(os.path.join(self.dir, page), "w") as f:
                f.write(text)
        self.server = subprocess.Popen([sys.executable, "-u", "-m", "http.server", "--bind", "127.0.0.1", "0",
                                        "-d", self.dir], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        port = int(self.server.stdout.readline().split(" port ")[1].split()[0])
        self.console = []
        self.driver = browser()
        self.driver.get("http://127.0.0.1:%d/%s" % (port, page))

    def close(self):
        self.driver.quit()
        self.server.kill()
        self.server.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def lines(self):
        self.console += [e["message"] for e in self.driver.get_log("browser")]
        return self.console

    def exit_status(self, timeout=60):
        def said():
            return [line for line in self.lines() if "musicdisk: exit status " in line]
        line = until(said, timeout, "the exit status in the console")[0]
        return int(line.split("musicdisk: exit status ")[1].split('"')[0])

    def box(self, caption, timeout=60):
        def shown():
            return [b for b in self.driver.find_elements(By.CSS_SELECTOR, "[role=dialog]")
                    if b.find_element(By.TAG_NAME, "h2").text == caption]
        return until(shown, timeout, "the %r box" % caption)[0]

    def answer(self, caption, button):
        box = self.box(caption)
        box.find_element(By.XPATH, ".//button[text()='%s']" % button).click()

    def press(self, name):
        code, key, legacy, keypad = KEYS[name]
        for kind in ("keyDown", "keyUp"):
            self.driver.execute_cdp_cmd("Input.dispatchKeyEvent", {
                "type": kind, "code": code, "key": key, "windowsVirtualKeyCode": legacy, "isKeypad": keypad})

    def played(self, seconds):
        """The last seconds Web Audio took, as (rate, left, right) in floats;
        played_from is when their first block plays on the context's clock."""
        until(lambda: self.js("return tap.blocks.length && tap.blocks.at(-1)[0] - tap.blocks[0][0] >= %g"
                              % seconds), 30 + seconds, "%g s of sound" % seconds)
        rate, text, self.played_from = self.js("return tap_take(%g)" % seconds)
        samples = np.frombuffer(base64.b64decode(text), dtype=np.int16).astype(float) / 32768
        return rate, samples[0::2], samples[1::2]

    def opening_at(self, module, mono, rate):
        """Where the opening of module, as render-wav renders it, stands in
        mono (played at rate), and how alike: the best normalised
        correlation of a quarter second of its first sound, and where it
        is first heard."""
        wav = os.path.join(self.dir, module + ".wav")
        if not os.path.exists(wav):
            subprocess.run([os.environ["RENDER_WAV"], os.path.join(self.dir, "datas", module), wav,
                            "--seconds", "4"], check=True, capture_output=True)
        with open(wav, "rb") as f:
            ref = np.frombuffer(f.read()[44:], dtype=np.int16).astype(float).reshape(-1, 2).mean(axis=1)
        # Past the first 20 ms of sound, which the engine ramps in.
        start = int(np.argmax(np.abs(ref) > 0)) + 882
        # The page plays at the context's rate: the reference there too.
        n = int(0.25 * rate)
        needle = np.interp(start + np.arange(n) * 44100.0 / rate, np.arange(len(ref)), ref)
        needle = (needle - needle.mean()) / (np.linalg.norm(needle - needle.mean()) + 1e-9)
        size = 1 << int(np.ceil(np.log2(len(mono) + n)))
        dot = np.fft.irfft(np.fft.rfft(mono, size) * np.conj(np.fft.rfft(needle, size)), size)[:len(mono) - n]
        energy = np.sqrt(np.convolve(mono ** 2, np.ones(n), "valid")[:len(mono) - n]) + 1e-9
        alike = dot / energy
        # The first place it is heard: an opening's bars may come again.
        heard = np.flatnonzero(alike > HEARD)
        return float(alike.max()), int(heard[0] if len(heard) else alike.argmax())

    def heard(self, module, timeout=30):
        """Waits until the opening of module is in the last three seconds
        Web Audio took."""
        def found():
            rate, left, right = self.played(3)
            return self.opening_at(module, (left + right) / 2, rate)[0] > HEARD
        until(found, timeout, "%s's opening being played" % module, every=0.5)

    def picture(self):
        """The page as shown, RGB."""
        return np.asarray(Image.open(io.BytesIO(self.driver.get_screenshot_as_png())).convert("RGB"), dtype=float)


def datas_file(number):
    return [n for n in os.listdir(os.path.join(SITE, "datas")) if n.startswith("%d-" % number)][0]


def psnr(a, b):
    return 10 * np.log10(255.0 ** 2 / np.mean((a - b) ** 2))


class Browser(unittest.TestCase):
    def start(self, answer="No", **page):
        self.page = Page(**page)
        self.addCleanup(self.page.close)
        self.page.answer(QUESTION, answer)
        return self.page

    def test_no_plays_track_1_and_draws_the_picture(self):
        page = self.start()
        page.heard(datas_file(1))
        lit = until(lambda: np.mean(page.picture().max(axis=2) > 40), 30, "the picture")
        self.assertGreater(lit, 0.5, "most of the page shows the picture")

    def test_keypad_4_plays_track_5_and_the_top_row_1_track_2(self):
        # As on the desktop, the top row stands in for the keypad: its 1 is
        # keypad 1, track 2.
        page = self.start()
        page.heard(datas_file(1))
        page.press("KP4")
        page.heard(datas_file(5))
        page.press("1")
        page.heard(datas_file(2))

    def test_f1_sweeps_the_pan(self):
        page = self.start()
        page.heard(datas_file(1))

        def balance_range():
            rate, left, right = page.played(2)
            block = int(rate / 20)
            l = np.sqrt(np.add.reduceat(left ** 2, np.arange(0, len(left), block)))
            r = np.sqrt(np.add.reduceat(right ** 2, np.arange(0, len(right), block)))
            balance = l / (l + r + 1e-9)
            return np.ptp(balance[l + r > 1e-3])
        still = balance_range()
        page.press("F1")
        until(lambda: balance_range() > still + 0.3, 30, "the pan sweeping", every=0.5)

    def test_escape_ends_with_27_and_silence(self):
        page = self.start()
        page.heard(datas_file(1))
        page.press("Escape")
        self.assertEqual(page.exit_status(), 27)
        self.assertEqual(page.js("return tap.context.state"), "closed", "no sound can play")
        self.assertTrue(page.driver.find_element(By.ID, "ended").is_displayed(), "the page says it ended")

    def test_a_missing_picture_shows_the_error_box_and_ends_with_0(self):
        page = self.start(remove=["velvane1.bmp"])
        page.answer("Error", "OK")
        self.assertEqual(page.exit_status(), 0)

    def test_a_missing_first_track_ends_with_255(self):
        page = self.start(remove=[datas_file(1)])
        self.assertEqual(page.exit_status(), 255)

    def test_yes_goes_fullscreen_or_asks_lumo_gl(self):
        page = self.start("Yes")
        until(lambda: page.js("return !!document.fullscreenElement") or page.js(
            "return [...document.querySelectorAll('[role=dialog] h2')].some(h => h.textContent == 'Lumo GL')"),
            30, "fullscreen or the Lumo GL box")

    def test_a_frame_matches_the_desktops(self):
        self.page = page = Page(program=os.environ["SCENE_FRAME"])
        self.addCleanup(page.close)
        page.exit_status()
        rows = {}
        for line in page.lines():
            words = line.split('"')[1].split() if '"frame ' in line else []
            if words:
                rows[int(words[1])] = bytes.fromhex(words[2])
        web = np.frombuffer(b"".join(rows[r] for r in range(479, -1, -1)), dtype=np.uint8).reshape(480, 640, 3)
        desktop = os.path.join(page.dir, "desktop.png")
        subprocess.run([os.environ["RENDER_FRAME"], desktop, "--time", "12.5", "--level-left", "12000",
                        "--level-right", "9000", "--tint", "200,120,255", "--background", "1", "--size", "640x480",
                        "--datas", os.path.join(page.dir, "datas")], check=True, capture_output=True)
        reference = np.asarray(Image.open(desktop).convert("RGB"), dtype=float)
        self.assertGreaterEqual(psnr(web.astype(float), reference), 30.0)


if __name__ == "__main__":
    unittest.main()
