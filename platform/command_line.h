#pragma once
// What a program needs of the system around it when it is started from a command line: its arguments, its
// standard streams, whether they reach a terminal, and the texts of the C library's error numbers.
#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// The program's arguments, its own name first, each in the bytes that PathFromNative reads back exactly.
// argc and argv are main's, from which a library may have taken its own options (QApplication takes
// "-platform offscreen"); those stay out. POSIX: argv byte for byte. Windows: argv holds the ANSI code page,
// which has no room for most names, so each argument is taken from the UTF-16 command line instead.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Makes the standard streams fit for a command-line program, once at its start. POSIX: descriptors 0 to 2
// that the caller left closed are taken by /dev/null opened for reading only; otherwise the first files the
// program opens would get them, and an archive or an extracted file would receive the messages (output to a
// closed stdout still fails, and is reported). Windows: stdout and stderr pass bytes as they are (the C
// library would write every "\n" as "\r\n") and the console shows UTF-8; files are handles there, which never
// take the place of a standard stream.
void PrepareStandardStreams();

// Writes all of data to standard output, unbuffered, going on after a signal interrupts a write. 0, or the C
// library's error number (errno) of the write that failed: EPIPE when the reader went away.
int WriteStandardOutput(const char* data, size_t size);

// Whether standard error is a terminal (someone watching), not a file or a pipe.
bool StandardErrorIsTerminal();

// The text for an error number of the C library (errno), as the program shows the system's texts: without a
// trailing full stop. On POSIX systems these are the system's own codes (SystemErrorText); the Windows C
// library numbers its errors apart from the system's.
std::u16string CLibraryErrorText(int error);

} // namespace platform
