#pragma once

#include "TwinLanternApp/model/AppModel.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace twinlantern::ui {

class FolderAnswer;

// The settings window's Terminal tab: the integration's switch and repair, the terminal
// default, and the folder test. Everything is read from the model and every change goes
// through its actions.
class TerminalTab final : public QWidget {
    Q_OBJECT
public:
    explicit TerminalTab(app::AppModel& model, QWidget* parent = nullptr);

    QCheckBox* shellSwitch() const { return switch_; }
    QLabel* statusLine() const { return statusLine_; }
    QWidget* warningRow() const { return warningRow_; }
    QLabel* warningText() const { return warningText_; }
    QPushButton* fixButton() const { return fix_; }
    QToolButton* disclosure() const { return disclosure_; }
    QWidget* details() const { return details_; }
    QLabel* blockText() const { return block_; }
    QComboBox* defaultPicker() const { return picker_; }
    QLineEdit* folderField() const { return folder_; }
    QPushButton* chooseButton() const { return choose_; }
    FolderAnswer* result() const { return result_; }
    // The turn-off confirmation while it is open, else null.
    QMessageBox* confirmation() const { return confirmation_; }
    // The folder panel while it is open, else null.
    QFileDialog* folderPanel() const { return panel_; }

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void switchClicked(bool on);
    void confirmOff();
    void chooseFolder();
    void pick(int index);
    void updateShell();
    void updatePicker();
    void updateResult();
    void restyle();
    bool blockNotLast() const;

    app::AppModel& model_;
    app::ModelNotices::Subscription subscription_;
    QCheckBox* switch_ = nullptr;
    QLabel* statusLine_ = nullptr;
    QWidget* warningRow_ = nullptr;
    QLabel* warningText_ = nullptr;
    QPushButton* fix_ = nullptr;
    QToolButton* disclosure_ = nullptr;
    QWidget* details_ = nullptr;
    QLabel* block_ = nullptr;
    QComboBox* picker_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QPushButton* choose_ = nullptr;
    FolderAnswer* result_ = nullptr;
    QPointer<QMessageBox> confirmation_;
    QPointer<QFileDialog> panel_;
};

} // namespace twinlantern::ui
