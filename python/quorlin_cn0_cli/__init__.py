"""Command-line program of quorlin_cn0: inspect RINEX observation files."""
