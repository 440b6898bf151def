#!/usr/bin/env python3
"""slopemeter-cli --report's pages in headless Chromium: they load nothing, raise no error, draw
their charts, sort and filter their table, show hostile names as text and look like a page.

Usage: report_browser_test.py SLOPEMETER_CLI SCREENSHOT_DIR. Needs Debian's chromium,
chromium-driver, python3-selenium and python3-pil, which scripts/setup installs.
"""
import io
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest

MISSING = [what for what, there in [("chromium", shutil.which("chromium")),
                                    ("chromium-driver", shutil.which("chromedriver"))] if not there]
try:
    from selenium import webdriver
    from selenium.common.exceptions import NoAlertPresentException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
except ImportError:
    MISSING.append("python3-selenium")
try:
    from PIL import Image
except ImportError:
    MISSING.append("python3-pil")

CLI = SHOTS = None
SCRIPT_NAME = "<script>alert(1)</script>.ppm"
IMG_NAME = "<img src=x onerror=window.__pwned=1>.ppm"
QUOTED_NAME = "quote\"s 'and' more.ppm"

ROWS = """
const heads = [...document.querySelectorAll('#results thead th')].map(th => th.dataset.column);
return [...document.querySelectorAll('#results tbody tr')].filter(tr => tr.getClientRects().length)
  .map(tr => ({failed: tr.classList.contains('failed'),
               cells: Object.fromEntries([...tr.cells].map((td, i) => [heads[i], td.textContent]))}));
"""


def line_ppm(start, rise, width=60, height=40, seed=0):
    """A dark noisy picture with a bright line from column `start`, rising `rise` rows to its end."""
    rng = random.Random(seed)
    pixels = bytearray(rng.randrange(40) for _ in range(width * height * 3))
    for x in range(start, width - 4):
        y = height - 8 - rise * (x - start) // (width - 4 - start)
        pixels[3 * (y * width + x):3 * (y * width + x) + 3] = b"\xe0\xe0\xe0"
    return b"P6 %d %d 255\n" % (width, height) + bytes(pixels)


class ReportInChromium(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        os.mkdir(os.path.join(cls.folder, "<script>alert(1)<"))
        names = ["a.ppm", "b.ppm", "c.ppm", QUOTED_NAME, SCRIPT_NAME, IMG_NAME, "d.ppm"]
        # Columns of one and two digits, so that sorting them as text would show.
        for index, (name, start) in enumerate(zip(names, [3, 25, 8, 12, 5, 30, 9])):
            with open(os.path.join(cls.folder, name), "wb") as file:
                file.write(line_ppm(start, 4 + 3 * index, seed=index))
        shutil.copy(os.path.join(cls.folder, "a.ppm"), os.path.join(cls.folder.encode(), b"bad\xff.ppm"))
        cls.batch = [name.encode() for name in names[:4]] + [b"missing.ppm", b"bad\xff.ppm"] + \
                    [name.encode() for name in names[4:]]
        cls.batch_page = cls.run_cli(["--fit", "--annotate", "annotated", "--report", "batch.html",
                                      "--json", "--", *cls.batch], status=1)
        frames = b"".join(line_ppm(3 + frame % 20, frame % 17, seed=frame) for frame in range(30))
        cls.stream_page = cls.run_cli(["--report", "stream.html", "-"], stdin=frames)
        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium")
        # Chromium's sandbox does not run as root.
        for argument in ("--headless=new", "--disable-gpu", "--window-size=1280,1000") + (
                ("--no-sandbox",) if os.geteuid() == 0 else ()):
            options.add_argument(argument)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
        cls.browser = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        shutil.rmtree(cls.folder)

    @classmethod
    def run_cli(cls, arguments, stdin=b"", status=0):
        process = subprocess.run([CLI, *arguments], input=stdin, capture_output=True, cwd=cls.folder)
        assert process.returncode == status, process.stderr.decode(errors="replace")
        return "file://" + os.path.join(cls.folder, arguments[arguments.index("--report") + 1])

    def open(self, page):
        self.browser.get_log("performance")
        self.browser.get(page)
        self.addCleanup(self.assertQuiet, page)

    def assertQuiet(self, page):
        """Nothing the page did was an error in the console, and it asked for nothing but itself."""
        errors = [entry["message"] for entry in self.browser.get_log("browser") if entry["level"] == "SEVERE"]
        self.assertEqual(errors, [])
        requested = [json.loads(entry["message"])["message"]["params"]["request"]["url"]
                     for entry in self.browser.get_log("performance") if "Network.requestWillBeSent" in entry["message"]]
        self.assertEqual([url for url in requested if url != page and not url.startswith("data:")], [])

    def rows(self):
        return self.browser.execute_script(ROWS)

    def summary(self, key):
        return self.browser.find_element(By.CSS_SELECTOR, f'#summary tr[data-key="{key}"] td').text

    def series(self, chart):
        return len(self.browser.find_elements(By.CSS_SELECTOR, f"#{chart} .series"))

    def test_batch_page(self):
        self.open(self.batch_page)
        self.assertEqual([self.summary(key) for key in ("pictures", "measured", "failed", "fit")],
                         ["9", "8", "1", "yes"])
        self.assertEqual([self.series(chart) for chart in ("chart-angle", "chart-histogram", "chart-fit", "chart-rms")],
                         [2, 1, 2, 1])
        self.assertEqual(self.browser.find_elements(By.ID, "cut-short"), [])
        rows = self.rows()
        self.assertEqual([(row["failed"], row["cells"]["file"]) for row in rows[:2]], [(True, "missing.ppm"), (False, "a.ppm")])
        self.assertTrue(rows[0]["cells"]["error"])
        shown = [row["cells"]["file"] for row in rows]
        self.assertEqual([name for name in shown if not name.startswith("bad")],
                         ["missing.ppm", "a.ppm", "b.ppm", "c.ppm", QUOTED_NAME, SCRIPT_NAME, IMG_NAME, "d.ppm"])
        odd = [name for name in shown if name.startswith("bad")]
        self.assertEqual(len(odd), 1)
        self.assertTrue("\\xff" in odd[0].lower() or "\ufffd" in odd[0], odd)

        # Hostile names are text: no script of theirs ran, no element of theirs was made.
        self.assertIsNone(self.browser.execute_script("return window.__pwned"))
        self.assertEqual(self.browser.execute_script(
            "return [...document.scripts].filter(s => s.textContent.trim() === 'alert(1)').length"), 0)
        self.assertEqual(self.browser.find_elements(By.CSS_SELECTOR, 'img[src="x"]'), [])
        with self.assertRaises(NoAlertPresentException):
            self.browser.switch_to.alert.text
        self.assertTrue(all(image.get_attribute("src").startswith("data:image/")
                            for image in self.browser.find_elements(By.CSS_SELECTOR, "#thumbnails img")))

        os.makedirs(SHOTS, exist_ok=True)
        screenshot = self.browser.get_screenshot_as_png()
        with open(os.path.join(SHOTS, "report.png"), "wb") as file:
            file.write(screenshot)
        colours = Image.open(io.BytesIO(screenshot)).convert("RGB").getcolors(1 << 24)
        self.assertGreater(len(colours), 64, "the screenshot is nearly one colour")
        self.assertLess(max(colours)[0], 0.97 * sum(count for count, _ in colours), "the screenshot is nearly blank")

    def test_sorting_and_filtering(self):
        self.open(self.batch_page)
        for column, values in [("fr_x", lambda: [row["cells"]["fr_x"] for row in self.rows()]),
                               ("fit_angle", lambda: [row["cells"]["fit_angle"] for row in self.rows()])]:
            header = self.browser.find_element(By.CSS_SELECTOR, f'#results th[data-column="{column}"]')
            for order in ("ascending", "descending"):
                with self.subTest(column=column, order=order):
                    header.click()
                    self.assertEqual(header.get_attribute("aria-sort"), order)
                    shown = values()
                    numbers = [float(value) for value in shown if value.strip()]
                    self.assertEqual(numbers, sorted(numbers, reverse=order == "descending"), shown)
                    # The failed picture has no value: it comes last either way.
                    self.assertEqual(shown[-1].strip(), "", shown)
                    self.assertEqual(len(numbers), 8)
        others = self.browser.find_elements(By.CSS_SELECTOR, "#results th[aria-sort]")
        self.assertEqual(len(others), 1, "only the sorted column says so")

        search = self.browser.find_element(By.ID, "filter")
        for typed, expected in [("QUOTE", [QUOTED_NAME]), ("<script>", [SCRIPT_NAME]), ("zzz", []),
                                (".PPM", 9)]:
            with self.subTest(filter=typed):
                search.send_keys(Keys.CONTROL, "a")
                search.send_keys(Keys.BACKSPACE)
                search.send_keys(typed)
                shown = [row["cells"]["file"] for row in self.rows()]
                self.assertEqual(len(shown) if expected == 9 else shown, expected)

    def test_stream_page(self):
        self.open(self.stream_page)
        self.assertEqual([self.summary(key) for key in ("pictures", "failed", "fit")], ["30", "0", "no"])
        self.assertEqual([self.series(chart) for chart in ("chart-angle", "chart-histogram")], [1, 1])
        self.assertEqual(self.browser.find_elements(By.CSS_SELECTOR, "#chart-fit, #chart-rms, #cut-short"), [])
        self.assertEqual([row["cells"]["frame"] for row in self.rows()], [str(frame) for frame in range(30)])
        header = self.browser.find_element(By.CSS_SELECTOR, '#results th[data-column="frame"]')
        header.click()
        header.click()
        self.assertEqual(header.get_attribute("aria-sort"), "descending")
        self.assertEqual(self.rows()[0]["cells"]["frame"], "29")


if __name__ == "__main__":
    if MISSING:
        print(f"FAILED: {', '.join(MISSING)} missing; scripts/setup installs them", file=sys.stderr)
        sys.exit(1)
    CLI, SHOTS = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
