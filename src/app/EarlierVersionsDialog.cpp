#include "EarlierVersionsDialog.h"

#include "LibraryController.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quillbox {

namespace {

// Qt's size text says "1 bytes"; a version of one byte (a library without entries) says "1 byte".
QString SizeText(const QLocale& locale, qint64 bytes) {
    return bytes == 1 ? QStringLiteral("1 byte")
                      : locale.formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

} // namespace

EarlierVersionsDialog::EarlierVersionsDialog(LibraryController& controller, QWidget* parent)
    : QDialog(parent), controller_(controller), versions_(controller.LibEarlierVersions()) {
    setObjectName(QStringLiteral("frmEarlierVersions"));
    setWindowTitle(QStringLiteral("Quillbox Earlier Versions"));

    const QString name = QFileInfo(controller.State().LibFilePath).fileName();
    auto* intro = new QLabel(
        versions_.isEmpty()
            ? QStringLiteral("No earlier versions of %1 have been kept yet: every save keeps the version it "
                             "replaces.")
                  .arg(name)
            : QStringLiteral(
                  "Earlier versions of %1, newest first: each is the library as it was before the "
                  "save at the time shown. The chosen one is loaded as unsaved changes; nothing is "
                  "overwritten until you save.")
                  .arg(name),
        this);
    intro->setObjectName(QStringLiteral("lblVersions"));
    intro->setWordWrap(true);

    table_ = new QTableWidget(int(versions_.size()), 3, this);
    table_->setObjectName(QStringLiteral("lstVersions"));
    table_->setAccessibleName(QStringLiteral("Earlier versions"));
    table_->setAccessibleDescription(intro->text());
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Replaced at"), QStringLiteral("Patches"), QStringLiteral("Size")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->setVisible(true);
    table_->horizontalHeader()->setStretchLastSection(true);
    const QLocale locale;
    for (int row = 0; row < versions_.size(); ++row) {
        const EarlierVersion& v = versions_[row];
        const qint64 bytes = v.libraryBytes + std::max<qint64>(v.sideBytes, 0);
        const QString cells[] = {v.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                 v.patches < 0 ? QStringLiteral("not a library") : locale.toString(v.patches),
                                 SizeText(locale, bytes)};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(row, column, item);
        }
    }
    table_->resizeColumnsToContents();

    auto* buttons = new QDialogButtonBox(this);
    load_ = buttons->addButton(QStringLiteral("Load"), QDialogButtonBox::AcceptRole);
    load_->setObjectName(QStringLiteral("cmdLoad"));
    load_->setEnabled(false);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(table_, &QTableWidget::itemSelectionChanged, this,
            [this] { load_->setEnabled(!table_->selectedItems().isEmpty()); });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int, int) { accept(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    resize(460, 360);
}

void EarlierVersionsDialog::accept() {
    const QList<QTableWidgetItem*> selected = table_->selectedItems();
    if (selected.isEmpty())
        return;
    const QString id = versions_.value(selected.front()->row()).id;
    // The dialog is gone before the closing question can come up.
    QDialog::accept();
    controller_.LoadEarlierVersion(id);
}

} // namespace quillbox
