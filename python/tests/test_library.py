"""The exports through the package: finding the library, counting runs, file operations and
the failures each reports."""

import os
import shutil
import threading
import time

import pytest

import vorn_ulo
from vorn_ulo import _native
from conftest import write_pairs


class TestFindingTheLibrary:
    def test_explicit_path_wins_and_a_missing_one_is_named(self, library, monkeypatch, tmp_path):
        monkeypatch.setenv("VORN_ULO_LIBRARY", str(tmp_path / "elsewhere.so"))
        assert vorn_ulo.find_library(library.path) == library.path
        with pytest.raises(vorn_ulo.LibraryNotFoundError, match=str(tmp_path / "none.so")):
            vorn_ulo.find_library(tmp_path / "none.so")

    @pytest.mark.parametrize("variable", ["VORN_ULO_LIBRARY", "VORN_ULO_ENGINE"])
    def test_environment_is_taken_and_a_wrong_one_is_not_passed_over(
        self, library, monkeypatch, tmp_path, variable
    ):
        engine = variable == "VORN_ULO_ENGINE"
        found = (lambda: vorn_ulo.Library(library.path).engine.path) if engine else \
            vorn_ulo.find_library
        monkeypatch.setenv(variable, str(library.engine.path if engine else library.path))
        assert found() == (library.engine.path if engine else library.path)
        monkeypatch.setenv(variable, str(tmp_path / "typo.so"))
        with pytest.raises(vorn_ulo.LibraryNotFoundError, match=variable):
            found()

    def test_error_names_every_place_looked(self, monkeypatch, tmp_path):
        monkeypatch.delenv("VORN_ULO_LIBRARY", raising=False)
        monkeypatch.setattr(
            _native, "candidate_paths", lambda name: [("installed prefix", tmp_path / "a"),
                                                 ("build tree", tmp_path / "b")]
        )
        with pytest.raises(vorn_ulo.LibraryNotFoundError) as error:
            vorn_ulo.find_library()
        text = str(error.value)
        assert "installed prefix" in text and str(tmp_path / "a") in text
        assert "build tree" in text and str(tmp_path / "b") in text
        assert "VORN_ULO_LIBRARY" in text

    def test_a_relative_path_is_taken_from_the_current_directory(self, library, monkeypatch,
                                                                 tmp_path):
        shutil.copy(library.path, tmp_path / "libcopy.so")
        shutil.copy(library.engine.path, tmp_path / "libenginecopy.so")
        monkeypatch.chdir(tmp_path)
        copy = vorn_ulo.Library("libcopy.so", engine="libenginecopy.so")
        assert copy.path == tmp_path / "libcopy.so"
        assert copy.engine.path == tmp_path / "libenginecopy.so"
        assert copy.engine.measure_names() == library.engine.measure_names()


@pytest.mark.parametrize("win32_x86, stdcall_build, exports, methods, refused", [
    (False, False, "cdecl", "cdecl", False),
    (False, True, "cdecl", "cdecl", False),  # one convention off 32-bit Windows
    (True, False, "cdecl", None, True),  # __thiscall operations: refused, never miscalled
    (True, True, "stdcall", "stdcall", False),
])
def test_calling_conventions(monkeypatch, win32_x86, stdcall_build, exports, methods, refused):
    monkeypatch.setattr(_native, "platform_facts", lambda: (win32_x86, stdcall_build))
    chosen = _native.conventions()
    assert (chosen.exports, chosen.methods) == (exports, methods)
    assert bool(chosen.refusal) == refused
    if refused:
        assert "-DULO_WIN32_STDCALL=ON" in chosen.refusal


def test_the_object_is_refused_where_its_operations_cannot_be_called(library, monkeypatch):
    monkeypatch.setattr(library, "conventions", _native.Conventions("cdecl", None, "no way"))
    with pytest.raises(vorn_ulo.OperationError, match="no way"):
        vorn_ulo.Module(library=library)


def spill_lines(directory):
    lines = []
    for path in sorted(directory.glob("temp*.txt")):
        lines += path.read_bytes().decode("gb18030").splitlines()
    return lines


class TestCountingRun:
    def test_pairs_both_ways_one_way_and_counts(self, library, tmp_path):
        with vorn_ulo.CountingRun(tmp_path) as run:
            run.add("月", "光")
            run.add("山", "水", count=5, one_way=True)
            run.add_many([("月", "光"), ("云", "雨", 3)])
            run.add_many([(b"\xd4\xc2", b"x")], one_way=True)
        assert run.pairs_added == 5
        expected = ["光\t月\t2", "山\t水\t5", "云\t雨\t3", "雨\t云\t3", "月\t光\t2", "月\tx\t1"]
        # Spill files are sorted by the words' bytes.
        assert spill_lines(tmp_path) == sorted(expected, key=lambda line: line.encode("gb2312"))

    def test_end_runs_when_the_block_raises(self, library, tmp_path):
        with pytest.raises(KeyError):
            with vorn_ulo.CountingRun(tmp_path) as run:
                run.add("a", "b")
                raise KeyError("boom")
        assert spill_lines(tmp_path) == ["a\tb\t1", "b\ta\t1"]
        with vorn_ulo.CountingRun(tmp_path):  # the process's run was closed
            pass

    def test_refusals_raise_and_count_nothing(self, library, tmp_path):
        with pytest.raises(vorn_ulo.OperationError, match="not a directory"):
            vorn_ulo.CountingRun(tmp_path / "missing").begin()
        with vorn_ulo.CountingRun(tmp_path) as run:
            with pytest.raises(vorn_ulo.OperationError, match="one per process"):
                vorn_ulo.CountingRun(tmp_path).begin()
            with pytest.raises(vorn_ulo.OperationError, match="empty"):
                run.add("", "b")
            with pytest.raises(OverflowError):
                run.add("a", "b", count=2**31)
            with pytest.raises(TypeError):
                run.add_many([("a", 5)])
        assert spill_lines(tmp_path) == []
        with pytest.raises(vorn_ulo.OperationError, match="not open"):
            run.add("a", "b")

    def test_a_last_spill_that_cannot_be_written_raises(self, library, tmp_path):
        work = tmp_path / "work"
        work.mkdir()
        with pytest.raises(vorn_ulo.OperationError, match="last spill file"):
            with vorn_ulo.CountingRun(work) as run:
                run.add("a", "b")
                work.rmdir()

    def test_runs_of_two_threads_take_turns(self, library, tmp_path):
        (tmp_path / "a").mkdir()
        (tmp_path / "b").mkdir()
        order = []

        def count(name, words):
            with vorn_ulo.CountingRun(tmp_path / name) as run:
                order.append(f"{name} begin")
                for word in words:
                    run.add(word, word + "!", one_way=True)
                    time.sleep(0.01)
                order.append(f"{name} end")

        threads = [threading.Thread(target=count, args=(n, list("xyz"))) for n in "ab"]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(30)
        assert order in (["a begin", "a end", "b begin", "b end"],
                         ["b begin", "b end", "a begin", "a end"])
        for name in "ab":
            assert spill_lines(tmp_path / name) == ["x\tx!\t1", "y\ty!\t1", "z\tz!\t1"]

    @pytest.mark.parametrize("encoding, errors, lines, skipped", [
        # The default keeps every character; a narrower encoding never cuts a word, and
        # GB2312 keeps its own middle dot (A1 A4), which Python's gb2312 codec lacks.
        ("gb18030", "strict", ["a€\tb\t1", "b\ta€\t1", "進程\t😀\t1", "马·克\tb\t1"], 0),
        ("gb2312", "drop", ["马·克\tb\t1"], 2),
        ("gb2312", "strict", UnicodeEncodeError, 0),
    ])
    def test_words_are_kept_or_dropped_whole(self, library, tmp_path, encoding, errors, lines,
                                             skipped):
        with vorn_ulo.CountingRun(tmp_path, encoding=encoding, errors=errors) as run:
            if lines is UnicodeEncodeError:
                with pytest.raises(UnicodeEncodeError):
                    run.add("a€", "b")
                return
            run.add("a€", "b")
            run.add_many([("進程", "😀"), ("马·克", "b")], one_way=True)
        assert run.pairs_skipped == skipped
        assert spill_lines(tmp_path) == sorted(lines, key=lambda line: line.encode("gb18030"))


class TestFileOperations:
    @pytest.fixture
    def pairs(self, tmp_path):
        return write_pairs(tmp_path / "pairs.txt", [("a", "b", 1), ("a", "d", 3)])

    def test_a_failed_merge_raises_and_leaves_no_cut_output(self, library, tmp_path):
        with pytest.raises(vorn_ulo.MergeError, match="missing"):
            vorn_ulo.merge(tmp_path / "missing", tmp_path / "out.txt")
        assert not (tmp_path / "out.txt").exists()
        (tmp_path / "in").mkdir()
        write_pairs(tmp_path / "in" / "temp1.txt", [("a", "b%04d" % i, 1) for i in range(1000)])
        os.symlink(tmp_path / "gone", tmp_path / "in" / "temp2.txt")
        (tmp_path / "out.txt").write_bytes(b"x\ty\t1\n")  # an earlier result
        with pytest.raises(vorn_ulo.MergeError, match="temp2.txt"):
            vorn_ulo.merge(tmp_path / "in", tmp_path / "out.txt")
        assert (tmp_path / "out.txt").read_bytes() == b"x\ty\t1\n"
        assert {p.name for p in tmp_path.iterdir()} <= {"in", "out.txt", "out.txt_err.log"}

    @pytest.mark.parametrize("describe, code", [
        (vorn_ulo.describe_merge_code, -4), (vorn_ulo.describe_status, -4353)])
    def test_codes_in_words(self, library, describe, code):
        assert describe(code) and describe(code) != describe(12345)

    def test_support_records_read_back(self, library, pairs, tmp_path):
        # The files' bytes are the library's (its own tests); here the records as Python reads them.
        vorn_ulo.support_records(pairs, tmp_path / "s.txt")
        records = list(vorn_ulo.read_support_records(tmp_path / "s.txt"))
        assert records == [("a", "b", 25.0, 12.5), ("b", "a", 100.0, 12.5),
                           ("a", "d", 75.0, 37.5), ("d", "a", 100.0, 37.5)]

    @pytest.mark.parametrize("operation", [
        lambda i, o: vorn_ulo.filter_pairs(i, o, 1),
        lambda i, o: vorn_ulo.support_records(i, o),
        lambda i, o: vorn_ulo.top_n(i, o, 3),
    ])
    def test_failures_raise_with_their_cause(self, library, pairs, tmp_path, operation):
        # What each refuses, ulo's tests show; here that a refusal comes through.
        with pytest.raises(vorn_ulo.EngineError, match="missing.txt"):
            operation(tmp_path / "missing.txt", tmp_path / "o.txt")
        # A C string would end at the NUL: refused as open() refuses it, o.txt not written.
        with pytest.raises(ValueError, match="null"):
            operation(pairs, tmp_path / "o.txt\x00.out")
        assert not (tmp_path / "o.txt").exists()

    def test_top_n_below_one_is_refused(self, library, pairs, tmp_path):
        with pytest.raises(ValueError):
            vorn_ulo.top_n(pairs, tmp_path / "t.txt", 0)


@pytest.mark.parametrize("data, start, replaced", [
    (b"ab\x81", 2, "ab\ufffd"),  # a character cut off at the end
    (b"\xe3\x32\x9a\x36x", 0, "\ufffd2\ufffd6x"),  # past U+10FFFF: a byte at a time, as a count
])
def test_the_first_byte_or_character_the_engine_cannot_convert_is_named(library, data, start,
                                                                       replaced):
    from vorn_ulo.encoding import decode_library, encode_library

    with pytest.raises(UnicodeDecodeError) as error:
        decode_library(data)
    assert error.value.start == start
    assert decode_library(data, "replace") == replaced
    with pytest.raises(UnicodeEncodeError) as error:
        encode_library("a\U0001F600\ue78d")  # a private-use character without a form
    assert error.value.start == 2
