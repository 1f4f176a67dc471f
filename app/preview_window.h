#pragma once
// A preview of one archive entry in a window of its own: a picture for textures and images, read-only text
// for text, and the storage facts with a hex view for anything else. The entry's bytes are fetched once, when
// the window is made, so it stays valid after the archive is closed. A failed fetch or a texture that cannot
// be decoded shows the reason in the window.
#include <QImage>
#include <QWidget>
#include <map>
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
    // The picture of the level and face chosen, after the alpha-only choice, at its own size (while the
    // picture is fitted, a smaller level may be what is drawn); null when none.
    const QImage& ShownImage();

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
    void ShowQtPicture();
    void ShowImageControls(bool dds);
    // Mip level `mip` of layer `layer`, decoded on first use and kept while that layer is shown. Raises
    // ETextureError or std::bad_alloc when it cannot be decoded.
    const QImage& DecodedLevel(uint32_t layer, uint32_t mip);
    void FindNext();

    std::u16string entry_;
    TBytes data_;
    QString storage_; // "raw, 1234 bytes stored" …
    Kind kind_ = Kind::Error;
    DdsInfo dds_;
    std::map<uint32_t, QImage> levels_; // decoded mip levels of layer levelsLayer_
    uint32_t levelsLayer_ = 0;
    QImage picture_; // an image Qt reads (PNG, JPEG, BMP, TGA)

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
