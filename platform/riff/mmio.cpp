#include "platform/riff/mmio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include <sys/stat.h>

struct MmioFile {
    std::FILE* fp = nullptr;
    bool writable = false;
    std::int64_t pos = 0;
    bool lastWasWrite = false;
    bool lastWasRead = false;
};

namespace {

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
        default: return MMIOERR_CANNOTOPEN;
    }
}

bool SeekTo(HMMIO h, std::int64_t pos) {
    if (pos < 0) return false;
    if (::fseeko(h->fp, static_cast<off_t>(pos), SEEK_SET) != 0) return false;
    h->pos = pos;
    h->lastWasRead = h->lastWasWrite = false;
    return true;
}

std::int64_t FileSize(HMMIO h) {
    struct stat st {};
    if (::fflush(h->fp) != 0 && h->writable) {
        // The size below still reflects what reached the file.
    }
    if (::fstat(::fileno(h->fp), &st) != 0) return 0;
    return static_cast<std::int64_t>(st.st_size);
}

std::int64_t ReadRaw(HMMIO h, void* buf, std::int64_t bytes) {
    if (h->lastWasWrite && !SeekTo(h, h->pos)) return -1;
    const size_t got = std::fread(buf, 1, static_cast<size_t>(bytes), h->fp);
    h->lastWasRead = true;
    h->pos += static_cast<std::int64_t>(got);
    if (got < static_cast<size_t>(bytes) && std::ferror(h->fp)) {
        std::clearerr(h->fp);
        return got > 0 ? static_cast<std::int64_t>(got) : -1;
    }
    std::clearerr(h->fp);
    return static_cast<std::int64_t>(got);
}

std::int64_t WriteRaw(HMMIO h, const void* buf, std::int64_t bytes) {
    if (!h->writable) return -1;
    if (h->lastWasRead && !SeekTo(h, h->pos)) return -1;
    const size_t put = std::fwrite(buf, 1, static_cast<size_t>(bytes), h->fp);
    h->lastWasWrite = true;
    h->pos += static_cast<std::int64_t>(put);
    if (put < static_cast<size_t>(bytes)) {
        std::clearerr(h->fp);
        return put > 0 ? static_cast<std::int64_t>(put) : -1;
    }
    return static_cast<std::int64_t>(put);
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

}  // namespace

HMMIO mmioOpenA(const char* name, MMIOINFO* info, DWORD flags) {
    if (info) info->wErrorRet = 0;
    if (name == nullptr || name[0] == '\0') {
        if (info) info->wErrorRet = MMIOERR_FILENOTFOUND;
        return nullptr;
    }
    const bool create = (flags & MMIO_CREATE) != 0;
    const bool write = (flags & (MMIO_WRITE | MMIO_READWRITE)) != 0;
    const char* mode = create ? (write && (flags & MMIO_READWRITE) ? "w+b" : "wb") : (write ? "r+b" : "rb");
    if (create && !write) mode = "w+b";
    errno = 0;
    std::FILE* fp = std::fopen(name, mode);
    if (fp == nullptr) {
        if (info) info->wErrorRet = OpenErrorFromErrno(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(::fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(fp);
        if (info) info->wErrorRet = MMIOERR_CANNOTOPEN;
        return nullptr;
    }
    auto* h = new (std::nothrow) MmioFile;
    if (h == nullptr) {
        std::fclose(fp);
        if (info) info->wErrorRet = MMIOERR_OUTOFMEMORY;
        return nullptr;
    }
    h->fp = fp;
    h->writable = write || create;
    return h;
}

LONG mmioSeek(HMMIO h, LONG offset, int origin) {
    if (h == nullptr) return -1;
    std::int64_t target = 0;
    switch (origin) {
        case SEEK_SET: target = offset; break;
        case SEEK_CUR: target = h->pos + offset; break;
        case SEEK_END: target = FileSize(h) + offset; break;
        default: return -1;
    }
    if (!SeekTo(h, target)) return -1;
    return static_cast<LONG>(target);
}

std::int64_t mmioTell(HMMIO h) { return h ? h->pos : -1; }

std::int64_t mmioFileSize(HMMIO h) { return h ? FileSize(h) : 0; }

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
        const std::int64_t end = h->pos;
        std::int64_t size = end - ck->llDataOffset;
        if (size < 0) size = 0;
        if (size > 0xFFFFFFFFLL) return MMIOERR_CANNOTWRITE;
        const DWORD size32 = static_cast<DWORD>(size);
        if (size32 != ck->cksize) {
            BYTE field[4];
            PutLe32(field, size32);
            if (!SeekTo(h, ck->llDataOffset - 4)) return MMIOERR_CANNOTSEEK;
            if (WriteRaw(h, field, 4) != 4) return MMIOERR_CANNOTWRITE;
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
    if (parent != nullptr) {
        const std::int64_t parentEnd = parent->llDataOffset + static_cast<std::int64_t>(parent->cksize);
        if (parentEnd < limit) limit = parentEnd;
    }
    const FOURCC wantId = ck->ckid;
    const FOURCC wantType = ck->fccType;
    std::int64_t at = h->pos;
    while (at + 8 <= limit) {
        if (!SeekTo(h, at)) return MMIOERR_CANNOTSEEK;
        BYTE header[12];
        if (ReadRaw(h, header, 8) != 8) return MMIOERR_CHUNKNOTFOUND;
        const FOURCC id = Le32(header);
        const DWORD size = Le32(header + 4);
        const bool isForm = id == FOURCC_RIFF || id == FOURCC_LIST;
        FOURCC type = 0;
        if (isForm && at + 12 <= fileEnd) {
            if (ReadRaw(h, header + 8, 4) == 4) type = Le32(header + 8);
        }
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
            if (!SeekTo(h, at + (isForm ? 12 : 8))) return MMIOERR_CANNOTSEEK;
            return MMSYSERR_NOERROR;
        }
        // Next chunk: header, body and pad byte. Always at least 8 bytes on.
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

UINT mmioFlush(HMMIO h, UINT) {
    if (h == nullptr) return MMIOERR_CANNOTWRITE;
    if (h->writable && std::fflush(h->fp) != 0) return MMIOERR_CANNOTWRITE;
    return MMSYSERR_NOERROR;
}

UINT mmioClose(HMMIO h, UINT) {
    if (h == nullptr) return MMIOERR_CANNOTCLOSE;
    UINT result = MMSYSERR_NOERROR;
    if (h->writable && std::fflush(h->fp) != 0) result = MMIOERR_CANNOTWRITE;
    if (std::fclose(h->fp) != 0 && result == MMSYSERR_NOERROR) result = h->writable ? MMIOERR_CANNOTWRITE : MMIOERR_CANNOTCLOSE;
    delete h;
    return result;
}
