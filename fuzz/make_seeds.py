#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Run once from the repository's top folder; the seeds are committed. Each
seed is a small well-formed input (or a near miss) that reaches deep into
its parser, so that fuzzing starts from the interesting shapes.
"""
import gzip
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def put(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def bundle(members, count=None):
    data = b""
    records = []
    for name, payload in members:
        start = len(data)
        data += payload
        records.append((start, len(data), name))
    trailer = struct.pack("<i", len(members) if count is None else count) + b"\0" * 85
    for start, end, name in records:
        trailer += struct.pack("<iiB", start, end, len(name)) + name.ljust(80, b"\0")[:80]
    trailer = trailer.ljust(89 * 101, b"\0")
    return data + trailer


def datec(records):
    out = b""
    for name, folder, days, size in records + [(b"", b"", 0.0, len(records) + 1)]:
        out += (bytes([len(name)]) + name.ljust(30, b"\0") + bytes([len(folder)]) + folder.ljust(40, b"\0")
                + b"\0" + struct.pack("<d", days) + struct.pack("<i", size))
    return out


server = (b"UPDATE\r\nE Core.GZP System\\Core.u 2026120801 1234\r\nO Readme.txt Readme.txt 2026120801 50\r\n"
          b"T Trees.bnd.gz Trees.bnd 2026120801 999 Trees\r\n  C  Maps.bnd.gz   Maps.bnd 2026120802 77\r\n")
record = b"AVWSEN\r\n\r\nsystem\\core.u 2026120800\r\nReadme.txt 2026120801\r\nTREES.BND 2026120901\r\n"
put("fuzz_list_compare", "update", server + b"\0" + record)
put("fuzz_list_compare", "fresh", server + b"\0AVWSEN\r\n")
put("fuzz_list_compare", "hostile", b"UPDATE\nE ..\\x.gz C:\\y 1 2\nO /abs /abs 9 9\nU 3 E a b c d\n\0AVWSEN\r\n\r\n")

put("fuzz_bundle", "two_members", bundle([(b"Textures\\Oak.pcx", b"oak" * 20), (b"Maps\\One.map", b"map")]))
put("fuzz_bundle", "escaping", bundle([(b"..\\up.txt", b"up"), (b"/abs.txt", b"abs"), (b"C:\\d.txt", b"d")]))
put("fuzz_bundle", "count_101", bundle([(b"a.txt", b"a")], count=101))
put("fuzz_bundle", "negative_count", bundle([(b"a.txt", b"a")], count=-3))

put("fuzz_datec", "two_files", datec([(b"Core.u", b"System\\", 46000.5, 6), (b"Readme.txt", b"", 46001.25, 7)]))
put("fuzz_datec", "huge_count", datec([])[:-4] + struct.pack("<i", 70000))
put("fuzz_datec", "short", b"\x05abcde")

login = [b"220-Welcome\r\n 220 indented\r\n220 ready\r\n", b"331 Password required\r\n", b"230 Logged in\r\n",
         b"200 Type set to I\r\n"]
listing = [b"200 PORT ok\r\n", b"150 Here comes the listing (24 bytes)\r\nupdate3.dat\r\nbulletin.htm\r\n",
           b"226-Listing sent\r\n226 done\r\n"]
active = [b"200 PORT ok\r\n", b"150 Opening BINARY mode data connection for a.bin (4294967296 bytes).\r\n",
          b"226 Transfer complete\r\n"]
passive = [b"227 Entering Passive Mode (127,0,0,1,200,10).\r\n", b"150-Opening\r\n150 (12 BYTES)\r\n",
           b"226 ok\r\n"]
put("fuzz_ftp_replies", "session", b"\0".join(login + listing + active + passive))
put("fuzz_ftp_replies", "refusals", b"\0".join(login[:2] + [b"530 Login incorrect.\r\n"]))
put("fuzz_ftp_replies", "refused_retr", b"\0".join(login + listing + [b"200 PORT ok\r\n", b"550 a.bin: no\r\n"]))
put("fuzz_ftp_replies", "greeting_421", b"421 Too many users\r\n")

# fuzz_ftp_reply: two bytes of bounds (lines, 16-byte units), then the stream.
put("fuzz_ftp_reply", "session", b"\x3f\xff" + b"".join(login + listing + active + passive))
put("fuzz_ftp_reply", "bounds", b"\x02\x03" + b"230-a\r\n230-b\r\n230-c\r\n230 d\r\n 220 x\r\n221 end")
put("fuzz_ftp_reply", "pasv", b"\x05\x40" + b"227 (10,0,0,1,255,255)\r\n227 =1,2,3,4,5,6\r\n227 1,2,3,4,256,1\r\n")

put("fuzz_ini", "config", b"[HOMEPAGE]\r\nHOME=http://example.invalid/\r\n ACCOUNT = 'acct' \r\n; comment\r\n"
    b"[execute]\rEXEFILE=\"Quelmar.exe kvx\"\n[HOMEPAGE]\nHOME=second\n")
put("fuzz_ini", "broken", b"[HOMEPAGE\nHOME\n=value\n[]\n=\n")

put("fuzz_big5", "text", "更新完成 files 檔案使用中無法更新".encode("big5") + b"\xa1\x40\xf9\xfe\x81\x30\xff")
put("fuzz_big5", "odd", b"\xa4\xa4\xa4")

text = b"".join(b"line %d of the sample\r\n" % i for i in range(400))
put("fuzz_gzip", "member", gzip.compress(text))
put("fuzz_gzip", "two_members", gzip.compress(b"first ") + gzip.compress(b"second"))
put("fuzz_gzip", "truncated", gzip.compress(text)[:-9])
put("fuzz_gzip", "plain", b"not gzip at all\r\n")

# A throwaway key pair of the tests (its public key is in fuzz_minisign.cc)
# and signatures of that target's file: by mkupdate, by minisign with its
# own trusted comment, and of the legacy kind.
put("fuzz_minisign", "public_key", b"untrusted comment: minisign public key 6F4FDC0121191270\n"
    b"RWRwEhkhAdxPb9iCl7rRQEKWsTGtxXx3Cj+D6KgHTC0O18cBcIppYMfT\n")
put("fuzz_minisign", "secret_key", b"untrusted comment: minisign secret key without a password\n"
    b"RWQAAEIyAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAcBIZIQHcT29O6iSvPmZyKWRxCXjD/ifvZk9mSmX"
    b"iLQFCnb7KtrsxadiCl7rRQEKWsTGtxXx3Cj+D6KgHTC0O18cBcIppYMfT8z+WidKZ03LMEcA0vToHbyc7Ya/nIwzBEeH5h9Ym7z0=\n")
put("fuzz_minisign", "signature", b"untrusted comment: signature from secret key 6F4FDC0121191270\n"
    b"RURwEhkhAdxPb7BozFQStqAUs/zdbvJhssOp6ywhqSDXr+5g0Mfn34AO8DQ5E7QOiNDdyBBPPZfti3mxQxzsCySZqZ7laS5IsQY=\n"
    b"trusted comment: timestamp:1796731028\texpires:1799323028\n"
    b"4EBDjPy/K/wxDzJH9aSdKgNGgB9/b6nWNk8y0F9bayWiSz7n9GsoJOHFWlHQwmxwex99NUSJpdY31lNkmf0/DA==\n")
put("fuzz_minisign", "minisign_comment", b"untrusted comment: signature from minisign secret key\r\n"
    b"RURwEhkhAdxPb7BozFQStqAUs/zdbvJhssOp6ywhqSDXr+5g0Mfn34AO8DQ5E7QOiNDdyBBPPZfti3mxQxzsCySZqZ7laS5IsQY=\r\n"
    b"trusted comment: timestamp:1796731028\tfile:update3.dat\thashed\r\n"
    b"KA/lIs6DKcGjq1AuLrW58gOaodeFhfDybJMVstzqenlKXsV97fu4lL8GvAckOfZAEsuDreK2J64GIBfV65UoDg==\r\n")
put("fuzz_minisign", "legacy", b"untrusted comment: signature from minisign secret key\n"
    b"RWRwEhkhAdxPb9NosJKK8YsG353GOeYEOOV1EE2+WvQfur/LSnWryQt+REqgS9Z8ECFZBZqgITrzI+06kggFMRW4gHwykds4cwk=\n"
    b"trusted comment: timestamp:1796731028\tfile:update3.dat\n"
    b"pBS6XFlIRVNMyfuS/EvuYERygQH/6dnKIzJtExMy9sIEFhUknk7G3m58SEzMj/WlJAo8CUhdWpRR/Owye2KVDQ==\n")

# Server list lines: a plain FTP line and URL lines with and without a port,
# an IPv6 address and a folder.
put("fuzz_server_line", "plain", b"Main 127.0.0.1 2121 10000 anonymous\r\n")
put("fuzz_server_line", "url", b"Web https://[::1]:8443/game/patch 0 10000 anonymous")
put("fuzz_server_line", "short", b"CDN http://cdn.example/ 0 5000")

# fuzz_content_range: values of a Content-Range header.
put("fuzz_content_range", "whole", b"bytes 100-199/200")
put("fuzz_content_range", "unknown_length", b"Bytes 0-0/*")
put("fuzz_content_range", "unsatisfied", b"bytes */200")
put("fuzz_content_range", "large", b" bytes 5368709120-5368709121/5368709122 ")

# fuzz_byte_ranges_body: a piece size byte, then a multipart/byteranges
# body whose boundary is "b".
put("fuzz_byte_ranges_body", "two_parts",
    b"\x07\r\n--b\r\nContent-Type: application/octet-stream\r\nContent-Range: bytes 0-2/10\r\n\r\nabc"
    b"\r\n--b\r\nContent-Range: bytes 7-9/10\r\n\r\nxyz\r\n--b--\r\n")
put("fuzz_byte_ranges_body", "bare_line_ends", b"\x01preamble\n--b \nContent-Range: bytes 5-6/*\n\nxy\n--b--")
put("fuzz_byte_ranges_body", "too_long_part", b"\x40--b\r\nContent-Range: bytes 0-1/10\r\n\r\nabc\r\n--b--\r\n")


def varint(value):
    out = b""
    while value >= 0x80:
        out += bytes([0x80 | (value & 0x7F)])
        value >>= 7
    return out + bytes([value])


def chunk_index(form, lengths, served_lengths=None, installed=None, served=None, first=None):
    """A chunk index (delta/chunk_index.h) with the default chunker, its chunks' digests made up."""
    installed = sum(lengths) if installed is None else installed
    served = (sum(served_lengths) + 10 + 13 if form else installed) if served is None else served
    first = (10 if form else 0) if first is None else first
    out = b"CDX1" + b"".join(varint(v) for v in (1, 8192, 15, 131072, 16, form, installed, served, first,
                                                len(lengths)))
    for k, length in enumerate(lengths):
        out += varint(length) + (varint(served_lengths[k]) if form else b"") + bytes([k]) * 16
    return out


# fuzz_chunk_index: a plain and a flushed gzip index, a near miss (lengths
# one short of the installed size) and a count past what the bytes hold.
put("fuzz_chunk_index", "plain", chunk_index(0, [40000, 9000, 70000, 123]))
put("fuzz_chunk_index", "gzip", chunk_index(1, [40000, 131072, 17], [12000, 131600, 20]))
put("fuzz_chunk_index", "short_by_one", chunk_index(0, [40000, 9000], installed=49001))
put("fuzz_chunk_index", "huge_count", b"CDX1" + b"".join(varint(v) for v in (1, 8192, 15, 131072, 16, 0, 1 << 40,
                                                                          1 << 40, 0, 1 << 33)))
