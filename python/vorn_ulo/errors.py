"""Exceptions carrying the library's codes and statuses, and the engine's sentences."""

from __future__ import annotations

from typing import Optional

STATUS_OK = 0


def _engine():
    from ._native import load

    return load().engine


def describe_status(status: int) -> str:
    """The extension object's status in words (the engine's text)."""
    return _engine().owned_text("ulo_describe_status", int(status))


def describe_merge_code(code: int) -> str:
    """ULO_MulMergeFile's code in words (the engine's text)."""
    return _engine().owned_text("ulo_describe_merge_code", int(code))


class VornULOError(Exception):
    """Base of every failure the package reports."""

    # Made again from the arguments it was made with, so that it crosses whole to another
    # process: a worker's failure comes back through a pool or a cluster as it was raised.
    _made_with: tuple = ()

    def __reduce__(self):
        return type(self), self._made_with or self.args


class LibraryNotFoundError(VornULOError, OSError):
    """A library could not be found or loaded; `places` lists (what, path) looked at."""

    def __init__(self, places, detail=None, name="the Vorn_ULO library"):
        self._made_with = (places, detail, name)
        self.places = list(places)
        self.detail = detail
        lines = [f"  {what}: {path}" for what, path in self.places]
        text = f"cannot find {name}; looked at:\n" + "\n".join(lines)
        if detail:
            text += f"\n  ({detail})"
        text += ("\nset VORN_ULO_LIBRARY (and VORN_ULO_ENGINE) to its path, or pass the path "
                 "to vorn_ulo.set_library()")
        super().__init__(text)


class OperationError(VornULOError):
    """An export that answers with a boolean reported failure."""

    def __init__(self, operation: str, message: str):
        self._made_with = (operation, message)
        self.operation = operation
        super().__init__(f"{operation}: {message}")


class EngineError(OperationError):
    """The engine refused or failed; the message is its sentence, naming the file (and the
    line) where there is one."""


class MergeError(EngineError):
    """A merge failed; the message is the engine's sentence (code, meaning, error log)."""


class CommandError(VornULOError):
    """The extension object answered a command with a negative status."""

    def __init__(self, command: str, status: int, meaning: Optional[str] = None):
        self.command = command
        self.status = status
        self.meaning = meaning if meaning is not None else describe_status(status)
        self._made_with = (command, status, self.meaning)
        super().__init__(f"command {command!r} failed with status {status}: {self.meaning}")
