#include "archive/archive_session.h"

void ArchiveOpen(TArchiveSession& archive, const std::u16string& fileName) {
    if (archive) {
        return;
    }
    archive = std::make_unique<TwbBSAFile>(fileName);
}

bool ArchiveExportFileList(TArchiveSession& archive, const std::u16string& /*fileName*/,
                           TStringList& fileList) {
    try {
        fileList.Clear();
        return archive && archive->exportFileList(fileList);
    } catch (...) {
        return false;
    }
}

bool ArchiveGetFile(TArchiveSession& archive, TBytes& buffer, const std::u16string& /*fileName*/,
                    const std::u16string& folder, const std::u16string& name, const std::u16string& ext,
                    bool getData) {
    try {
        if (!archive) {
            buffer.clear();
            return false;
        }
        return archive->getFile(folder, name, ext, getData, buffer);
    } catch (...) {
        buffer.clear();
        return false;
    }
}

void ArchiveFree(TArchiveSession& archive) {
    archive.reset();
}
