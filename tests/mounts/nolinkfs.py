#!/usr/bin/python3
# A folder mounted through FUSE the way desktop share mounts behave: no hard
# links, no rename flags (the kernel answers RENAME_NOREPLACE with EINVAL once
# the file system has no rename2), and with --no-rename-over no rename onto an
# existing name either. With --write-delay-ms N every 4 KiB written waits N ms,
# as a slow share does (40 ms: about 100 KB/s). With --hold-while FILE, a write
# past the first 4 KiB of a file outside hidden folders waits while FILE
# exists, so a test can stop a run in the middle of filling a copy; FILE.held
# then says a write waits (the server answers nothing else meanwhile). Usage:
# nolinkfs.py BACKING MOUNTPOINT [--no-rename-over] [--write-delay-ms N]
#             [--hold-while FILE]
import errno
import os
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class NoLinkFs(Operations):
    def __init__(self, root, rename_over, write_delay, hold_while):
        self.root = root
        self.rename_over = rename_over
        self.write_delay = write_delay
        self.hold_while = hold_while

    def _path(self, path):
        return os.path.join(self.root, path.lstrip('/'))

    def getattr(self, path, fh=None):
        st = os.lstat(self._path(path))
        return {key: getattr(st, key) for key in (
            'st_mode', 'st_nlink', 'st_uid', 'st_gid', 'st_size',
            'st_atime', 'st_mtime', 'st_ctime')}

    def readdir(self, path, fh):
        return ['.', '..'] + os.listdir(self._path(path))

    def access(self, path, mode):
        if not os.access(self._path(path), mode):
            raise FuseOSError(errno.EACCES)

    def chmod(self, path, mode):
        os.chmod(self._path(path), mode)

    def chown(self, path, uid, gid):
        os.chown(self._path(path), uid, gid)

    def utimens(self, path, times=None):
        os.utime(self._path(path), times)

    def mkdir(self, path, mode):
        os.mkdir(self._path(path), mode)

    def rmdir(self, path):
        os.rmdir(self._path(path))

    def unlink(self, path):
        os.unlink(self._path(path))

    def link(self, target, name):
        raise FuseOSError(errno.EPERM)

    def symlink(self, name, target):
        raise FuseOSError(errno.EPERM)

    def rename(self, old, new):
        if not self.rename_over and os.path.lexists(self._path(new)):
            raise FuseOSError(errno.EEXIST)
        os.rename(self._path(old), self._path(new))

    def statfs(self, path):
        st = os.statvfs(self._path(path))
        return {key: getattr(st, key) for key in (
            'f_bavail', 'f_bfree', 'f_blocks', 'f_bsize', 'f_favail',
            'f_ffree', 'f_files', 'f_flag', 'f_frsize', 'f_namemax')}

    def open(self, path, flags):
        return os.open(self._path(path), flags)

    def create(self, path, mode, fi=None):
        return os.open(self._path(path), os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def _held(self, path, offset):
        if not self.hold_while or offset < 4096:
            return False
        if any(part.startswith('.') for part in path.split('/')):
            return False
        return os.path.exists(self.hold_while)

    def write(self, path, data, offset, fh):
        # Bounded: the writer cannot die while its write waits here.
        deadline = time.monotonic() + 60
        if self._held(path, offset):
            open(self.hold_while + '.held', 'w').close()
        while self._held(path, offset) and time.monotonic() < deadline:
            time.sleep(0.01)
        if self.write_delay:
            time.sleep(self.write_delay * ((len(data) + 4095) // 4096))
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        if fh is None:
            os.truncate(self._path(path), length)
        else:
            os.ftruncate(fh, length)

    def flush(self, path, fh):
        return 0

    def release(self, path, fh):
        os.close(fh)

    def fsync(self, path, datasync, fh):
        if datasync:
            os.fdatasync(fh)
        else:
            os.fsync(fh)


if __name__ == '__main__':
    options = sys.argv[3:]
    delay = 0.0
    if '--write-delay-ms' in options:
        delay = int(options[options.index('--write-delay-ms') + 1]) / 1000.0
    # A slow share takes small writes, so a copy lands a little at a time,
    # and what it holds is asked afresh each time.
    hold = options[options.index('--hold-while') + 1] if '--hold-while' in options else None
    extra = {'max_write': 4096, 'attr_timeout': 0, 'entry_timeout': 0} if delay or hold else {}
    FUSE(NoLinkFs(sys.argv[1], '--no-rename-over' not in options, delay, hold), sys.argv[2],
         foreground=True, nothreads=True, fsname='nolinkfs', subtype='nolinkfs',
         hard_remove=True, **extra)
