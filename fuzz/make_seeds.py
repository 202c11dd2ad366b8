#!/usr/bin/env python3
"""Writes the seed corpora of the line targets (receive, discovery, layer7).

Each seed starts as the target's picks (which command, procedure or scan,
with its arguments); the replay program of the target then runs it against
the simulated devices of a site file, and the line writes every answer the
devices gave into the seed (see fuzz/support/fuzz_line.h). The result
replays the same conversation without the simulator.

Usage: fuzz/make_seeds.py BUILD_DIR   (a build with the *_fuzz_replay programs)
"""
import os
import pathlib
import struct
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
DEMO = ROOT / "sites" / "demo.site"
EDGE = ROOT / "sites" / "search-edge.site"


def word(v):
    return struct.pack("<H", v)


def run(data):
    data = bytes(data)
    return word(len(data)) + data


def uid(vendor, serial, length=19):
    return vendor.encode() + bytes(length - 2 - len(serial)) + serial.encode()


# --- receive: per command: command word, address, arguments ----------------
SNRM, DISC, RR, INFO, XIDP, XIDU, SCAN, XADDR, XRESET, RAW, READ = range(11)
OFFER = bytes([5, 4, 0x50, 2, 0, 0, 6, 4, 0x50, 2, 0, 0, 7, 1, 1, 8, 1, 1])


def cmd(c, address, *args):
    return word(c) + bytes([address]) + b"".join(args)


RECEIVE = {
    "snrm_aisg2": cmd(SNRM, 1),
    "snrm_aisg1": cmd(SNRM, 2),
    "snrm_nobody": cmd(SNRM, 9),
    "disc_after_snrm": cmd(SNRM, 3) + cmd(DISC, 3),
    "rr_after_snrm": cmd(SNRM, 1) + cmd(RR, 1),
    "rr_unconnected": cmd(RR, 4),
    "xid_hdlc_params": cmd(XIDP, 1, run(OFFER)),
    "xid_aisg_version": cmd(XIDU, 1, run([0x14, 1, 2])),
    "xid_3gpp_release": cmd(XIDU, 3, run([0x05, 1, 6])),
    "xid_scan_all": cmd(SCAN, 0xFF, run(bytes(19)), run(bytes(19))),
    "xid_scan_vendor": cmd(SCAN, 0xFF, run(b"CC" + bytes(17)), run(b"\xff\xff" + bytes(17))),
    "xid_address_reset": cmd(XADDR, 1, run(bytes(19))),
    "xid_reset": cmd(XRESET, 0xFF),
    "info_get_info_aisg2": cmd(SNRM, 1) + cmd(INFO, 1, run([0x05, 0, 0])),
    "info_get_info_aisg1": cmd(SNRM, 2) + cmd(INFO, 2, run([1, 0x05, 0, 0])),
    "info_then_poll": cmd(SNRM, 5) + cmd(INFO, 5, run([0x0A, 0, 0])) + cmd(RR, 5),
    "raw_send_snrm": cmd(RAW, 0, run([0x7E, 0x01, 0x93, 0x7E])),
    "read_only": cmd(READ, 0),
}

# Answers written by hand rather than recorded: the corner cases of cutting a
# frame out of what arrives, each answering an SNRM to address 1.
RAW_TAG = 1


def raw(*data):
    return bytes([RAW_TAG]) + run(bytes(data))


RECEIVE_FIXED = {
    "ua_doubled_flags": cmd(SNRM, 1) + raw(0x7E, 0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E, 0x7E),
    "ua_then_second_frame": cmd(SNRM, 1) + raw(0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E, 0x7E, 0x02,
                                               0x73, 0x00, 0x00, 0x7E),
    "ua_trailing_bytes": cmd(SNRM, 1) + raw(0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E, 0x7E, 0x01),
    "ua_without_opening_flag": cmd(SNRM, 1) + raw(0x01, 0x73, 0x83, 0x57, 0x7E),
    "lone_zero_byte": cmd(SNRM, 1) + raw(0x00),
    "escaped_control_byte": cmd(SNRM, 1) + bytes([3, 0x7E]) + run(b""),
    "escape_before_other_byte": cmd(SNRM, 1) + bytes([3, 0x73]) + run(b"\x7d\x01"),
}

# --- discovery: operation, depth, address, arguments ------------------------
(SCAN_ALL, BSEARCH, SCAN_AT, SCAN_PATTERN, SCAN_KNOWN, SET_ADDR, ADD_ADDR, SET_ALL, RESET_ALL,
 HDLC, VERSIONS, REG_SCAN, REG_SINGLE) = range(13)


def op(o, depth, address, *args):
    return word(o) + word(depth - 1) + bytes([address]) + b"".join(args)


def record(unique, address, generation, devtype):
    return run(unique) + word(len(unique)) + bytes([address]) + word(generation) + bytes([devtype])


KA_MR = uid("KA", "MR4401203977")
DISCOVERY = {
    "scan_all_depth1": (DEMO, False, op(SCAN_ALL, 1, 0)),
    "scan_all_depth3_edge": (EDGE, False, op(SCAN_ALL, 3, 0)),
    "binary_search_depth1": (DEMO, False, op(BSEARCH, 1, 0)),
    "binary_search_depth2_edge": (EDGE, False, op(BSEARCH, 2, 0)),
    "scan_any_device": (DEMO, False, op(SCAN_AT, 1, 0xFF)),
    "scan_pattern_vendor": (DEMO, False, op(SCAN_PATTERN, 1, 0xFF, word(18), run(b"KA"),
                                             run(b"\xff\xff"), word(0))),
    "scan_known_device": (DEMO, False, op(SCAN_KNOWN, 1, 0, run(b"KA"), run(b"MR4401203977"))),
    "set_address": (DEMO, False, op(SET_ADDR, 1, 7, record(KA_MR, 7, 2, 17))),
    "add_address": (DEMO, False, op(ADD_ADDR, 1, 7, record(KA_MR, 7, 2, 17))),
    "set_all_addresses": (DEMO, False, op(SET_ALL, 1, 0, word(0), record(KA_MR, 1, 2, 17))),
    "reset_all_addresses": (DEMO, False, op(RESET_ALL, 1, 0)),
    "hdlc_params": (DEMO, True, op(HDLC, 1, 1)),
    "versions": (DEMO, True, op(VERSIONS, 1, 3, bytes([2]), bytes([6]), word(0))),
    "registry_scan_assign": (DEMO, False, op(REG_SCAN, 1, 0, bytes([1]))),
    "registry_scan_search_only": (DEMO, False, op(REG_SCAN, 1, 0, bytes([0]))),
    "registry_scan_single": (DEMO, False, op(REG_SINGLE, 1, 0, run(b"CC"), run(b"TD24090011"))),
}

# --- layer7: generation, address, procedure count, then per procedure ------
(ANY, DEVTYPE, INFO7, BITRATES, USERDATA, ALARMS, SELFTEST, DEVDATA, SUBDATA, RESET, WRITES,
 TILT, SETTILT, CALIBRATE, ANTENNA, TMA_MODE, TMA_SET, TMA_SUB, RET_OBJ, TMA_OBJ, LINK) = range(21)


def l7(generation, address, procedure, subunit=0, args=b"", value=0, *extra):
    return (bytes([generation - 1, address]) + word(0) + word(procedure) + word(subunit) +
            run(args) + word(value & 0xFFFF) + b"".join(extra))


LAYER7 = {
    "aisg2_get_info": l7(2, 1, INFO7),
    "aisg1_get_info": l7(1, 2, INFO7),
    "aisg1_device_type": l7(1, 2, DEVTYPE),
    "aisg1_bit_rates": l7(1, 2, BITRATES),
    "aisg2_user_data": l7(2, 1, USERDATA, 0, b"", 0, word(16)),
    "aisg2_alarms": l7(2, 5, ALARMS),
    "aisg1_alarms": l7(1, 2, ALARMS),
    "aisg2_self_test": l7(2, 5, SELFTEST),
    "aisg2_device_data_model": l7(2, 5, DEVDATA, 0, b"\x01"),
    "aisg2_device_data_tilt_range": l7(2, 5, DEVDATA, 0, b"\x06"),
    "aisg1_device_data_list": l7(1, 2, DEVDATA, 0, bytes([1, 2, 3, 4, 5, 6, 7, 0x21, 0x23, 0x26])),
    "aisg2_antenna_device_data": l7(2, 1, SUBDATA, 2, b"\x05", 0, bytes([0])),
    "aisg2_tma_subunit_device_data": l7(2, 3, SUBDATA, 1, b"\x11", 0, bytes([1])),
    "aisg2_get_tilt": l7(2, 5, TILT),
    "aisg1_get_tilt": l7(1, 2, TILT),
    "aisg2_set_tilt": l7(2, 5, SETTILT, 0, b"", 45),
    "aisg1_calibrate": l7(1, 2, CALIBRATE),
    "aisg2_antennas": l7(2, 1, ANTENNA, 2, b"\x06", 60),
    "aisg2_tma_mode_gain": l7(2, 3, TMA_MODE, 1),
    "aisg1_tma_mode_gain": l7(1, 4, TMA_MODE),
    "aisg2_tma_set": l7(2, 3, TMA_SET, 2, b"", 0x0101),
    "aisg2_tma_subunit": l7(2, 3, TMA_SUB, 1, b"\x13"),
    "aisg2_ret_object": l7(2, 1, RET_OBJ, 1, uid("KA", "MR4401203977"), 0, bytes([1])),
    "aisg1_ret_object": l7(1, 2, RET_OBJ, 1, b"", 0, bytes([0])),
    "aisg2_tma_object": l7(2, 3, TMA_OBJ, 1, b"", 0, bytes([1])),
    "aisg1_tma_object": l7(1, 4, TMA_OBJ, 0, b"", 0, bytes([0])),
    "aisg2_link": l7(2, 1, LINK),
    "aisg2_any_code_vendor": l7(2, 1, ANY, 0, b"\x01\x02", 0, bytes([0x90])),
    "aisg2_writes": l7(2, 5, WRITES, 0, b"\x24TEST", 0),
    "aisg1_reset": l7(1, 2, RESET),
}


def record_seeds(build, target, seeds):
    program = pathlib.Path(build) / "bin" / f"{target}_fuzz_replay"
    if not program.exists():
        program = pathlib.Path(build) / "fuzz" / f"{target}_fuzz_replay"
    out = ROOT / "fuzz" / "corpus" / target
    out.mkdir(parents=True, exist_ok=True)
    for name, (site, addressed, picks) in seeds.items():
        with tempfile.NamedTemporaryFile(delete=False) as f:
            f.write(picks)
        env = dict(os.environ, FUZZLINE_RECORD_SITE=str(site),
                   FUZZLINE_RECORD_OUT=str(out / name))
        if addressed:
            env["FUZZLINE_RECORD_ADDRESSED"] = "1"
        subprocess.run([str(program), f.name], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.unlink(f.name)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    record_seeds(build, "receive", {k: (DEMO, True, v) for k, v in RECEIVE.items()})
    for name, seed in RECEIVE_FIXED.items():
        (ROOT / "fuzz" / "corpus" / "receive" / name).write_bytes(seed)
    record_seeds(build, "discovery", DISCOVERY)
    record_seeds(build, "layer7", {k: (DEMO, True, v) for k, v in LAYER7.items()})


if __name__ == "__main__":
    main()
