"""`python -m kinetrope_host` runs the `kinetrope` command."""

import sys

from kinetrope_host.cli import main

sys.exit(main())
