"""A batch of observation files into the campaign tables, on this machine or on a Dask cluster."""

from __future__ import annotations

import argparse
import sys
import time
from functools import partial
from pathlib import Path
from typing import Any

from quorlin_cn0_cli.analysis import AnalysisOptions, NavigationSource, campaign_record
from quorlin_cn0_cli.batch import run_batch
from quorlin_cn0_cli.campaign import failure_record, table_path
from quorlin_cn0_cli.inputs import error_text
from quorlin_cn0_cli.progress import Progress
from quorlin_cn0_cli.tables import Campaign, CampaignTables

PROG = "quorlin-cn0"
SAVE_SECONDS = 60.0  # the tables are saved this often during a batch, so that an interrupted one resumes


def connect(address: str) -> Any:
    """A client of the Dask scheduler at address."""
    from distributed import Client

    return Client(address, timeout="30s")


def run_campaign(files: list[Path], args: argparse.Namespace, options: AnalysisOptions,
                 source: NavigationSource) -> int:
    """Analyses the files the tables do not hold yet (all with --force) and stores their rows.

    Returns the count of files that failed. A failure is a row with its error, reported on
    standard error; so is a note (navigation data missing or partial). The tables are saved every
    minute and at the end, also after an interruption."""
    tables = CampaignTables(args.table, args.table_format)
    campaign = Campaign(tables, force=args.force)
    todo = campaign.pending(files, table_path)
    client = None
    if args.scheduler:
        try:
            client = connect(args.scheduler)
        except (OSError, TimeoutError) as error:
            print(f"{PROG}: cannot reach the Dask scheduler at {args.scheduler}: {error_text(error)}", file=sys.stderr)
            return 1
    task = partial(campaign_record, options=options, source=source)
    bar = Progress(len(todo), enabled=args.progress or sys.stderr.isatty())
    failures, saved = 0, time.monotonic()
    try:
        for done in run_batch(todo, task, workers=args.jobs, client=client):
            record = done.value if done.error is None else failure_record(done.path, error_text(done.error))
            campaign.add(record)
            failure, note = record.row["error"], record.row["note"]
            failures += bool(failure)
            if failure or note:
                bar.line(f"{PROG}: {done.path}: {failure or note}")
            bar.advance(failed=bool(failure))
            if time.monotonic() - saved > SAVE_SECONDS:
                campaign.save()
                saved = time.monotonic()
    finally:
        bar.close()
        if campaign.changed:
            campaign.save()
        if client is not None:
            client.close()
    skipped = len(files) - len(todo)
    print(f"{len(todo)} files analysed, {failures} failed, {skipped} already in the table; "
          f"tables in {args.table} ({tables.format})")
    return failures
