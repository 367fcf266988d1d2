"""The satellite systems as the module describes them: letters, the names the command line shows,
and the names a user may give on the command line."""

from __future__ import annotations

import quorlin_cn0

SYSTEMS = quorlin_cn0.satellite_systems()

# Letter to the name shown in reports and inspections; a letter outside the table shows as itself.
SYSTEM_NAMES = {system["letter"]: system["name"] for system in SYSTEMS}

# Letters and names (any case) accepted by --systems; names map to their letter, because the
# analysis reads only the first character of each entry (so "Galileo" would otherwise select GPS).
SYSTEM_LETTERS = {
    key.upper(): system["letter"]
    for system in SYSTEMS
    for key in (system["letter"], system["name"], system["raw_name"], system["alias"])
    if key
}


def system_name(letter: str) -> str:
    return SYSTEM_NAMES.get(letter, letter)
