"""Runs the command-line program: python -m quorlin_cn0_cli."""

import sys

from quorlin_cn0_cli.main import main

sys.exit(main())
