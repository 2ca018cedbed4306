#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/.

Each seed is a plausible input laid out the way its target reads it (settings bytes first, then
the bytes under test), so the fuzzer starts from replies that pass the first checks. Run it again
after changing a target's input layout; the files it writes are committed.
"""
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent / "corpus"


def write(target, name, data):
    folder = HERE / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(bytes(data))


def piece(data):
    data = bytes(data)
    assert len(data) < 256
    return bytes([len(data)]) + data


# Identification replies ----------------------------------------------------------------------

def part_number(ring, code, turn):
    return (ring.ljust(8, "0") + code + turn).ljust(16, "X").encode("latin-1")[:16]


def identification(part, serial=b"123456", major=2, minor=9, protocol=3, revision=0x102):
    assert len(part) == 16
    reply = b"vQuarn-2 " + serial.ljust(6, b"?")[:6] + b"#@!" + part + b"%"
    reply += bytes([major, minor, protocol]) + struct.pack(">I", revision)
    assert len(reply) == 42
    return reply


write("fuzz_identification", "qx108_19_multiturn", identification(part_number("QX108", "19", "M")))
write("fuzz_identification", "qy1_16_singleturn", identification(part_number("QY1", "16", "S")))
write("fuzz_identification", "qx105_18_minor8", identification(part_number("QX105", "18", "S"), minor=8))
write("fuzz_identification", "unknown_code_22", identification(part_number("QX101", "22", "m")))
write("fuzz_identification", "revision_ffffffff",
      identification(part_number("QX109", "21", "M"), revision=0xFFFFFFFF))
write("fuzz_identification", "surplus_byte", identification(part_number("QX103", "17", "M")) + b"\x55")
write("fuzz_identification", "hostile_part", identification(b"../..\\\x01\x7f:*?<>|\r\n", serial=b"..\x00/ \xff"))
write("fuzz_identification", "no_blank", b"vQuarn-2X" + bytes(33))
write("fuzz_identification", "short", identification(part_number("QX105", "18", "S"))[:41])

# Poll replies ---------------------------------------------------------------------------------

RESOLUTION_CHOICE = {16: 0, 17: 1, 18: 2, 19: 3, 20: 4, 21: 5}
LENGTHS = {0: [0, 4, 3, 6, 6, 7, 5, 6], 1: [0, 6, 5, 8, 8, 9, 7, 8]}
COMMANDS = "013djsta"


def poll(index, multiturn, bits, reply, code_length=8, locale=0, width=150):
    identity = multiturn | (RESOLUTION_CHOICE[bits] << 1) | ((code_length - 5) << 4)
    return bytes([index & 0xFF, identity, locale, width]) + bytes(reply)


for multiturn in (0, 1):
    for index in range(1, 8):
        length = LENGTHS[multiturn][index]
        reply = bytearray(range(0x11, 0x11 + length))
        if index != 2:
            reply[0] = ord(COMMANDS[index])
        word_end = (0 if index == 2 else 1) + (5 if multiturn else 3)
        reply[word_end - 1] |= 0x02  # no error
        write("fuzz_poll_reply", f"index{index}_{'multi' if multiturn else 'single'}turn",
              poll(index, multiturn, 18 + multiturn, reply, locale=index % 4))

write("fuzz_poll_reply", "position_18bit", poll(1, 0, 18, b"\x31\x12\x34\x56"))
write("fuzz_poll_reply", "half_turn_21bit", poll(2, 1, 21, b"\xFF\xFE\x80\x00\x02"))
write("fuzz_poll_reply", "top_count_17bit", poll(1, 0, 17, b"\x31\xFF\xFF\xFE", locale=1))
write("fuzz_poll_reply", "speed_negative", poll(5, 0, 18, b"s\x12\x34\x56\xFF\xFF\xFE"))
write("fuzz_poll_reply", "speed_largest", poll(5, 1, 20, b"s\x00\x00\x12\x34\x56\x7F\xFF\xFF", locale=2))
write("fuzz_poll_reply", "temperature_minus10", poll(6, 0, 18, b"t\x12\x34\x56\xF6"))
write("fuzz_poll_reply", "signal_zero", poll(7, 0, 18, b"a\x12\x34\x56\x00\x00", code_length=5))
write("fuzz_poll_reply", "error_bit_clear", poll(3, 0, 16, b"d\x12\x34\x54\xFF\xFF"))
write("fuzz_poll_reply", "short_reply", poll(4, 1, 19, b"j\x01"))
write("fuzz_poll_reply", "index_out_of_range", poll(0x80, 0, 18, b"1\x12\x34\x56"))

# Self-calibration status ----------------------------------------------------------------------


def selfcal(initial, final, finished=0, ring=4, locale=0, elapsed=11050):
    settings = finished | (ring << 1) | (locale << 5)
    return bytes([settings]) + struct.pack(">q", elapsed) + piece(initial) + bytes(final)


idle = b"i\x01\x00\x00\x00\x00\x00\x00"
write("fuzz_self_calibration", "finished_clean", selfcal(idle, b"i\x02\x00\x64\x00\x2D\xFF\xFE"))
write("fuzz_self_calibration", "no_correction", selfcal(idle, b"i\x22\x00\x0A\x01\x00\x00\x05", ring=5))
write("fuzz_self_calibration", "unchanged", selfcal(idle, idle, locale=1))
write("fuzz_self_calibration", "all_flags", selfcal(idle, b"i\x7F\xFF\xFF\xFF\xFF\x80\x00", ring=9, locale=2))
write("fuzz_self_calibration", "short_replies", selfcal(b"i\x01", b"i", elapsed=-5))
write("fuzz_self_calibration", "huge_elapsed", selfcal(b"", idle, elapsed=(1 << 63) - 1, ring=10, locale=3))

# Debug records --------------------------------------------------------------------------------


def debug_record(samples, decod_select=3, code_a=45, code_b=0x1FF, header=b"D"):
    record = bytearray(header)
    for n in range(53):
        record += struct.pack(">h", samples[n])
    record += struct.pack(">I", 4000000000) + b"\x00\x00"
    record += bytes([decod_select]) + struct.pack(">HH", code_a, code_b) + b"\x00\x00"
    record += struct.pack(">HHHH", 3100, 60000, 0x8005, 3300) + b"\x07"
    assert len(record) == 129
    return bytes(record)


import math  # noqa: E402

wave8 = [round(1000 * math.cos(2 * math.pi * 8 * (i - 1) / 48)) for i in range(53)]
wave6 = [round(200 * math.sin(2 * math.pi * i / 8)) for i in range(53)]
extremes = [(-32768 if n % 2 else 32767) for n in range(53)]
for length in range(5, 10):
    write("fuzz_debug_record", f"length{length}", bytes([length + 3]) + debug_record(wave8, decod_select=length))
write("fuzz_debug_record", "cosine_length8", bytes([11]) + debug_record(wave8, decod_select=0))
write("fuzz_debug_record", "sine_length6", bytes([9]) + debug_record(wave6, decod_select=9))
write("fuzz_debug_record", "no_markers", bytes([12]) + debug_record(extremes, decod_select=255))
write("fuzz_debug_record", "wrong_header", bytes([10]) + debug_record(wave6, header=b"d"))
write("fuzz_debug_record", "surplus", bytes([8]) + debug_record(wave8) + b"\xAA\xBB")
write("fuzz_debug_record", "short", bytes([11]) + debug_record(wave8)[:100])
write("fuzz_debug_record", "no_layout", bytes([0x0F]) + debug_record(wave8, decod_select=0))

# Recording ------------------------------------------------------------------------------------


def recording(part, serial, msecs, poll_reply, record, elapsed=2500):
    data = piece(part) + piece(serial) + struct.pack(">q", msecs)
    data += struct.pack(">IhiHb", elapsed, -2, 18641, 1234, -10)
    return data + piece(poll_reply) + record


feb15 = 1707987907000  # 2024-02-15 09:05:07 UTC
midnight = 1704067200000  # 2024-01-01 00:00:00 UTC
write("fuzz_recording", "plain", recording(b"AB1234567890XYZW", b"000042", feb15, b"\x31\x12\x34\x56",
                                           debug_record(wave8)))
write("fuzz_recording", "midnight", recording(b"QX105000218SXXXX", b"123456", midnight, b"3\xFF\xFE\x80\x00\x02",
                                              debug_record(wave6)))
write("fuzz_recording", "separators", recording(b"../../etc/passwd", b"..\\a/b", feb15, b"",
                                                debug_record(extremes)))
write("fuzz_recording", "dot_dot", recording(b"..", b".", -1, b"\xFF" * 9, b"D"))
write("fuzz_recording", "control_bytes", recording(bytes(range(16)), b"\x7f\x80\x9f:*?", 0,
                                                   b"a\x00\x00\x00\x00\x00", b"", elapsed=0xFFFFFFFF))

# Port list ------------------------------------------------------------------------------------


def utf16(text):
    return text.encode("utf-16-be", "surrogatepass")


def port_list(name, description, extra):
    return piece(utf16(name)) + piece(utf16(description)) + extra


write("fuzz_port_list", "adapter_and_pty", port_list("ttyUSB0", "FT232R USB UART", b"/dev/pts/3:/tmp/quarn-sim"))
write("fuzz_port_list", "empty_paths", port_list("ttyACM0", "Quarn USB", b"::/dev/ttyUSB0::"))
write("fuzz_port_list", "builtin_no_description", port_list("ttyS0", "", b"relative"))
write("fuzz_port_list", "same_device_twice", port_list("ttyS1", "", b"/dev/ttyS1:/tmp/a:/tmp/a"))
write("fuzz_port_list", "wide_characters",
      port_list("ttyUSB\u00e97", "Ser\u00e9ial\U0001F50C\U0001F50C", "/tmp/d\u00e9vice\U0001F50Cxx".encode()))
write("fuzz_port_list", "lone_surrogate", port_list("tty\ud800VCP", "\ud800", b"/dev/\xff\xfe:/x y"))
