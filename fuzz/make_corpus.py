#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target: well-formed answers and a few near misses."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def element(type_code, payload):
    return struct.pack('<B3xI', type_code, len(payload)) + payload


def response(status, elements, count=None, body=None):
    data = b''.join(elements)
    return struct.pack('<iII', status, len(elements) if count is None else count,
                       len(data) if body is None else body) + data


def chunks(*answers):
    return b''.join(struct.pack('<H', len(a)) + a for a in answers)


def text(s):
    return s.encode() + b'\0'


def share_record(name, volume, comment=b'', path=b'/', kind=0):
    rec = bytearray(5168)
    struct.pack_into('<i', rec, 0, kind)
    rec[44:44 + len(volume)] = volume
    rec[109:109 + len(name)] = name
    rec[271:271 + len(comment)] = comment
    rec[482:482 + len(path)] = path
    struct.pack_into('<ii', rec, 5144, 1, 0)
    return bytes(rec)


def conn_record(conn_id, files=0, dns=(), file_names=()):
    rec = bytearray(418)
    struct.pack_into('<HxxI', rec, 0, conn_id, files)
    struct.pack_into('<Q', rec, 12, 123456789)
    rec[20:20 + 9] = b'10.0.0.7\0'
    rec[36:36 + 10] = b'cn=alice\0\0'
    rec[292:292 + 6] = b'CLIENT'
    sev = b''.join(d + b'\0' for d in dns)
    struct.pack_into('<II', rec, 346, len(dns), len(sev))
    entries = b''.join(b'\0' * 8 + n + b'\0' for n in file_names)
    return bytes(rec) + sev + entries


def write(target, name, data):
    d = os.path.join(HERE, 'corpus', target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data)


def main():
    names = response(0, [element(1, text('SHARE1')), element(1, text('VOL1'))])
    walk = {
        'empty': response(0, []),
        'names': names,
        'cut_element': response(0, [element(1, text('X') * 3)])[:-3],
        'count_disagrees': response(0, [element(41, b'\1\0\0\0')], count=5),
        'request': struct.pack('<BBBxI', 0, 1, 1, 12) + element(42, text('VOL1')),
    }
    for k, v in walk.items():
        write('response_walk', k, v)

    exchange = {
        'status_only': response(0, []),
        'refused': response(5, []),
        'names': names,
        'short_header': response(0, [])[:7],
        'short_body': response(0, [element(1, text('SHARE1'))], body=100),
    }
    for k, v in exchange.items():
        write('exchange', k, v)

    details = response(0, [element(6, share_record(b'SHARE1', b'VOL1', b'docs', b'/d')),
                           element(9, b'extra')])
    mapped = response(0, [element(41, struct.pack('<I', 1)),
                          element(6, share_record(b'SHARE1', b'VOL1'))])
    admin = {
        0: chunks(names),
        1: chunks(names, details, response(0, [element(6, share_record(b'VOL1', b'VOL1'))])),
        2: chunks(response(0, [element(77, b'\1\0\0\0' + text('VOL1:/d/f'))])),
        3: chunks(response(0, [element(28, struct.pack('<II', 7, 5) + b'ou=x\0')])),
        4: chunks(response(0, [element(41, struct.pack('<i', 2))])),
        5: chunks(response(0, [element(41, struct.pack('<i', 2))]),
                  response(0, [element(41, conn_record(1)), element(41, conn_record(2))])),
        6: chunks(response(0, [element(41, conn_record(7, 1, [b'cn=a,o=x', b'cn=b'], [b'f']))])),
        7: chunks(mapped),
        8: chunks(response(0, [element(78, b'\2\0\0\0' + text('guest') + text('bob'))])),
        9: chunks(response(0, [])),
        10: chunks(response(3, [])),
        11: chunks(response(0, [])),
    }
    for sel, data in admin.items():
        write('admin_decoders', f'fn{sel:02d}', bytes([sel]) + data)

    monitor = {
        0: response(0, [element(41, conn_record(1)), element(6, b'x'), element(41, conn_record(2))]),
        1: response(0, [element(41, conn_record(7, 2, [b'cn=a'], [b'a.txt', b'b.txt']))]),
        2: names,
        3: response(0, [element(41, conn_record(3, 2, [], [b'/d/a', b'/d/b'])),
                        element(41, conn_record(4))]),
        4: response(0, []),
        5: response(5, []),
        6: response(0, []),
    }
    for sel, data in monitor.items():
        write('monitor_decoders', f'fn{sel}', bytes([sel]) + chunks(data))

    def block(*entries):
        out = bytes([len(entries)])
        for code, value in entries:
            out += bytes([code])
            if value is None:
                out += b'\x10'
            else:
                out += b'\x01' + bytes([len(value)]) + value
        return out

    args = {
        'guest_login': block((20, b'yes ')),
        'share_add': block((1, None), (10, None), (12, b'docs'), (34, b'VOL1:/docs'), (49, b'No')),
        'share_switch': block((1, None), (49, b'YES'), (12, b'docs')),
        'files_list': block((32, None), (7, None), (60, None), (80, b'rec')),
        'clear': block((62, None), (63, b'all'), (64, b'15'), (65, b'ALL')),
        'iuc_timeout': block((28, None), (29, b'525600')),
        'contexts': block((83, None), (10, b'ou=users')),
        'dfs': block((86, b'CLEAR'), (0, None)),
        'vserver': block((10, b'NAME'), (15, b'10.0.0.1')),
    }
    for k, v in args.items():
        write('argument_block', k, v)


if __name__ == '__main__':
    main()
