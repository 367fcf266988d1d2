"""Command-line program of quorlin_cn0: analyse the C/N0 of RINEX observation files; inspect RINEX and TLE files."""
