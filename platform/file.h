#pragma once
// The thin file layer under the cached streams: open, positioned transfers, size, end of file, close, and the
// system's text for an error code. Nothing here raises; failures return the value named below and leave the
// reason in LastErrorCode().
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/native_path.h"

namespace platform {

// An open file. Never 0 for a file opened here, so that 0 can mean "no handle given".
using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFileHandle = -1;

// Opens an existing file for reading (others may read it too). kInvalidFileHandle on failure.
FileHandle FileOpenRead(const std::u16string& path);
// What FileOpenReadRegular found at a path.
enum class RegularFileOpen { Opened, NotRegular, Failed };
// Opens an existing regular file for reading as FileOpenRead does, without waiting on anything else: a
// folder, a device, a FIFO or a socket at the path (or a link to one) is NotRegular, and nothing stays open.
// Opened: the handle is left in file. Failed: the reason is in LastErrorCode().
RegularFileOpen FileOpenReadRegular(const std::u16string& path, FileHandle& file);
// Creates a file for reading and writing, or empties an existing one. kInvalidFileHandle on failure.
FileHandle FileCreate(const std::u16string& path);
// Moves the file pointer to an absolute position. False on failure (for instance a negative position).
bool FileSeekTo(FileHandle file, int64_t position, int64_t* newPosition);
// One synchronous read at position, leaving the file pointer: the bytes read (fewer near the end, 0 at or
// past it), or -1.
int32_t FileReadAt(FileHandle file, void* buffer, int32_t count, int64_t position);
// One synchronous write at position, leaving the file pointer, extending the file when needed: the bytes
// written, or -1.
int32_t FileWriteAt(FileHandle file, const void* buffer, int32_t count, int64_t position);
// The file's size in bytes. False on failure.
bool FileGetSize(FileHandle file, int64_t* size);
// Moves the end of the file to size. False on failure.
bool FileSetEnd(FileHandle file, int64_t size);
void FileClose(FileHandle file);
// Closes the file and says whether the system took everything written to it (false: the reason is in
// LastErrorCode(); a write may have been lost). The handle is released in either case.
bool FileCloseChecked(FileHandle file);
// A second handle to the same open file, for positioned reads from another thread; kInvalidFileHandle on
// failure. It stays on the file the first was opened on, whatever its path names meanwhile.
FileHandle FileDuplicate(FileHandle file);

// How many files and folders this process may hold open at once: the soft limit RLIMIT_NOFILE on POSIX
// systems (ulimit -n); SIZE_MAX where the system sets no such number (Windows, whose handles are limited by
// memory only).
size_t OpenFileLimit();

// For tests: a fault that FileReadAt asks before every read. A non-zero error code makes that read fail with
// it (as a failing disk would, e.g. EIO) without touching the file; 0 lets it read. nullptr, the default,
// removes the fault. Set it only while no other thread reads.
using ReadFault = uint32_t (*)(FileHandle file, int64_t position, int32_t count);
void SetReadFaultForTesting(ReadFault fault);

// Makes the C library's standard output pass bytes through as they are, so that binary data can be piped:
// on Windows it would turn "\n" into "\r\n". Linux: nothing to do.
void SetStandardOutputBinary();

// The calling thread's last error code of the calls above.
uint32_t LastErrorCode();
// The system's text for an error code, without trailing white space or full stops.
std::u16string SystemErrorText(uint32_t code);

} // namespace platform
