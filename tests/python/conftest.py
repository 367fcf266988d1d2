"""Shared fixtures: the real observation files of the shared data directory."""
import gzip
import os
import pathlib

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
SHARED_DATA = REPO.parent / "shared" / "data"


@pytest.fixture
def shared_obs():
    """Path of a file under shared/data/obs; the test is skipped when it is absent."""

    def path_of(name):
        path = SHARED_DATA / "obs" / name
        if not path.is_file():
            pytest.skip(f"shared data file missing: {path}")
        return path

    return path_of


ESBC_OBS = "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"
ESBC_NAV = "ESBC00DNK_R_20201770000_01D_MN.rnx.gz"


def shared(kind, name):
    path = SHARED_DATA / kind / name
    if not path.is_file():
        pytest.skip(f"shared data file missing: {path}")
    return path


def run_cli(capsys, *argv):
    """The command line's exit status, standard output and standard error for these arguments."""
    from quorlin_cn0_cli.main import main

    status = main([str(a) for a in argv])
    captured = capsys.readouterr()
    return status, captured.out, captured.err


@pytest.fixture(scope="session")
def esbc(tmp_path_factory):
    """The ESBC daily observations and the same day's mixed navigation file, decompressed."""
    folder = tmp_path_factory.mktemp("esbc")
    paths = []
    for kind, name in (("obs", ESBC_OBS), ("nav", ESBC_NAV)):
        path = folder / name[:-3]
        path.write_bytes(gzip.decompress(shared(kind, name).read_bytes()))
        paths.append(str(path))
    return paths


def records_of(body, letters):
    """The navigation records whose first line starts with one of the letters (RINEX 3 layout:
    a record's continuation lines begin with spaces)."""
    kept, keep = [], False
    for line in body.splitlines(keepends=True):
        if not line.startswith(" "):
            keep = line[:1] in letters
        if keep:
            kept.append(line)
    return "".join(kept)


@pytest.fixture(scope="session")
def gps_only_nav(esbc, tmp_path_factory):
    text = open(esbc[1], encoding="ascii").read()
    end = text.index("END OF HEADER")
    end = text.index("\n", end) + 1
    path = tmp_path_factory.mktemp("gps") / "gps_only.rnx"
    path.write_text(text[:end] + records_of(text[end:], {"G"}), encoding="ascii")
    return str(path)


def optional(module, extra):
    """The module, or a skipped test naming what to install; a failed test where the suite must run
    everything (QCN_REQUIRE_EXTRAS set, as in CI)."""
    try:
        return __import__(module, fromlist=["_"])
    except ImportError:
        reason = f"{module} is not installed (pip install quorlin_cn0[{extra}])"
        if os.environ.get("QCN_REQUIRE_EXTRAS"):
            pytest.fail(reason)
        pytest.skip(reason)


@pytest.fixture(autouse=True)
def environment_kept():
    """The command line sets QUORLIN_CN0_THREADS for its batches; each test leaves the environment
    of the tests after it as it found it."""
    name = "QUORLIN_CN0_THREADS"
    before = os.environ.get(name)
    yield
    if before is None:
        os.environ.pop(name, None)
    else:
        os.environ[name] = before
