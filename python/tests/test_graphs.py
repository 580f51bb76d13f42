"""Exports read back by other tools' own parsers: Python's csv and ElementTree, networkx,
SciPy."""

import csv
import xml.etree.ElementTree as ET
from collections import Counter

import pytest

import vorn_ulo
from conftest import run_ulo, write_pairs

# Words that need care in every format: Traditional and Simplified Chinese, accents, an
# emoji, CSV's and XML's special characters, two words that differ only in control characters
# XML cannot hold.
PAIRS = [("進程", "管理", 3), ("café", 'a&b<"c>', 2), ("x,y", "文件", 1), ("ctl\x01", "文件", 2),
         ("ctl\x02", "文件", 5), ("🙂", "文件", 4)]


def both_ways(rows):
    return rows + [(w2, w1, c) for w1, w2, c in rows]


def frequencies(rows):
    total = {}
    for w1, w2, c in rows:
        total[w1] = total.get(w1, 0) + c
        total[w2] = total.get(w2, 0) + c
    return total


def xml_text(word):
    """XML 1.0 has no form for a control character: it shows as U+FFFD."""
    return word.replace("\x01", "\ufffd").replace("\x02", "\ufffd")


def read_csv(path, encoding):
    with open(path, encoding=encoding, newline="") as file:
        rows = list(csv.DictReader(file))
    return None, [(r["word1"], r["word2"], int(r["count"])) for r in rows], []


def read_gexf(path, encoding):
    ns = {"g": "http://gexf.net/1.3"}
    root = ET.parse(path).getroot()
    assert root.get("version") == "1.3"
    graph = root.find("g:graph", ns)
    labels, frequency = {}, []
    for node in graph.iterfind("g:nodes/g:node", ns):
        labels[node.get("id")] = node.get("label")
        value = node.find("g:attvalues/g:attvalue[@for='frequency']", ns)
        frequency.append((node.get("label"), int(value.get("value"))))
    edges = []
    for edge in graph.iterfind("g:edges/g:edge", ns):
        count = edge.find("g:attvalues/g:attvalue[@for='count']", ns).get("value")
        edges.append((labels[edge.get("source")], labels[edge.get("target")], int(count)))
    return graph.get("defaultedgetype") == "directed", edges, frequency


def read_networkx(graph, names=None):
    """Its edges (word, word, count) and (word, frequency) of its nodes, each node named by
    `names` or itself."""
    name = names.get if names else (lambda node: node)
    edges = [(name(u), name(v), d["count"]) for u, v, d in graph.edges(data=True)]
    return graph.is_directed(), edges, [(name(n), f) for n, f in graph.nodes(data="frequency")]


def read_graphml(path, _):
    nx = pytest.importorskip("networkx")
    graph = nx.read_graphml(path)
    return read_networkx(graph, dict(graph.nodes(data="label")))


@pytest.mark.parametrize("way", ["both", "one"])
@pytest.mark.parametrize("fmt,to,reader", [
    ("csv", "UTF-8", read_csv),
    ("gexf", "UTF-8", read_gexf),
    ("csv", "GB18030", read_csv),
    ("graphml", "UTF-8", read_graphml),
    ("networkx", "UTF-8", None),
])
def test_exports_hold_the_words_and_counts(tmp_path, way, fmt, to, reader):
    rows = both_ways(PAIRS) if way == "both" else PAIRS
    pairs = write_pairs(tmp_path / "pairs.txt", rows, encoding="gb18030")
    if fmt == "networkx":
        pytest.importorskip("networkx")
        directed, edges, frequency = read_networkx(vorn_ulo.to_networkx(pairs, min_count=1))
    else:
        out = vorn_ulo.export(pairs, tmp_path / f"out.{fmt}", min_count=1, to=to)
        directed, edges, frequency = reader(out, to)
    # XML labels lose what XML cannot hold; networkx's nodes are the words themselves.
    shown = xml_text if fmt in ("gexf", "graphml") else (lambda w: w)
    # Counted both ways, each pair once and undirected; one way, as counted.
    key = (lambda *pair: pair) if way == "one" else (lambda *pair: frozenset(pair))
    if directed is not None:
        assert directed == (way == "one")
    assert Counter((key(w1, w2), c) for w1, w2, c in edges) == Counter(
        (key(shown(w1), shown(w2)), c) for w1, w2, c in PAIRS)
    if frequency:
        assert Counter(frequency) == Counter(
            (shown(w), f) for w, f in frequencies(rows).items())


def test_a_word_the_encoding_lacks_is_written_with_a_warning(tmp_path):
    pairs = write_pairs(tmp_path / "p.txt", [("a", "b", 1), ("a", "文件", 2)], encoding="gb18030")
    with pytest.warns(UnicodeWarning, match="1 word holds characters that latin1 lacks"):
        out = vorn_ulo.export(pairs, tmp_path / "o.csv", min_count=1, to="latin1")
    rows = [line.split(b",")[:3] for line in out.read_bytes().splitlines()[1:]]
    assert rows == [[b"a", b"b", b"1"], [b"a", b"??", b"2"]]


def test_a_ranking_exports_as_each_words_list(tmp_path, ulo):
    pairs = write_pairs(tmp_path / "pairs.txt", both_ways(PAIRS), encoding="gb18030")
    ranked = tmp_path / "ranked.txt"
    run_ulo(ulo, "rank", pairs, ranked, "--min-count", "1", "--top", "1")
    run_ulo(ulo, "export", ranked, tmp_path / "ranked.csv")
    lines = [line.split("\t") for line in ranked.read_text(encoding="utf-8").splitlines()]
    with open(tmp_path / "ranked.csv", encoding="utf-8", newline="") as file:
        rows = [list(row.values()) for row in csv.DictReader(file)]
    assert rows == lines
    nx = pytest.importorskip("networkx")
    graph = vorn_ulo.to_networkx(ranked)
    assert isinstance(graph, nx.DiGraph)
    assert {(w, o): (int(c), s) for w, o, _, c, s in lines} == {
        (u, v): (d["count"], d["side"]) for u, v, d in graph.edges(data=True)}


def test_to_sparse_round_trips_the_counts(tmp_path):
    pytest.importorskip("scipy")
    rows = both_ways(PAIRS) + [("文件", "文件", 5)]
    matrix, vocabulary = vorn_ulo.to_sparse(write_pairs(tmp_path / "p.txt", rows, "gb18030"))
    assert vocabulary == sorted(frequencies(rows))
    assert matrix.format == "csr" and matrix.nnz == len(rows)
    for w1, w2, c in rows:
        assert matrix[vocabulary.index(w1), vocabulary.index(w2)] == c


NOT_PAIRS = "is not a pair-count file"


# to_sparse takes only pair-count files.
@pytest.mark.parametrize("content,out,options,sentence,sparse", [
    ("打开 文件 描述符\n", "x.csv", {}, "is neither a pair-count file", NOT_PAIRS),
    ("word\tother\t0.5\t0.25\n", "x.gexf", {}, "its first line has 4 fields", NOT_PAIRS),  # top-N
    ("", "x.csv", {}, "is empty", None),
    ("a\tb\t1.5\t2\tafter\nb\tc\n", "x.csv", {}, "is not a ranking: line 2", NOT_PAIRS),
    ("a\tb\t3\n", "x.txt", {}, "cannot tell the format", None),
    ("a\tb\t3\n", "x.graphml", {"to": "GB18030"}, "written in UTF-8", None),
    ("a\tb\t3\n", "x.csv", {"direction": "after"}, "needs a top", None),
])
def test_the_wrong_input_is_refused_with_a_sentence(tmp_path, content, out, options, sentence,
                                                    sparse):
    path = tmp_path / "in.txt"
    path.write_text(content, encoding="utf-8")
    with pytest.raises(vorn_ulo.EngineError, match=sentence):
        vorn_ulo.export(path, tmp_path / out, **options)
    assert not (tmp_path / out).exists()
    if sparse:
        pytest.importorskip("scipy")
        with pytest.raises(vorn_ulo.EngineError, match=sparse):
            vorn_ulo.to_sparse(path)
