#pragma once
// The archives of a Data folder (or of several archives opened at once) beside the list: what decided their
// order, then each archive in load order with the entries it wins and loses and a tick box that takes it in
// or leaves it out, those the game does not load after the others, and those that failed with their reason.
#include <QWidget>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;
class TDataFolder;

class TArchivePane : public QWidget {
    Q_OBJECT
public:
    enum Column { kNameColumn = 0, kWinsColumn = 1, kLossesColumn = 2, kRuleColumn = 3, kColumnCount = 4 };

    explicit TArchivePane(QWidget* parent);

    // The archives of folder (which must outlive the pane until the next Fill or Empty), ticked as they
    // take part.
    void Fill(const TDataFolder& folder);
    // The plugins.txt and INI file the user chose for the folder (empty: automatic), which the buttons'
    // menus show.
    void SetChosenFiles(const std::u16string& plugins, const std::u16string& ini);
    void Empty();
    // The counts again, after the archives taking part changed.
    void UpdateCounts();
    // The order's rule as shown above the list.
    QString OrderText() const;
    QTreeWidget& List() { return *list_; }

signals:
    // A tick box changed: one flag per source of the folder.
    void takingPartChanged(const std::vector<bool>& takingPart);
    // The user wants to give plugins.txt or the INI file of the order (the button's "Choose…"), or to go
    // back to the files where the game keeps them ("Automatic").
    void pluginsFileWanted();
    void iniFileWanted();
    void automaticWanted(bool plugins);
    // "Compare with…" on an archive: its path.
    void compareWanted(const std::u16string& path);

private:
    void ItemChanged();
    void ContextMenu(const QPoint& at);
    // A button's menu: Automatic, the file chosen (if any), Choose….
    void FileMenu(bool plugins);

    const TDataFolder* folder_ = nullptr;
    QLabel* order_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton* plugins_ = nullptr;
    QPushButton* ini_ = nullptr;
    bool filling_ = false;
    std::u16string chosenPlugins_;
    std::u16string chosenIni_;
};

// What decided the order, for people: "Order given", or the INI rule and the plugins rule on two lines.
QString LoadOrderText(const TDataFolder& folder);
