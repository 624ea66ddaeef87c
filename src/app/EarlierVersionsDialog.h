#pragma once

#include "EarlierVersions.h"

#include <QDialog>
#include <QList>

class QPushButton;
class QTableWidget;

namespace quillbox {

class LibraryController;

// "Earlier Versions…": the versions kept for the loaded library (time, patches, size), newest
// first. "Load" hands the chosen one to the controller, which loads it as unsaved changes.
class EarlierVersionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit EarlierVersionsDialog(LibraryController& controller, QWidget* parent = nullptr);

    void accept() override;

private:
    LibraryController& controller_;
    QList<EarlierVersion> versions_;
    QTableWidget* table_ = nullptr;
    QPushButton* load_ = nullptr;
};

} // namespace quillbox
