"""RinexObsData: properties, dictionaries and repr, on crafted files and on real ones."""
import gzip

import pytest

import quorlin_cn0 as q
from rinex_text import END, V2_RENAMES, epoch_v2, epoch_v3, header, header_v2, header_v3, reference_read

SYSTEMS_V3 = {"G": "C1C L1C S1C S2W", "R": "C1C L1C", "E": "C1X S1X", "J": "C1C L1C"}


def crafted_v3():
    """Three epochs; G05 has S1C 45.0, 0.5 and 120.0; G07 only S1C 100.0; R and J no S codes."""
    text = header_v3(SYSTEMS_V3, marker="SITE A", receiver="SEPT POLARX5", interval=30)
    text += epoch_v3("2024 03 01 00 00 00.0000000", [
        ("G05", [2.1e7, 1.1e8, 45.0, 40.0]), ("R12", [1.9e7, 1.0e8]), ("E11", [2.3e7, 38.5]), ("G07", [2.0e7, None, 100.0])])
    text += epoch_v3("2024 03 01 00 00 30.0000000", [("G05", [2.1e7, None, 0.5]), ("J02", [3.6e7, 1.9e8]), ("R12", [0.0, 0.0])])
    text += epoch_v3("2024 03 01 00 01 00.0000000", [("G05", [None, None, 120.0, -3.0]), ("E11", [0.0, 41.5])])
    return text.encode()


@pytest.fixture
def obs():
    return q.read_rinex_obs_bytes(crafted_v3(), "crafted.rnx")


def test_properties(obs):
    assert (obs.num_epochs, obs.num_satellites) == (3, 5)
    assert obs.version == 3.04 and isinstance(obs.version, float)
    assert obs.marker_name == "SITE A"
    assert obs.receiver_type == "SEPT POLARX5"
    assert obs.interval == 30.0 and isinstance(obs.interval, float)
    assert isinstance(obs.num_epochs, int)
    assert repr(obs) == "RinexObsData(version=3.04, epochs=3, satellites=5)"


def test_satellites_by_system_keeps_first_appearance(obs):
    # R12 of the second epoch has zeros only and adds nothing; order within an epoch follows the file.
    assert obs.satellites_by_system() == {"G": ["G05", "G07"], "R": ["R12"], "E": ["E11"], "J": ["J02"]}


def test_obs_types_and_snr_availability(obs):
    assert obs.obs_types_by_system() == {s: codes.split() for s, codes in SYSTEMS_V3.items()}
    assert obs.snr_availability() == {"G": True, "R": False, "E": True, "J": False}


def test_snr_stats(obs):
    stats = obs.snr_stats_by_satellite()
    assert stats == {
        # S1C 45.0, 0.5, 120.0 and S2W 40.0, -3.0: five S values, three valid.
        "G05": {"obs_count": 5.0, "valid_count": 3.0, "mean_snr": pytest.approx((45.0 + 40.0 + 0.5) / 3)},
        "G07": {"obs_count": 1.0, "valid_count": 0.0, "mean_snr": 0.0},
        "E11": {"obs_count": 2.0, "valid_count": 2.0, "mean_snr": 40.0},
    }
    assert all(isinstance(v, float) for inner in stats.values() for v in inner.values())


def test_snr_stats_of_one_code():
    text = header_v3({"G": "S1C"})
    for second, value in [("00", 45.0), ("30", 0.5), ("60", 120.0)]:
        text += epoch_v3(f"2024 03 01 00 00 {second}.0000000", [("G01", [value])])
    stats = q.read_rinex_obs_bytes(text.encode(), "x").snr_stats_by_satellite()
    assert stats == {"G01": {"obs_count": 3.0, "valid_count": 2.0, "mean_snr": 22.75}}


def test_debug_info(obs):
    assert obs.debug_info() == {
        "version": "3.04", "num_epochs": "3", "num_satellites": "5",
        "G_satellites": "2", "G_sat_list": "G05,G07",
        "R_satellites": "1", "R_sat_list": "R12",
        "E_satellites": "1", "E_sat_list": "E11",
        "J_satellites": "1", "J_sat_list": "J02",
        "G_obs_types_count": "4", "G_obs_types": "C1C,L1C,S1C,S2W", "G_snr_types": "S1C,S2W",
        "R_obs_types_count": "2", "R_obs_types": "C1C,L1C", "R_snr_types": "",
        "E_obs_types_count": "2", "E_obs_types": "C1X,S1X", "E_snr_types": "S1X",
        "J_obs_types_count": "2", "J_obs_types": "C1C,L1C", "J_snr_types": "",
    }


def test_results_are_new_objects(obs):
    first = obs.satellites_by_system()
    first["G"].append("G99")
    first["X"] = []
    assert obs.satellites_by_system() == {"G": ["G05", "G07"], "R": ["R12"], "E": ["E11"], "J": ["J02"]}
    codes = obs.obs_types_by_system()
    codes["G"].clear()
    assert obs.obs_types_by_system()["G"] == ["C1C", "L1C", "S1C", "S2W"]
    stats = obs.snr_stats_by_satellite()
    stats["G07"]["obs_count"] = 9.0
    assert obs.snr_stats_by_satellite()["G07"]["obs_count"] == 1.0


def test_file_without_epochs():
    obs = q.read_rinex_obs_bytes(header_v3({"G": "C1C S1C", "C": "C2I"}).encode(), "empty.rnx")
    assert (obs.num_epochs, obs.num_satellites) == (0, 0)
    assert obs.satellites_by_system() == {}
    assert obs.snr_stats_by_satellite() == {}
    assert obs.obs_types_by_system() == {"G": ["C1C", "S1C"], "C": ["C2I"]}
    assert obs.snr_availability() == {"G": True, "C": False}
    assert obs.marker_name == "empty.rnx"
    assert obs.receiver_type == ""
    assert obs.interval == 0.0
    assert repr(obs) == "RinexObsData(version=3.04, epochs=0, satellites=0)"


@pytest.mark.parametrize("version, text", [("2.1", "2.10"), ("2.11", "2.11"), ("3.005", "3.00"), ("3.999", "4.00")],
                         ids=["2.1", "2.11", "3.005", "3.999"])
def test_version_with_two_decimals(version, text):
    obs = q.read_rinex_obs_bytes(header_v2(["S1"], version=version).encode(), "x")
    assert repr(obs) == f"RinexObsData(version={text}, epochs=0, satellites=0)"
    assert obs.debug_info()["version"] == text


def test_missing_version_reads_as_zero():
    obs = q.read_rinex_obs_bytes(END.encode(), "x")
    assert obs.version == 0.0
    assert obs.debug_info() == {"version": "0.00", "num_epochs": "0", "num_satellites": "0"}


def test_version_two_file():
    codes = ["L1", "L2", "C1", "P2", "S1", "S2", "D1"]
    text = header_v2(codes)
    text += epoch_v2("21 1 1 0 0 0.0", [("G07", [1.1e8, 8.8e7, 2.1e7, 2.1e7, 50.1, 40.3, -5.0]), (" 9", [None] * 4 + [44.0]),
                                        ("R10", [1.0e8] + [None] * 5 + [3.0])], len(codes))
    text += epoch_v2("21 1 1 0 0 30.0", [("G07", [None, None, None, None, 51.0])], len(codes))
    obs = q.read_rinex_obs_bytes(text.encode(), "cn000010.21o")
    renamed = [V2_RENAMES.get(c, c) for c in codes]
    assert renamed == ["L1C", "L2C", "C1C", "C2P", "S1C", "S2C", "D1"]
    assert obs.obs_types_by_system() == {s: renamed for s in "GREC"}
    assert obs.snr_availability() == {s: True for s in "GREC"}
    assert obs.satellites_by_system() == {"G": ["G07", "G09"], "R": ["R10"]}
    info = obs.debug_info()
    assert info["version"] == "2.11"
    assert info["G_snr_types"] == info["C_snr_types"] == "S1C,S2C"
    assert info["R_obs_types"] == "L1C,L2C,C1C,C2P,S1C,S2C,D1"
    assert obs.snr_stats_by_satellite() == {
        "G07": {"obs_count": 3.0, "valid_count": 3.0, "mean_snr": pytest.approx((50.1 + 40.3 + 51.0) / 3)},
        "G09": {"obs_count": 1.0, "valid_count": 1.0, "mean_snr": 44.0},
    }
    assert obs.marker_name == "cn000010.21o"
    assert repr(obs) == "RinexObsData(version=2.11, epochs=2, satellites=3)"


# ---------------------------------------------------------------- real files

REAL_FILES = ["cn000010.21o", "14601736.18o", "NMBUS_SAMSUNG_S20.20o", "CEDA00USA_R_20182100000_23H_15S_MO.rnx.gz"]


def expected_from_text(text):
    """Counts, groups and C/N0 statistics from the reference reader."""
    epochs = reference_read(text)
    by_system, stats = {}, {}
    for sats in epochs:
        for sat, values in sats:
            group = by_system.setdefault(sat[:1], [])
            if sat not in group:
                group.append(sat)
            for code, v in values.items():
                if code.startswith("S"):
                    entry = stats.setdefault(sat, [0, []])
                    entry[0] += 1
                    if 0.0 < v < 100.0:
                        entry[1].append(v)
    snr = {sat: {"obs_count": float(n), "valid_count": float(len(valid)),
                 "mean_snr": pytest.approx(sum(valid) / len(valid) if valid else 0.0, rel=1e-12)}
           for sat, (n, valid) in stats.items()}
    return len(epochs), by_system, snr


@pytest.mark.parametrize("name", REAL_FILES, ids=REAL_FILES)
def test_real_file_against_reference_reading(name, shared_obs):
    raw = shared_obs(name).read_bytes()
    data = gzip.decompress(raw) if name.endswith(".gz") else raw
    obs = q.read_rinex_obs_bytes(data, name)
    num_epochs, by_system, snr = expected_from_text(data.decode("ascii", "replace"))
    assert obs.num_epochs == num_epochs
    # Order within an epoch is the file's, so the lists match exactly.
    assert obs.satellites_by_system() == by_system
    assert obs.num_satellites == sum(len(ids) for ids in by_system.values())
    assert obs.snr_stats_by_satellite() == snr
    info = obs.debug_info()
    for system, ids in by_system.items():
        assert info[f"{system}_sat_list"] == ",".join(ids)


def test_daily_version_two_file(shared_obs):
    obs = q.read_rinex_obs(str(shared_obs("cn000010.21o")))
    assert repr(obs) == "RinexObsData(version=2.11, epochs=2880, satellites=31)"
    assert (obs.marker_name, obs.receiver_type, obs.interval) == ("CN00", "TRIMBLE NETR9", 30.0)
    assert obs.obs_types_by_system()["G"] == ["L1C", "L2C", "C1C", "C2P", "C1P", "S1C", "S2C"]
    assert obs.debug_info()["E_snr_types"] == "S1C,S2C"


def test_multi_gnss_version_three_file(shared_obs):
    obs = q.read_rinex_obs(str(shared_obs("NMBUS_SAMSUNG_S20.20o")))
    assert obs.version == 3.03
    assert obs.marker_name == "NMBUS_SAMSUNG_S20.20o"  # blank MARKER NAME
    assert obs.receiver_type == "samsung"
    assert obs.obs_types_by_system() == {
        "G": ["C1C", "L1C", "D1C", "S1C", "C5X", "L5X", "D5X", "S5X"], "R": ["C1C", "L1C", "D1C", "S1C"],
        "E": ["C1C", "L1C", "D1C", "S1C", "C5X", "L5X", "D5X", "S5X"], "C": ["C2I", "L2I", "D2I", "S2I"],
        "J": ["C1C", "L1C", "D1C", "S1C", "C5X", "L5X", "D5X", "S5X"]}
    assert obs.snr_availability() == {s: True for s in "GRECJ"}
