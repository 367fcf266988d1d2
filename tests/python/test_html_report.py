"""The HTML report in a real browser: headless Chromium renders the ESBC report without console
errors, its plots are images of the expected size that are not blank, and its figures are those
of the result. A screenshot of the page is kept under build/test-artifacts."""
import datetime
import os
import pathlib
import shutil
import subprocess
import sys
import time

import pytest

import quorlin_cn0 as q
from conftest import REPO, optional

ARTIFACTS = REPO / "build" / "test-artifacts"


def chromium_driver():
    webdriver = optional("selenium.webdriver", "test")
    optional("matplotlib", "plot")
    browser = shutil.which("chromium") or shutil.which("chromium-browser") or shutil.which("google-chrome")
    driver_path = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    if browser is None or not os.path.exists(driver_path):
        reason = "headless Chromium is missing: apt-get install chromium chromium-driver"
        if os.environ.get("QCN_REQUIRE_EXTRAS"):
            pytest.fail(reason)
        pytest.skip(reason)
    options = webdriver.ChromeOptions()
    options.binary_location = browser
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1280,1000"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    from selenium.webdriver.chrome.service import Service

    return webdriver.Chrome(service=Service(driver_path), options=options)


@pytest.fixture(scope="module")
def browser():
    driver = chromium_driver()
    yield driver
    driver.quit()


@pytest.fixture(scope="module")
def esbc_report(esbc, tmp_path_factory):
    """The command line's report of the ESBC day with its navigation file, and the result."""
    optional("matplotlib", "plot")
    path = tmp_path_factory.mktemp("html") / "esbc.html"
    started = time.perf_counter()
    run = subprocess.run([sys.executable, "-m", "quorlin_cn0_cli", "--html", str(path), "--nav", esbc[1], esbc[0]],
                         capture_output=True, text=True, timeout=300)
    seconds = time.perf_counter() - started
    assert run.returncode == 0, run.stderr
    print(f"report of the ESBC day written in {seconds:.1f} s ({path.stat().st_size} bytes)")
    return path, q.analyze_cn0(esbc[0], esbc[1])


NON_BLANK = """
const img = arguments[0];
const canvas = document.createElement('canvas');
canvas.width = img.naturalWidth; canvas.height = img.naturalHeight;
const context = canvas.getContext('2d');
context.drawImage(img, 0, 0);
const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
let differing = 0;
for (let i = 0; i < data.length; i += 4) {
  if (Math.abs(data[i] - data[0]) + Math.abs(data[i + 1] - data[1]) + Math.abs(data[i + 2] - data[2]) > 30) differing++;
}
return [img.complete, img.naturalWidth, img.naturalHeight, img.clientWidth, differing / (data.length / 4)];
"""


def test_report_renders_with_its_figures(browser, esbc_report):
    from selenium.webdriver.common.by import By

    path, result = esbc_report
    browser.get(path.as_uri())
    errors = [entry for entry in browser.get_log("browser") if entry["level"] in ("SEVERE", "WARNING")]
    assert errors == []
    assert browser.title == "C/N0 report: ESBC00DNK_R_20201770000_01D_30S_MO.rnx"
    # Five plots, each a loaded image of 560 x 380 pixels, shown, with more than a few per cent of
    # its pixels away from the background.
    plots = browser.find_elements(By.CSS_SELECTOR, "figure[data-plot] img")
    assert [p.find_element(By.XPATH, "..").get_attribute("data-plot") for p in plots] == \
        ["skyplot", "heatmap", "cn0_timeseries", "cn0_vs_elevation", "visibility"]
    for image in plots:
        complete, width, height, shown, share = browser.execute_script(NON_BLANK, image)
        assert (complete, width, height) == (True, 560, 380), image.get_attribute("alt")
        assert shown > 300 and share > 0.03, image.get_attribute("alt")

    def figure(name):
        return browser.find_element(By.CSS_SELECTOR, f'[data-figure="{name}"]').text

    quality = result.get_quality_assessment()
    assert figure("overall") == f"{quality['overall']:.1f}"
    assert figure("grade") == quality["grade"]
    assert figure("interpretation") == quality["interpretation"]
    assert figure("total_epochs") == str(result.total_epochs)
    assert figure("total_observations") == str(result.total_observations)
    assert figure("mean_cn0") == f"{result.mean_cn0:.1f}"
    assert figure("visibility_confirmation_rate") == f"{result.visibility_confirmation_rate:.1f}"
    assert figure("jamming_detected") == ("yes" if result.jamming_detected else "no")
    rows = browser.find_elements(By.CSS_SELECTOR, "table.constellations tr[data-system]")
    assert [r.get_attribute("data-system") for r in rows] == result.get_systems()
    for row in rows:
        summary = result.get_constellation_summary(row.get_attribute("data-system"))
        cells = [c.text for c in row.find_elements(By.TAG_NAME, "td")]
        assert cells[:5] == [summary["system"], summary["satellite_count"], summary["satellites_expected"],
                             summary["observation_count"], summary["mean_cn0"]]
    # The timeline marks every C/N0 event and every visibility anomaly.
    assert len(browser.find_elements(By.CSS_SELECTOR, 'svg.timeline rect[data-lane="anomalies"]')) == \
        result.anomaly_count
    assert len(browser.find_elements(By.CSS_SELECTOR, 'svg.timeline rect[data-lane="visibility"]')) == \
        result.visibility_anomaly_count
    # Nothing on the page asks the network for anything.
    sources = browser.execute_script(
        "return [...document.querySelectorAll('[src],[href]')].map(e => e.getAttribute('src') || e.getAttribute('href'))")
    assert all(s.startswith("data:image/png;base64,") for s in sources)
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    height = browser.execute_script("return document.documentElement.scrollHeight")
    browser.set_window_size(1280, height + 40)
    shot = ARTIFACTS / "esbc_report.png"
    browser.save_screenshot(str(shot))
    print(f"screenshot of the ESBC report: {shot}")


def test_index_of_several_reports(browser, esbc, tmp_path):
    from selenium.webdriver.common.by import By

    index = tmp_path / "index.html"
    sample = REPO / "python" / "quorlin_cn0_cli" / "data" / "NMBUS_SAMSUNG_S20.20o"
    run = subprocess.run([sys.executable, "-m", "quorlin_cn0_cli", "--html", str(index), esbc[0], str(sample)],
                         capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted(
        ["index.html", "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.html", "NMBUS_SAMSUNG_S20.20o.html"])
    browser.get(index.as_uri())
    links = browser.find_elements(By.CSS_SELECTOR, "table.index a")
    assert [a.text for a in links] == ["ESBC00DNK_R_20201770000_01D_30S_MO.rnx", "NMBUS_SAMSUNG_S20.20o"]
    links[1].click()
    assert browser.find_element(By.CSS_SELECTOR, '[data-figure="filename"]').text == "NMBUS_SAMSUNG_S20.20o"
    # Without navigation data the sky plots say so instead of drawing placeholders.
    assert len(browser.find_elements(By.CSS_SELECTOR, "figure[data-plot] img")) == 5
    assert [e for e in browser.get_log("browser") if e["level"] == "SEVERE"] == []


def test_report_of_a_jammed_day_places_its_episode(browser, esbc, tmp_path):
    """An hour of jamming built into the ESBC day: the episode lane of the timeline holds it where it
    happened, and the assessment's table gives its figures."""
    from selenium.webdriver.common.by import By

    sys.path.insert(0, str(REPO / "bench"))
    import interference_eval as ev

    obs = ev.read_obs(pathlib.Path(esbc[0]))
    start = obs.epochs[0].time + datetime.timedelta(hours=8)
    built = ev.Scenario("drop", start, start + datetime.timedelta(minutes=60, seconds=-30), 15.0, frozenset(), 60)
    jammed = tmp_path / "esbc_jammed.rnx"
    ev.write_obs(ev.build(obs, built), jammed)
    page = tmp_path / "esbc_jammed.html"
    run = subprocess.run([sys.executable, "-m", "quorlin_cn0_cli", "--html", str(page), "--nav", esbc[1], str(jammed)],
                         capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    found = q.analyze_cn0(str(jammed), esbc[1]).get_assessment()["episodes"]
    assert [e["kind"] for e in found] == ["jamming"]

    browser.get(page.as_uri())
    assert [e for e in browser.get_log("browser") if e["level"] in ("SEVERE", "WARNING")] == []
    marks = browser.find_elements(By.CSS_SELECTOR, 'svg.timeline rect[data-lane="episodes"]')
    assert len(marks) == 1
    # The lane spans the day from x=150 to x=1090: the hour from 08:00 lies at a third of it.
    left, width = float(marks[0].get_attribute("x")), float(marks[0].get_attribute("width"))
    day = 1090 - 150
    assert left == pytest.approx(150 + day * 8 / 24, abs=1.0)
    assert width == pytest.approx(day / 24, abs=1.0)
    # The card leads with the assessment's verdicts.
    assert browser.find_element(By.CSS_SELECTOR, '[data-figure="assessment_jamming"]').text == "yes"
    assert browser.find_element(By.CSS_SELECTOR, '[data-figure="episode_count"]').text == "1"
    assert browser.find_element(By.CSS_SELECTOR, '[data-figure="degraded_share"]').text == "4.2"
    rows = browser.find_elements(By.CSS_SELECTOR, "table.episodes tr")
    assert len(rows) == 2
    cells = dict(zip([c.text for c in rows[0].find_elements(By.TAG_NAME, "th")],
                     [c.text for c in rows[1].find_elements(By.TAG_NAME, "td")]))
    episode = found[0]
    assert (cells["kind"], cells["start"], cells["end"]) == ("jamming", episode["start_time"], episode["end_time"])
    assert cells["minutes"] == "60.0" and cells["bands"] == ", ".join(episode["bands"])
    assert cells["satellites affected"] == str(len(episode["affected_satellites"]))
    assert cells["median drop (dB)"] == f"{episode['median_drop_db']:.1f}"
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    browser.set_window_size(1280, browser.execute_script("return document.documentElement.scrollHeight") + 40)
    browser.save_screenshot(str(ARTIFACTS / "esbc_jammed_report.png"))
