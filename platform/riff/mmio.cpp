#include "platform/riff/mmio.h"

#include <cerrno>
#include <cstdio>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/fileopen.h"

// An open file: the descriptor and the position that every read and write starts from. Reads
// and writes go straight to the file at that position, so a failure shows in the call that
// caused it and no buffered byte can be lost at close.
struct MmioFile {
    int fd = -1;
    bool writable = false;
    std::int64_t pos = 0;
};

namespace {

constexpr std::int64_t kMaxChunkSize = 0xFFFFFFFFLL;

UINT OpenErrorFromErrno(int err) {
    switch (err) {
        case ENOENT: return MMIOERR_FILENOTFOUND;
        case ENOTDIR: return MMIOERR_PATHNOTFOUND;
        case EACCES:
        case EPERM:
        case EROFS: return MMIOERR_ACCESSDENIED;
        case EMFILE:
        case ENFILE: return MMIOERR_TOOMANYOPENFILES;
        case ENOMEM: return MMIOERR_OUTOFMEMORY;
        case ENOSPC:
        case EDQUOT: return MMIOERR_CANNOTWRITE;
        default: return MMIOERR_CANNOTOPEN;
    }
}

// Reads up to bytes at the position and moves it on. Returns the bytes read (fewer at the end
// of the file), or -1 when an error came before any byte.
std::int64_t ReadRaw(HMMIO h, void* buf, std::int64_t bytes) {
    auto* out = static_cast<BYTE*>(buf);
    std::int64_t got = 0;
    while (got < bytes) {
        const ssize_t n = ::pread(h->fd, out + got, static_cast<size_t>(bytes - got), static_cast<off_t>(h->pos + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (got == 0) return -1;
            break;
        }
        if (n == 0) break;
        got += n;
    }
    h->pos += got;
    return got;
}

// Writes bytes at the position and moves it on. Returns the bytes written (fewer when the disk
// filled up), or -1 when nothing could be written.
std::int64_t WriteRaw(HMMIO h, const void* buf, std::int64_t bytes) {
    if (!h->writable) return -1;
    const auto* in = static_cast<const BYTE*>(buf);
    std::int64_t put = 0;
    while (put < bytes) {
        const ssize_t n = ::pwrite(h->fd, in + put, static_cast<size_t>(bytes - put), static_cast<off_t>(h->pos + put));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (put == 0) return -1;
            break;
        }
        put += n;
    }
    h->pos += put;
    return put;
}

bool SeekTo(HMMIO h, std::int64_t pos) {
    if (pos < 0) return false;
    h->pos = pos;
    return true;
}

std::int64_t FileSize(HMMIO h) {
    struct stat st {};
    if (::fstat(h->fd, &st) != 0) return 0;
    return static_cast<std::int64_t>(st.st_size);
}

DWORD Le32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

void PutLe32(BYTE* p, DWORD v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
    p[2] = static_cast<BYTE>(v >> 16);
    p[3] = static_cast<BYTE>(v >> 24);
}

void SetDataOffset(MMCKINFO* ck, std::int64_t off) {
    ck->llDataOffset = off;
    ck->dwDataOffset = static_cast<DWORD>(off);
}

bool IsForm(FOURCC id) { return id == FOURCC_RIFF || id == FOURCC_LIST; }

}  // namespace

HMMIO mmioOpenA(const char* name, MMIOINFO* info, DWORD flags) {
    if (info) info->wErrorRet = 0;
    if (name == nullptr || name[0] == '\0') {
        if (info) info->wErrorRet = MMIOERR_FILENOTFOUND;
        return nullptr;
    }
    const bool create = (flags & MMIO_CREATE) != 0;
    int access = O_RDONLY;
    if (flags & MMIO_READWRITE) {
        access = O_RDWR;
    } else if (flags & MMIO_WRITE) {
        access = O_WRONLY;
    } else if (create) {
        access = O_RDWR;
    }
    // Non-blocking only for the open itself, so a named pipe cannot hold the caller; it is
    // refused below.
    int oflags = access | O_CLOEXEC | O_NONBLOCK;
    // A file written over is emptied only once it is known to be a regular file of one name.
    const bool overwrite = create && (flags & MMIO_CREATENEW) == 0;
    if (create) oflags |= overwrite ? O_CREAT : O_CREAT | O_EXCL;
    if (flags & MMIO_NOFOLLOW) oflags |= O_NOFOLLOW;
    int fd = -1;
    do {
        fd = ::open(name, oflags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (info) info->wErrorRet = errno == EEXIST ? MMIOERR_FILEEXISTS : OpenErrorFromErrno(errno);
        return nullptr;
    }
    struct stat st {};
    const int fl = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || fl < 0 ||
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) {
        ::close(fd);
        if (info) info->wErrorRet = MMIOERR_CANNOTOPEN;
        return nullptr;
    }
    if (overwrite && S_ISREG(st.st_mode)) {
        if (st.st_nlink > 1 && (flags & MMIO_NOFOLLOW) != 0) {
            // The file has another name too (a hard link): it keeps its data under that name, and
            // a new file takes this one.
            ::close(fd);
            fd = platform::ReplaceWithNewFile(name, access == O_RDWR);
        } else if (::ftruncate(fd, 0) != 0) {
            ::close(fd);
            fd = -1;
        }
        if (fd < 0) {
            if (info) info->wErrorRet = OpenErrorFromErrno(errno);
            return nullptr;
        }
    }
    auto* h = new (std::nothrow) MmioFile;
    if (h == nullptr) {
        ::close(fd);
        if (info) info->wErrorRet = MMIOERR_OUTOFMEMORY;
        return nullptr;
    }
    h->fd = fd;
    h->writable = access != O_RDONLY;
    return h;
}

std::int64_t mmioSeek64(HMMIO h, std::int64_t offset, int origin) {
    if (h == nullptr) return -1;
    std::int64_t base = 0;
    switch (origin) {
        case SEEK_SET: base = 0; break;
        case SEEK_CUR: base = h->pos; break;
        case SEEK_END: base = FileSize(h); break;
        default: return -1;
    }
    // Offsets near the 64-bit limits would overflow; no file is that large.
    if ((offset > 0 && base > INT64_MAX - offset) || (offset < 0 && base < INT64_MIN - offset)) return -1;
    const std::int64_t target = base + offset;
    if (!SeekTo(h, target)) return -1;
    return target;
}

LONG mmioSeek(HMMIO h, LONG offset, int origin) {
    const std::int64_t target = mmioSeek64(h, offset, origin);
    return target < 0 ? -1 : static_cast<LONG>(target);
}

std::int64_t mmioTell(HMMIO h) { return h ? h->pos : -1; }

std::int64_t mmioFileSize(HMMIO h) { return h ? FileSize(h) : 0; }

UINT mmioTruncate(HMMIO h) {
    if (h == nullptr || !h->writable) return MMIOERR_CANNOTWRITE;
    int rc;
    do {
        rc = ::ftruncate(h->fd, static_cast<off_t>(h->pos));
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? MMSYSERR_NOERROR : MMIOERR_CANNOTWRITE;
}

bool mmioIsFile(HMMIO h, const char* name) {
    if (h == nullptr || name == nullptr) return false;
    struct stat open {};
    struct stat named {};
    return ::fstat(h->fd, &open) == 0 && ::lstat(name, &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

UINT mmioCreateChunk(HMMIO h, MMCKINFO* ck, UINT flags) {
    if (h == nullptr || ck == nullptr) return MMIOERR_CANNOTWRITE;
    BYTE header[12];
    std::int64_t headerBytes = 8;
    if (flags & MMIO_CREATERIFF) ck->ckid = FOURCC_RIFF;
    if (flags & MMIO_CREATELIST) ck->ckid = FOURCC_LIST;
    PutLe32(header, ck->ckid);
    PutLe32(header + 4, ck->cksize);
    if (flags & (MMIO_CREATERIFF | MMIO_CREATELIST)) {
        PutLe32(header + 8, ck->fccType);
        headerBytes = 12;
    }
    const std::int64_t start = h->pos;
    if (WriteRaw(h, header, headerBytes) != headerBytes) {
        SeekTo(h, start);
        return MMIOERR_CANNOTWRITE;
    }
    SetDataOffset(ck, start + 8);
    ck->dwFlags = MMIO_DIRTY;
    return MMSYSERR_NOERROR;
}

UINT mmioAscend(HMMIO h, MMCKINFO* ck, UINT) {
    if (h == nullptr || ck == nullptr) return MMIOERR_CANNOTSEEK;
    if (ck->dwFlags & MMIO_DIRTY) {
        std::int64_t size = h->pos - ck->llDataOffset;
        if (size < 0) size = 0;
        if (size > kMaxChunkSize) return MMIOERR_CANNOTWRITE;
        const DWORD size32 = static_cast<DWORD>(size);
        if (size32 != ck->cksize) {
            BYTE field[4];
            PutLe32(field, size32);
            if (!SeekTo(h, ck->llDataOffset - 4)) return MMIOERR_CANNOTSEEK;
            if (WriteRaw(h, field, 4) != 4) {
                SeekTo(h, ck->llDataOffset + size);
                return MMIOERR_CANNOTWRITE;
            }
            ck->cksize = size32;
        }
        if (!SeekTo(h, ck->llDataOffset + size)) return MMIOERR_CANNOTSEEK;
        if (size & 1) {
            const BYTE pad = 0;
            if (WriteRaw(h, &pad, 1) != 1) return MMIOERR_CANNOTWRITE;
        }
        ck->dwFlags &= ~MMIO_DIRTY;
        return MMSYSERR_NOERROR;
    }
    const std::int64_t size = static_cast<std::int64_t>(ck->cksize);
    if (!SeekTo(h, ck->llDataOffset + size + (size & 1))) return MMIOERR_CANNOTSEEK;
    return MMSYSERR_NOERROR;
}

UINT mmioDescend(HMMIO h, MMCKINFO* ck, const MMCKINFO* parent, UINT flags) {
    if (h == nullptr || ck == nullptr) return MMIOERR_CHUNKNOTFOUND;
    const std::int64_t fileEnd = FileSize(h);
    std::int64_t limit = fileEnd;
    std::int64_t at = h->pos;
    if (parent != nullptr) {
        // The walk stays inside the parent's body (after its form type).
        const std::int64_t bodyStart = parent->llDataOffset + (IsForm(parent->ckid) ? 4 : 0);
        const std::int64_t parentEnd = parent->llDataOffset + static_cast<std::int64_t>(parent->cksize);
        if (parentEnd < limit) limit = parentEnd;
        if (at < bodyStart) at = bodyStart;
    }
    const FOURCC wantId = ck->ckid;
    const FOURCC wantType = ck->fccType;
    while (at + 8 <= limit) {
        if (!SeekTo(h, at)) return MMIOERR_CANNOTSEEK;
        BYTE header[12];
        if (ReadRaw(h, header, 8) != 8) return MMIOERR_CHUNKNOTFOUND;
        const FOURCC id = Le32(header);
        const DWORD size = Le32(header + 4);
        const bool isForm = IsForm(id);
        FOURCC type = 0;
        if (isForm && ReadRaw(h, header + 8, 4) == 4) type = Le32(header + 8);
        bool match = false;
        if (flags & MMIO_FINDRIFF) {
            match = id == FOURCC_RIFF && type == wantType;
        } else if (flags & MMIO_FINDLIST) {
            match = id == FOURCC_LIST && type == wantType;
        } else if (flags & MMIO_FINDCHUNK) {
            match = id == wantId;
        } else {
            match = true;
        }
        if (match) {
            ck->ckid = id;
            ck->cksize = size;
            ck->fccType = isForm ? type : 0;
            ck->dwFlags = 0;
            SetDataOffset(ck, at + 8);
            SeekTo(h, at + (isForm ? 12 : 8));
            return MMSYSERR_NOERROR;
        }
        // On to the next chunk: header, body and pad byte, so always at least 8 bytes further.
        const std::int64_t body = static_cast<std::int64_t>(size);
        at += 8 + body + (body & 1);
    }
    SeekTo(h, at < limit ? at : limit);
    return MMIOERR_CHUNKNOTFOUND;
}

LONG mmioRead(HMMIO h, void* buf, LONG bytes) {
    if (h == nullptr || bytes < 0 || (buf == nullptr && bytes > 0)) return -1;
    if (bytes == 0) return 0;
    return static_cast<LONG>(ReadRaw(h, buf, bytes));
}

LONG mmioWrite(HMMIO h, const void* buf, LONG bytes) {
    if (h == nullptr || bytes < 0 || (buf == nullptr && bytes > 0)) return -1;
    if (bytes == 0) return 0;
    return static_cast<LONG>(WriteRaw(h, buf, bytes));
}

UINT mmioFlush(HMMIO h, UINT) { return h == nullptr ? MMIOERR_CANNOTWRITE : MMSYSERR_NOERROR; }

UINT mmioClose(HMMIO h, UINT) {
    if (h == nullptr) return MMIOERR_CANNOTCLOSE;
    // The descriptor is gone after close() whatever it returns (EINTR included); only the
    // result is kept.
    const int rc = ::close(h->fd);
    const UINT result = rc == 0 ? MMSYSERR_NOERROR : (h->writable ? MMIOERR_CANNOTWRITE : MMIOERR_CANNOTCLOSE);
    delete h;
    return result;
}
