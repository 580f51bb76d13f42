"""Exceptions carrying the library's codes and statuses with their meaning in words."""

STATUS_OK = 0
STATUS_NO_SIGNATURE = -1100
STATUS_UNKNOWN_COMMAND = -4110
STATUS_BEGIN_REFUSED = -4350
STATUS_PAIR_REFUSED = -4351
STATUS_END_FAILED = -4352
STATUS_MERGE_FAILED = -4353
STATUS_FILTER_FAILED = -4354
STATUS_SUPPORT_FAILED = -4355
STATUS_BUSY_TIMEOUT = -9001

STATUS_MEANINGS = {
    STATUS_OK: "success",
    STATUS_NO_SIGNATURE: "the command buffer lacks its signature",
    STATUS_UNKNOWN_COMMAND: "the library knows no such command",
    STATUS_BEGIN_REFUSED: "the library refused to open a counting run in that directory",
    STATUS_PAIR_REFUSED: "no counting run is open, or a word was empty",
    STATUS_END_FAILED: "the last spill file could not be written",
    STATUS_MERGE_FAILED: "the merge reported an error",
    STATUS_FILTER_FAILED: "the input could not be read, the output could not be written, "
    "or they are the same file",
    STATUS_SUPPORT_FAILED: "the input could not be read, the output could not be written, "
    "or they are the same file",
    STATUS_BUSY_TIMEOUT: "another counting run stayed open for the whole wait",
}

MERGE_MEANINGS = {
    0: "success",
    -1: "an intermediate file could not be created or written, or the merge ran out of memory",
    -2: "the output file could not be created or written",
    -3: "the merge's list file could not be opened",
    -4: "an input file could not be opened (see the error log beside the output)",
    -5: "the only input file vanished during the merge",
    -6: "no file was found under the input directory",
    -7: "the work directory merge_temp could not be created beside the input directory",
    -8: "the input directory does not exist, is not a directory, or is itself named merge_temp",
    -9: "the input directory path consists of separators only",
    -10: "an argument is empty",
}


def describe_status(status):
    return STATUS_MEANINGS.get(status, "unknown status")


def describe_merge_code(code):
    return MERGE_MEANINGS.get(code, "unknown merge code")


class VornULOError(Exception):
    """Base of every failure the package reports."""


class LibraryNotFoundError(VornULOError, OSError):
    """The library could not be found or loaded; `places` lists (what, path) looked at."""

    def __init__(self, places, detail=None):
        self.places = list(places)
        self.detail = detail
        lines = [f"  {what}: {path}" for what, path in self.places]
        text = "cannot find the Vorn_ULO library; looked at:\n" + "\n".join(lines)
        if detail:
            text += f"\n  ({detail})"
        text += "\nset VORN_ULO_LIBRARY to its path, or pass the path to vorn_ulo.set_library()"
        super().__init__(text)


class OperationError(VornULOError):
    """An export that answers with a boolean reported failure."""

    def __init__(self, operation, message):
        self.operation = operation
        super().__init__(f"{operation}: {message}")


class MergeError(VornULOError):
    """ULO_MulMergeFile answered with a negative code; `log_line` is the newest error-log entry
    the merge wrote, if any."""

    def __init__(self, code, source, output, log_line=None):
        self.code = code
        self.meaning = describe_merge_code(code)
        self.source = source
        self.output = output
        self.log_line = log_line
        text = f"merge of {source} into {output} failed with code {code}: {self.meaning}"
        if log_line:
            text += f"; error log: {log_line}"
        super().__init__(text)


class CommandError(VornULOError):
    """The extension object answered a command with a negative status."""

    def __init__(self, command, status):
        self.command = command
        self.status = status
        self.meaning = describe_status(status)
        super().__init__(f"command {command!r} failed with status {status}: {self.meaning}")
