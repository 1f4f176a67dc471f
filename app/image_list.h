#pragma once
// ImageList1: the window's 71 icon slots of 16 x 16 pixels, shared by the menu, the filter box and the list.
// The slots the window uses hold our own pictures; the others are blank.
#include <QIcon>
#include <QImage>
#include <QObject>
#include <vector>

class TImageList : public QObject {
    Q_OBJECT
public:
    static constexpr int kCount = 71;
    static constexpr int kIconSize = 16;

    explicit TImageList(QObject* parent = nullptr);

    int Count() const { return static_cast<int>(icons_.size()); }
    // The icon of a slot; an empty icon outside 0..kCount-1.
    const QIcon& Icon(int index) const;
    // The slot's picture at 16 x 16 (a transparent one for blank slots).
    QImage Image(int index) const;
    // The same picture for every state, disabled included (no greyed-out variant).
    QIcon IconInEveryState(int index) const;

private:
    std::vector<QIcon> icons_;
    std::vector<QImage> images_;
    QIcon none_;
};

// The program's own icon for the window and the desktop.
QIcon ApplicationIcon();
