"""The HTML reports of the analysed files: one page for one file; for several, a page per file
beside an index page that links them."""

from __future__ import annotations

from pathlib import Path

import quorlin_cn0

from quorlin_cn0_cli.inputs import output_stem


class HtmlOutput:
    """Writes each file's report as it comes; the index, with several files, at the end.

    With one input the target is the report. With several the target is the index page, and
    each report goes beside it as NAME.html (NAME.html-2 and so on for inputs of the same name,
    never over the index)."""

    def __init__(self, target: Path, input_count: int):
        self.target = target
        self.several = input_count > 1
        self.entries: list[tuple[str, str, quorlin_cn0.AnalysisResult]] = []
        self.used_names = {target.name}

    def destination(self, source: Path) -> Path:
        if not self.several:
            return self.target
        stem = output_stem(source)
        name, number = f"{stem}.html", 1
        while name in self.used_names:
            number += 1
            name = f"{stem}-{number}.html"
        self.used_names.add(name)
        return self.target.parent / name

    def write(self, source: Path, result: quorlin_cn0.AnalysisResult) -> None:
        from quorlin_cn0 import report

        destination = self.destination(source)
        destination.parent.mkdir(parents=True, exist_ok=True)
        report.write_report(result, destination, source.name)
        self.entries.append((source.name, destination.name, result))

    def finish(self) -> None:
        if not self.several:
            return
        from quorlin_cn0 import report

        self.target.write_text(report.index_html(self.entries), encoding="utf-8")
