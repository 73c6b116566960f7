// RIFF chunk file I/O over ordinary files: open, read, write, seek, create chunk, descend,
// ascend, flush, close, with the desktop multimedia library's error codes. Positions are 64-bit
// inside; a chunk walk always advances and stops at the parent's end or at the end of the file,
// whatever sizes the file claims. A handle is used by one thread at a time.
#pragma once

#include <cstdint>

#include "platform/base/types.h"

struct MmioFile;
using HMMIO = MmioFile*;

inline constexpr UINT MMSYSERR_NOERROR = 0;
inline constexpr UINT MMIOERR_BASE = 256;
inline constexpr UINT MMIOERR_FILENOTFOUND = MMIOERR_BASE + 1;
inline constexpr UINT MMIOERR_OUTOFMEMORY = MMIOERR_BASE + 2;
inline constexpr UINT MMIOERR_CANNOTOPEN = MMIOERR_BASE + 3;
inline constexpr UINT MMIOERR_CANNOTCLOSE = MMIOERR_BASE + 4;
inline constexpr UINT MMIOERR_CANNOTREAD = MMIOERR_BASE + 5;
inline constexpr UINT MMIOERR_CANNOTWRITE = MMIOERR_BASE + 6;
inline constexpr UINT MMIOERR_CANNOTSEEK = MMIOERR_BASE + 7;
inline constexpr UINT MMIOERR_CANNOTEXPAND = MMIOERR_BASE + 8;
inline constexpr UINT MMIOERR_CHUNKNOTFOUND = MMIOERR_BASE + 9;
inline constexpr UINT MMIOERR_PATHNOTFOUND = MMIOERR_BASE + 11;
inline constexpr UINT MMIOERR_ACCESSDENIED = MMIOERR_BASE + 12;
inline constexpr UINT MMIOERR_TOOMANYOPENFILES = MMIOERR_BASE + 15;
inline constexpr UINT MMIOERR_INVALIDFILE = MMIOERR_BASE + 16;
// This platform's own: MMIO_CREATENEW found something under the name.
inline constexpr UINT MMIOERR_FILEEXISTS = MMIOERR_BASE + 20;

// Open flags.
inline constexpr DWORD MMIO_READ = 0x0000;
inline constexpr DWORD MMIO_WRITE = 0x0001;
inline constexpr DWORD MMIO_READWRITE = 0x0002;
inline constexpr DWORD MMIO_CREATE = 0x1000;
// This platform's own open flags. With MMIO_CREATE, MMIO_CREATENEW makes a new file only: a name
// under which anything exists (a link that points nowhere included) fails with
// MMIOERR_FILEEXISTS and nothing is touched. MMIO_NOFOLLOW never follows a link in the last part
// of the name: such a name fails to open; and when MMIO_CREATE writes over a regular file that
// is there (without MMIO_CREATENEW), one that has another name too (a hard link) is left to that
// name, and a new file takes this one.
inline constexpr DWORD MMIO_CREATENEW = 0x00100000;
inline constexpr DWORD MMIO_NOFOLLOW = 0x00200000;

// Chunk flags.
inline constexpr UINT MMIO_FINDCHUNK = 0x0010;
inline constexpr UINT MMIO_FINDRIFF = 0x0020;
inline constexpr UINT MMIO_FINDLIST = 0x0040;
inline constexpr UINT MMIO_CREATERIFF = 0x0020;
inline constexpr UINT MMIO_CREATELIST = 0x0040;
inline constexpr DWORD MMIO_DIRTY = 0x10000000;

inline constexpr FOURCC FOURCC_RIFF = MakeFourCC('R', 'I', 'F', 'F');
inline constexpr FOURCC FOURCC_LIST = MakeFourCC('L', 'I', 'S', 'T');

struct MMIOINFO {
    DWORD dwFlags = 0;
    UINT wErrorRet = 0;  // the error of a failed mmioOpenA
};

struct MMCKINFO {
    FOURCC ckid = 0;
    DWORD cksize = 0;
    FOURCC fccType = 0;
    DWORD dwDataOffset = 0;  // low 32 bits of the data offset, as the desktop record has it
    DWORD dwFlags = 0;
    std::int64_t llDataOffset = 0;  // the full offset of the chunk's data
};

// Opens name. MMIO_CREATE | MMIO_WRITE creates or truncates; MMIO_READ opens for reading.
// Directories, pipes and sockets are refused (they would block or could not seek). Returns null
// on failure with the error in info->wErrorRet (when info is given). Nothing is buffered: every
// write reaches the file at once, so a full disk shows in the call that hit it.
HMMIO mmioOpenA(const char* name, MMIOINFO* info, DWORD flags);
// Moves the position; origin is SEEK_SET, SEEK_CUR or SEEK_END. Returns the new position
// (truncated to 32 bits) or -1 when it would be negative.
LONG mmioSeek(HMMIO h, LONG offset, int origin);
// The same with 64-bit offsets and result.
std::int64_t mmioSeek64(HMMIO h, std::int64_t offset, int origin);
// Writes a chunk header at the current position ("RIFF" or "LIST" plus the form type with the
// create flags) and marks the record so that mmioAscend fixes its size.
UINT mmioCreateChunk(HMMIO h, MMCKINFO* ck, UINT flags);
// Leaves a chunk: a created chunk gets its real size, counted up to the current position (and
// a pad byte when odd); the position moves past the chunk's end. A created chunk longer than a
// 32-bit size can state is refused with MMIOERR_CANNOTWRITE.
UINT mmioAscend(HMMIO h, MMCKINFO* ck, UINT flags);
// Finds the next chunk (with MMIO_FINDRIFF / MMIO_FINDLIST the form type ck->fccType, with
// MMIO_FINDCHUNK the id ck->ckid, without a flag any chunk) from the current position within
// parent (or the file) and positions at its body (after the form type for RIFF and LIST).
// Every step moves on by at least one chunk header, and the walk ends at the parent's end or
// at the end of the file, whatever sizes the file states.
UINT mmioDescend(HMMIO h, MMCKINFO* ck, const MMCKINFO* parent, UINT flags);
// Return the bytes moved (fewer at the end of the file or when the disk is full), or -1 when
// nothing could be moved because of an error.
LONG mmioRead(HMMIO h, void* buf, LONG bytes);
LONG mmioWrite(HMMIO h, const void* buf, LONG bytes);
// Nothing is held back, so this only checks the handle.
UINT mmioFlush(HMMIO h, UINT flags);
// Closes the handle whatever happens; the result reports a failed close.
UINT mmioClose(HMMIO h, UINT flags);

// Current position of the handle (64-bit), for callers that need more than mmioSeek gives.
std::int64_t mmioTell(HMMIO h);
// Size of the file as it stands now.
std::int64_t mmioFileSize(HMMIO h);
// Cuts the file at the current position (what lies beyond it is gone); 0 or MMIOERR_CANNOTWRITE.
UINT mmioTruncate(HMMIO h);
// Whether name (its last part not followed when a link) is the very file open on h.
bool mmioIsFile(HMMIO h, const char* name);
