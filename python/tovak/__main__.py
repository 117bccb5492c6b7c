"""``python -m tovak`` runs the ``tovak`` command."""

from tovak.cli import main

if __name__ == "__main__":
    raise SystemExit(main())
