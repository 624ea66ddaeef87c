#include "SplashWindow.h"

#include "AccessibleWindow.h"
#include "AppInfo.h"
#include "MainLayout.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace quillbox {

namespace {

// Designed client area in twips.
constexpr int SplashWidth = 5436;
constexpr int SplashHeight = 2088;

struct LabelDesign {
    const char* name;
    TwipsRect rect;
    const char* family;
    qreal points;
    QColor color;
    Qt::Alignment alignment;
};

const QColor Orange(255, 128, 0);
const QColor DarkGrey(64, 64, 64);

QFont LabelFont(const char* family, qreal points) {
    // Fontconfig (or the platform) substitutes the nearest available face when the family is missing.
    QFont font(QString::fromLatin1(family));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

} // namespace

SplashWindow::SplashWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), tile_(TilePicture()) {
    setObjectName(QStringLiteral("frmSplash"));
    AnnounceAsWindow(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(AppInfo::ProductName());
    setFixedSize(TwipsToPixels(SplashWidth), TwipsToPixels(SplashHeight));

    const LabelDesign designs[] = {
        {"lblProductName", {240, 144, 3924, 528}, "Arial", 22.2, Orange, Qt::AlignHCenter},
        {"lblVersion", {4536, 144, 624, 528}, "Arial", 22.2, Orange, Qt::AlignRight},
        {"lblCompany", {72, 792, 5280, 252}, "Arial", 7.8, Qt::black, Qt::AlignHCenter},
        {"lblCopyright", {96, 1080, 5244, 252}, "Arial", 7.8, Qt::black, Qt::AlignHCenter},
        {"lblCompanyProduct", {72, 1344, 5280, 288}, "Arial", 13.8, DarkGrey, Qt::AlignHCenter},
        {"lblBuild", {4488, 1752, 720, 216}, "Arial", 8.4, DarkGrey, Qt::AlignHCenter},
        {"lblStatus", {120, 1752, 5268, 216}, "MS Sans Serif", 7.8, Orange, Qt::AlignHCenter},
    };
    const QString texts[] = {
        AppInfo::ProductName(),
        AppInfo::VersionText(),
        QStringLiteral("Developed by ") + AppInfo::Developer(),
        AppInfo::Copyright(),
        AppInfo::WebAddress(),
        QStringLiteral("Build ") + QString::number(AppInfo::Revision()),
        QString(),
    };

    for (size_t i = 0; i < std::size(designs); ++i) {
        const LabelDesign& design = designs[i];
        auto* label = new QLabel(texts[i], this);
        label->setObjectName(QString::fromLatin1(design.name));
        label->setFont(LabelFont(design.family, design.points));
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, design.color);
        label->setPalette(palette);
        label->setAlignment(design.alignment | Qt::AlignTop);
        label->setAttribute(Qt::WA_TransparentForMouseEvents); // a click on a label is a click on the window
        label->setAutoFillBackground(false);

        // Where the designed box is too small for its text at the font found here, widen it as little
        // as needed around its alignment, inside the window.
        QRect r(TwipsToPixels(design.rect.left), TwipsToPixels(design.rect.top),
                TwipsToPixels(design.rect.width), TwipsToPixels(design.rect.height));
        const QFontMetrics metrics(label->font());
        const QString widest = i == 6 ? QStringLiteral("Initialize ...") : texts[i];
        const int neededWidth = metrics.horizontalAdvance(widest) + 2;
        if (neededWidth > r.width()) {
            const int grow = neededWidth - r.width();
            if (design.alignment & Qt::AlignRight)
                r.adjust(-grow, 0, 0, 0);
            else
                r.adjust(-grow / 2, 0, grow - grow / 2, 0);
            r.moveLeft(std::clamp(r.left(), 0, std::max(0, width() - r.width())));
        }
        r.setHeight(std::max(r.height(), metrics.height()));
        label->setGeometry(r);
        if (i == 6)
            lblStatus_ = label;
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void SplashWindow::SetStatus(const QString& text) {
    lblStatus_->setText(text);
    lblStatus_->repaint();
}

void SplashWindow::ShowNow() {
    show();
    raise();
    activateWindow();
    repaint();
}

QImage SplashWindow::TilePicture() {
    QImage image(42, 22, QImage::Format_RGB32);
    image.fill(QColor(250, 244, 229));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // A faint feather lying across the tile, so the tiles read as a light woven pattern.
    QPainterPath quill;
    quill.moveTo(3, 19);
    quill.cubicTo(12, 15, 26, 6, 39, 3);
    quill.cubicTo(31, 10, 20, 15, 3, 19);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(240, 228, 204));
    painter.drawPath(quill);
    painter.setPen(QPen(QColor(228, 212, 184), 0.8));
    painter.drawLine(QPointF(3, 19), QPointF(39, 3));
    painter.setPen(QPen(QColor(244, 236, 218), 1.0));
    painter.drawLine(QPointF(0, 0.5), QPointF(42, 0.5));
    return image;
}

void SplashWindow::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event)
    QPainter painter(this);
    const int w = tile_.width();
    const int h = tile_.height();
    // Columns from the left, each filled from the top, until the window is covered.
    for (int x = 0; x <= width(); x += w) {
        for (int y = 0; y <= height(); y += h)
            painter.drawImage(x, y, tile_);
    }
}

void SplashWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        close();
}

void SplashWindow::keyPressEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat())
        pressedKeys_.insert(event->key());
    event->accept();
}

void SplashWindow::keyReleaseEvent(QKeyEvent* event) {
    // Only a key pressed here: the release of the key that chose "&About" must not close the window
    // it has just opened.
    if (!event->isAutoRepeat() && pressedKeys_.contains(event->key()))
        close();
}

} // namespace quillbox
