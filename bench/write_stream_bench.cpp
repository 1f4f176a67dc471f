// The write stream against plain open/write/close of the same bytes, and the whole entry writer (folders
// included), into a temporary folder ($PARLIVEX_BENCH_TMP, or /dev/shm so that no disk adds its noise).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "base/ustring.h"
#include "extract/destination_folder.h"
#include "extract/entry_writer.h"
#include "streams/write_cached_file_stream.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder of the process, removed at exit.
class Scratch {
public:
    Scratch() {
        const char* base = std::getenv("PARLIVEX_BENCH_TMP");
        const fs::path parent = base != nullptr && *base != '\0' ? fs::path(base)
                                : fs::exists("/dev/shm")         ? fs::path("/dev/shm")
                                                                 : fs::temp_directory_path();
        path_ = parent / ("parlivex-bench-" + std::to_string(getpid()));
        fs::create_directories(path_);
    }
    ~Scratch() { fs::remove_all(path_); }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

const Scratch& ScratchFolder() {
    static const Scratch scratch;
    return scratch;
}

TBytes Content(int64_t size) {
    TBytes data(static_cast<size_t>(size));
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
    }
    return data;
}

void BM_WriteStream(benchmark::State& state) {
    const TBytes data = Content(state.range(0));
    const std::u16string file = FromUtf8((ScratchFolder().Path() / "stream.bin").string());
    for (auto _ : state) {
        TwbWriteCachedFileStream stream(file);
        stream.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
        stream.Close();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_PlainWrite(benchmark::State& state) {
    const TBytes data = Content(state.range(0));
    const std::string file = (ScratchFolder().Path() / "plain.bin").string();
    for (auto _ : state) {
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0 || write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
            state.SkipWithError("plain write failed");
            return;
        }
        close(fd);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// One extracted file four folders deep, the folders already open (the common case of an extraction): the
// folder walk's cache, the temporary file and the rename.
void BM_WriteEntryFile(benchmark::State& state) {
    const TBytes data = Content(state.range(0));
    TDestinationFolder destination(FromUtf8(ScratchFolder().Path().string()));
    const std::vector<std::u16string_view> components = {u"textures", u"armor", u"iron", u"gauntlets"};
    const fs::path folder = ScratchFolder().Path() / "textures" / "armor" / "iron" / "gauntlets";
    const std::u16string file = FromUtf8((folder / "entry.dds").string());
    const std::function<std::u16string()> fileForMessages = [&] { return file; };
    for (auto _ : state) {
        std::u16string refusal;
        const std::optional<platform::FolderHandle> open =
            destination.Open(components, fileForMessages, refusal);
        if (!open) {
            state.SkipWithError("folder refused");
            return;
        }
        WriteEntryFile(*open, u"entry.dds", file, data, destination.Rules().temporaryPrefix);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(BM_WriteStream)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20)->UseRealTime();
BENCHMARK(BM_PlainWrite)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20)->UseRealTime();
BENCHMARK(BM_WriteEntryFile)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20)->UseRealTime();

} // namespace
