"""Whether the records of a navigation file reach the period of an observation file.

The analysis places a satellite with a Keplerian record up to 4 hours from the record's time of
clock and with a GLONASS record up to 1 hour from it; outside that reach it cannot predict
anything. A file of another day, or one that ends early, shows as a one-line note in the report.
"""

from __future__ import annotations

from dataclasses import dataclass
from datetime import datetime, timedelta

import quorlin_cn0

KEPLER_REACH = timedelta(hours=4)
GLONASS_REACH = timedelta(hours=1)


@dataclass(frozen=True)
class NavigationSpan:
    first: datetime  # time of clock of the earliest record
    last: datetime
    reach: timedelta  # how far from its records the navigation data places satellites


def _datetime(fields: tuple) -> datetime | None:
    year, month, day, hour, minute, second = fields
    try:
        return datetime(year, month, day, hour, minute) + timedelta(seconds=second)
    except (ValueError, OverflowError):
        return None


def _timestamp(text: str) -> datetime | None:
    """The time of a result's timestamp text, such as 2020-06-25T00:00:30.000Z."""
    try:
        return datetime.strptime(text[:19], "%Y-%m-%dT%H:%M:%S") + timedelta(seconds=float("0" + text[19:23]))
    except ValueError:
        return None


def navigation_span(navigation: quorlin_cn0.NavigationData) -> NavigationSpan | None:
    """The period of the records of a navigation file, or None when it has none."""
    if navigation.first_record is None or navigation.last_record is None:
        return None
    first, last = _datetime(navigation.first_record), _datetime(navigation.last_record)
    if first is None or last is None:
        return None
    glonass_only = set(navigation.records_by_system) == {"R"}
    return NavigationSpan(first, last, GLONASS_REACH if glonass_only else KEPLER_REACH)


def coverage_note(span: NavigationSpan | None, start_time: str, end_time: str) -> str | None:
    """One line when the navigation data misses all or part of the observation period, else None."""
    start, end = _timestamp(start_time), _timestamp(end_time)
    if start is None or end is None:
        return None
    records = f"records {span.first:%Y-%m-%d %H:%M} to {span.last:%Y-%m-%d %H:%M}" if span else "no records"
    if span is None or end < span.first - span.reach or start > span.last + span.reach:
        return f"Navigation data covers none of the observation period ({records}): nothing could be predicted."
    if start < span.first - span.reach or end > span.last + span.reach:
        return f"Navigation data covers only part of the observation period ({records})."
    return None
