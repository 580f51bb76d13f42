"""The extension object through Module: command buffers, every command, every status."""

import pytest

import vorn_ulo
from conftest import write_pairs


@pytest.fixture
def module(library):
    with vorn_ulo.Module() as module:
        yield module


def test_buffer_layout(module):
    buffer = module.pack("ULO_Stat_AssociatedFreq", "月", b"x", -2, True)
    assert buffer[4:7] == b"r!\0"
    assert buffer[9:] == b"ULO_Stat_AssociatedFreq\0\xd4\xc2\0x\0\xfe\xff\xff\xff\x01"
    with pytest.raises(ValueError, match="NUL"):
        module.pack("ULO_Filtrate", "a\0b")
    with pytest.raises(OverflowError):
        module.pack("ULO_Filtrate", "a", "b", 2**31)


def test_counting_run_merge_filter_and_support_by_command(module, tmp_path):
    spill = tmp_path / "spill"
    spill.mkdir()
    assert module.execute("ULO_Stat_AssociatedFreq_Begin", spill) == 0
    assert module.execute("ULO_Stat_AssociatedFreq", "月", "光", 2, False) == 0
    assert module.execute("ulo_stat_associatedfreq", "山", "水", 1, True) == 0
    assert module.execute("ULO_Stat_AssociatedFreq_End") == 0
    merged = tmp_path / "pairs.txt"
    assert module.execute("ULO_MulMergeFile", spill, merged) == 0
    assert sorted(vorn_ulo.read_pairs(merged)) == [("光", "月", 2), ("山", "水", 1),
                                                    ("月", "光", 2)]
    assert module.execute("uLo_FiLtRaTe", merged, tmp_path / "f.txt", 2) == 0
    assert sorted(vorn_ulo.read_filtered(tmp_path / "f.txt")) == [(2, "光", "月"), (2, "月", "光")]
    assert module.execute("ULO_GetWordSupportRec", merged, tmp_path / "s.txt") == 0
    assert len(list(vorn_ulo.read_support_records(tmp_path / "s.txt"))) == 6


# Every status is the library's (checked in its own tests); here how one arrives.
@pytest.mark.parametrize("name, args, status", [
    ("ULO_GetTopNWordSupportRec", ("a", "b", 3), -4110),  # top-N has no command
    ("ULO_Filtrate", ("/nonexistent/in", "/tmp/x", 1), -4354),
])
def test_failed_commands_raise_with_status_and_meaning(module, name, args, status):
    with pytest.raises(vorn_ulo.CommandError) as error:
        module.execute(name, *args)
    assert error.value.status == status and error.value.command == name
    assert error.value.meaning == vorn_ulo.describe_status(status) != "unknown status"
    assert module.execute(name, *args, check=False) == status


def test_buffer_without_signature(module):
    buffer = bytearray(module.pack("ULO_Stat_AssociatedFreq_End"))
    buffer[6] = 1
    assert module.execute_buffer(buffer) == -1100


def test_reserved_operations_and_release(library):
    module = vorn_ulo.Module()
    module.reserved_a()
    assert module.reserved_b() and module.reserved_d(7)
    module.reserved_c(1)
    module.reserved_e(2)
    module.set_host_value(-5)
    module.release()
    module.release()  # a second release is harmless
    with pytest.raises(vorn_ulo.OperationError, match="released"):
        module.execute("ULO_Stat_AssociatedFreq_End")


def test_two_objects_are_independent(library, tmp_path):
    pairs = write_pairs(tmp_path / "p.txt", [("a", "b", 3)])
    with vorn_ulo.Module() as first, vorn_ulo.Module() as second:
        first.execute("ULO_Filtrate", pairs, tmp_path / "1.txt", 1)
        second.execute("ULO_Filtrate", pairs, tmp_path / "2.txt", 4)
    assert (tmp_path / "1.txt").read_bytes() == b"3\ta\tb\n"
    assert (tmp_path / "2.txt").read_bytes() == b""
