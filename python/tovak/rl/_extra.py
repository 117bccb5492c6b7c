"""The check that the ``rl`` extra is installed, made before the modules that need it import it.

Without it the first import of numpy, Gymnasium or PettingZoo would fail with
a bare ``ModuleNotFoundError`` that says nothing of the extra that brings
them; this says which module is missing and what to install.
"""

from __future__ import annotations

import importlib
from typing import Final

INSTALL_HINT: Final = "pip install 'tovak[rl]'"


def require_rl_extra(user: str, *modules: str) -> None:
    """Import ``modules``; raise ``ImportError`` naming the ``rl`` extra if one is missing.

    ``user`` is the module that needs them, for the message.
    """
    for name in modules:
        try:
            importlib.import_module(name)
        except ImportError as error:
            missing = error.name or name
            raise ImportError(
                f"{user} needs the rl extra ({missing} is not installed): {INSTALL_HINT}", name=missing
            ) from None
