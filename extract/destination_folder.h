#pragma once
// TDestinationFolder: the folder that an extraction writes below, walked one folder at a time without
// following links. The folders opened for the last entry stay open, up to a number the run sets (the deepest
// ones), so that the next entry in the same folder (the usual case: entries come folder by folder) costs no
// walk at all. One per thread.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extract/space_budget.h"
#include "platform/folder_files.h"

// How the workers of one run write below the destination, the same for all of them.
struct TDestinationRules {
    // Begins the names of the temporary files (ChooseTemporaryPrefix); empty: one chosen for this folder
    // alone, which does for entries written one at a time.
    std::u16string temporaryPrefix;
    // How many folders below the destination one walk keeps open at most between entries (at least 1): the
    // deepest of the last entry's path. The walk holds one more while it opens the next folder. A path
    // whose open part is closed again is walked anew from the deepest folder still open, or from the
    // destination: every folder is still opened from its parent without following a link.
    size_t maxOpenFolders = SIZE_MAX;
    // What the run may still write (ExtractEntry takes each entry's bytes from it before writing them);
    // nullptr: no budget but the disk itself.
    TSpaceBudget* space = nullptr;
};

class TDestinationFolder {
public:
    // path: a native folder path, with or without a trailing separator. It may itself be a link (the user
    // chose it); it is made with its missing parents when the first entry needs it.
    explicit TDestinationFolder(std::u16string path, TDestinationRules rules = {});
    ~TDestinationFolder();
    TDestinationFolder(const TDestinationFolder&) = delete;
    TDestinationFolder& operator=(const TDestinationFolder&) = delete;

    const std::u16string& Path() const { return path_; }
    // How many folders below the destination it holds open now.
    size_t OpenFolderCount() const { return open_.size() - firstOpen_; }
    const TDestinationRules& Rules() const { return rules_; }

    // The open folder below the destination at the end of components (outermost first; none for the
    // destination itself), made where missing. A link met on the way is never followed: refusal then holds
    // the reason (kLinkInPath) and the result is empty. file gives the path that a failure names: raises
    // EStreamError "Cannot create <file>." with the system's reason when a folder cannot be made or opened
    // (a file where a folder should be, no permission). The handle stays valid until the next call.
    std::optional<platform::FolderHandle> Open(const std::vector<std::u16string_view>& components,
                                               const std::function<std::u16string()>& file,
                                               std::u16string& refusal);

    static constexpr char16_t kLinkInPath[] = u"link in the path";

private:
    // Forgets the folders deeper than depth components, closing those still open.
    void CloseBelow(size_t depth);
    // Closes the shallowest open folders while more than the rules allow are open.
    void CloseBeyondTheLimit();

    std::u16string path_;
    TDestinationRules rules_;
    platform::FolderHandle root_ = platform::kInvalidFolderHandle;
    struct OpenFolder {
        std::u16string name;
        platform::FolderHandle handle;
    };
    // The folders below the root, outermost first: the components of the last entry's folder. Those before
    // firstOpen_ are closed again (their handle is invalid), the rest are open.
    std::vector<OpenFolder> open_;
    size_t firstOpen_ = 0;
};
