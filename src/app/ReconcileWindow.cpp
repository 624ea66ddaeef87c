#include "ReconcileWindow.h"

#include "FileError.h"
#include "LibraryFile.h"
#include "PatchImage.h"
#include "PatchName.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

namespace quillbox {

namespace {

QString EntryName(const ReconcileSide& side, qsizetype index) {
    const QByteArray bytes = EntryBytes(side.store, index);
    return bytes.size() < 17 ? QString() : StringToPatchName(QByteArrayView(bytes).sliced(11, 6)).name;
}

QString Position(qsizetype index) {
    return index < 0 ? QString() : QString::number(index + 1);
}

// A description as one line of a label: its line breaks shown as such.
QString Shown(const QString& text) {
    return text.isEmpty() ? QStringLiteral("(no description)")
                          : QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The model

void ReconcileModel::Reset(const ReconcileSide* left, const ReconcileSide* right,
                           const std::vector<ReconcileRow>* rows, const std::vector<RowChoice>* choices,
                           const std::vector<char>* conflicts, bool differencesOnly) {
    beginResetModel();
    left_ = left;
    right_ = right;
    rows_ = rows;
    choices_ = choices;
    conflicts_ = conflicts;
    shown_.clear();
    shown_.reserve(rows->size());
    for (size_t k = 0; k < rows->size(); ++k) {
        if (!differencesOnly || RowDiffers((*rows)[k]))
            shown_.push_back(qsizetype(k));
    }
    endResetModel();
}

void ReconcileModel::ChoiceChanged(int line) {
    Q_EMIT dataChanged(index(line, 0), index(line, ColumnCount - 1));
}

int ReconcileModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shown_.size());
}

int ReconcileModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ReconcileModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(shown_.size()))
        return {};
    const size_t r = size_t(shown_[size_t(index.row())]);
    const ReconcileRow& row = (*rows_)[r];
    const bool conflict = (*conflicts_)[r] != 0;
    if (role == Qt::FontRole && conflict) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    switch (index.column()) {
    case KindColumn:
        return RowKindName(row.kind);
    case LeftColumn:
        return Position(row.left);
    case RightColumn:
        return Position(row.right);
    case NameColumn: {
        const QString l = row.left >= 0 ? EntryName(*left_, row.left) : QString();
        const QString rt = row.right >= 0 ? EntryName(*right_, row.right) : QString();
        return row.left < 0 ? rt : row.right < 0 || l == rt ? l : l + QStringLiteral(" -> ") + rt;
    }
    case DiffersColumn:
        return RowFieldsText(row.differs);
    case ChoiceColumn:
        return conflict ? QStringLiteral("conflict: choose") : ChoiceText(row, (*choices_)[r]);
    default:
        return {};
    }
}

QVariant ReconcileModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const titles[] = {"Kind", "Left", "Right", "Name", "Differs", "Take"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section]) : QVariant();
}

// ---------------------------------------------------------------------------------------------
// The window

ReconcileWindow::ReconcileWindow(LibraryController& controller, QWidget* parent)
    : QDialog(parent), controller_(controller) {
    setObjectName(QStringLiteral("frmReconcile"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    baseBox_ = new QComboBox(this);
    baseBox_->setObjectName(QStringLiteral("cboBase"));
    baseBox_->setAccessibleName(QStringLiteral("Base"));
    auto* baseLabel = new QLabel(QStringLiteral("&Base:"), this);
    baseLabel->setBuddy(baseBox_);
    filter_ = new QComboBox(this);
    filter_->setObjectName(QStringLiteral("cboFilter"));
    filter_->setAccessibleName(QStringLiteral("Show"));
    filter_->addItems({QStringLiteral("All rows"), QStringLiteral("Differences only")});
    filter_->setCurrentIndex(1);
    auto* filterLabel = new QLabel(QStringLiteral("&Show:"), this);
    filterLabel->setBuddy(filter_);
    top->addWidget(baseLabel);
    top->addWidget(baseBox_, 1);
    top->addWidget(filterLabel);
    top->addWidget(filter_);
    layout->addLayout(top);

    model_ = new ReconcileModel(this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("tblRows"));
    table_->setAccessibleName(QStringLiteral("Rows"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the rows for the choices below instead of walking the cells of a row.
    table_->setTabKeyNavigation(false);
    table_->verticalHeader()->hide();
    // Fixed row heights: the view never measures a hundred thousand rows.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    // A renamed entry's names ("CLEAN -> CLEAN2") are read whole; only the first rows are measured.
    table_->horizontalHeader()->setResizeContentsPrecision(200);
    table_->horizontalHeader()->setSectionResizeMode(ReconcileModel::NameColumn,
                                                     QHeaderView::ResizeToContents);
    table_->setAlternatingRowColors(true);
    layout->addWidget(table_, 1);

    auto* takes = new QHBoxLayout;
    const auto button = [this, takes](const char* name, const QString& caption, const QString& accessible) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAccessibleName(accessible);
        takes->addWidget(b);
        return b;
    };
    connect(button("cmdTakeLeft", QStringLiteral("Take &Left"), QStringLiteral("Take left")),
            &QPushButton::clicked, this, [this] { Take(RowChoice::Left); });
    connect(button("cmdTakeRight", QStringLiteral("Take &Right"), QStringLiteral("Take right")),
            &QPushButton::clicked, this, [this] { Take(RowChoice::Right); });
    connect(button("cmdTakeBoth", QStringLiteral("Keep B&oth"), QStringLiteral("Keep both")),
            &QPushButton::clicked, this, [this] { Take(RowChoice::Both); });
    takes->addStretch(1);
    layout->addLayout(takes);

    // A description changed on both sides: both texts, the user picks one.
    auto* texts = new QGridLayout;
    useLeftText_ = new QRadioButton(QStringLiteral("Le&ft description:"), this);
    useLeftText_->setObjectName(QStringLiteral("optLeftText"));
    useLeftText_->setAccessibleName(QStringLiteral("Use the left description"));
    useRightText_ = new QRadioButton(QStringLiteral("Ri&ght description:"), this);
    useRightText_->setObjectName(QStringLiteral("optRightText"));
    useRightText_->setAccessibleName(QStringLiteral("Use the right description"));
    leftText_ = new QLabel(this);
    rightText_ = new QLabel(this);
    for (QLabel* label : {leftText_, rightText_}) {
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    leftText_->setAccessibleName(QStringLiteral("Left description"));
    rightText_->setAccessibleName(QStringLiteral("Right description"));
    texts->addWidget(useLeftText_, 0, 0, Qt::AlignTop);
    texts->addWidget(leftText_, 0, 1);
    texts->addWidget(useRightText_, 1, 0, Qt::AlignTop);
    texts->addWidget(rightText_, 1, 1);
    texts->setColumnStretch(1, 1);
    layout->addLayout(texts);
    connect(useLeftText_, &QRadioButton::clicked, this, [this] { TakeText(RowChoice::LeftText); });
    connect(useRightText_, &QRadioButton::clicked, this, [this] { TakeText(RowChoice::RightText); });

    auto* bottom = new QHBoxLayout;
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("lblSummary"));
    bottom->addWidget(summary_, 1);
    apply_ = new QPushButton(QStringLiteral("&Apply"), this);
    apply_->setObjectName(QStringLiteral("cmdApply"));
    apply_->setAccessibleName(QStringLiteral("Apply"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    close->setAccessibleName(QStringLiteral("Close"));
    bottom->addWidget(apply_);
    bottom->addWidget(close);
    layout->addLayout(bottom);
    connect(apply_, &QPushButton::clicked, this, &ReconcileWindow::Apply);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    connect(filter_, &QComboBox::currentIndexChanged, this, [this] {
        model_->Reset(&left_, &right_, &rows_, &choices_, &conflicts_, filter_->currentIndex() == 1);
        ShowCurrent();
    });
    connect(baseBox_, &QComboBox::activated, this, &ReconcileWindow::ChooseBase);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &ReconcileWindow::ShowCurrent);
    resize(760, 520);
}

bool ReconcileWindow::Open(const QString& path, QString* error) {
    ReconcileSide right;
    QList<EarlierVersion> versions, exports;
    const bool deviceFile = !IsLibraryPath(path);
    try {
        right = controller_.ReadReconcileSide(path);
        versions = controller_.LibEarlierVersions();
        if (deviceFile)
            exports = controller_.LibExportRecords();
    } catch (const FileError& e) {
        *error = e.description;
        return false;
    }
    right_ = std::move(right);
    left_ = controller_.LibrarySide();
    rightName_ = QFileInfo(path).fileName();
    setWindowTitle(QStringLiteral("Reconcile with ") + rightName_);
    baseBox_->clear();
    bases_.clear();
    baseBox_->addItem(QStringLiteral("none"));
    const auto when = [](const EarlierVersion& v) {
        return QLocale().toString(v.time.toLocalTime(), QLocale::ShortFormat);
    };
    for (const EarlierVersion& v : exports) {
        baseBox_->addItem(
            QStringLiteral("Export to the device, %1 (%2 patches)").arg(when(v)).arg(v.patches));
        bases_.append({true, v.id});
    }
    for (const EarlierVersion& v : versions) {
        baseBox_->addItem(QStringLiteral("Earlier version, %1 (%2 patches)").arg(when(v)).arg(v.patches));
        bases_.append({false, v.id});
    }
    // A patch file read back from the device: what Quillbox last sent there is the common past.
    ChooseBase(exports.isEmpty() ? 0 : 1);
    return true;
}

void ReconcileWindow::ChooseBase(int index) {
    hasBase_ = false;
    baseProblem_.clear();
    if (index > 0 && index <= bases_.size()) {
        const BaseChoice& choice = bases_[index - 1];
        try {
            base_ = choice.exportRecord ? controller_.ExportRecordSide(choice.id)
                                        : controller_.EarlierVersionSide(choice.id);
            hasBase_ = true;
        } catch (const FileError& e) {
            baseProblem_ = e.description + QStringLiteral("; ");
        }
    }
    baseBox_->setCurrentIndex(hasBase_ ? index : 0);
    Recompute();
}

void ReconcileWindow::Recompute() {
    // With a base, the rows and the choices made for the user come from the one pairing of base,
    // left and right that a merge uses.
    Reconciliation reconciliation = Reconcile(left_, right_, hasBase_ ? &base_ : nullptr);
    rows_ = std::move(reconciliation.rows);
    choices_.assign(rows_.size(), RowChoice{});
    conflicts_.assign(rows_.size(), 0);
    for (size_t k = 0; k < reconciliation.presets.size(); ++k) {
        choices_[k] = reconciliation.presets[k].choice;
        conflicts_[k] = reconciliation.presets[k].conflict ? 1 : 0;
    }
    model_->Reset(&left_, &right_, &rows_, &choices_, &conflicts_, filter_->currentIndex() == 1);
    if (model_->rowCount() > 0)
        table_->setCurrentIndex(model_->index(0, 0));
    ShowCurrent();
    UpdateSummary();
}

std::vector<int> ReconcileWindow::SelectedLines() const {
    std::vector<int> lines;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        lines.push_back(index.row());
    if (lines.empty() && table_->currentIndex().isValid())
        lines.push_back(table_->currentIndex().row());
    return lines;
}

void ReconcileWindow::Take(RowChoice::Take take) {
    for (const int line : SelectedLines()) {
        const size_t r = size_t(model_->RowAt(line));
        // The user's take is the entry and its place from that side.
        choices_[r].take = take;
        choices_[r].place = RowChoice::PlaceOfTake;
        conflicts_[r] = 0;
        model_->ChoiceChanged(line);
    }
    ShowCurrent();
    UpdateSummary();
}

void ReconcileWindow::TakeText(RowChoice::Text text) {
    const QModelIndex current = table_->currentIndex();
    if (!current.isValid())
        return;
    choices_[size_t(model_->RowAt(current.row()))].description = text;
    model_->ChoiceChanged(current.row());
}

void ReconcileWindow::ShowCurrent() {
    const QModelIndex current = table_->currentIndex();
    bool choose = false;
    if (current.isValid()) {
        const size_t r = size_t(model_->RowAt(current.row()));
        const ReconcileRow& row = rows_[r];
        choose = row.left >= 0 && row.right >= 0 && (row.differs & DescriptionDiffers) != 0 &&
                 choices_[r].take != RowChoice::Both;
        if (choose) {
            leftText_->setText(Shown(left_.descriptions.value(row.left + 1)));
            rightText_->setText(Shown(right_.descriptions.value(row.right + 1)));
            const RowChoice& c = choices_[r];
            const bool rightText = c.description == RowChoice::RightText ||
                                   (c.description == RowChoice::FollowTake && c.take == RowChoice::Right);
            (rightText ? useRightText_ : useLeftText_)->setChecked(true);
        }
    }
    if (!choose) {
        leftText_->clear();
        rightText_->clear();
    }
    for (QWidget* w : std::initializer_list<QWidget*>{useLeftText_, useRightText_, leftText_, rightText_})
        w->setEnabled(choose);
}

qsizetype ReconcileWindow::OpenConflicts() const {
    return qsizetype(std::count(conflicts_.begin(), conflicts_.end(), char(1)));
}

void ReconcileWindow::UpdateSummary() {
    const qsizetype differ = std::count_if(rows_.begin(), rows_.end(), RowDiffers);
    const qsizetype open = OpenConflicts();
    QString text = baseProblem_ + QString::number(rows_.size()) +
                   (rows_.size() == 1 ? QStringLiteral(" row, ") : QStringLiteral(" rows, ")) +
                   QString::number(differ) +
                   (differ == 1 ? QStringLiteral(" differs") : QStringLiteral(" differ"));
    if (open > 0)
        text += (open == 1 ? QStringLiteral("; 1 conflict to choose before Apply")
                           : QStringLiteral("; %1 conflicts to choose before Apply").arg(open));
    summary_->setText(text);
    apply_->setEnabled(open == 0);
}

void ReconcileWindow::Apply() {
    if (OpenConflicts() > 0)
        return;
    if (controller_.ApplyReconcile(rightName_, left_, right_, rows_, choices_))
        accept();
}

} // namespace quillbox
