#!/usr/bin/python3
# The disk in headless Chromium as a person uses the page: boxes clicked, keys
# pressed, Web Audio's samples against render-wav's. One case a run; needs SITE,
# SCENE_FRAME (no .js), RENDER_WAV and RENDER_FRAME (native) in the environment.
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
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "tap.js")) as f:
    TAP = f.read()
# Key events as the browser makes them: code, key, legacy code, keypad.
KEYS = {"Escape": ("Escape", "Escape", 27, False), "F1": ("F1", "F1", 112, False),
        "KP4": ("Numpad4", "4", 100, True), "1": ("Digit1", "1", 49, False)}


def until(condition, timeout, what, every=0.05):
    end = time.monotonic() + timeout
    while not (value := condition()):
        if time.monotonic() > end:
            raise AssertionError("%s never happened within %g s" % (what, timeout))
        time.sleep(every)
    return value


def browser():
    # Debian's Chromium as root, headless, on software GL; sound may start at once.
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
    # The site (a copy, so a case may take files away) on a port of its own, in a fresh Chromium.

    def __init__(self, remove=(), program=None):
        self.dir = tempfile.mkdtemp(prefix="browser_test_")
        shutil.copytree(SITE, self.dir, dirs_exist_ok=True)
        for name in remove:
            os.remove(os.path.join(self.dir, "datas", name))
        if program:  # another program of the build in the disk's page
            shutil.copy(program + ".wasm", self.dir)
            shutil.copy(program + ".js", os.path.join(self.dir, "musicdisk.js"))
        self.server = subprocess.Popen([sys.executable, "-u", "-m", "http.server", "--bind", "127.0.0.1", "0",
                                        "-d", self.dir], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        port = int(self.server.stdout.readline().split(" port ")[1].split()[0])
        self.console = []
        self.driver = browser()
        self.url = "http://127.0.0.1:%d/" % port
        self.driver.get(self.url)

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
        said = until(lambda: [n for n in self.lines() if "musicdisk: exit status " in n], timeout, "the exit status")
        return int(said[0].split("musicdisk: exit status ")[1].split('"')[0])

    def answer(self, caption, button):
        def shown():
            return [b for b in self.driver.find_elements(By.CSS_SELECTOR, "[role=dialog]")
                    if b.find_element(By.TAG_NAME, "h2").text == caption]
        box = until(shown, 60, "the %r box" % caption)[0]
        box.find_element(By.XPATH, ".//button[text()='%s']" % button).click()

    def press(self, name):
        code, key, legacy, keypad = KEYS[name]
        for kind in ("keyDown", "keyUp"):
            self.driver.execute_cdp_cmd("Input.dispatchKeyEvent", {
                "type": kind, "code": code, "key": key, "windowsVirtualKeyCode": legacy, "isKeypad": keypad})

    def played(self, seconds):
        # The last seconds Web Audio took: rate, left, right; played_from: their start on the context's clock.
        until(lambda: self.js("return tap_span()") >= seconds, 30 + seconds, "%g s of sound" % seconds)
        rate, text, self.played_from = self.js("return tap_take(%g)" % seconds)
        samples = np.frombuffer(base64.b64decode(text), dtype=np.int16).astype(float) / 32768
        return rate, samples[0::2], samples[1::2]

    def opening_at(self, module, mono, rate):
        # How alike a quarter second of module's first sound, as render-wav renders it, is
        # to mono (played at rate) at best, normalised, and where it is first heard.
        wav = os.path.join(self.dir, module + ".wav")
        subprocess.run([os.environ["RENDER_WAV"], os.path.join(self.dir, "datas", module), wav, "--seconds", "4"],
                       check=True, capture_output=True)
        ref = np.fromfile(wav, dtype=np.int16, offset=44).astype(float).reshape(-1, 2).mean(axis=1)
        start = int(np.argmax(np.abs(ref) > 0)) + 882  # past the 20 ms the engine ramps in
        n = int(0.25 * rate)  # the reference at the page's rate
        needle = np.interp(start + np.arange(n) * 44100.0 / rate, np.arange(len(ref)), ref)
        needle = (needle - needle.mean()) / (np.linalg.norm(needle - needle.mean()) + 1e-9)
        size = 1 << int(np.ceil(np.log2(len(mono) + n)))
        dot = np.fft.irfft(np.fft.rfft(mono, size) * np.conj(np.fft.rfft(needle, size)), size)[:len(mono) - n]
        energy = np.sqrt(np.convolve(mono ** 2, np.ones(n), "valid")[:len(mono) - n]) + 1e-9
        alike = dot / energy
        heard = np.flatnonzero(alike > HEARD)  # the first: an opening's bars may come again
        return float(alike.max()), int(heard[0] if len(heard) else alike.argmax())

    def heard(self, module, timeout=30):
        def found():
            rate, left, right = self.played(3)
            return self.opening_at(module, (left + right) / 2, rate)[0] > HEARD
        until(found, timeout, "%s's opening being played" % module, every=0.5)


def datas_file(number):
    return [n for n in os.listdir(os.path.join(SITE, "datas")) if n.startswith("%d-" % number)][0]


class Browser(unittest.TestCase):
    def start(self, answer="No", **page):
        self.page = Page(**page)
        self.addCleanup(self.page.close)
        self.page.answer(QUESTION, answer)
        return self.page

    def test_no_plays_track_1_and_draws_the_picture(self):
        page = self.start()
        page.heard(datas_file(1))
        until(lambda: np.mean(np.asarray(Image.open(io.BytesIO(page.driver.get_screenshot_as_png())).convert("L"))
                              > 40) > 0.5, 30, "the picture on most of the page")

    def test_keypad_4_plays_track_5_and_the_top_row_1_track_2(self):
        # As on the desktop the top row stands in for the keypad: its 1 is keypad 1, track 2.
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
            l, r = (np.sqrt(np.add.reduceat(c ** 2, np.arange(0, len(c), block))) for c in (left, right))
            return np.ptp((l / (l + r + 1e-9))[l + r > 1e-3])
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

    def test_a_hidden_tab_plays_on(self):
        # Another tab of the site hides the disk's; the disk tells it of every block it plays.
        page = self.start()
        page.heard(datas_file(1))
        disk = page.driver.current_window_handle
        page.js("const c = new BroadcastChannel('disk'); tap.blocks.push = function (b) {"
                " c.postMessage([document.hidden, b[0], tap.late]); return Array.prototype.push.call(this, b); }")
        page.driver.switch_to.new_window("tab")
        page.driver.get(page.url + "datas/files.txt")
        page.js("window.told = []; new BroadcastChannel('disk').onmessage = e => told.push(e.data)")
        hidden = until(lambda: (t := [b for b in page.js("return told") if b[0]]) and t[-1][1] - t[0][1] > 3 and t,
                       60, "3 s played in a hidden tab")
        page.driver.switch_to.window(disk)
        self.assertEqual(hidden[0][2], hidden[-1][2], "no block came late")
        rate, left, right = page.played(page.js("return tap.blocks.at(-1)[0]") - hidden[0][1])
        tenth = int(rate) // 10
        quiet = np.sqrt(np.convolve(((left + right) / 2) ** 2, np.ones(tenth) / tenth, "valid")) < 1e-3
        self.assertFalse(quiet.any(), "no tenth of a second went silent")
        page.press("KP4")
        page.heard(datas_file(5))

    def test_a_frame_matches_the_desktops(self):
        self.page = page = Page(program=os.environ["SCENE_FRAME"])
        self.addCleanup(page.close)
        page.exit_status()
        said = [line.split('"')[1].split() for line in page.lines() if '"frame ' in line]
        rows = {int(words[1]): bytes.fromhex(words[2]) for words in said}
        web = np.frombuffer(b"".join(rows[r] for r in range(479, -1, -1)), np.uint8).reshape(480, 640, 3).astype(float)
        desktop = os.path.join(page.dir, "desktop.png")
        subprocess.run([os.environ["RENDER_FRAME"], desktop, "--time", "12.5", "--level-left", "12000",
                        "--level-right", "9000", "--tint", "200,120,255", "--background", "1", "--size", "640x480",
                        "--datas", os.path.join(page.dir, "datas")], check=True, capture_output=True)
        psnr = 10 * np.log10(255.0 ** 2 / np.mean((web - np.asarray(Image.open(desktop).convert("RGB"))) ** 2))
        self.assertGreaterEqual(psnr, 30.0)


if __name__ == "__main__":
    unittest.main()
