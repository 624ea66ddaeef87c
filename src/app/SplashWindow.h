#pragma once

#include <QImage>
#include <QSet>
#include <QWidget>

class QLabel;

namespace quillbox {

// The splash window: title, version, build, developer and web address over a tiled picture. Shown
// at start-up and by "&About"; a click anywhere on it, or releasing a key while it is active, closes it.
class SplashWindow : public QWidget {
    Q_OBJECT
public:
    explicit SplashWindow(QWidget* parent = nullptr);

    // The status line below the other labels; the main window's load step writes it.
    void SetStatus(const QString& text);
    QLabel* StatusLabel() const { return lblStatus_; }

    // Shows the window (or brings it to the front when it is open) and paints it at once.
    void ShowNow();

    // The background picture, 42 x 22 pixels, drawn by the program itself.
    static QImage TilePicture();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    QLabel* lblStatus_ = nullptr;
    QImage tile_;
    QSet<int> pressedKeys_;
};

} // namespace quillbox
