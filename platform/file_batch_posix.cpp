#include "platform/file_batch.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "platform/native_path.h"

#if PARLIVEX_HAVE_URING
#include <liburing.h>
#endif

namespace platform {

namespace {

std::atomic<bool> refusedForTesting{false};

} // namespace

void SetFileBatchesRefusedForTesting(bool refused) {
    refusedForTesting = refused;
}

#if PARLIVEX_HAVE_URING

namespace {

// The four linked requests of a file, in submission order; a completion's user data is the file's place in
// the batch times four plus its step. A request that fails cancels those linked after it.
enum Step : unsigned { kCreate, kWrite, kClose, kRename, kSteps };

// Created exclusively, never through a link, as platform::FileCreateUnique creates. A file in the ring's own
// table is never in the process's descriptor table, so O_CLOEXEC has no meaning there (the kernel refuses
// it).
constexpr int kTemporaryFlags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;

} // namespace

// A ring with a table of one open file per file of the batch. Only the thread that made it submits.
class TFileBatch::TRing {
public:
    explicit TRing(unsigned files) {
        io_uring_params params{};
        // One thread submits, and needs the completions only when it waits: the kernel can skip work for
        // both.
        params.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN;
        error_ = io_uring_queue_init_params(files * kSteps, &ring_, &params);
        if (error_ == -EINVAL) { // a kernel before 6.1
            params = {};
            error_ = io_uring_queue_init_params(files * kSteps, &ring_, &params);
        }
        if (error_ == 0 && (error_ = io_uring_register_files_sparse(&ring_, files)) != 0) {
            io_uring_queue_exit(&ring_);
        }
    }
    ~TRing() {
        if (error_ == 0) {
            io_uring_queue_exit(&ring_);
        }
    }
    TRing(const TRing&) = delete;
    TRing& operator=(const TRing&) = delete;

    bool Works() const { return error_ == 0; }
    io_uring* Get() { return &ring_; }

    // Submits the requests queued, waits for their completions and hands each to seen(user data, result).
    // False when the kernel took fewer than count requests or waiting failed for another reason than a
    // signal: the ring cannot be trusted any more.
    template <typename Seen> bool SubmitAndComplete(unsigned count, Seen seen) {
        int submitted = 0;
        do {
            submitted = io_uring_submit(&ring_);
        } while (submitted == -EINTR);
        if (submitted < 0) {
            return false; // nothing was submitted
        }
        for (unsigned done = 0; done < static_cast<unsigned>(submitted);) {
            io_uring_cqe* cqe = nullptr;
            const int waited = io_uring_wait_cqe_nr(&ring_, &cqe, static_cast<unsigned>(submitted) - done);
            if (waited == -EINTR) {
                continue;
            }
            if (waited != 0) {
                return false;
            }
            unsigned head = 0;
            unsigned seenNow = 0;
            io_uring_for_each_cqe(&ring_, head, cqe) {
                seen(io_uring_cqe_get_data64(cqe), cqe->res);
                ++seenNow;
            }
            io_uring_cq_advance(&ring_, seenNow);
            done += seenNow;
        }
        return submitted == static_cast<int>(count);
    }

private:
    io_uring ring_{};
    int error_ = 0;
};

TFileBatch::TFileBatch(size_t capacity) : capacity_(capacity) {
    files_.reserve(capacity);
    if (!refusedForTesting && capacity > 0 && capacity <= 4096) {
        ring_ = std::make_unique<TRing>(static_cast<unsigned>(capacity));
        if (!ring_->Works()) {
            ring_.reset();
        }
    }
}

#else

// Built without liburing: every file is left to the caller.
class TFileBatch::TRing {};

TFileBatch::TFileBatch(size_t capacity) : capacity_(capacity) {
    files_.reserve(capacity);
}

#endif

TFileBatch::~TFileBatch() = default;

bool TFileBatch::Works() const {
    return ring_ != nullptr;
}

bool TFileBatch::WritesIn(FolderHandle folder) const {
    if (ring_ == nullptr) {
        return false;
    }
    // A file closed from the ring's table is released without the close's last check (a network file system
    // reports a lost write only there): only file systems that report every write error at the write itself
    // are written in batches.
    struct statfs system {};
    if (fstatfs(static_cast<int>(folder), &system) != 0) {
        return false;
    }
    switch (static_cast<unsigned long>(system.f_type)) {
    case EXT4_SUPER_MAGIC: // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return true;
    default:
        return false;
    }
}

void TFileBatch::Add(FolderHandle folder, const std::u16string& prefix, const std::u16string& name,
                     const void* bytes, uint32_t size) {
    // The process id keeps apart two programs writing into one folder, the counter the batches of one; "b"
    // keeps these names apart from those of platform::FileCreateUnique.
    static std::atomic<uint64_t> counter{0};
    static const pid_t processId = getpid();
    TFile file{folder, {}, {}, bytes, size};
    AppendNativePath(file.temporary, prefix);
    char digits[48];
    char* end = std::to_chars(digits, digits + 20, processId).ptr;
    *end++ = '-';
    *end++ = 'b';
    end = std::to_chars(end, digits + sizeof digits, counter++).ptr;
    file.temporary.append(digits, end);
    AppendNativePath(file.name, name);
    files_.push_back(std::move(file));
}

void TFileBatch::Run(std::vector<bool>& written) {
    written.assign(files_.size(), false);
#if PARLIVEX_HAVE_URING
    if (ring_ != nullptr && !files_.empty()) {
        io_uring* ring = ring_->Get();
        const auto count = static_cast<unsigned>(files_.size());
        for (unsigned i = 0; i < count; ++i) {
            const TFile& file = files_[i];
            const int folder = static_cast<int>(file.folder);
            io_uring_sqe* sqe[kSteps];
            for (io_uring_sqe*& s : sqe) {
                s = io_uring_get_sqe(ring); // the ring holds kSteps requests per file
            }
            io_uring_prep_openat_direct(sqe[kCreate], folder, file.temporary.c_str(), kTemporaryFlags, 0666,
                                        i);
            io_uring_prep_write(sqe[kWrite], static_cast<int>(i), file.bytes, file.size, 0);
            io_uring_prep_close_direct(sqe[kClose], i);
            io_uring_prep_renameat(sqe[kRename], folder, file.temporary.c_str(), folder, file.name.c_str(),
                                   0);
            io_uring_sqe_set_flags(sqe[kCreate], IOSQE_IO_LINK);
            io_uring_sqe_set_flags(sqe[kWrite], IOSQE_FIXED_FILE | IOSQE_IO_LINK);
            io_uring_sqe_set_flags(sqe[kClose], IOSQE_IO_LINK);
            for (unsigned step = 0; step < kSteps; ++step) {
                io_uring_sqe_set_data64(sqe[step], uint64_t{i} * kSteps + step);
            }
        }
        // Each step's result; a step never heard of counts as cancelled.
        std::vector<int> results(size_t{count} * kSteps, -ECANCELED);
        bool trusted = ring_->SubmitAndComplete(count * kSteps, [&](uint64_t data, int result) {
            if (data < results.size()) {
                results[data] = result;
            }
        });
        // A file not written whole under its name leaves nothing behind: its slot in the table is closed
        // when its close did not run, and its temporary file removed when it was not renamed.
        unsigned toClose = 0;
        for (unsigned i = 0; i < count; ++i) {
            const int* step = &results[size_t{i} * kSteps];
            const bool created = step[kCreate] >= 0;
            written[i] = created && step[kWrite] == static_cast<int>(files_[i].size) && step[kClose] == 0 &&
                         step[kRename] == 0;
            if (created && step[kClose] == -ECANCELED && trusted) {
                io_uring_prep_close_direct(io_uring_get_sqe(ring), i);
                ++toClose;
            }
            if (created && step[kRename] != 0) {
                unlinkat(static_cast<int>(files_[i].folder), files_[i].temporary.c_str(), 0);
            }
        }
        if (toClose > 0) {
            trusted = ring_->SubmitAndComplete(toClose, [](uint64_t, int) {});
        }
        if (!trusted) {
            ring_.reset(); // its table's files are closed with it; the next batches are left to the caller
        }
    }
#endif
    files_.clear();
}

} // namespace platform
