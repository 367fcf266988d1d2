"""quorlin-cn0: analyse the C/N0 of RINEX observation files, or inspect observation, navigation and TLE files."""

from __future__ import annotations

import argparse
import importlib.util
import json
import sys
from functools import partial
from importlib import resources
from pathlib import Path
from typing import Callable

import quorlin_cn0

from quorlin_cn0_cli.analysis import (AnalysisOptions, FileAnalysis, NavigationSource, analyze_paired, parse_systems,
                                     parse_thresholds, prepared_navigation)
from quorlin_cn0_cli.batch import default_workers, one_thread_per_call, run_batch
from quorlin_cn0_cli.campaign_run import run_campaign
from quorlin_cn0_cli.file_overview import KINDS, format_inspection, inspect_file
from quorlin_cn0_cli.html_output import HtmlOutput
from quorlin_cn0_cli.inputs import error_text
from quorlin_cn0_cli.output import JsonOutput
from quorlin_cn0_cli.pairing import NavigationIndex
from quorlin_cn0_cli.progress import Progress
from quorlin_cn0_cli.report import format_report
from quorlin_cn0_cli.tables import FORMATS, pyarrow_installed
from quorlin_cn0_cli.trend import trend_main

PROG = "quorlin-cn0"
SAMPLE_NAME = "NMBUS_SAMSUNG_S20.20o"
LONG_RUN_SECONDS = 2.0
FILE_ERRORS = (OSError, ValueError)

DESCRIPTION = """\
Analyse the C/N0 (signal strength) of RINEX observation files: the interference assessment
(episodes of jamming, interference, obstruction, outage and spoofing, found epoch by epoch and
band by band against what the receiver should have seen), quality score and rating,
per-constellation statistics, multi-satellite C/N0 drops and the jamming, spoofing and
interference verdicts. Without a file, the bundled real sample is analysed. Compressed files
are read as they are: gzip, Unix compress (.Z), bzip2, zip and Hatanaka compact RINEX, also
nested (.crx.gz, .21d.Z), recognised by their content."""

# Options of the assessment: option, keyword of AnalysisConfig, type, metavar, help.
ASSESSMENT_OPTIONS = (
    ("--drop-margin", "assessment_min_drop_db", float, "DB",
     "common fall below expectation of a band's signals that degrades it, dB (default 4)"),
    ("--noise-factor", "assessment_noise_factor", float, "K",
     "a signal is low when below expectation by K times its own scatter as well (default 3)"),
    ("--signal-share", "assessment_signal_share", float, "SHARE",
     "share of a band's signals that must be low or lost together (default 0.6)"),
    ("--loss-share", "assessment_loss_share", float, "SHARE",
     "share of a band's steady signals whose loss at once degrades it (default 0.5)"),
    ("--min-satellites", "assessment_min_satellites", int, "N",
     "satellites that must be affected; fewer never degrade a band (default 3)"),
    ("--min-episode", "assessment_min_episode_seconds", float, "S",
     "degraded time without a break that makes an episode, seconds (default 120)"),
    ("--min-outage", "assessment_min_outage_seconds", float, "S",
     "time without any value, or left out of the file, that makes an episode, seconds (default 60)"),
    ("--merge", "assessment_merge_seconds", float, "S",
     "interruption tolerated within an episode, seconds (default 60)"),
)

EPILOG = """\
output of several files:
  report     one report per file, separated by an empty line
  --json     one compact JSON object per line, in the order of the files (JSON Lines)
  --pretty   the indented objects one after another
  --html P   with one file P is the report; with several P is an index page linking
             NAME.html per input, written beside it
  -o PATH    with one file PATH is the JSON file (or, if PATH is a directory, PATH/NAME.json);
             with several files PATH is a directory (created when missing) receiving
             NAME.json per input, NAME being the file name without .gz, .Z, .bz2 or .zip
inspection (--inspect):
  the kind of each file is read from its RINEX VERSION / TYPE line (observation or
  navigation data); a file without that line is read as TLE text. --type overrides it.
  Navigation files report the satellites with broadcast ephemerides per system, TLE files
  the element sets and the GNSS satellites identified in them. With --json or -o the
  inspection is one indented JSON document: an object, or a list with several files.
progress:
  with several files, or a file that takes longer than 2 s, a line "[i/n] FILE 0.4 s" per
  file goes to standard error. A file that fails is reported there and the run goes on;
  the exit status is 1 when any file failed. Several files are analysed side by side (-j),
  their output still in the order of the files. On a terminal, or with --progress, a bar
  with the files done, the rate and the time left stays below those lines.
campaigns (--table DIR):
  one row per file (station, receiver, period, mean C/N0 per system, quality, verdicts,
  episodes, confirmation rate, the error of a file that failed) into DIR/files and one row
  per episode into DIR/episodes: Parquet datasets partitioned by station when pyarrow is
  installed, else DIR/files.csv and DIR/episodes.csv. Files already in the table without an
  error are skipped unless --force. "quorlin-cn0 trend DIR" reports it per station and day.
navigation folders (--nav-dir DIR):
  each observation file is analysed with the navigation files of DIR (and its subfolders)
  whose records cover its period, as its header and records give it; a note says when none
  does, and the file is then analysed without navigation data."""


def sample_path() -> Path:
    """The real observation file bundled with the package."""
    return Path(str(resources.files("quorlin_cn0_cli") / "data" / SAMPLE_NAME))


def systems_argument(text: str) -> list[str]:
    try:
        return parse_systems(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def thresholds_argument(text: str) -> tuple[float, float, float]:
    try:
        return parse_thresholds(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog=PROG, description=DESCRIPTION, epilog=EPILOG,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("files", nargs="*", type=Path, metavar="FILE",
                        help="RINEX observation files; with --inspect also navigation and TLE files")
    output = parser.add_argument_group("output")
    output.add_argument("--json", action="store_true",
                        help="compact JSON of the analysis result instead of the report")
    output.add_argument("--pretty", "--indent", dest="pretty", action="store_true",
                        help="indented JSON of the analysis result")
    output.add_argument("-o", "--output", type=Path, metavar="PATH",
                        help="write the JSON to PATH instead of standard output (implies --json)")
    output.add_argument("--html", type=Path, metavar="PATH",
                        help="write a self-contained HTML report with plots to PATH instead of the text report "
                             "(with several files PATH is an index page and the reports go beside it)")
    analysis = parser.add_argument_group("analysis")
    navigation = analysis.add_mutually_exclusive_group()
    navigation.add_argument("--nav", type=Path, metavar="NAVFILE",
                            help="RINEX navigation file for real look angles and visibility prediction")
    navigation.add_argument("--nav-dir", type=Path, metavar="DIR",
                            help="folder of navigation files, each observation file paired with those covering it")
    analysis.add_argument("--min-elevation", type=float, default=5.0, metavar="DEG",
                          help="elevation mask in degrees (default 5)")
    analysis.add_argument("--systems", type=systems_argument, metavar="LIST",
                          help="constellations to analyse, letters or names: G,R,E,C,J,S,I (default G,R,E,C)")
    analysis.add_argument("--min-cn0", type=float, default=0.0, metavar="DBHZ",
                          help="smallest C/N0 value accepted, dB-Hz (default 0)")
    analysis.add_argument("--max-cn0", type=float, default=60.0, metavar="DBHZ",
                          help="largest C/N0 value accepted, dB-Hz (default 60)")
    analysis.add_argument("--thresholds", type=thresholds_argument, default=(3.0, 6.0, 10.0), metavar="L,H,C",
                          help="C/N0 drops in dB-Hz that make a low, high and critical anomaly (default 3,6,10)")
    analysis.add_argument("--sensitivity", type=float, default=0.0, metavar="S",
                          help="lowers the low and high thresholds by the factor 1 - S/2 (default 0: as given)")
    batches = parser.add_argument_group("batches")
    batches.add_argument("-j", "--jobs", type=jobs_argument, default=default_workers(), metavar="N",
                         help=f"files analysed side by side (default: the processors, here {default_workers()})")
    batches.add_argument("--progress", action="store_true",
                         help="show the progress bar also when standard error is not a terminal")
    batches.add_argument("--table", type=Path, metavar="DIR",
                         help="write the campaign tables (one row per file, one per episode) into DIR")
    batches.add_argument("--table-format", choices=FORMATS,
                         help="parquet or csv (default: the existing tables' format, else parquet with pyarrow)")
    batches.add_argument("--force", action="store_true",
                         help="analyse again the files the table already holds")
    batches.add_argument("--scheduler", metavar="ADDRESS",
                         help="run the batch on the Dask cluster of this scheduler (tcp://host:8786); needs --table")
    assessment = parser.add_argument_group("assessment")
    for option, keyword, kind, metavar, text in ASSESSMENT_OPTIONS:
        assessment.add_argument(option, dest=keyword, type=kind, metavar=metavar, help=text)
    inspection = parser.add_argument_group("inspection")
    inspection.add_argument("--inspect", action="store_true", help="describe the files instead of analysing them")
    inspection.add_argument("--type", choices=("auto",) + KINDS, default="auto",
                            help="file kind for --inspect (default auto)")
    parser.add_argument("--version", action="version", version=f"%(prog)s {quorlin_cn0.version()}")
    return parser


def jobs_argument(text: str) -> int:
    try:
        count = int(text)
    except ValueError:
        count = 0
    if count < 1:
        raise argparse.ArgumentTypeError(f"give a whole number of 1 or more: {text!r}")
    return count


def report_error(path: Path, error: BaseException) -> None:
    print(f"{PROG}: {path}: {error_text(error)}", file=sys.stderr)


def run_files(files: list[Path], work: Callable[[Path], object], deliver: Callable[[Path, object], None],
              jobs: int = 1, progress: Progress | None = None) -> int:
    """Runs `work` on every file, `jobs` side by side, and hands each success to `deliver` in the
    order of the files; returns the failure count.

    One failing file is reported on standard error and the run goes on. With several files, or
    a file that takes long, a progress line per file goes to standard error as well."""
    bar = progress or Progress(len(files), enabled=False)
    failures = 0
    try:
        for done in run_batch(files, work, workers=jobs, ordered=True):
            if done.error is not None:
                if not isinstance(done.error, FILE_ERRORS):
                    raise done.error
                failures += 1
                bar.line(f"{PROG}: {done.path}: {error_text(done.error)}")
                bar.advance(failed=True)
                continue
            if len(files) > 1 or done.seconds > LONG_RUN_SECONDS:
                bar.line(f"[{done.index + 1}/{len(files)}] {done.path} {done.seconds:.1f} s")
            bar.advance()
            deliver(done.path, done.value)
    finally:
        bar.close()
    return failures


def show_progress(args: argparse.Namespace) -> bool:
    return args.progress or sys.stderr.isatty()


def analyse(files: list[Path], args: argparse.Namespace) -> int:
    if args.jobs > 1 and len(files) > 1:
        one_thread_per_call()
    assessment = {keyword: getattr(args, keyword) for _, keyword, *_ in ASSESSMENT_OPTIONS
                  if getattr(args, keyword) is not None}
    options = AnalysisOptions(min_elevation=args.min_elevation, systems=args.systems, nav_file=args.nav,
                              min_cn0=args.min_cn0, max_cn0=args.max_cn0, thresholds=args.thresholds,
                              sensitivity=args.sensitivity, assessment=assessment)
    as_json = args.json or args.pretty or args.output is not None
    output = JsonOutput(args.output, len(files)) if as_json else None
    pages = HtmlOutput(args.html, len(files)) if args.html is not None else None
    reports_written = 0

    def deliver(path: Path, analysis: FileAnalysis) -> None:
        nonlocal reports_written
        if pages is not None:
            pages.write(path, analysis.result)
            if output is None:
                return
        if output is not None:
            output.write(path, analysis.result, pretty=args.pretty)
            if analysis.coverage:
                print(f"{PROG}: {path}: {analysis.coverage}", file=sys.stderr)
            return
        print(("\n" if reports_written else "") + format_report(analysis, str(path)), flush=True)
        reports_written += 1

    source = NavigationSource(prepared_navigation(options), NavigationIndex.scan(args.nav_dir) if args.nav_dir else None)
    if args.table is not None:
        return run_campaign(files, args, options, source)
    work = partial(analyze_paired, options=options, source=source)
    bar = Progress(len(files), enabled=len(files) > 1 and show_progress(args))
    failures = run_files(files, work, deliver, jobs=args.jobs, progress=bar)
    if pages is not None:
        pages.finish()
    return failures


def inspect(files: list[Path], args: argparse.Namespace) -> int:
    inspections: list[dict] = []
    failures = run_files(files, lambda path: inspect_file(path, args.type), lambda _, info: inspections.append(info))
    if args.json or args.output is not None:
        document = json.dumps(inspections if len(files) > 1 else (inspections[0] if inspections else None), indent=2)
        if args.output is None:
            print(document)
        else:
            args.output.write_text(document + "\n", encoding="utf-8")
    elif inspections:
        print("\n\n".join(format_inspection(info) for info in inspections))
    return failures


def check_batch_options(parser: argparse.ArgumentParser, args: argparse.Namespace) -> None:
    if args.inspect and (args.table or args.nav_dir or args.scheduler):
        parser.error("--table, --nav-dir and --scheduler analyse files; they do not go with --inspect")
    if args.scheduler and args.table is None:
        parser.error("--scheduler needs --table: the results stay on the cluster's workers, their rows come back")
    if args.scheduler and importlib.util.find_spec("distributed") is None:
        parser.error("--scheduler needs Dask's distributed package (pip install 'dask[distributed]')")
    if args.table_format == "parquet" and not pyarrow_installed():
        parser.error("Parquet tables need pyarrow (pip install pyarrow); or use --table-format csv")


def main(argv: list[str] | None = None) -> int:
    argv = sys.argv[1:] if argv is None else argv
    if argv[:1] == ["trend"]:
        return trend_main(argv[1:])
    parser = build_parser()
    args = parser.parse_args(argv)
    check_batch_options(parser, args)
    files = args.files or [sample_path()]
    try:
        failures = inspect(files, args) if args.inspect else analyse(files, args)
    except FILE_ERRORS as error:
        # A failure of the run as a whole: the navigation file or the output target.
        target = getattr(error, "filename", None) or args.nav or args.nav_dir or args.output
        if target is None:
            print(f"{PROG}: {error_text(error)}", file=sys.stderr)
        else:
            report_error(Path(str(target)), error)
        return 1
    except KeyboardInterrupt:
        print(f"{PROG}: interrupted", file=sys.stderr)
        return 130
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
