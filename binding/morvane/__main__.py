"""`python3 -m morvane FILE COMMAND`: see morvane.cli."""
import sys

from morvane.cli import main

sys.exit(main())
