#include "HelpWindow.h"

#include "AccessibleWindow.h"
#include "AppInfo.h"
#include "Contrast.h"
#include "FileAccess.h"
#include "MainLayout.h"
#include "TextEncoding.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPlainTextEdit>

namespace quillbox {

namespace {
constexpr int HelpClientWidth = 7140;
constexpr int HelpClientHeight = 4848;
const TwipsRect TxtHelpDesign{24, 48, 7092, 4740};

// Enter closes the help, and Esc as every other window of its kind.
bool IsEnter(const QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}
} // namespace

HelpWindow::HelpWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmHelp"));
    AnnounceAsWindow(this);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(TwipsToPixels(HelpClientWidth), TwipsToPixels(HelpClientHeight));

    txtHelp_ = new QPlainTextEdit(this);
    txtHelp_->setObjectName(QStringLiteral("txtHelp"));
    txtHelp_->setAccessibleName(QStringLiteral("Help text"));
    txtHelp_->setReadOnly(true);
    txtHelp_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtHelp_->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtHelp_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtHelp_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TakeColours();
    txtHelp_->setGeometry(TwipsToPixels(TxtHelpDesign.left), TwipsToPixels(TxtHelpDesign.top),
                          TwipsToPixels(TxtHelpDesign.width), TwipsToPixels(TxtHelpDesign.height));
    // Enter closes the window wherever the focus is.
    txtHelp_->installEventFilter(this);

    if (owner)
        move(owner->geometry().center() - rect().center());
}

void HelpWindow::SetHelpText(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    txtHelp_->setPlainText(plain);
}

void HelpWindow::TakeColours() {
    // The theme's text on the designed light grey, or on as much of it over the theme's ground as
    // keeps that text readable: the design under a light theme, a darker grey under a dark one.
    const QColor text = palette().color(QPalette::Text);
    QPalette colours = txtHelp_->palette();
    colours.setColor(QPalette::Base,
                     TintedGround(palette().color(QPalette::Base), HelpGroundColour, 1.0, text));
    colours.setColor(QPalette::Text, text);
    txtHelp_->setPalette(colours);
}

QString HelpWindow::HelpText() const {
    return txtHelp_->toPlainText();
}

void HelpWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        TakeColours();
}

void HelpWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The box follows the window; it keeps its offset, so it ends at the window's edges and its
    // scroll bars stay in view.
    txtHelp_->resize(std::max(0, width() - txtHelp_->x()), std::max(0, height() - txtHelp_->y()));
}

void HelpWindow::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(event)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtHelp_ && IsEnter(event)) {
        close();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QString HelpFilePath(const QString& programDirectory, const QString& name) {
    const QString beside = QDir(programDirectory).filePath(name);
    if (QFileInfo::exists(beside))
        return beside;
    // The install puts the help into share/quillbox beside bin/ (cmake/Install.cmake); found from the
    // program's own folder, an unpacked or moved install finds it too.
    const QString installed = QDir::cleanPath(
        QDir(programDirectory).filePath(QStringLiteral(QUILLBOX_DATA_FROM_PROGRAM "/") + name));
    return QFileInfo::exists(installed) ? installed : beside;
}

QString PlainHelpText(const QString& path) {
    QString text = AppInfo::ProductName() + QLatin1Char(' ') + AppInfo::VersionText() + AppInfo::Notice() +
                   QStringLiteral("\r\n\r\n") + QStringLiteral("Check for updates - and other PS02 tools  ") +
                   AppInfo::WebAddress();
    const QString helpText = DecodeText(ReadFileAsString(path)).text;
    if (helpText.isEmpty())
        return text + QStringLiteral("\r\n\r\nHelpfile corrupt: ") + path;
    return text + QStringLiteral("\r\n\r\n") + helpText;
}

} // namespace quillbox
