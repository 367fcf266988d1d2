"""quorlin-cn0 trend: the campaign tables per station and day, as text and as a page."""
import re

import pytest

from quorlin_cn0_cli.campaign import FILE_COLUMNS
from quorlin_cn0_cli.main import main
from quorlin_cn0_cli.progress import bar_text
from quorlin_cn0_cli.tables import CampaignTables


def row(path, station, day, gps=None, galileo=None, quality=None, episodes=None, degraded=None, error=None,
        jamming=False, outages=None):
    values = dict.fromkeys(FILE_COLUMNS)
    values.update(path=path, station=station, start=None if day is None else f"2024-03-{day:02d}T00:00:00.000Z",
                  mean_cn0_G=gps, mean_cn0_E=galileo, quality=quality, episodes=episodes,
                  degraded_minutes=degraded, error=error, jamming=jamming, outages=outages)
    return values


ROWS = [
    row("/d/b1", "BBBB", 1, gps=40.0, galileo=42.0, quality=80.0, episodes=0, degraded=0.0),
    row("/d/b2a", "BBBB", 2, gps=35.0, galileo=42.0, quality=60.0, episodes=1, degraded=20.0),
    row("/d/b2b", "BBBB", 2, gps=36.0, galileo=41.0, quality=70.0, episodes=2, degraded=10.0, jamming=True),
    row("/d/b3", "BBBB", 3, gps=40.5, galileo=41.5, quality=82.0, episodes=0, degraded=0.0),
    row("/d/a1", "AAAA", 1, gps=45.0, quality=90.0),
    row("/d/bad", None, None, error="No END OF HEADER found"),
]


@pytest.fixture
def table(tmp_path):
    folder = tmp_path / "campaign"
    CampaignTables(folder, "csv").save(ROWS, [])
    return folder


def run(capsys, *argv):
    status = main([str(a) for a in argv])
    captured = capsys.readouterr()
    return status, captured.out, captured.err


def day_line(out, station, date):
    block = out.split(f"\n\n{station}:" if not out.startswith(f"{station}:") else f"{station}:", 1)[1]
    return next(line.split() for line in block.splitlines() if line.strip().startswith(date))


def test_trend_reports_each_station_by_day_with_marks(capsys, table):
    status, out, _ = run(capsys, "trend", table)
    assert status == 0
    headings = [line.split(":")[0] for line in out.splitlines() if re.match(r"^\S.*: \d+ files?", line)]
    assert headings == ["-", "AAAA", "BBBB"]
    assert "BBBB: 4 files on 3 days, 2024-03-01 to 2024-03-03" in out
    # Two files on one day: their means averaged, episodes and minutes added up.
    assert day_line(out, "BBBB", "2024-03-02")[:7] == ["2024-03-02", "2", "35.5", "41.5", "65.0", "3", "30.0"]
    marked = " ".join(day_line(out, "BBBB", "2024-03-02")[7:])
    assert marked == "GPS -4.5 dB-Hz, 3 episodes, jamming"  # the median day of GPS is 40.0
    assert day_line(out, "BBBB", "2024-03-03")[7:] == []
    assert day_line(out, "AAAA", "2024-03-01")[:5] == ["2024-03-01", "1", "45.0", "90.0", "-"]
    assert "1 failed" in out.split("\n\n")[0]


@pytest.mark.parametrize("episodes, outages, marks", [(3, 2, ["1 episode", "2 outages"]), (14, 14, ["14 outages"]),
                                                     (2, 0, ["2 episodes"]), (0, 0, [])])
def test_gaps_in_the_files_are_marked_apart_from_degraded_reception(capsys, tmp_path, episodes, outages, marks):
    folder = tmp_path / "campaign"
    CampaignTables(folder, "csv").save([row("/d/c1", "CCCC", 1, gps=45.0, quality=80.0, episodes=episodes,
                                            outages=outages, degraded=0.0)], [])
    status, out, _ = run(capsys, "trend", folder)
    assert status == 0
    assert " ".join(day_line(out, "CCCC", "2024-03-01")[6:]).split(", ") == (marks or [""])


def test_trend_of_one_station_and_its_page(capsys, table, tmp_path):
    page = tmp_path / "trend.html"
    status, out, _ = run(capsys, "trend", table, "--station", "AAAA", "--html", page)
    assert status == 0 and "BBBB" not in out and "AAAA: 1 file on 1 day" in out
    text = page.read_text()
    assert text.startswith("<!DOCTYPE html>") and "<svg" in text and "AAAA" in text
    assert not re.search(r"(src|href)=\"?https?:", text)  # self-contained
    run(capsys, "trend", table, "--html", page)
    polylines = re.findall(r'<polyline[^>]*points="([^"]*)"', page.read_text())
    assert sorted(len(points.split()) for points in polylines) == [1, 3, 3]  # AAAA GPS; BBBB Galileo, GPS


def test_trend_without_a_table(capsys, tmp_path):
    status, out, err = run(capsys, "trend", tmp_path)
    assert status == 1 and out == "" and "no campaign table" in err


@pytest.mark.parametrize(
    "done, total, failed, elapsed, text",
    [
        (0, 40, 0, 0.0, "[........................] 0/40 files, 0.00 files/s, -:--:-- left"),
        (10, 40, 0, 5.0, "[######..................] 10/40 files, 2.00 files/s, 0:00:15 left"),
        (39, 40, 2, 3900.0, "[#######################.] 39/40 files, 0.01 files/s, 0:01:40 left, 2 failed"),
        (40, 40, 0, 8.0, "[########################] 40/40 files, 5.00 files/s, 0:00:00 left"),
    ],
)
def test_progress_bar_text(done, total, failed, elapsed, text):
    assert bar_text(done, total, failed, elapsed) == text
