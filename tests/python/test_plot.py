"""The plots of quorlin_cn0.plot on real files (matplotlib's Agg backend) and the HTML pieces that
need no browser: the notebook summary, the report without matplotlib, the command line's --html."""
import subprocess
import sys

import pytest

import quorlin_cn0 as q
from conftest import REPO, optional

SAMPLE = REPO / "python" / "quorlin_cn0_cli" / "data" / "NMBUS_SAMSUNG_S20.20o"


@pytest.fixture(scope="module")
def plot():
    matplotlib = optional("matplotlib", "plot")
    matplotlib.use("Agg")
    from quorlin_cn0 import plot as module

    return module


@pytest.fixture(scope="module")
def results(esbc):
    return {"with": q.analyze_cn0(esbc[0], esbc[1]), "without": q.analyze_cn0(esbc[0])}


def axes(polar=False):
    from matplotlib.figure import Figure

    return Figure().add_subplot(projection="polar" if polar else None)


def texts(ax):
    return [t.get_text() for t in ax.texts]


@pytest.mark.parametrize("name", ["skyplot", "heatmap", "cn0_timeseries", "cn0_vs_elevation", "visibility"])
@pytest.mark.parametrize("navigation", ["with", "without"])
def test_every_plot_renders_and_returns_its_axes(plot, results, name, navigation):
    ax = axes(polar=name == "skyplot")
    assert plot.PLOTS[name](results[navigation], ax=ax) is ax
    ax.figure.canvas.draw()  # renders with Agg
    needs_angles = name in ("skyplot", "heatmap", "cn0_vs_elevation", "visibility")
    if navigation == "without" and needs_angles:
        assert any(t.startswith("no look angles") or t.startswith("no visibility") for t in texts(ax))
    else:
        assert texts(ax) == []


def test_plots_without_an_axes_make_a_figure(plot, results):
    ax = plot.cn0_timeseries(results["with"], satellites=["G05"], signals=["S1C", "S2W"])
    assert [c.get_label() for c in ax.collections if c.get_label() != "epoch mean"] == ["G05 S1C", "G05 S2W"]


def test_skyplot_draws_the_samples_it_was_given(plot, results):
    np = optional("numpy", "numpy")
    result = results["with"]
    ax = plot.skyplot(result, ax=axes(polar=True), max_points=1000)
    (points,) = ax.collections
    offsets = points.get_offsets()
    assert len(offsets) == 1000
    # Radius is 90 - elevation, angle the azimuth in radians; the colours are C/N0 values.
    assert np.all((offsets[:, 1] >= 0) & (offsets[:, 1] <= 90))
    assert np.all((offsets[:, 0] >= 0) & (offsets[:, 0] < 2 * np.pi))
    assert 20 < float(np.mean(points.get_array())) < 55


def test_heatmap_cells_are_the_mean_of_their_samples(plot, results):
    np = optional("numpy", "numpy")
    from quorlin_cn0.frames import arrays

    result = results["with"]
    ax = plot.heatmap(result, ax=axes())
    mesh = ax.collections[0]
    cells = np.asarray(mesh.get_array()).reshape(18, 36)  # elevation rows, azimuth columns
    data = arrays(result.sample_columns())
    inside = (data["elevation"] >= 40) & (data["elevation"] < 45) & (data["azimuth"] >= 180) & (data["azimuth"] < 190)
    assert cells[8, 18] == pytest.approx(data["cn0"][inside].mean())


def test_time_series_keeps_the_drops_when_thinned(plot):
    np = optional("numpy", "numpy")
    times = np.arange(10000).astype("datetime64[s]").astype("datetime64[ns]")
    values = np.full(10000, 45.0)
    values[4321] = 12.0
    thin_times, thin_values = plot._thinned(np, times, values, 500)
    assert len(thin_values) == 500 and thin_values.min() == 12.0 and times[4321] in thin_times


def test_visibility_plot_follows_the_columns(plot, results):
    np = optional("numpy", "numpy")
    from quorlin_cn0.frames import arrays

    result = results["with"]
    ax = plot.visibility(result, ax=axes())
    lines = {line.get_label(): line for line in ax.lines}
    assert set(lines) >= {"predicted", "received (compared)", "missing", "unexpected"}
    predicted = arrays(result.visibility_columns())["predicted"]
    assert np.array_equal(np.asarray(lines["predicted"].get_ydata(), dtype=float)[:len(predicted)],
                          predicted.astype(float))


def test_plot_module_names_the_extra_without_matplotlib(monkeypatch, results):
    from quorlin_cn0 import plot as module

    monkeypatch.setitem(sys.modules, "matplotlib.pyplot", None)
    with pytest.raises(ImportError, match=r"pip install quorlin_cn0\[plot\]"):
        module.skyplot(results["with"])


def test_notebook_summary_card(results):
    result = results["with"]
    card = result._repr_html_()
    quality = result.get_quality_assessment()
    assert f'data-figure="overall">{quality["overall"]:.1f}<' in card
    assert f'data-figure="grade">{quality["grade"]}<' in card
    assert f'data-figure="total_epochs">{result.total_epochs}<' in card
    assert "<img" not in card and "<script" not in card


def test_report_without_matplotlib_still_tells_everything(monkeypatch, results, tmp_path):
    from quorlin_cn0 import report

    monkeypatch.setitem(sys.modules, "matplotlib", None)
    page = report.report_html(results["with"], "esbc.rnx")
    assert "No plots: matplotlib is not installed (pip install quorlin_cn0[plot])" in page
    assert page.count('<tr data-system="') == len(results["with"].get_systems())
    assert page.count('data-lane="anomalies"') == results["with"].anomaly_count


def test_command_line_html_for_several_files_with_a_failure(plot, tmp_path, esbc):
    index = tmp_path / "out" / "index.html"
    missing = tmp_path / "missing.rnx"
    run = subprocess.run([sys.executable, "-m", "quorlin_cn0_cli", "--html", str(index), str(SAMPLE), str(missing),
                          str(SAMPLE)], capture_output=True, text=True, timeout=300)
    assert run.returncode == 1
    assert "missing.rnx: No such file or directory" in run.stderr
    assert run.stdout == ""
    names = sorted(p.name for p in index.parent.iterdir())
    assert names == ["NMBUS_SAMSUNG_S20.20o-2.html", "NMBUS_SAMSUNG_S20.20o.html", "index.html"]
    page = index.read_text()
    assert page.count('<a href="NMBUS_SAMSUNG_S20.20o') == 2 and "missing" not in page
