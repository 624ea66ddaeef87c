#pragma once

#include "LibraryController.h"

#include <QAbstractTableModel>
#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableView;

namespace quillbox {

// The rows of a reconciliation as a table, computed on demand so that a hundred thousand rows cost
// only what is shown. Columns: kind, left position, right position, name(s), what differs, choice.
class ReconcileModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { KindColumn, LeftColumn, RightColumn, NameColumn, DiffersColumn, ChoiceColumn, ColumnCount };
    explicit ReconcileModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // New sides, rows and choices; `conflicts` marks the rows the user must choose.
    void Reset(const ReconcileSide* left, const ReconcileSide* right, const std::vector<ReconcileRow>* rows,
               const std::vector<RowChoice>* choices, const std::vector<char>* conflicts,
               bool differencesOnly);
    // The row of the reconciliation shown on table line `line`.
    qsizetype RowAt(int line) const { return shown_.at(size_t(line)); }
    // The choice of the row shown on `line` changed.
    void ChoiceChanged(int line);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const ReconcileSide* left_ = nullptr;
    const ReconcileSide* right_ = nullptr;
    const std::vector<ReconcileRow>* rows_ = nullptr;
    const std::vector<RowChoice>* choices_ = nullptr;
    const std::vector<char>* conflicts_ = nullptr;
    std::vector<qsizetype> shown_;
};

// frmReconcile: the library (left) against another library, a device patch file or an earlier
// version (right), row by row; the user takes left, right or both per row and "Apply" makes the
// library the result as one step. With a base, rows changed on one side only are chosen already and
// the conflicts must be chosen before Apply.
class ReconcileWindow : public QDialog {
    Q_OBJECT
public:
    ReconcileWindow(LibraryController& controller, QWidget* parent = nullptr);

    // Sets the library against the file at `path`; false with `error` set when it cannot be read.
    bool Open(const QString& path, QString* error);
    // Chooses the base by its index in the Base box (0: none); the rows are chosen anew.
    void ChooseBase(int index);
    const std::vector<ReconcileRow>& Rows() const { return rows_; }
    qsizetype OpenConflicts() const;

private:
    void Recompute();
    void Take(RowChoice::Take take);
    void TakeText(RowChoice::Text text);
    void ShowCurrent();
    void UpdateSummary();
    void Apply();
    std::vector<int> SelectedLines() const;

    LibraryController& controller_;
    QString rightName_;
    ReconcileSide left_, right_, base_;
    bool hasBase_ = false;
    QString baseProblem_; // why the chosen base could not be read
    std::vector<ReconcileRow> rows_;
    std::vector<RowChoice> choices_;
    std::vector<char> conflicts_; // 1: a conflict the user has not chosen yet
    ReconcileModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QComboBox* baseBox_ = nullptr;
    QComboBox* filter_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* leftText_ = nullptr;
    QLabel* rightText_ = nullptr;
    QRadioButton* useLeftText_ = nullptr;
    QRadioButton* useRightText_ = nullptr;
    QPushButton* apply_ = nullptr;
    struct BaseChoice {
        bool exportRecord = false; // an export record, else an earlier version
        QString id;
    };
    QList<BaseChoice> bases_; // the Base box's entries after "none"
};

} // namespace quillbox
