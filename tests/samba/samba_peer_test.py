#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Serves veskar-convert's server layouts with a real Samba and reads them back as clients do.

usage: samba_peer_test.py VESKAR_CONVERT SAMPLES_FOLDER SCRATCH_FOLDER

For each layout (fruit, appledouble, streams-xattr) the samples are converted into a fresh
folder, which Debian's smbd serves on a loopback port of this test's own with vfs_fruit. Then:
- smbclient, as a Windows client would, lists each converted file's streams and reads
  AFP_AfpInfo and AFP_Resource, which must hold what the layout stores on disk; each extended
  attribute is a stream of its name, and the file's dates are the source's;
- a client that negotiates Apple's AAPL context as macOS does lists each folder and must get
  every file's type, creator, Finder flags, resource fork size and dates as the converter
  reported;
- a folder with its own information (a "._" file macOS wrote, with an attribute) and a file
  with attributes and no resource fork are served as the others;
- Samba's log must hold no complaint about a record;
- a netatalk 2 tree (".AppleDouble" headers, ":xx" names, a folder's ".Parent") moved into
  fruit with -r -f netatalk2 is served with the Finder info, forks and dates it held;
- a tree Samba wrote for smbclient, moved fruit -> sfm (NTFS through ntfs-3g) -> fruit, lists
  to the Mac client as before (skipped without ntfs-3g and mkntfs).
Exits 0 when all pass, 1 on a failure, 77 when smbd, smbclient or impacket is missing.
"""
import importlib.util
import json
import os
import pwd
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
from datetime import datetime, timezone

SMBD = '/usr/sbin/smbd'
SKIP = 77
SHARE = 'veskar'
NETATALK_XATTR = 'user.org.netatalk.Metadata'
AFPINFO_XATTR = 'user.DosStream.AFP_AfpInfo:$DATA'
RESOURCE_XATTR = 'user.DosStream.AFP_Resource:$DATA'
# The layouts that keep a file's creation date where Samba serves it (its DOSATTRIB record).
KEEP_CREATION = ('fruit', 'streams-xattr')
# Share options per layout: fruit's defaults read the netatalk attribute and the "._" file.
LAYOUTS = {
    'fruit': [],
    'appledouble': [],
    'streams-xattr': ['fruit:metadata = stream', 'fruit:resource = stream'],
}
# Samba's messages about a record it drops or cannot read: any from the modules that handle
# them (at log level 2 they say nothing when all is well), and its words for a bad record.
LOG_COMPLAINTS = re.compile(
    r'vfs_fruit\.c|adouble\.c|vfs_streams_xattr\.c|vfs_catia\.c|invalid appledouble|bogus|'
    r'bad size|bad afpinfo|wrong magic|ad_convert|failed to read|short read|removing invalid',
    re.I)

# The AAPL create context of macOS's SMB client: a server query asking for the server's and
# the volume's capabilities and its model, offering to read Finder information with listings.
AAPL_SERVER_QUERY = 1
AAPL_SERVER_CAPS, AAPL_VOLUME_CAPS, AAPL_MODEL_INFO = 1, 2, 4
AAPL_SUPPORTS_READ_DIR_ATTR, AAPL_SUPPORTS_OSX_COPYFILE, AAPL_UNIX_BASED = 1, 2, 4


class Failure(Exception):
    pass


def four_char_code(raw):
    """A type or creator as the converter's report writes it: up to the first zero, Latin-1."""
    return raw.split(b'\0')[0].decode('latin-1')


def finder_fields(finder_info):
    """Type, creator and Finder flags (4 hex digits) of Finder information."""
    return four_char_code(finder_info[0:4]), four_char_code(finder_info[4:8]), \
        finder_info[8:10].hex()


# --- What a layout stores on disk -------------------------------------------------------------

def read_attr_block(raw, path):
    """{name: value} of the ATTR block that follows the Finder information in macOS's form."""
    if raw[0x54:0x58] != b'ATTR':
        raise Failure(f'{path}: the Finder info entry goes on past 32 bytes without ATTR')
    attributes = {}
    at = 0x54 + 36
    for _ in range(struct.unpack_from('>H', raw, 0x54 + 34)[0]):
        offset, length, _, name_length = struct.unpack_from('>IIHB', raw, at)
        name = raw[at + 11:at + 11 + name_length - 1].decode('utf-8')
        attributes[name] = raw[offset:offset + length]
        at = (at + 11 + name_length + 3) & ~3
    return attributes


def read_dot_underscore(target, path):
    """The Finder information, resource fork and extended attributes of a "._" file, as macOS
    writes it."""
    try:
        raw = open(os.path.join(target, path), 'rb').read()
    except OSError as error:
        raise Failure(f'{path}: {error.strerror}')
    if raw[:8] != bytes.fromhex('0005160700020000') or raw[8:24] != b'Mac OS X        ':
        raise Failure(f'{path}: not an AppleDouble v2 header with the "Mac OS X" filler')
    entries = {}
    for i in range(struct.unpack_from('>H', raw, 24)[0]):
        eid, offset, length = struct.unpack_from('>III', raw, 26 + 12 * i)
        entries[eid] = (offset, length)
    finder_length = entries.get(9, (0, 0))[1]
    fork_at = 0x32 + finder_length
    if entries.get(9, (0, 0))[0] != 0x32 or entries.get(2, (0, 0))[0] != fork_at \
            or len(entries) != 2:
        raise Failure(f'{path}: entries {entries}, expected Finder info at 0x32 and the fork '
                      f'after it')
    fork_length = entries[2][1]
    if len(raw) != fork_at + fork_length:
        raise Failure(f'{path}: {len(raw)} bytes, the entries account for {fork_at + fork_length}')
    attributes = read_attr_block(raw, path) if finder_length > 32 else {}
    return raw[0x32:0x52], raw[fork_at:], attributes


NETATALK_ENTRIES = [(4, 154, 0), (8, 354, 16), (9, 122, 32), (14, 370, 4), (0x80444556, 374, 0),
                    (0x80494E4F, 382, 0), (0x8053594E, 390, 0), (0x8053567E, 398, 0)]


def read_netatalk_metadata(target, path):
    """The Finder information of netatalk's metadata attribute; Samba drops a malformed one."""
    raw = stored_attribute(os.path.join(target, path), NETATALK_XATTR) or b''
    if len(raw) != 402:
        raise Failure(f'{path}: {NETATALK_XATTR} of {len(raw)} bytes, expected 402')
    entries = [struct.unpack_from('>III', raw, 26 + 12 * i) for i in range(8)]
    if (raw[:8] != bytes.fromhex('0005160700020000') or raw[24:26] != b'\0\x08'
            or entries != NETATALK_ENTRIES):
        raise Failure(f'{path}: {NETATALK_XATTR} has not the header and entries of netatalk '
                      f'(header {raw[:26].hex()})')
    return raw[122:154]


def stored_attribute(path, name):
    try:
        return os.getxattr(path, name)
    except OSError:
        return None


def afpinfo_record(finder_info):
    """The record Samba builds from stored Finder information (backup time: never)."""
    return b'AFP\0' + bytes.fromhex('00000100') + bytes(4) + bytes.fromhex('80000000') \
        + finder_info + bytes(12)


def stored_streams(full_path):
    """{name: value} of the extended attributes kept as Samba's streams (AFP_* aside)."""
    streams = {}
    for attribute in os.listxattr(full_path):
        if attribute.startswith('user.DosStream.') and attribute.endswith(':$DATA') \
                and attribute not in (AFPINFO_XATTR, RESOURCE_XATTR):
            value = os.getxattr(full_path, attribute)
            if not value or value[-1] != 0:
                raise Failure(f'{full_path}: {attribute} lacks its trailing zero byte')
            streams[attribute[len('user.DosStream.'):-len(':$DATA')]] = value[:-1]
    return streams


def stored_metadata(layout, target, path):
    """(AfpInfo record that Samba must serve or None, resource fork, {attribute: value}) as
    the layout stores them; path is relative to the target folder."""
    folder, name = os.path.split(path)
    dot_underscore = os.path.join(folder, '._' + name)
    full_path = os.path.join(target, path)
    if layout != 'streams-xattr' and not os.path.exists(os.path.join(target, dot_underscore)):
        # A file without Mac information is written as the plain file it is.
        if stored_attribute(full_path, NETATALK_XATTR) is not None:
            raise Failure(f'{path}: {NETATALK_XATTR} without a "._" file')
        return None, b'', stored_streams(full_path)
    if layout != 'streams-xattr':
        finder_info, fork, attributes = read_dot_underscore(target, dot_underscore)
        if layout == 'fruit':
            if read_netatalk_metadata(target, path) != finder_info:
                raise Failure(f'{path}: {NETATALK_XATTR} and "._" disagree on the Finder info')
            if attributes:
                raise Failure(f'{dot_underscore}: holds attributes, which fruit keeps as streams')
            attributes = stored_streams(full_path)
        if layout == 'appledouble':
            if stored_attribute(full_path, NETATALK_XATTR) is not None:
                raise Failure(f'{path}: {NETATALK_XATTR} does not belong to this layout')
            if stored_streams(full_path):
                raise Failure(f'{path}: stream attributes do not belong to this layout')
        return (afpinfo_record(finder_info) if any(finder_info) else None), fork, attributes
    if os.path.exists(os.path.join(target, dot_underscore)):
        raise Failure(f'{dot_underscore}: does not belong to this layout')
    record, fork = (stored_attribute(full_path, n) for n in (AFPINFO_XATTR, RESOURCE_XATTR))
    for attribute, value in ((AFPINFO_XATTR, record), (RESOURCE_XATTR, fork)):
        # Samba's streams_xattr keeps one zero byte after a stream's bytes.
        if value is not None and (len(value) < 2 or value[-1] != 0):
            raise Failure(f'{path}: {attribute} lacks its trailing zero byte')
    if record is not None:
        record = record[:-1]
        if len(record) != 60 or record[:8] != b'AFP\0' + bytes.fromhex('00000100'):
            raise Failure(f'{path}: {AFPINFO_XATTR} is not a 60-byte AfpInfo record of version '
                          f'1.0: {record[:8].hex()}..., {len(record)} bytes')
        if not any(record[16:48]):
            # Samba and macOS remove a record written so; Samba serves a stored one all the same.
            raise Failure(f'{path}: stores an AfpInfo record whose Finder info is all zero')
    return record, (fork[:-1] if fork else b''), stored_streams(full_path)


# --- The converter ----------------------------------------------------------------------------

def run_converter(converter, layout, samples, target, log_folder, dry_run):
    """The report's rows; the output is kept in the log folder."""
    command = [converter, '--layout', layout, '--json', '-r'] + \
        (['--dry-run'] if dry_run else []) + [target] + samples
    run = subprocess.run(command, capture_output=True, text=True, timeout=600)
    log = os.path.join(log_folder, f'convert{"-dry-run" if dry_run else ""}.txt')
    with open(log, 'w') as out:
        out.write(f'$ {" ".join(command)}\n{run.stdout}{run.stderr}exit {run.returncode}\n')
    if run.returncode not in (0, 1):
        raise Failure(f'veskar-convert exited {run.returncode}: {run.stderr.strip()}')
    return [json.loads(line) for line in run.stdout.splitlines()]


def convert(converter, layout, samples, target, log_folder):
    """Rows of the converted sources and of the folders' information written, completed by a
    trial run's fields (type, sizes...) where the conversion's own rows lack them."""
    trial = {row['source']: row for row in
             run_converter(converter, layout, samples, target, log_folder, dry_run=True)}
    rows = []
    for row in run_converter(converter, layout, samples, target, log_folder, dry_run=False):
        if row['result'] in ('converted', 'folder-information'):
            rows.append({**trial.get(row['source'], {}), **row})
        elif row['result'] not in ('companion-skipped', 'link-skipped'):
            print(f'note {layout}: not converted: {row["source"]}: {row["result"]} '
                  f'{row.get("detail", "")}')
    return rows


def row_field(row, *names):
    for name in names:
        if name in row:
            return row[name]
    raise Failure(f'{row["output"]}: the report has no {names[0]}')


def reported_fields(row):
    """Type, creator and Finder flags as the converter reported them."""
    return row_field(row, 'type'), row_field(row, 'creator'), \
        row_field(row, 'finder_flags', 'finderFlags').lower()


# --- A Samba of the test's own ----------------------------------------------------------------

def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def own_directories(folder):
    """Settings that put every file Samba keeps below folder, none in the system's."""
    settings = []
    for setting in ('state directory', 'lock directory', 'pid directory', 'cache directory',
                    'private dir', 'ncalrpc dir', 'binddns dir'):
        path = os.path.join(folder, setting.split()[0])
        os.makedirs(path, exist_ok=True)
        settings.append(f'{setting} = {path}')
    return settings


def write_conf(path, global_settings, share):
    with open(path, 'w') as out:
        out.write('\n'.join(['[global]'] + global_settings + share) + '\n')


class SambaPeer:
    """smbd serving one folder as a guest share on a loopback port, everything in its folder."""

    def __init__(self, folder, share_path, share_options):
        self.folder, self.share_path, self.port = folder, share_path, free_port()
        self.log = os.path.join(folder, 'smbd.log')
        self.conf = os.path.join(folder, 'smb.conf')
        write_conf(self.conf, ['server role = standalone server', f'smb ports = {self.port}',
                               'interfaces = 127.0.0.1', 'bind interfaces only = yes',
                               'disable netbios = yes', 'map to guest = Bad User',
                               'load printers = no', 'printcap name = /dev/null',
                               'disable spoolss = yes', f'log file = {self.log}',
                               'max log size = 0', 'log level = 2', 'fruit:aapl = yes']
                   + own_directories(os.path.join(folder, 'server')),
                   [f'[{SHARE}]', f'path = {share_path}', 'guest ok = yes', 'read only = no',
                    f'force user = {pwd.getpwuid(os.getuid()).pw_name}',
                    'vfs objects = catia fruit streams_xattr'] + share_options)
        # smbclient, too, reads no system configuration and keeps its files here.
        self.client_conf = os.path.join(folder, 'client.conf')
        write_conf(self.client_conf, own_directories(os.path.join(folder, 'client')), [])

    def __enter__(self):
        # A session of its own: smbd signals its whole process group when it stops.
        with open(os.path.join(self.folder, 'smbd.out'), 'w') as out:
            self.process = subprocess.Popen(
                [SMBD, '--foreground', '--no-process-group', '-s', self.conf],
                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                start_new_session=True)
        try:
            self.wait_until_listening()
        except BaseException:
            self.__exit__()
            raise
        return self

    def wait_until_listening(self):
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise Failure(f'smbd exited with {self.process.returncode}; see {self.log}')
            try:
                socket.create_connection(('127.0.0.1', self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.2)
        raise Failure(f'smbd did not listen on port {self.port} within 30 s')

    def __exit__(self, *exc):
        pid = self.process.pid
        if self.process.poll() is None:
            os.kill(pid, signal.SIGTERM)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                os.kill(pid, signal.SIGKILL)
                self.process.wait()
        try:  # smbd's children of connections still closing are in its group, started by us
            os.killpg(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass

    def complaints(self):
        with open(self.log, errors='replace') as log:
            text = log.read()
        # Each message is a header line "[date, level] source(function)" and indented text.
        messages = re.split(r'\n(?=\[\d{4}/)', text)
        return [m.strip() for m in messages if LOG_COMPLAINTS.search(m)]


# --- A Windows client: smbclient --------------------------------------------------------------

def smbclient(peer, commands):
    run = subprocess.run(['smbclient', '-s', peer.client_conf, f'//127.0.0.1/{SHARE}',
                          '-p', str(peer.port), '-N', '-c', '; '.join(commands)],
                         capture_output=True, text=True, timeout=60,
                         env={**os.environ, 'TZ': 'UTC'})
    return run.stdout + run.stderr


def reported_date(row, name):
    """A date of the report as seconds since 1970, or None."""
    text = row.get(name)
    return None if text is None else \
        int(datetime.strptime(text, '%Y-%m-%dT%H:%M:%SZ').replace(tzinfo=timezone.utc).timestamp())


def allinfo_date(output, field):
    """A time of smbclient's allinfo ("write_time:    Sun Mar 26 10:00:52 AM 2023 UTC")."""
    found = re.search(rf'^{field}:\s+(.*?)\s*$', output, re.M)
    if not found:
        return None
    for form in ('%a %b %d %I:%M:%S %p %Y %Z', '%a %b %d %H:%M:%S %Y %Z'):
        try:
            return int(datetime.strptime(found.group(1), form)
                       .replace(tzinfo=timezone.utc).timestamp())
        except ValueError:
            pass
    raise Failure(f'cannot read the {field} "{found.group(1)}" of smbclient')


def check_dates(path, got, row, layout):
    """Dates served (modified, created; seconds) against those the converter reported."""
    modified, created = reported_date(row, 'modified'), reported_date(row, 'created')
    if modified is not None and got[0] != modified:
        raise Failure(f'{path}: served as modified {got[0]}, reported {row["modified"]}')
    if created is not None and layout in KEEP_CREATION and got[1] != created:
        raise Failure(f'{path}: served as created {got[1]}, reported {row["created"]}')


def check_with_smbclient(peer, row, record, fork, attributes, scratch, layout):
    """Streams listed and read through Samba equal what the layout stores."""
    path = row['output']
    if ';' in path:  # smbclient splits its commands there
        raise Failure(f'{path}: a name with ";" cannot be given to smbclient')
    got_record, got_fork = os.path.join(scratch, 'afpinfo'), os.path.join(scratch, 'resource')
    for stale in (got_record, got_fork):
        if os.path.exists(stale):
            os.remove(stale)
    attribute_files = {name: os.path.join(scratch, f'attribute-{i}')
                       for i, name in enumerate(attributes)}
    for stale in attribute_files.values():
        if os.path.exists(stale):
            os.remove(stale)
    output = smbclient(peer, [f'allinfo "{path}"', f'get "{path}:AFP_AfpInfo" {got_record}',
                              f'get "{path}:AFP_Resource" {got_fork}'] +
                       [f'get "{path}:{name}" {file}' for name, file in attribute_files.items()])
    streams = dict((name, int(size)) for name, size in
                   re.findall(r'^stream: \[(.*)\], (\d+) bytes$', output, re.M))
    folder = row.get('folder', False)
    if 'create_time:' not in output or ('::$DATA' not in streams and not folder):
        raise Failure(f'{path}: smbclient cannot reach it:\n{output}')
    # A folder has no data stream.
    expected = {} if folder else {'::$DATA': row_field(row, 'data_bytes', 'dataBytes')}
    if record is not None:
        expected[':AFP_AfpInfo:$DATA'] = 60
    if fork and not folder:  # a folder has no resource fork to serve
        expected[':AFP_Resource:$DATA'] = len(fork)
    for name, value in attributes.items():
        expected[f':{name}:$DATA'] = len(value)
    if streams != expected:
        raise Failure(f'{path}: streams {streams}, expected {expected}')
    for name, file in attribute_files.items():
        if not os.path.exists(file) or open(file, 'rb').read() != attributes[name]:
            raise Failure(f'{path}: the stream {name} read through Samba differs from the '
                          f'attribute stored')
    check_dates(path, (allinfo_date(output, 'write_time'), allinfo_date(output, 'create_time')),
                row, layout)
    if record is not None:
        served = open(got_record, 'rb').read()
        if served[:4] != b'AFP\0' or served[4:8] != bytes.fromhex('00000100'):
            raise Failure(f'{path}: AFP_AfpInfo begins {served[:8].hex()}')
        if served != record:
            raise Failure(f'{path}: AFP_AfpInfo {served.hex()}, stored {record.hex()}')
        if finder_fields(served[16:48]) != reported_fields(row):
            raise Failure(f'{path}: AFP_AfpInfo holds (type, creator, flags) '
                          f'{finder_fields(served[16:48])}, reported {reported_fields(row)}')
    if fork and not folder and open(got_fork, 'rb').read() != fork:
        raise Failure(f'{path}: AFP_Resource read through Samba differs from the stored fork')


# --- A Mac client: impacket with Apple's AAPL context -----------------------------------------

def mac_client(port):
    from impacket import smb3, smb3structs as s

    class MacClient(smb3.SMB3):
        def recvSMB(self, packetID=None):  # keeps the last answer: create() drops its contexts
            self.last_answer = super().recvSMB(packetID)
            return self.last_answer

    client = MacClient('127.0.0.1', '127.0.0.1', sess_port=port)
    client.login('', '')
    tree = client.connectTree(SHARE)
    query = struct.pack('<IIQQ', AAPL_SERVER_QUERY, 0,
                        AAPL_SERVER_CAPS | AAPL_VOLUME_CAPS | AAPL_MODEL_INFO,
                        AAPL_SUPPORTS_READ_DIR_ATTR | AAPL_SUPPORTS_OSX_COPYFILE | AAPL_UNIX_BASED)
    context = s.SMB2CreateContext()
    context['NameOffset'], context['NameLength'] = 16, 4
    context['DataOffset'], context['DataLength'] = 24, len(query)
    context['Buffer'] = b'AAPL' + bytes(4) + query
    root = client.create(tree, '', s.FILE_READ_ATTRIBUTES | s.FILE_READ_DATA,
                         s.FILE_SHARE_READ | s.FILE_SHARE_WRITE | s.FILE_SHARE_DELETE,
                         s.FILE_DIRECTORY_FILE, s.FILE_OPEN, 0, createContexts=[context])
    answer = s.SMB2Create_Response(client.last_answer['Data'])
    reply = create_contexts(answer['Buffer']).get(b'AAPL')
    if reply is None:
        raise Failure('Samba answered the first create without an AAPL context')
    server_caps, = struct.unpack_from('<Q', reply, 16)
    if not server_caps & AAPL_SUPPORTS_READ_DIR_ATTR:
        raise Failure(f'Samba does not offer Finder info in listings (caps {server_caps:#x})')
    client.close(tree, root)
    return client, tree


def create_contexts(buffer):
    """{name: data} of the create contexts in a CREATE answer."""
    contexts, at = {}, 0
    while at + 16 <= len(buffer):
        following, name_at, name_length, _, data_at, data_length = \
            struct.unpack_from('<IHHHHI', buffer, at)
        name = buffer[at + name_at:at + name_at + name_length]
        contexts[name] = buffer[at + data_at:at + data_at + data_length]
        if following == 0:
            break
        at += following
    return contexts


def unix_seconds(nt_ticks):
    return nt_ticks // 10_000_000 - 11_644_473_600


def list_folder(client, tree, folder):
    """{name: (resource fork size, packed Finder info, (modified, created))} from
    FileIdBothDirectoryInformation.

    With AAPL, Samba puts in the 24-byte short name field the fork size (8 bytes, little-endian)
    and 16 bytes of Finder info: type, creator, Finder flags, extended flags, date added."""
    from impacket import smb3structs as s
    from impacket.smb3 import SessionError
    handle = client.create(tree, folder, s.FILE_READ_ATTRIBUTES | s.FILE_READ_DATA,
                           s.FILE_SHARE_READ | s.FILE_SHARE_WRITE | s.FILE_SHARE_DELETE,
                           s.FILE_DIRECTORY_FILE, s.FILE_OPEN, 0)
    entries = {}
    try:
        while True:
            try:
                data = client.queryDirectory(tree, handle, '*', informationClass=
                                             s.FILEID_BOTH_DIRECTORY_INFORMATION,
                                             maxBufferSize=65536)
            except SessionError as error:
                if error.get_error_code() == 0x80000006:  # STATUS_NO_MORE_FILES
                    break
                raise
            at = 0
            while True:
                next_entry, = struct.unpack_from('<I', data, at)
                name_length, = struct.unpack_from('<I', data, at + 60)
                short_length = data[at + 68]
                name = data[at + 104:at + 104 + name_length].decode('utf-16le')
                if name not in ('.', '..'):
                    if short_length != 24:
                        raise Failure(f'{folder}/{name}: no AAPL attributes in the listing')
                    fork_size, = struct.unpack_from('<Q', data, at + 70)
                    created, _, written = struct.unpack_from('<QQQ', data, at + 8)
                    entries[name] = (fork_size, data[at + 78:at + 94],
                                     (unix_seconds(written), unix_seconds(created)))
                if next_entry == 0:
                    break
                at += next_entry
    finally:
        client.close(tree, handle)
    return entries


def check_with_mac_listing(listing, row, layout, fork):
    folder, name = os.path.split(row['output'])
    if name not in listing.get(folder, {}):
        raise Failure(f'{row["output"]}: not in the listing of "{folder}"')
    fork_size, packed, dates = listing[folder][name]
    check_dates(row['output'], dates, row, layout)
    # The fork as stored: a "._" file holding attributes has macOS's empty resource map when the
    # file has no fork.
    expected = reported_fields(row) + (len(fork),)
    got = finder_fields(packed) + (fork_size,)
    if got != expected:
        raise Failure(f'{row["output"]}: listed (type, creator, flags, fork) {got}, '
                      f'reported {expected}')


def check_attribute_names(row, attributes):
    """The layout keeps every attribute the converter reported, ':' as a Mac client sends it."""
    reported = [name.replace(':', '\uf022') for name in row.get('attributes', [])]
    if sorted(reported) != sorted(attributes):
        raise Failure(f'{row["output"]}: stores the attributes {sorted(attributes)}, '
                      f'reported {sorted(reported)}')


# --- One layout -------------------------------------------------------------------------------

def check_layout(layout, converter, samples, scratch, targets):
    """(files passed, failures) of one layout."""
    folder = os.path.join(scratch, layout)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    target = os.path.join(targets, layout)
    os.makedirs(target)
    rows = sorted(convert(converter, layout, samples, target, folder), key=lambda r: r['output'])
    for row in rows:  # a folder's, as the other rows name files
        row['output'] = row['output'].rstrip('/')
    if not rows:
        raise Failure('nothing converted')
    # What the layout stores, read before Samba touches the folder (it adds its own attributes).
    stored = {}
    for row in rows:
        try:
            stored[row['output']] = stored_metadata(layout, target, row['output'])
        except Failure as failure:
            stored[row['output']] = failure
    passed = failed = 0
    peer = SambaPeer(os.path.join(folder, 'samba'), target, LAYOUTS[layout])
    with peer:
        # The Mac lists first, as when it opens the folder: Samba takes the Finder info of a
        # "._" file alone only once that listing (or an open of AFP_AfpInfo) has converted it.
        client, tree = mac_client(peer.port)
        listing = {f: list_folder(client, tree, f)
                   for f in sorted({os.path.dirname(row['output']) for row in rows})}
        for row in rows:
            try:
                if isinstance(stored[row['output']], Failure):
                    raise stored[row['output']]
                record, fork, attributes = stored[row['output']]
                check_attribute_names(row, attributes)
                check_with_smbclient(peer, row, record, fork, attributes, folder, layout)
                if len(fork) != row_field(row, 'resource_bytes', 'resourceBytes') and \
                        not (attributes and len(fork) == 286 and layout == 'appledouble'):
                    raise Failure(f'{row["output"]}: stores a fork of {len(fork)} bytes, '
                                  f'reported {row_field(row, "resource_bytes", "resourceBytes")}')
                check_with_mac_listing(listing, row, layout, fork)
                passed += 1
                kind, creator, flags = reported_fields(row)
                print(f'ok   {layout}: {row["output"]} ({kind!r}/{creator!r}, flags {flags}, '
                      f'data {row_field(row, "data_bytes", "dataBytes")}, fork {len(fork)})')
            except Failure as failure:
                failed += 1
                print(f'FAIL {layout}: {failure}')
    complaints = peer.complaints()
    if complaints:
        failed += 1
        print(f'FAIL {layout}: Samba complained in {peer.log}:')
        for complaint in complaints:
            print('  ' + complaint.replace('\n', '\n  '))
    return passed, failed


# --- Moving a server: netatalk 2 to fruit, fruit to sfm and back ------------------------------

NETATALK2_EPOCH = 946684800  # 2000-01-01 UTC, where AppleDouble v2 dates count from
NO_DATE = 0x80000000
# (path on the old server, as Samba lists it, real name entry, type and creator, fork bytes,
# modified): an empty name entry leaves the Mac name to the stored one, ":2f" a Mac '/'.
NETATALK2_FILES = [
    ('Letter', 'Letter', b'Letter', b'TEXTttxt', 300, 1_300_000_000),
    ('a:2fb', 'a\uf022b', b'', b'APPLdude', 5000, 1_200_000_000),
    ('Folder/Picture', 'Folder/Picture', b'Picture', b'PICT8BIM', 700, 1_100_000_000),
]
NETATALK2_FOLDER_FLAGS = 0x000c  # a colour label on the folder's own Finder info
# (path, type and creator, Finder flags, fork bytes, modified) as a Windows client writes them.
SAMBA_FILES = [
    ('Docs/Read Me', b'TEXTttxt', 0x0100, 1000, 1_015_218_367),
    ('Docs/Notes', b'TEXTR*ch', 0, 0, 1_100_000_000),
    ('Pictures/Photo', b'PICT8BIM', 0x0400, 70000, 1_200_000_000),
    ('Pictures/plain.bin', None, 0, 0, 1_250_000_000),
]


def netatalk2_header(real_name, finder_info, fork, created, modified):
    """The AppleDouble v2 header netatalk 2 keeps in .AppleDouble/NAME: its entries in its
    order, room kept after the name and comment as it does, its private entries (device,
    inode, sync, id; junk here), the resource fork last."""
    dates = struct.pack('>iiII', created - NETATALK2_EPOCH, modified - NETATALK2_EPOCH,
                        NO_DATE, NO_DATE)
    entries = [(3, real_name, 255), (4, b'', 200), (8, dates, 0),
               (9, finder_info.ljust(32, b'\0'), 0), (14, bytes(4), 0),
               (0x80444556, b'\xde\xad' * 4, 0), (0x80494E4F, b'\xbe\xef' * 4, 0),
               (0x8053594E, b'\x5a' * 8, 0), (0x8053567E, b'\x0f\xed\xcb\xa9', 0), (2, fork, 0)]
    table, body, at = b'', b'', 26 + 12 * len(entries)
    for eid, value, room in entries:
        table += struct.pack('>III', eid, at + len(body), len(value))
        body += value.ljust(room, b'\0')
    return bytes.fromhex('0005160700020000') + b'Netatalk' + b' ' * 8 + \
        struct.pack('>H', len(entries)) + table + body


def move_tree(converter, source_format, layout, new, old, log_folder):
    """Moves a server's tree as an administrator would, each output read back (--verify)."""
    os.makedirs(new, exist_ok=True)
    command = [converter, '-r', '-f', source_format, '--layout', layout, '--verify', new, old]
    run = subprocess.run(command, capture_output=True, text=True, timeout=600)
    with open(os.path.join(log_folder, f'move-{source_format}-{layout}.txt'), 'w') as out:
        out.write(f'$ {" ".join(command)}\n{run.stdout}{run.stderr}exit {run.returncode}\n')
    if run.returncode != 0:
        raise Failure(f'{" ".join(command)} exited {run.returncode}:\n{run.stdout}{run.stderr}')


def listed_tree(folder, share, folders):
    """{path: (fork size, Finder info, (modified, created))} of the folders, as a Mac client
    lists them from a Samba serving share with fruit's defaults; Samba's complaints fail."""
    with SambaPeer(folder, share, LAYOUTS['fruit']) as peer:
        client, tree = mac_client(peer.port)
        listing = {os.path.join(f, name): entry for f in folders
                   for name, entry in list_folder(client, tree, f).items()}
    if peer.complaints():
        raise Failure(f'Samba complained in {peer.log}: {peer.complaints()}')
    return listing


def check_netatalk2_move(converter, scratch, targets):
    """A netatalk 2 tree moved into fruit: Samba serves each file's type, creator, fork and
    dates as netatalk 2 kept them, the escaped name as a Mac sent it, the plain file as is."""
    folder, old, new = os.path.join(scratch, 'netatalk2'), \
        os.path.join(targets, 'netatalk2'), os.path.join(targets, 'netatalk2-fruit')
    for path in (folder, old, new):
        shutil.rmtree(path, ignore_errors=True)
    os.makedirs(os.path.join(old, 'Folder', '.AppleDouble'))
    os.makedirs(os.path.join(old, '.AppleDouble'))
    os.makedirs(folder)
    for path, _, real_name, kind, fork_size, modified in NETATALK2_FILES:
        parent, name = os.path.split(path)
        with open(os.path.join(old, path), 'wb') as out:
            out.write(b'data of ' + real_name)
        with open(os.path.join(old, parent, '.AppleDouble', name), 'wb') as out:
            out.write(netatalk2_header(real_name, kind, bytes(range(256)) * (fork_size // 256)
                                       + bytes(fork_size % 256), modified - 86400, modified))
        # netatalk 2 sets the file's own time with the header's when a client sets a date.
        os.utime(os.path.join(old, path), (modified, modified))
    with open(os.path.join(old, 'plain.txt'), 'wb') as out:
        out.write(b'no header\n')
    os.utime(os.path.join(old, 'plain.txt'), (1_250_000_000, 1_250_000_000))
    folder_info = bytes(8) + struct.pack('>H', NETATALK2_FOLDER_FLAGS)
    with open(os.path.join(old, 'Folder', '.AppleDouble', '.Parent'), 'wb') as out:
        out.write(netatalk2_header(b'Folder', folder_info, b'', 1_000_000_000, 1_000_086_400))
    os.utime(os.path.join(old, 'Folder'), (1_000_086_400, 1_000_086_400))
    move_tree(converter, 'netatalk2', 'fruit', new, old, folder)
    left = [root for root, folders, _ in os.walk(new) if '.AppleDouble' in folders]
    if left:
        raise Failure(f'.AppleDouble folders moved along in {left}')
    if open(os.path.join(new, 'plain.txt'), 'rb').read() != b'no header\n':
        raise Failure('plain.txt: its data changed')
    listing = listed_tree(os.path.join(folder, 'samba'), new, ['', 'Folder'])
    expected = {listed: (kind + bytes(2), fork_size, (modified, modified - 86400))
                for _, listed, _, kind, fork_size, modified in NETATALK2_FILES}
    expected['plain.txt'] = (bytes(10), 0, (1_250_000_000, 1_250_000_000))
    expected['Folder'] = (folder_info, 0, (1_000_086_400, 1_000_000_000))
    if sorted(listing) != sorted(expected):
        raise Failure(f'listed {sorted(listing)}, expected {sorted(expected)}')
    passed = failed = 0
    for name, (info, fork_size, dates) in sorted(expected.items()):
        got_fork, packed, got_dates = listing[name]
        if (packed[:10], got_fork, got_dates) == (info, fork_size, dates):
            passed += 1
            print(f'ok   netatalk2 move: {name!r} ({finder_fields(info)}, fork {fork_size})')
        else:
            failed += 1
            print(f'FAIL netatalk2 move: {name!r}: listed (Finder info, fork, dates) '
                  f'{(packed[:10].hex(), got_fork, got_dates)}, '
                  f'encoded {(info.hex(), fork_size, dates)}')
    return passed, failed


def ntfs_tools():
    """ntfs-3g and mkntfs where both are there and FUSE can mount, else None."""
    path = os.environ.get('PATH', '') + ':/usr/sbin:/sbin'
    tools = shutil.which('ntfs-3g', path=path), shutil.which('mkntfs', path=path)
    return tools if all(tools) and os.path.exists('/dev/fuse') else None


def check_sfm_round_trip(converter, scratch, targets):
    """A tree Samba wrote for a Windows client, moved fruit -> sfm (NTFS through ntfs-3g) ->
    fruit, lists to a Mac client as it did before."""
    tools = ntfs_tools()
    if tools is None:
        print('skipped sfm round trip: no ntfs-3g, mkntfs or /dev/fuse (Debian: ntfs-3g)')
        return 0, 0
    folder, written, fresh = os.path.join(scratch, 'sfm'), os.path.join(targets, 'sfm'), \
        os.path.join(targets, 'sfm-fruit')
    for path in (folder, written, fresh):
        shutil.rmtree(path, ignore_errors=True)
    for path in (folder, written):
        os.makedirs(path)
    with open(os.path.join(folder, 'data'), 'wb') as out:
        out.write(b'written through Samba\n')
    commands = ['mkdir Docs', 'mkdir Pictures']
    for i, (path, kind, flags, fork_size, modified) in enumerate(SAMBA_FILES):
        commands.append(f'put {folder}/data "{path}"')
        if kind:
            record = os.path.join(folder, f'afpinfo-{i}')
            with open(record, 'wb') as out:
                out.write(afpinfo_record(kind + struct.pack('>H', flags) + bytes(22)))
            commands.append(f'put {record} "{path}:AFP_AfpInfo"')
        if fork_size:
            fork = os.path.join(folder, f'fork-{i}')
            with open(fork, 'wb') as out:
                out.write(os.urandom(fork_size))
            commands.append(f'put {fork} "{path}:AFP_Resource"')
        date = time.strftime('%Y:%m:%d-%H:%M:%S', time.gmtime(modified))
        commands.append(f'utimes "{path}" -1 -1 {date} -1')
    with SambaPeer(os.path.join(folder, 'writer'), written, LAYOUTS['fruit']) as peer:
        output = smbclient(peer, commands)
    if 'NT_STATUS' in output:
        raise Failure(f'smbclient could not write the tree:\n{output}')
    folders = ['', 'Docs', 'Pictures']
    before = listed_tree(os.path.join(folder, 'before'), written, folders)
    for path, kind, flags, fork_size, modified in SAMBA_FILES:
        info = (kind or bytes(8)) + struct.pack('>H', flags)
        if path not in before or (before[path][1][:10], before[path][0], before[path][2][0]) \
                != (info, fork_size, modified):
            raise Failure(f'{path}: Samba lists {before.get(path)} of what it wrote: Finder '
                          f'info {info.hex()}, fork {fork_size}, modified {modified}')
    image, mount = os.path.join(folder, 'ntfs.img'), os.path.join(folder, 'ntfs')
    os.makedirs(mount)
    with open(image, 'wb') as out:
        out.truncate(64 << 20)
    for command in ([tools[1], '-q', '-F', '-f', image],
                    [tools[0], '-o', 'streams_interface=windows', image, mount]):
        run = subprocess.run(command, capture_output=True, text=True)
        if run.returncode != 0:
            raise Failure(f'{" ".join(command)} exited {run.returncode}: {run.stderr.strip()}')
    try:
        move_tree(converter, 'fruit', 'sfm', os.path.join(mount, 'tree'), written, folder)
        move_tree(converter, 'sfm', 'fruit', fresh, os.path.join(mount, 'tree'), folder)
    finally:
        if subprocess.run(['umount', mount]).returncode != 0:
            raise Failure(f'{mount} could not be unmounted')
    os.remove(image)
    after = listed_tree(os.path.join(folder, 'after'), fresh, folders)
    passed = failed = 0
    for path in sorted(set(before) | set(after)):
        # The fork, the Finder info as listed (type, creator, flags, extended flags), modified.
        was, now = ((e[0], e[1][:12].hex(), e[2][0]) if e else None
                    for e in (before.get(path), after.get(path)))
        if was == now:
            passed += 1
            print(f'ok   sfm round trip: {path} (Finder info {was[1]}, fork {was[0]})')
        else:
            failed += 1
            print(f'FAIL sfm round trip: {path}: listed (fork, Finder info, modified) {now}, '
                  f'before the moves {was}')
    return passed, failed


def has_fruit():
    """Whether smbd has vfs_fruit: Debian ships it apart, in samba-vfs-modules."""
    build = subprocess.run([SMBD, '-b'], capture_output=True, text=True).stdout
    modules = re.search(r'MODULESDIR: (\S+)', build)
    return bool(modules) and os.path.exists(os.path.join(modules.group(1), 'vfs', 'fruit.so'))


def holds_attribute(folder, size):
    """Whether files in folder keep a user attribute of size bytes."""
    try:
        with tempfile.NamedTemporaryFile(dir=folder) as probe:
            os.setxattr(probe.name, 'user.veskar.probe', bytes(size))
        return True
    except OSError:
        return False


def target_parent(scratch):
    """Where the converted folders go: tmpfs keeps an attribute of 64 KiB, the most Linux
    allows, where ext4 keeps some 4 KiB per file; a fork in an attribute needs the room."""
    for parent in ('/dev/shm', scratch):
        if os.path.isdir(parent) and holds_attribute(parent, 65000):
            return parent
    return scratch if holds_attribute(scratch, 1) else None


def folder_sources(samples, scratch):
    """A folder with information of its own beside it: the "._" file macOS wrote for a folder
    with an extended attribute (from Samba's own tests), the folder, and a file inside."""
    folders = os.path.join(scratch, 'folders')
    shutil.rmtree(folders, ignore_errors=True)
    os.makedirs(os.path.join(folders, 'dir'))
    outside = os.path.join(os.path.dirname(samples), 'samples-outside', 'appledouble')
    for sample in ('samba-osx-dir/._dir', 'la-four-xattrs/._myfile', 'la-four-xattrs/myfile'):
        if os.path.exists(os.path.join(outside, sample)):
            shutil.copy(os.path.join(outside, sample), folders)
    shutil.copy(os.path.join(samples, 'macbinary', 'Date Test.bin'),
                os.path.join(folders, 'dir'))
    return folders


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    converter, samples, scratch = (os.path.abspath(a) for a in sys.argv[1:])
    if importlib.util.find_spec('impacket') is None:
        print('skipped: no impacket (Debian: python3-impacket)')
        return SKIP
    if not os.access(SMBD, os.X_OK) or not shutil.which('smbclient') or not has_fruit():
        print('skipped: no smbd with vfs_fruit, or no smbclient '
              '(Debian: samba, samba-vfs-modules, smbclient)')
        return SKIP
    if os.geteuid() != 0:
        # Without root, smbd cannot become the share's user: its own writes (turning a "._"
        # file's Finder info into its metadata attribute) fail.
        print('skipped: smbd serves files properly only when started as root')
        return SKIP
    if not os.path.isdir(samples):
        print(f'skipped: no samples in {samples}')
        return SKIP
    os.makedirs(scratch, exist_ok=True)
    sources = [samples, folder_sources(samples, scratch)]
    parent = target_parent(scratch)
    if parent is None:
        print(f'skipped: the file system of {scratch} keeps no user attributes')
        return SKIP
    targets = tempfile.mkdtemp(prefix='veskar-samba-', dir=parent)
    passed = failed = 0
    all_passed = False
    try:
        for layout in LAYOUTS:
            try:
                layout_passed, layout_failed = check_layout(layout, converter, sources, scratch,
                                                            targets)
            except Failure as failure:
                layout_passed, layout_failed = 0, 1
                print(f'FAIL {layout}: {failure}')
            passed += layout_passed
            failed += layout_failed
        for label, check in (('netatalk2 move', check_netatalk2_move),
                             ('sfm round trip', check_sfm_round_trip)):
            try:
                check_passed, check_failed = check(converter, scratch, targets)
            except Failure as failure:
                check_passed, check_failed = 0, 1
                print(f'FAIL {label}: {failure}')
            passed += check_passed
            failed += check_failed
        all_passed = failed == 0
    finally:
        if all_passed:
            shutil.rmtree(targets, ignore_errors=True)
        else:
            print(f'the converted folders are kept in {targets}')
    print(f'{passed} passed, {failed} failed')
    return 0 if all_passed else 1


if __name__ == '__main__':
    sys.exit(main())
