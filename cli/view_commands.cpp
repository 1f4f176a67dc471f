#include "cli/view_commands.h"

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <span>

#include "archive/bsa_file.h"
#include "base/exceptions.h"
#include "base/ustring.h"
#include "cli/messages.h"
#include "extract/entry_fetch.h"
#include "extract/user_file.h"
#include "platform/file.h"
#include "platform/native_path.h"
#include "texture/dds_decode.h"
#include "texture/png_writer.h"
#include "texture/texture_error.h"

namespace {

// The archive, or null after printing why it cannot be opened.
std::unique_ptr<TwbBSAFile> OpenOrSay(const std::u16string& archivePath, FILE* errors) {
    TOpenedArchive opened = OpenArchive(archivePath);
    if (!opened.result) {
        PrintMessage(errors, OpenFailure(archivePath, opened.result.reason));
    }
    return std::move(opened.reader);
}

// The entry the entry string names, or nothing after printing that there is none.
std::optional<TEntryRef> FindOrSay(const TwbBSAFile& archive, const std::u16string& archivePath,
                                   const std::u16string& entry, FILE* errors) {
    const std::optional<TEntryRef> found = FindEntryByString(archive, entry);
    if (!found) {
        PrintMessage(errors, entry + u": not found in " + archivePath);
    }
    return found;
}

// The entry's bytes, or false after printing why not.
bool FetchOrSay(const std::u16string& archivePath, const std::u16string& entry, TBytes& data, FILE* errors) {
    const std::unique_ptr<TwbBSAFile> archive = OpenOrSay(archivePath, errors);
    if (!archive) {
        return false;
    }
    const std::optional<TEntryRef> found = FindOrSay(*archive, archivePath, entry, errors);
    if (!found) {
        return false;
    }
    if (const TFetchResult fetched = FetchEntry(*archive, *found, data); !fetched) {
        PrintMessage(errors, EntryFailure(entry, fetched.reason));
        return false;
    }
    return true;
}

// An entry's bytes on their way to an output stream; a write that fails raises, with the reason kept.
class TOutputDestination : public TEntryDestination, private TStream {
public:
    explicit TOutputDestination(FILE* out) : out_(out) {}
    TStream& Begin(uint64_t) override { return *this; }
    int error() const { return error_; }

private:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override {
        if (count > 0 &&
            std::fwrite(buffer, 1, static_cast<size_t>(count), out_) != static_cast<size_t>(count)) {
            error_ = errno;
            throw EWriteError();
        }
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
    using TStream::Seek;

    FILE* out_;
    int error_ = 0;
};

bool ParseNumber(const std::string& text, uint32_t& value) {
    char* end = nullptr;
    errno = 0;
    const unsigned long parsed = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || parsed > 0xFFFF || text[0] == '-') {
        return false;
    }
    value = uint32_t(parsed);
    return true;
}

// The status after writing to out failed with error. A reader that went away ("| head -c 10") is no error
// to report, but the status still says the output is not all there.
int OutputFailed(int error, FILE* errors) {
    if (error != EPIPE) {
        PrintMessage(errors, StandardOutputWriteError(error));
    }
    return 1;
}

// Writes all of data to out. 0, or 1 after printing why not.
int WriteOutput(const std::vector<uint8_t>& data, FILE* out, FILE* errors) {
    if ((!data.empty() && std::fwrite(data.data(), 1, data.size(), out) != data.size()) ||
        std::fflush(out) != 0) {
        return OutputFailed(errno, errors);
    }
    return 0;
}

int ViewUsageError(const std::u16string& message) {
    return PrintUsageError(stderr, message);
}

} // namespace

int CatEntry(const std::u16string& archivePath, const std::u16string& entry, FILE* out, FILE* errors) {
    const std::unique_ptr<TwbBSAFile> archive = OpenOrSay(archivePath, errors);
    if (!archive) {
        return 1;
    }
    const std::optional<TEntryRef> found = FindOrSay(*archive, archivePath, entry, errors);
    if (!found) {
        return 1;
    }
    // Piece by piece: an entry of any size takes a few MiB of memory on its way out.
    TOutputDestination destination(out);
    try {
        if (const TFetchResult fetched = FetchEntryInPieces(*archive, *found, destination); !fetched) {
            PrintMessage(errors, EntryFailure(entry, fetched.reason));
            return 1;
        }
        if (std::fflush(out) != 0) {
            return OutputFailed(errno, errors);
        }
    } catch (const EWriteError&) {
        return OutputFailed(destination.error(), errors);
    }
    return 0;
}

int RenderEntry(const std::u16string& archivePath, const std::u16string& entry, const std::u16string& pngPath,
                uint32_t mip, uint32_t face, FILE* out, FILE* errors) {
    TBytes data;
    if (!FetchOrSay(archivePath, entry, data, errors)) {
        return 1;
    }
    std::vector<uint8_t> png;
    try {
        const DdsInfo info = ReadDdsHeader(std::span<const uint8_t>(data));
        const std::u16string layers = info.cubeMap           ? u" cube faces"
                                      : info.layerCount == 1 ? u" layer"
                                                             : u" layers";
        PrintMessage(errors, entry + u": " + FromUtf8(info.formatName) + u", " + UIntToStr(info.width) +
                                 u"\u00d7" + UIntToStr(info.height) + u", " + UIntToStr(info.mipCount) +
                                 (info.mipCount == 1 ? u" mip level, " : u" mip levels, ") +
                                 UIntToStr(info.layerCount) + layers);
        png = EncodePng(DecodeDdsSurface(info, data, face, mip));
    } catch (const ETextureError& e) {
        PrintMessage(errors, entry + u": " + e.Message());
        return 1;
    } catch (const std::bad_alloc&) {
        PrintMessage(errors, entry + u": out of memory");
        return 1;
    }
    if (pngPath == kStandardOutputPath) {
        return WriteOutput(png, out, errors);
    }
    std::u16string reason;
    if (!WriteUserFile(pngPath, png, reason)) {
        PrintMessage(errors, pngPath + u": cannot write: " + reason);
        return 1;
    }
    return 0;
}

int RunViewCommand(const std::vector<std::string>& args) {
    if (args.empty() || (args[0] != "cat" && args[0] != "render")) {
        return -1;
    }
    if (args[0] == "cat") {
        if (args.size() != 3) {
            return ViewUsageError(u"cat takes ARCHIVE ENTRY");
        }
        platform::SetStandardOutputBinary();
        return CatEntry(platform::PathFromNative(args[1]), FromUtf8(args[2]), stdout, stderr);
    }
    if (args.size() < 4) {
        return ViewUsageError(u"render takes ARCHIVE ENTRY OUT.png");
    }
    uint32_t mip = 0;
    uint32_t face = 0;
    for (size_t i = 4; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option != "--mip" && option != "--face") {
            return ViewUsageError(u"unexpected argument: " + platform::PathFromNative(option));
        }
        if (i + 1 == args.size()) {
            return ViewUsageError(u"missing N after " + FromUtf8(option));
        }
        if (!ParseNumber(args[++i], option == "--mip" ? mip : face)) {
            return ViewUsageError(FromUtf8(option) + u" takes a whole number from 0");
        }
    }
    // Paths reach the file system byte for byte; the entry is text, as list prints it.
    const std::u16string pngPath = platform::PathFromNative(args[3]);
    if (pngPath == kStandardOutputPath) {
        platform::SetStandardOutputBinary();
    }
    return RenderEntry(platform::PathFromNative(args[1]), FromUtf8(args[2]), pngPath, mip, face, stdout,
                       stderr);
}
