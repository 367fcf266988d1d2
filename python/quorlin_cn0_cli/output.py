"""Where the JSON of the analysed files goes: standard output, one file, or one file per input in a folder."""

from __future__ import annotations

import sys
from pathlib import Path

import quorlin_cn0

from quorlin_cn0_cli.inputs import output_stem


def json_name(source: Path) -> str:
    """NAME.json for an input, NAME being the file name without .gz, .Z, .bz2 or .zip."""
    return output_stem(source) + ".json"


class JsonOutput:
    """Writes one JSON document per input file.

    Without a target every document goes to standard output followed by a line break (so
    compact documents form JSON Lines). With a target and a single input the target is the
    file to write, unless it is an existing folder; with several inputs it is a folder,
    created when missing, that receives NAME.json per input. Two inputs of the same name
    get NAME.json, NAME-2.json and so on, so that no document overwrites another.
    """

    def __init__(self, target: Path | None, input_count: int):
        self.target = target
        self.into_folder = target is not None and (input_count > 1 or target.is_dir())
        self.used_names: set[str] = set()
        if self.into_folder:
            target.mkdir(parents=True, exist_ok=True)

    def destination(self, source: Path) -> Path:
        if not self.into_folder:
            return self.target
        name = json_name(source)
        stem, number = name[: -len(".json")], 1
        while name in self.used_names:
            number += 1
            name = f"{stem}-{number}.json"
        self.used_names.add(name)
        return self.target / name

    def write(self, source: Path, result: quorlin_cn0.AnalysisResult, pretty: bool = False) -> None:
        """The result's JSON followed by its interference assessment under "assessment", streamed
        by the module rather than built as one text in memory: everything before that key is the
        text of to_json() (or to_json_pretty())."""
        if self.target is None:
            sys.stdout.flush()
            result.write_json(sys.stdout.buffer, pretty=pretty, with_assessment=True)
            sys.stdout.buffer.write(b"\n")
            sys.stdout.buffer.flush()
            return
        destination = self.destination(source)
        result.write_json(destination, pretty=pretty, with_assessment=True)
        with open(destination, "ab") as file:
            file.write(b"\n")
