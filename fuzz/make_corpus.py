#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes the seed corpus of every fuzz target: for each call, its well-formed answers and the
near misses a hostile or broken server sends (refusal, no element, wrong type, short records,
counts and lengths that disagree, cut packets), so that every decoder branch is reached from the
start. Inputs found by fuzzing (crash-*, finding-*) live beside these and are never rewritten."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


# ---- wire helpers ----

def element(type_code, payload):
    return struct.pack('<B3xI', type_code, len(payload)) + payload


def response(status, elements, count=None, body=None):
    data = b''.join(element(t, p) for t, p in elements)
    return struct.pack('<iII', status, len(elements) if count is None else count,
                       len(data) if body is None else body) + data


def chunks(*answers):
    return b''.join(struct.pack('<H', len(a)) + a for a in answers)


def text(s):
    return s.encode() + b'\0'


def share_record(name, volume, comment=b'', path=b'/', kind=0, flags=0, aux=b''):
    rec = bytearray(5168)
    struct.pack_into('<H', rec, 0, kind)
    struct.pack_into('<II', rec, 16, 77, flags)
    rec[44:44 + len(volume)] = volume
    rec[109:109 + len(name)] = name
    rec[271:271 + len(comment)] = comment
    rec[482:482 + len(path)] = path
    rec[994:994 + len(aux)] = aux
    struct.pack_into('<ii', rec, 5144, 1, 0)
    rec[5156] = 2
    struct.pack_into('<I', rec, 5160, 9)
    return bytes(rec)


def conn_record(conn_id, files=0, dns=(), file_names=(), sev_len=None, dn_count=None):
    rec = bytearray(418)
    struct.pack_into('<HxxI', rec, 0, conn_id, len(file_names) if files is None else files)
    struct.pack_into('<Q', rec, 12, 123456789)
    rec[20:20 + 9] = b'10.0.0.7\0'
    rec[36:36 + 10] = b'cn=alice\0\0'
    rec[292:292 + 6] = b'CLIENT'
    rec[354:354 + 4] = b'NTLM'
    rec[386:386 + 5] = b'DOMAN'
    sev = b''.join(d + b'\0' for d in dns)
    struct.pack_into('<II', rec, 346, len(dns) if dn_count is None else dn_count,
                     len(sev) if sev_len is None else sev_len)
    entries = b''.join(b'\0' * 8 + n + b'\0' for n in file_names)
    return bytes(rec) + sev + entries


# ---- near misses of one answer ----

def encode(answer, **kw):
    status, elements = answer
    return response(status, elements, **kw)


def near_misses(answer):
    """(name, bytes) variants of one well-formed answer (status, [(type, payload)])."""
    status, elements = answer
    wire = encode(answer)
    body = len(wire) - 12
    out = [
        ('ok', wire),
        ('refused', response(5, [])),
        ('no_element', response(0, [])),
        ('no_answer', b''),
        ('header_cut', wire[:7]),
        ('body_cut', wire[:12 + body // 2]),
    ]
    if elements:
        out += [
            ('wrong_type', response(status, [(99, p) for _, p in elements])),
            ('short_records', response(status, [(t, p[:len(p) // 2]) for t, p in elements])),
            ('empty_payloads', response(status, [(t, b'') for t, _ in elements])),
            ('count_high', encode(answer, count=len(elements) + 3)),
            ('count_zero', encode(answer, count=0)),
            ('body_over', encode(answer, body=body + 100)[:12 + body]),
            ('body_under', encode(answer, body=body - 4)),
            ('length_past_body', wire[:16] + struct.pack('<I', 0x7FFFFFF0) + wire[20:]),
            ('duplicated', response(status, elements + elements)),
        ]
    return out


def write(target, name, data):
    d = os.path.join(HERE, 'corpus', target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data)


def clear_generated(target):
    d = os.path.join(HERE, 'corpus', target)
    if not os.path.isdir(d):
        return
    for f in os.listdir(d):
        if not f.startswith(('crash-', 'finding-', 'oom-', 'timeout-', 'leak-')):
            os.remove(os.path.join(d, f))


# ---- answers, per call ----

NAMES = (0, [(1, text('SHARE1')), (1, text('VOL1')), (1, text('_admin'))])
SHARE = share_record(b'SHARE1', b'VOL1', b'docs', b'/d', aux=b'aux')
VOLUME = share_record(b'VOL1', b'VOL1', flags=2)
ADMIN = share_record(b'_admin', b'_admin')
DETAILS = (0, [(6, SHARE), (9, b'extra')])
COUNT2 = (0, [(41, struct.pack('<i', 2))])
CONNS = (0, [(41, conn_record(1)), (41, conn_record(2))])
CONN_DETAILS = (0, [(41, conn_record(7, None, [b'cn=a,o=x', b'cn=b'], [b'f1', b'f2']))])
MAPPED = (0, [(41, struct.pack('<I', 2)), (6, SHARE), (6, VOLUME)])
OPEN_FILES = (0, [(77, b'\1\0\0\0' + text('VOL1:/d/f'))])
CONTEXTS = (0, [(28, struct.pack('<II', 7, 5) + b'ou=x\0')])
INVALID = (0, [(78, b'\2\0\0\0' + text('guest') + text('bob'))])
STATUS = (0, [])


def admin_seeds():
    """selector -> list of (name, [answer bytes per exchange])."""
    seeds = {}

    def one(sel, answer):
        seeds.setdefault(sel, []).extend((n, [w]) for n, w in near_misses(answer))

    one(0, NAMES)
    # Share listing: the names first, then one details answer per name.
    names = encode(NAMES)
    good = [encode(DETAILS), encode((0, [(6, VOLUME)])), encode((0, [(6, ADMIN)]))]
    seeds[1] = [('ok', [names] + good)]
    seeds[1] += [('names_' + n, [w]) for n, w in near_misses(NAMES)]
    seeds[1] += [('details_' + n, [names, w] + good[1:]) for n, w in near_misses(DETAILS)]
    one(2, OPEN_FILES)
    one(3, CONTEXTS)
    seeds[3] += [('length_past_element',
                  [response(0, [(28, struct.pack('<II', 7, 500) + b'ou=x\0')])])]
    one(4, COUNT2)
    # Connection list: the count first, then the records.
    count = encode(COUNT2)
    seeds[5] = [('ok', [count, encode(CONNS)])]
    seeds[5] += [('count_' + n, [w, encode(CONNS)]) for n, w in near_misses(COUNT2)]
    seeds[5] += [('list_' + n, [count, w]) for n, w in near_misses(CONNS)]
    seeds[5] += [('more_than_counted', [count, encode((0, CONNS[1] * 3))])]
    one(6, CONN_DETAILS)
    seeds[6] += [
        ('sev_past_element', [response(0, [(41, conn_record(7, 0, [b'cn=a'], sev_len=4000))])]),
        ('sev_empty', [response(0, [(41, conn_record(7))])]),
    ]
    one(7, MAPPED)
    seeds[7] += [
        ('count_zero_shares', [response(0, [(41, struct.pack('<I', 0))])]),
        ('more_shares_than_counted', [response(0, MAPPED[1] + [(6, ADMIN)])]),
        ('fewer_shares_than_counted', [response(0, [(41, struct.pack('<I', 9)), (6, SHARE)])]),
        ('share_wrong_type', [response(0, [MAPPED[1][0], (9, SHARE)])]),
        ('share_short', [response(0, [MAPPED[1][0], (6, SHARE[:5000])])]),
    ]
    one(8, INVALID)
    for sel in range(9, 20):
        one(sel, STATUS)
    one(20, CONN_DETAILS)
    one(21, OPEN_FILES)
    return seeds


def monitor_seeds():
    files = (0, [(41, conn_record(3, None, [], [b'/d/a', b'/d/b'])), (41, conn_record(4, 0))])
    answers = {
        0: (0, [(41, conn_record(1)), (6, b'x'), (41, conn_record(2))]),
        1: (0, [(41, conn_record(7, None, [b'cn=a'], [b'a.txt', b'b.txt']))]),
        2: (0, [(1, text('SHARE1')), (1, text('VOL1')), (6, b'x')]),
        3: files,
        4: STATUS,
        5: STATUS,
        6: STATUS,
    }
    seeds = {sel: near_misses(a) for sel, a in answers.items()}
    seeds[1] += [
        ('sev_past_element', response(0, [(41, conn_record(7, 0, [b'cn=a'], sev_len=4000))])),
        ('dns_past_area', response(0, [(41, conn_record(7, 0, [b'cn=a'], dn_count=50))])),
        ('files_past_element', response(0, [(41, conn_record(7, 40, [], [b'a']))])),
        ('many_files', response(0, [(41, conn_record(7, 70000, [], [b'f'] * 300))])),
        ('name_without_nul', response(0, [(41, conn_record(7, None, [], [b'abc'])[:-1])])),
    ]
    seeds[3] += [
        ('files_past_element', response(0, [(41, conn_record(3, 40, [], [b'a']))])),
        ('name_without_nul', response(0, [(41, conn_record(3, None, [], [b'abc'])[:-1])])),
    ]
    seeds[2] += [('long_name', response(0, [(1, b'n' * 600)]))]
    return seeds


def main():
    for t in ('response_walk', 'exchange', 'admin_decoders', 'monitor_decoders',
              'argument_block'):
        clear_generated(t)

    names = encode(NAMES)
    walk = {
        'empty': response(0, []),
        'names': names,
        'zero_length_element': response(0, [(1, b''), (1, text('A'))]),
        'request': struct.pack('<BBBxI', 0, 1, 1, 12) + element(42, text('VOL1')),
        'request_empty': struct.pack('<BBBxI', 0, 25, 0, 0),
    }
    for n, w in near_misses(CONNS):
        walk['conns_' + n] = w
    for k, v in walk.items():
        write('response_walk', k, v)

    exchange = {
        'status_only': response(0, []),
        'trailing_bytes': names + b'\xee' * 40,
        'large_announced': struct.pack('<iII', 0, 1, 100 << 20) + b'x' * 16,
        'huge_announced': struct.pack('<iII', 0, 1, 0xFFFFFFFF),
    }
    for n, w in near_misses(NAMES):
        exchange[n] = w
    for k, v in exchange.items():
        write('exchange', k, v)

    for sel, cases in admin_seeds().items():
        for name, answers in cases:
            write('admin_decoders', f'fn{sel:02d}_{name}', bytes([sel]) + chunks(*answers))

    for sel, cases in monitor_seeds().items():
        for name, wire in cases:
            write('monitor_decoders', f'fn{sel}_{name}', bytes([sel]) + chunks(wire))

    write_argument_blocks()


# ---- argument blocks ----

def block(*entries):
    """Entries (code, value or None) in the target's encoding: a count byte, then per entry a
    code byte, a shape byte (low nibble 0: null value) and a length-prefixed text."""
    out = bytes([len(entries) - 1])
    for code, value in entries:
        out += bytes([code])
        out += b'\x10' if value is None else b'\x01' + bytes([len(value)]) + value
    return out


def write_argument_blocks():
    args = {
        'share_add': block((1, None), (10, None), (12, b'docs'), (34, b'VOL1:/docs'), (49, b'No')),
        'share_switch': block((1, None), (49, b'YES'), (12, b'docs')),
        'share_list': block((1, None), (7, None), (12, b'docs')),
        'share_remove': block((1, None), (11, None), (12, b'docs')),
        'share_modify': block((1, None), (78, None), (12, b'docs'), (79, b'new'), (17, b'c')),
        'files_list': block((32, None), (7, None), (60, None), (80, b'rec')),
        'files_close_path': block((32, None), (33, None), (34, b'VOL1:/a')),
        'files_by_connection': block((32, None), (7, None), (31, b'65535')),
        'connections_details': block((30, None), (31, b'12')),
        'connections_mapped': block((30, None), (1, b'7')),
        'connections_variant': block((30, None), (7, None), (8, None)),
        'clear': block((62, None), (63, b'all'), (64, b'15'), (65, b'ALL')),
        'iuc_timeout': block((28, None), (29, b'525600')),
        'iuc_list': block((28, None), (81, b'rec')),
        'iuc_add': block((28, None), (10, None), (12, b'guest  ')),
        'iuc_permanent': block((28, None), (82, None), (12, b'guest')),
        'contexts_add': block((83, None), (10, b'ou=users')),
        'contexts_list': block((83, None), (7, None)),
        'dfs': block((86, b'CLEAR'), (0, None)),
        'dfs_junction': block((86, b'60'), (16, b'/VOL1/junction')),
        'vserver': block((10, b'NAME'), (15, b'10.0.0.1')),
        'dns_entry': block((11, b'NAME'), (19, b'10.0.0.300')),
        'share_by_default': block((38, b'SERVER'), (44, b'YES')),
        'quota_sync': block((41, b'VOL1'), (42, b'100')),
        'quota_view': block((69, b'VOL1')),
        'crypto_keys': block((70, b'ON')),
        'crypto_keys_conn': block((70, None), (31, b'12')),
        'interface_add': block((75, None), (10, b'eth0')),
        'interface_list': block((75, None), (7, None)),
        'cache': block((24, b'DIRCACHE'), (13, b'1000')),
        'lm_compat': block((21, b'4')),
        'offline': block((26, b'3')),
        'oplock_timeout': block((44, b'30')),
        'smbv1': block((48, b'WIN-MAC')),
        'dialect': block((39, b'SMB3')),
        'cipher': block((72, b'AES-256-GCM')),
        'signing': block((4, b'optional')),
        'log_level': block((14, b'debug')),
        'statistics': block((3, b'FH')),
        'periods': block((20, b'...')),
        'unknown_code': block((87, b'YES')),
        'negative_code': bytes([0, 255, 0x10]),
    }
    # Every command code once with a switch word, so each handler is reached from the start.
    for code in range(1, 87):
        args.setdefault(f'code{code:02d}_yes', block((code, b'yes  ')))
    for k, v in args.items():
        write('argument_block', k, v)


if __name__ == '__main__':
    main()
