#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Small hand-made inputs that reach each reader's paths; the fuzzer grows from them. Run it
again after changing a format; the files are committed.
"""
import os
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SEP = b"\xff"  # separates the texts of one input (see FuzzCommon.h)


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# Comma list: first byte odd = a list of items, even = a text to read.
write("comma_list", "items", b"\x01" + SEP.join([b"a", b"", b"b c", b'q"uote', b"x,y", b"\t"]))
write("comma_list", "empty-item", b"\x01")
write("comma_list", "text", b'\x00a, "b c" ,"d""e",,f,')
write("comma_list", "unclosed", b'\x00"abc,  \x01 x')
write("comma_list", "font", b'\x00FontColSettings,"clBlack,1,0,0,$00FFFFFF"')

# Grid file.
write("grid_file", "plain", b"GenerelSettings,0\r\nFontColSettings\r\nFontRowSettings\r\nUserSettings\r\n"
      b"-1,-1,-1,-1,-1,-1\r\nNr.,Name\r\n7,\r\n")
write("grid_file", "fonts", b"GenerelSettings,1\r\nFontColSettings,\"clRed,1,0,1,clWindow\",\"$000000FF,0,1,0,-16777211\"\r\n"
      b"FontRowSettings,\"clBlack,0,0,0,clWhite\"\r\nUserSettings,a,\"b c\"\r\n"
      b"800,600,64,120,10,20\r\nNr.,\"Name Vorname\"\r\n12,\"M\xfcller, Hans\"\r\n3,Anna\r\n")
write("grid_file", "no-settings", b"-1,-1,-1,-1,-1\r\nA\r\n2\r\n1\r\n")
write("grid_file", "torn", b"GenerelSettings,0\r\nFontColSettings,\"clBl")

# Participant list.
write("participant_list", "header", b"Nr.\tName\tKat\r\n1\tAnna Berger\tF\r\n2\tJ\xf6rg Wei\xdf\tM\r\n")
write("participant_list", "utf8", b"\xef\xbb\xbf12\t  Zo\xc3\xab\t\tW\n\n13\tMax\n")
write("participant_list", "blanks", b" \t 7 \t\t Name  \t M\r\r\n\t\t\n")

# Key store: first byte picks the key spelling and the written type, then the written text.
REG = (b"Windows Registry Editor Version 5.00\r\n\r\n[Software\\Veltrano]\r\n"
       b"\"Left\"=dword:00000064\r\n\"Name\"=\"Anna \\\"A\\\" \\\\ B\\r\\n\"\r\n@=\"default\"\r\n"
       b"\"Blob\"=hex:01,02\r\n\r\n[Software\\Veltrano\\Sub]\r\n\"x\"=dword:ffffffff\r\n")
write("key_store", "typical", b"\x00" + b"written text" + SEP + REG)
write("key_store", "text-write", b"\x03" + "Zoë \"q\" \\".encode() + SEP + REG)
write("key_store", "torn", b"\x01" + SEP + REG[:90])
write("key_store", "wrong-types", b"\x02" + SEP + b"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Software\\Veltrano]\r\n"
      b"\"Left\"=\"100\"\r\n\"Name\"=dword:1\r\n\"Top\"=dword:\r\n")

# 8-bit text.
write("ansi_text", "cp1252", b"J\xf6rg\r\nWei\xdf\r\n\x80\x81\x8d\r\n")
write("ansi_text", "utf8-bom", b"\xef\xbb\xbfZo\xc3\xab\nx\r")
write("ansi_text", "mixed-ends", b"a\rb\nc\r\n\r\nd")
write("ansi_text", "broken-utf8", b"\xc3\x28\xe2\x82\n\xf0\x9f\x98\x80")

# Float edit: setup byte (separator, digits, lower bound), upper bound byte, typed keys, start text.
write("fl_edit", "typing", b"\x12\x04" + b"12,5\x013\x02,7" + SEP + b"0,0")
write("fl_edit", "minus", b"\x20\x05" + b"-1e3\x03-,5" + SEP)
write("fl_edit", "exponent", b"\x03\x05" + b"1,5E+2" + SEP + b"99")

# Sort comparisons: two texts.
for name, a, b in [("numbers", b"1,5", b"-2,25"), ("dates", b"07.12.2026 23:15", b"1.1.1970"),
                   ("times", b"23:59:59", b"0:00"), ("extended", b"abc10x2", b"abc9x10"),
                   ("ints", b"  -2147483648", b"+0x10"), ("umlaut", "Ärger".encode(), b"zebra")]:
    write("sort_compare", name, a + SEP + b)


# Race journal: first byte 0 = a line, 1 = a line whose checksum the target adds, 2 = a file.
def journal_line(seq, event, rows, row_count=3, state=b"running"):
    fields = [b"VJ1", str(seq).encode(), event, b"123456", b"1796684400000", b"boot-1", state,
              b"120000", b"0", b"5000", b"5000", b"5000", b"5000", b"5000", b"0", b"1", str(row_count).encode()]
    for index, cells in rows:
        fields.append(b"#" + str(index).encode())
        fields += (cells + [b""] * 14)[:14]
    body = b"\t".join(fields)
    return body + b"\t*" + b"%08x" % (zlib.crc32(body) & 0xFFFFFFFF) + b"\n"


header = [b"Nr.", b"Name", b"Kat", b"Runde 1"]
first = journal_line(1, b"OPEN", [(0, header), (1, [b"7", b"Anna\\tB\\\\", b"F"]), (2, [])])
second = journal_line(2, b"START", [(1, [b"7", b"Anna", b"F", b"", b"", b"", b"", b"", b"", b"", b"", b"", b"120000", b"120000"])])
closing = journal_line(3, b"CLOSE", [], state=b"ended")
write("journal", "line", b"\x00" + first[:-1])
write("journal", "body", b"\x01" + first[:first.rindex(b"\t*")])
write("journal", "file", b"\x02" + first + second + closing)
write("journal", "torn", b"\x02" + first + second[:40])
write("journal", "damaged-middle", b"\x02" + first + second.replace(b"Anna", b"Anne") + closing)


# The second journal format: a correction count after the fixed fields, each row's times after
# its cells, and new corrections behind the rows.
def journal_line_v2(seq, event, rows, corrections, count, row_count=3, state=b"running"):
    fields = [b"VJ2", str(seq).encode(), event, b"123456", b"1796684400000", b"boot-1", state,
              b"120000", b"0", b"5000", b"5000", b"5000", b"5000", b"5000", b"0", b"1", str(row_count).encode(),
              str(count).encode()]
    for index, cells in rows:
        fields.append(b"#" + str(index).encode())
        fields += (cells + [b""] * 15)[:15]
    fields += [b"+" + c for c in corrections]
    body = b"\t".join(fields)
    return body + b"\t*" + b"%08x" % (zlib.crc32(body) & 0xFFFFFFFF) + b"\n"


rider = [b"7", b"Anna", b"F", b"", b"", b"", b"", b"0,9", b"1", b"", b"0,9", b"120900", b"120000", b"K120000|120900|"]
correction = b"08.12.2026 10:15:00\\tNr. 7\\tRunde eingef\xc3\xbcgt\\t\\t0,9"
v2_first = journal_line_v2(1, b"RESTORE", [(0, header), (1, rider), (2, [])], [correction], 1)
v2_second = journal_line_v2(2, b"UNDO", [(1, rider[:13] + [b"120000", b"K120000||"])], [correction], 2)
write("journal", "second-format-line", b"\x00" + v2_first[:-1])
write("journal", "second-format-file", b"\x02" + v2_first + v2_second + closing)


# The third journal format: the number of open times after the correction count, and the whole
# list of them as ~ entries behind the corrections when it changed.
def journal_line_v3(seq, event, rows, corrections, count, open_times, open_count, row_count=3, state=b"running"):
    fields = [b"VJ3", str(seq).encode(), event, b"123456", b"1796684400000", b"boot-1", state,
              b"120000", b"0", b"5000", b"5000", b"5000", b"5000", b"5000", b"0", b"1", str(row_count).encode(),
              str(count).encode(), str(open_count).encode()]
    for index, cells in rows:
        fields.append(b"#" + str(index).encode())
        fields += (cells + [b""] * 15)[:15]
    fields += [b"+" + c for c in corrections] + [b"~" + t for t in open_times]
    body = b"\t".join(fields)
    return body + b"\t*" + b"%08x" % (zlib.crc32(body) & 0xFFFFFFFF) + b"\n"


open_times = [b"121500|7|", b"121800||", b"1|\\t|\\n"]
v3_first = journal_line_v3(1, b"RESTORE", [(0, header), (1, rider), (2, [])], [correction], 1, open_times[:1], 1)
v3_time = journal_line_v3(2, b"TIME", [], [], 1, open_times, 3)
v3_lap = journal_line_v3(3, b"LAP", [(1, rider)], [], 1, [], 3)
v3_drop = journal_line_v3(4, b"DROP", [], [], 1, open_times[1:2], 1)
v3_closing = journal_line_v3(5, b"CLOSE", [], [], 1, open_times[1:2], 1, state=b"ended")
write("journal", "third-format-line", b"\x00" + v3_time[:-1])
write("journal", "third-format-file", b"\x02" + v3_first + v3_time + v3_lap + v3_drop + v3_closing)
