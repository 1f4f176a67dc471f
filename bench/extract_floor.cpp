// bench_extract_floor [--uring [--batch N] [--workers N]] ARCHIVE DEST
// bench_extract_floor --order ARCHIVE
//
// The floor of safe extraction: every entry of a benchmark archive written below DEST the way a safe
// extractor must write it, and nothing else. For each entry, in the order `parlivex-cli extract` takes them
// (folders by name, then their files by name; the byte order of the names, which for the benchmark's
// lower-case ASCII names is the listing's case-insensitive order): its stored bytes read with one positioned
// read and decoded into reused memory (bench/payload_decoder.h), then a temporary file created exclusively
// and without following links in the entry's already open folder, the bytes written with one pwrite, the file
// closed (and the close checked), and the temporary renamed over the final name within the folder. Folders
// are made and opened once each, component by component, without following links (mkdirat, then openat with
// O_DIRECTORY and O_NOFOLLOW). Nothing is allocated per entry.
//
// The entries come from the side files that bench_generate writes beside each archive: "<ARCHIVE>.payloads"
// (where each payload lies) and "<ARCHIVE>.paths" (each entry's entry string). They are trusted: the names
// are not checked the way an extractor must check an archive's names, which costs little beside the writing.
//
// --uring submits the creation, write, close and rename of up to N entries (default 64) at once through
// io_uring: per entry four linked requests (openat into a slot of the ring's file table, write from the slot,
// close of the slot, renameat), the temporary still created with O_EXCL and O_NOFOLLOW relative to the
// folder's descriptor. Every completion is checked and a failed one is reported with its entry. Where the
// kernel refuses io_uring (ENOSYS or EPERM when the ring is set up), the entries are written with plain
// calls. The kernel runs the requests that may block (the creation, the rename) on worker threads of the
// process, several at once; --workers N bounds them (default: the kernel's bound), so that the gain of
// batching can be told from the gain of working on several cores.
//
// --order prints the entry strings in the order they would be written, and writes nothing.
//
// Prints a line of figures on success; fails (status 1) on the first entry that cannot be written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if PARLIVEX_FLOOR_URING
#include <liburing.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_data.h"
#include "bench/payload_decoder.h"

namespace {

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "bench_extract_floor: %s\n", message.c_str());
    std::exit(1);
}

std::string SystemError(int error) {
    return std::strerror(error);
}

// The entries in writing order. Their folder names lie in `text` with each '\' replaced by a zero byte, so
// that every folder component and every file name is a C string in place.
struct Entries {
    struct Entry {
        uint32_t folderAt, folderLength; // within text; 0 bytes for an entry at the top
        uint32_t fileAt;                 // within text, zero-terminated
        uint32_t payload;                // its index in the payload manifest (record order)
        bool newFolder;                  // its folder differs from the previous entry's
    };
    std::vector<char> text;
    std::vector<Entry> inOrder;

    std::string_view Folder(const Entry& e) const { return {text.data() + e.folderAt, e.folderLength}; }
    const char* File(const Entry& e) const { return text.data() + e.fileAt; }
    // The entry string again, for messages and --order.
    std::string EntryString(const Entry& e) const {
        std::string folder(Folder(e));
        std::replace(folder.begin(), folder.end(), '\0', '\\');
        return folder.empty() ? File(e) : folder + '\\' + File(e);
    }
};

Entries LoadEntries(const std::string& pathsFile, size_t payloadCount) {
    std::ifstream in(pathsFile, std::ios::binary);
    if (!in) {
        Fail("cannot read " + pathsFile);
    }
    Entries entries;
    entries.inOrder.reserve(payloadCount);
    entries.text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::vector<char>& text = entries.text;
    for (size_t start = 0; start < text.size();) {
        const size_t end =
            std::find(text.begin() + static_cast<ptrdiff_t>(start), text.end(), '\n') - text.begin();
        if (end == text.size()) {
            Fail(pathsFile + " does not end its last line");
        }
        const std::string_view line(text.data() + start, end - start);
        const size_t slash = line.rfind('\\');
        const size_t folderLength = slash == std::string_view::npos ? 0 : slash;
        const size_t fileAt = slash == std::string_view::npos ? start : start + slash + 1;
        entries.inOrder.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(folderLength),
                                   static_cast<uint32_t>(fileAt),
                                   static_cast<uint32_t>(entries.inOrder.size()), false});
        text[end] = '\0';
        start = end + 1;
    }
    if (entries.inOrder.size() != payloadCount) {
        Fail(pathsFile + " lists " + std::to_string(entries.inOrder.size()) + " entries, the manifest " +
             std::to_string(payloadCount));
    }
    // Folders by name, then files by name: compared as unsigned bytes, with '\' still in the folder names.
    std::sort(entries.inOrder.begin(), entries.inOrder.end(),
              [&](const Entries::Entry& a, const Entries::Entry& b) {
                  const int folders = entries.Folder(a).compare(entries.Folder(b));
                  return folders != 0 ? folders < 0
                                      : std::string_view(entries.File(a)) < std::string_view(entries.File(b));
              });
    for (size_t i = 0; i < entries.inOrder.size(); ++i) {
        Entries::Entry& e = entries.inOrder[i];
        e.newFolder = i == 0 || entries.Folder(e) != entries.Folder(entries.inOrder[i - 1]);
    }
    for (Entries::Entry& e : entries.inOrder) { // the '\' before the file name too, which ends the folder
        std::replace(text.begin() + e.folderAt, text.begin() + e.fileAt, '\\', '\0');
    }
    return entries;
}

// The open folders from DEST down to the current entry's folder, one descriptor per component. Entering the
// next folder keeps the components it shares with the current one, and makes and opens the others.
class FolderChain {
public:
    // `deferCloses`: the descriptors of folders left stay open until CloseLeft(), because requests that name
    // them may still be in flight.
    FolderChain(int top, bool deferCloses) : deferCloses_(deferCloses) {
        fds_.reserve(64);
        names_.reserve(64);
        wanted_.reserve(64);
        left_.reserve(1024);
        fds_.push_back(top);
    }
    ~FolderChain() {
        CloseLeft();
        for (int fd : fds_) {
            close(fd);
        }
    }
    FolderChain(const FolderChain&) = delete;
    FolderChain& operator=(const FolderChain&) = delete;

    // `folder`: components separated by zero bytes. Returns the folder's descriptor, or -1 with errno set.
    int Enter(std::string_view folder) {
        wanted_.clear();
        for (size_t start = 0; start < folder.size();) {
            const size_t end = std::min(folder.find('\0', start), folder.size());
            wanted_.push_back(folder.data() + start);
            start = end + 1;
        }
        size_t shared = 0;
        while (shared < names_.size() && shared < wanted_.size() &&
               std::strcmp(names_[shared], wanted_[shared]) == 0) {
            ++shared;
        }
        while (names_.size() > shared) {
            Leave(fds_.back());
            fds_.pop_back();
            names_.pop_back();
        }
        for (size_t i = shared; i < wanted_.size(); ++i) {
            if (mkdirat(fds_.back(), wanted_[i], 0755) != 0 && errno != EEXIST) {
                return -1;
            }
            const int fd = openat(fds_.back(), wanted_[i], O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0) {
                return -1;
            }
            ++opened_;
            fds_.push_back(fd);
            names_.push_back(wanted_[i]);
        }
        return fds_.back();
    }
    void CloseLeft() {
        for (int fd : left_) {
            close(fd);
        }
        left_.clear();
    }
    size_t Opened() const { return opened_; }

private:
    void Leave(int fd) {
        if (deferCloses_) {
            left_.push_back(fd);
        } else {
            close(fd);
        }
    }

    bool deferCloses_;
    std::vector<int> fds_;            // fds_[0] is DEST, fds_[i] the folder names_[i - 1]
    std::vector<const char*> names_;  // the current folder's components
    std::vector<const char*> wanted_; // the next folder's, reused
    std::vector<int> left_;
    size_t opened_ = 0;
};

// ".parlivex-floor-" and the entry's number in hexadecimal: the temporary name, written into `name`.
constexpr char kTemporaryPrefix[] = ".parlivex-floor-";
constexpr size_t kTemporaryNameSize = sizeof kTemporaryPrefix + 8;
using TemporaryNameBuffer = std::array<char, kTemporaryNameSize>;
void TemporaryName(uint32_t number, TemporaryNameBuffer& buffer) {
    char* name = buffer.data();
    std::memcpy(name, kTemporaryPrefix, sizeof kTemporaryPrefix - 1);
    char* digits = name + sizeof kTemporaryPrefix - 1;
    for (int i = 7; i >= 0; --i, number >>= 4) {
        digits[i] = "0123456789abcdef"[number & 0xF];
    }
    digits[8] = '\0';
}

constexpr int kTemporaryFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;

struct Figures {
    uint64_t bytes = 0;
    size_t foldersOpened = 0;
};

struct Job {
    const Entries& entries;
    const std::vector<bench::Payload>& payloads;
    bench::PayloadDecoder& decoder;
    int top; // DEST, open
    size_t largestUnpacked;
};

[[noreturn]] void FailEntry(const Job& job, const Entries::Entry& e, const std::string& what) {
    Fail(job.entries.EntryString(e) + ": " + what);
}

Figures ExtractPlainly(const Job& job) {
    const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(job.largestUnpacked + bench::kDecodeSlack);
    FolderChain folders(dup(job.top), false);
    int folder = -1;
    TemporaryNameBuffer temporary;
    Figures figures;
    for (uint32_t i = 0; i < job.entries.inOrder.size(); ++i) {
        const Entries::Entry& e = job.entries.inOrder[i];
        if (e.newFolder && (folder = folders.Enter(job.entries.Folder(e))) < 0) {
            FailEntry(job, e, "cannot make or open its folder: " + SystemError(errno));
        }
        const bench::Payload& payload = job.payloads[e.payload];
        if (const char* failure = job.decoder.Decode(payload, buffer.get())) {
            FailEntry(job, e, failure);
        }
        TemporaryName(i, temporary);
        const int fd = openat(folder, temporary.data(), kTemporaryFlags | O_CLOEXEC, 0644);
        if (fd < 0) {
            FailEntry(job, e, "cannot create the temporary file: " + SystemError(errno));
        }
        for (size_t done = 0; done < payload.unpackedSize;) {
            const ssize_t n =
                pwrite(fd, buffer.get() + done, payload.unpackedSize - done, static_cast<off_t>(done));
            if (n <= 0) {
                FailEntry(job, e, "cannot write: " + SystemError(n < 0 ? errno : EIO));
            }
            done += static_cast<size_t>(n);
        }
        if (close(fd) != 0) {
            FailEntry(job, e, "cannot close: " + SystemError(errno));
        }
        if (renameat(folder, temporary.data(), folder, job.entries.File(e)) != 0) {
            FailEntry(job, e, "cannot rename the temporary file: " + SystemError(errno));
        }
        figures.bytes += payload.unpackedSize;
    }
    figures.foldersOpened = folders.Opened();
    return figures;
}

#if PARLIVEX_FLOOR_URING

// The four linked requests of an entry, in submission order; a completion's user data is the entry's
// number times four plus its step.
enum Step : uint64_t { kCreate, kWrite, kClose, kRename, kSteps };
constexpr const char* kStepNames[] = {"create the temporary file", "write", "close",
                                      "rename the temporary file"};

// A ring with a file table of `slots` entries, or why the kernel refused it (a negative errno).
class Ring {
public:
    Ring(unsigned slots, unsigned maxWorkers) {
        io_uring_params params{};
        // One thread submits and completions are only needed when it waits: the kernel can skip work for
        // both.
        params.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN;
        error_ = io_uring_queue_init_params(slots * kSteps, &ring_, &params);
        if (error_ == -EINVAL) { // a kernel before 6.1
            params = {};
            error_ = io_uring_queue_init_params(slots * kSteps, &ring_, &params);
        }
        // The kernel hands creations, closes and renames to worker threads of its own, several at once:
        // bounding them tells how much of the gain is theirs (zero keeps the kernel's bound).
        if (error_ == 0 && maxWorkers > 0) {
            unsigned bounds[2] = {maxWorkers, maxWorkers}; // bound and unbound work
            error_ = io_uring_register_iowq_max_workers(&ring_, bounds);
            if (error_ != 0) {
                io_uring_queue_exit(&ring_);
            }
        }
        if (error_ == 0 && (error_ = io_uring_register_files_sparse(&ring_, slots)) != 0) {
            io_uring_queue_exit(&ring_);
        }
    }
    ~Ring() {
        if (error_ == 0) {
            io_uring_queue_exit(&ring_);
        }
    }
    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;

    int Error() const { return error_; }
    io_uring* Get() { return &ring_; }

private:
    io_uring ring_{};
    int error_;
};

// Decodes up to `batch` entries into one buffer (fewer when their bytes fill it), queues their requests, and
// submits them at once; then checks every completion before the buffer is reused.
Figures ExtractWithRing(const Job& job, Ring& ring, unsigned batch) {
    // A batch ends before an entry whose bytes would pass kBatchBytes; past that, room for the largest entry.
    constexpr size_t kBatchBytes = size_t{8} << 20;
    const auto buffer =
        std::make_unique_for_overwrite<uint8_t[]>(kBatchBytes + job.largestUnpacked + bench::kDecodeSlack);
    std::vector<TemporaryNameBuffer> temporaries(batch); // the names must last until the requests are done
    FolderChain folders(dup(job.top), true);
    int folder = -1;
    Figures figures;
    const std::vector<Entries::Entry>& inOrder = job.entries.inOrder;
    for (uint32_t first = 0; first < inOrder.size();) {
        size_t used = 0;
        uint32_t count = 0;
        for (; count < batch && first + count < inOrder.size(); ++count) {
            const uint32_t i = first + count;
            const Entries::Entry& e = inOrder[i];
            const bench::Payload& payload = job.payloads[e.payload];
            if (count > 0 && used + payload.unpackedSize > kBatchBytes) {
                break;
            }
            if (e.newFolder && (folder = folders.Enter(job.entries.Folder(e))) < 0) {
                FailEntry(job, e, "cannot make or open its folder: " + SystemError(errno));
            }
            uint8_t* bytes = buffer.get() + used;
            if (const char* failure = job.decoder.Decode(payload, bytes)) {
                FailEntry(job, e, failure);
            }
            used += payload.unpackedSize;
            const char* temporary = temporaries[count].data();
            TemporaryName(i, temporaries[count]);

            io_uring_sqe* sqe[kSteps];
            for (io_uring_sqe*& s : sqe) {
                s = io_uring_get_sqe(ring.Get()); // the ring holds kSteps requests per slot
            }
            // A file in the ring's table is never in the process's descriptor table: O_CLOEXEC has no meaning
            // there (and the kernel refuses it).
            io_uring_prep_openat_direct(sqe[kCreate], folder, temporary, kTemporaryFlags, 0644, count);
            io_uring_prep_write(sqe[kWrite], static_cast<int>(count), bytes, payload.unpackedSize, 0);
            io_uring_prep_close_direct(sqe[kClose], count);
            io_uring_prep_renameat(sqe[kRename], folder, temporary, folder, job.entries.File(e), 0);
            io_uring_sqe_set_flags(sqe[kCreate], IOSQE_IO_LINK);
            io_uring_sqe_set_flags(sqe[kWrite], IOSQE_FIXED_FILE | IOSQE_IO_LINK);
            io_uring_sqe_set_flags(sqe[kClose], IOSQE_IO_LINK);
            for (uint64_t step = 0; step < kSteps; ++step) {
                io_uring_sqe_set_data64(sqe[step], uint64_t{i} * kSteps + step);
            }
            figures.bytes += payload.unpackedSize;
        }

        const unsigned expected = count * kSteps;
        const int submitted = io_uring_submit_and_wait(ring.Get(), expected);
        if (submitted != static_cast<int>(expected)) {
            Fail("io_uring took " + std::to_string(submitted) + " of " + std::to_string(expected) +
                 " requests" + (submitted < 0 ? ": " + SystemError(-submitted) : ""));
        }
        bool failed = false;
        for (unsigned seen = 0; seen < expected; ++seen) {
            io_uring_cqe* cqe = nullptr;
            const int waited = io_uring_wait_cqe(ring.Get(), &cqe);
            if (waited != 0) {
                Fail("waiting for io_uring: " + SystemError(-waited));
            }
            const uint64_t data = io_uring_cqe_get_data64(cqe);
            const int result = cqe->res;
            io_uring_cqe_seen(ring.Get(), cqe);
            const Entries::Entry& e = inOrder[data / kSteps];
            const uint64_t step = data % kSteps;
            const uint32_t size = job.payloads[e.payload].unpackedSize;
            // A failed request cancels the ones linked after it: only the first failure says what happened.
            if (result == -ECANCELED) {
                failed = true;
            } else if (result < 0) {
                std::fprintf(stderr, "bench_extract_floor: %s: cannot %s: %s\n",
                             job.entries.EntryString(e).c_str(), kStepNames[step],
                             SystemError(-result).c_str());
                failed = true;
            } else if (step == kWrite && static_cast<uint32_t>(result) != size) {
                std::fprintf(stderr, "bench_extract_floor: %s: wrote %d of %u bytes\n",
                             job.entries.EntryString(e).c_str(), result, size);
                failed = true;
            }
        }
        if (failed) {
            std::exit(1);
        }
        folders.CloseLeft();
        first += count;
    }
    figures.foldersOpened = folders.Opened();
    return figures;
}

#endif

int Usage() {
    std::fprintf(stderr, "usage: bench_extract_floor [--uring [--batch N] [--workers N]] ARCHIVE DEST\n"
                         "       bench_extract_floor --order ARCHIVE\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    bool uring = false, order = false;
    unsigned batch = 64;
    int workers = 0;
    std::vector<std::string> operands;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--uring") {
            uring = true;
        } else if (arg == "--order") {
            order = true;
        } else if (arg == "--batch" && i + 1 < argc) {
            batch = static_cast<unsigned>(std::atoi(argv[++i]));
        } else if (arg == "--workers" && i + 1 < argc) {
            workers = std::atoi(argv[++i]);
            if (workers < 1) {
                return Usage();
            }
        } else {
            operands.emplace_back(arg);
        }
    }
    if (operands.size() != (order ? 1u : 2u) || batch < 1 || batch > 1024) {
        return Usage();
    }
    const std::string& archive = operands[0];

    std::vector<bench::Payload> payloads;
    if (!bench::ReadManifest(archive + ".payloads", payloads)) {
        Fail("cannot read " + archive + ".payloads");
    }
    const Entries entries = LoadEntries(archive + ".paths", payloads.size());
    if (order) {
        for (const Entries::Entry& e : entries.inOrder) {
            std::printf("%s\n", entries.EntryString(e).c_str());
        }
        return 0;
    }

    const int fd = open(archive.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Fail("cannot open " + archive + ": " + SystemError(errno));
    }
    const std::string& destination = operands[1];
    if (mkdir(destination.c_str(), 0755) != 0 && errno != EEXIST) {
        Fail("cannot make " + destination + ": " + SystemError(errno));
    }
    const int top = open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top < 0) {
        Fail("cannot open " + destination + ": " + SystemError(errno));
    }
    size_t largestPacked = 0, largestUnpacked = 0;
    for (const bench::Payload& p : payloads) {
        largestPacked = std::max<size_t>(largestPacked, p.packedSize);
        largestUnpacked = std::max<size_t>(largestUnpacked, p.unpackedSize);
    }

    try {
        bench::PayloadDecoder decoder(fd, largestPacked);
        const Job job{entries, payloads, decoder, top, largestUnpacked};
        Figures figures;
        std::string how = "plain calls";
        if (!uring) {
            figures = ExtractPlainly(job);
        } else {
#if PARLIVEX_FLOOR_URING
            Ring ring(batch, static_cast<unsigned>(workers));
            if (ring.Error() == -ENOSYS || ring.Error() == -EPERM) {
                std::fprintf(stderr, "bench_extract_floor: io_uring refused (%s): plain calls instead\n",
                             SystemError(-ring.Error()).c_str());
                figures = ExtractPlainly(job);
            } else if (ring.Error() != 0) {
                Fail("cannot set up io_uring: " + SystemError(-ring.Error()));
            } else {
                figures = ExtractWithRing(job, ring, batch);
                how = "io_uring, batches of up to " + std::to_string(batch) + " entries";
                if (workers > 0) {
                    how += ", at most " + std::to_string(workers) + " kernel workers";
                }
            }
#else
            std::fprintf(stderr, "bench_extract_floor: built without liburing: plain calls instead\n");
            figures = ExtractPlainly(job);
#endif
        }
        std::printf("%zu entries, %llu bytes, %zu folders opened, %s\n", entries.inOrder.size(),
                    static_cast<unsigned long long>(figures.bytes), figures.foldersOpened, how.c_str());
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    close(top);
    close(fd);
    return 0;
}
