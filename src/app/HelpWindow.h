#pragma once

#include <QColor>
#include <QWidget>

class QPlainTextEdit;

namespace quillbox {

// The help text's designed ground, a light grey.
inline const QColor HelpGroundColour{224, 224, 224};

// The plain help window: the about text and the help file's text in one box. Enter closes it, also
// while the box has the focus.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* owner = nullptr);

    // `text` may use CR LF line breaks.
    void SetHelpText(const QString& text);
    QString HelpText() const;

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void TakeColours();

    QPlainTextEdit* txtHelp_ = nullptr;
};

// A help file beside the program, else in the installed data folder; when it is in neither, the
// path beside the program, which the failure then names.
QString HelpFilePath(const QString& programDirectory, const QString& name);
// What the plain help window shows: the product, its version, notice and web address, then the text
// of the plain help file at `path`, or that it is corrupt. A file that cannot be read throws FileError.
QString PlainHelpText(const QString& path);

} // namespace quillbox
