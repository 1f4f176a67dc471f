#include "data_folder/archive_set.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

#include "extract/entry_fetch.h"
#include "platform/directories.h"
#include "platform/file.h"
#include "platform/locale.h"

namespace {

std::u16string FileNameOf(const std::u16string& path) {
    return path.substr(platform::FileNameStart(path));
}

} // namespace

bool ArchivesInFolder(const std::u16string& folder, std::vector<std::u16string>& paths, std::u16string& why) {
    paths.clear();
    std::vector<platform::FolderItem> items;
    if (!platform::ListFolder(folder, items)) {
        why = platform::SystemErrorText(platform::LastErrorCode());
        return false;
    }
    std::vector<std::u16string> names;
    for (const platform::FolderItem& item : items) {
        const std::u16string_view name = item.name;
        if (item.kind == platform::FolderItem::Kind::File && name.size() > 4 &&
            platform::CompareTextIgnoreCase(name.substr(name.size() - 4), u".bsa") == 0) {
            names.push_back(item.name);
        }
    }
    std::sort(names.begin(), names.end(), [](const std::u16string& a, const std::u16string& b) {
        const int folded = platform::CompareTextIgnoreCase(a, b);
        return folded != 0 ? folded < 0 : a < b;
    });
    std::u16string prefix = folder;
    if (!prefix.empty() && platform::FileNameStart(prefix) != prefix.size()) {
        prefix += platform::kPathDelimiter;
    }
    for (const std::u16string& name : names) {
        paths.push_back(prefix + name);
    }
    return true;
}

TOpenedArchives OpenArchives(const std::vector<std::u16string>& paths, int jobs,
                             const TOpenControl& control) {
    std::vector<TOpenedArchive> opened(paths.size());
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    const auto work = [&] {
        for (size_t i = next++; i < paths.size() && !control.Cancelled(); i = next++) {
            opened[i] = OpenArchive(paths[i]);
            const size_t count = ++done;
            if (control.archiveDone) {
                control.archiveDone(count, paths.size());
            }
        }
    };
    if (jobs < 1) {
        jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    const size_t threads = std::min<size_t>(static_cast<size_t>(jobs), paths.size());
    std::vector<std::thread> workers;
    for (size_t t = 1; t < threads; ++t) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer threads do the same work
        }
    }
    work();
    for (std::thread& worker : workers) {
        worker.join();
    }
    TOpenedArchives result;
    if (control.Cancelled()) {
        result.cancelled = true;
        return result;
    }
    for (size_t i = 0; i < paths.size(); ++i) {
        if (opened[i].result) {
            result.archives.push_back({paths[i], FileNameOf(paths[i]), std::move(opened[i].reader)});
        } else {
            result.failed.push_back({paths[i], opened[i].result.reason});
        }
    }
    return result;
}
