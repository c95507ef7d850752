import sys

from .cli import main

# Guarded: worker processes of a local Dask cluster import the main module again.
if __name__ == "__main__":
    sys.exit(main())
