#pragma once
// The archive's folders as a tree beside the list (textures > armor > iron), each with the number of files
// below it. Choosing a folder narrows the list to its subtree; the top item, "(all)", to nothing.
#include <QTreeWidget>
#include <string>
#include <string_view>
#include <vector>

class TBsaIndex;
class TwbBSAFile;

class TFolderTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit TFolderTree(QWidget* parent);

    // The folders of archive, all items collapsed but the top one, which is chosen.
    void Fill(const TwbBSAFile& archive);
    // The folders of several sources (archives, the loose files) as one tree, the counts adding up their
    // files.
    void Fill(const std::vector<const TBsaIndex*>& indexes);
    // No items, nothing chosen.
    void Empty();
    // The folder path chosen ("textures\armor", as the archive names it), or empty for "(all)".
    std::u16string ChosenFolder() const;
    // The folder path an item stands for; empty for "(all)".
    static std::u16string FolderOf(const QTreeWidgetItem* item);

signals:
    // The chosen folder changed (path as ChosenFolder gives it).
    void folderChosen();
};

// Whether the entry string lies in folder or below it: it begins with folder and a "\" (folder names are
// stored lower-cased, as entry strings give them). Every entry lies in the empty folder.
bool EntryInFolder(std::u16string_view entryString, std::u16string_view folder);
