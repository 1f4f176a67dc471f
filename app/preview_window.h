#pragma once
// A preview of one archive entry in a window of its own: a picture for textures and images, read-only text
// for text, and the storage facts with a hex view for anything else. The entry's bytes are fetched once, when
// the window is made, so it stays valid after the archive is closed. A failed fetch or a texture that cannot
// be decoded shows the reason in the window.
#include <QImage>
#include <QWidget>
#include <string>

#include "base/bytes.h"
#include "texture/dds_header.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TwbBSAFile;
class TPreviewCanvas;

class TPreviewWindow : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Image, Text, Binary, Error };

    // Fetches entry (folder + "\" + file) from reader and shows it. Raises nothing: every failure is shown.
    TPreviewWindow(TwbBSAFile& reader, const std::u16string& entry, QWidget* parent = nullptr);

    Kind ShownKind() const { return kind_; }
    // The line under the picture or above the text: format, size, mip count, storage; or the reason.
    QString InfoText() const;
    // The picture as it is drawn (after the level, face and alpha-only choices); null when none.
    const QImage& ShownImage() const;

protected:
    // Ctrl+F in the text itself opens the find box (the text view would otherwise keep the key).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OpenFindBox();
    void ShowFetchFailure(const QString& reason);
    void ShowDds();
    void ShowDdsSurface();
    void ShowQtImage();
    void ShowText(const QString& text);
    void ShowBinary();
    void ShowImageControls(bool dds);
    void FindNext();

    std::u16string entry_;
    TBytes data_;
    QString storage_; // "raw, 1234 bytes stored" …
    Kind kind_ = Kind::Error;
    DdsInfo dds_;
    QImage image_;

    QLabel* info_ = nullptr;
    TPreviewCanvas* canvas_ = nullptr;
    QComboBox* mipChoice_ = nullptr;
    QComboBox* faceChoice_ = nullptr;
    QCheckBox* alphaOnly_ = nullptr;
    QPushButton* fitButton_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QLineEdit* findBox_ = nullptr;
};

// Whether bytes read as text: UTF-8 when valid, else Windows-1252, and in either case no control characters
// but tab, line feed, form feed and carriage return. text receives the decoded text when they do.
bool DecodeAsText(const TBytes& bytes, QString& text);
