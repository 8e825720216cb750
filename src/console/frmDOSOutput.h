#pragma once

#include "console/RepairedFileMove.h"
#include "pickers/PickerSlot.h"
#include "runner/DOSOutputs.h"

#include <QString>
#include <QWidget>
#include <memory>

class LogTextBox;
class QButtonGroup;
class QGroupBox;
class ClickLabel;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class SpinScrollBar;
struct RepairInputs;

// The main window: picks the videos, sets the options, runs a repair, shows the log,
// names the result and starts the preview. Every control carries its name as object
// name.
class frmDOSOutput : public QWidget, public LogLevelView {
    Q_OBJECT

public:
    // appFolder is where the repair tool and the player are looked for.
    explicit frmDOSOutput(QString appFolder, QWidget* parent = nullptr);
    ~frmDOSOutput() override;

    const QString& appFolder() const { return appFolder_; }
    DOSOutputs* runner() const { return objDOS.get(); }
    const QString& newFilename() const { return newfilename; }

    bool logNoneSelected() const override;
    bool logDefaultOrVerboseSelected() const override;

    void cmdExecute_Click();
    void cmdExit_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Label5_Click();

    // The picker windows, for tests: nullptr until first opened.
    FilePicker* frmRefFile() const { return refPicker_.loaded(); }
    FilePicker* frmCorFile() const { return corPicker_.loaded(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createFrames();
    void createTopRow();
    void createBottomRow();
    void setTabChain();
    void connectHandlers();
    void Form_Load();
    // Writes a chosen file's path into one of the two file boxes.
    FilePicker::Writer boxWriter(QLineEdit* frmDOSOutput::*box);

    void VScroll1_Change();
    void VScroll2_Change();
    void VScroll3_Change();
    void objDOS_ReceiveOutputs(const QString& CommandOutputs);
    void txtOutputs_Change();
    PlacedResult RenameRepairedFile();
    void ReportOutcome();
    void appendLogLine(const QString& line);

    RepairInputs readRepairInputs() const;
    void setRunButtonsEnabled(bool enabled);
    void endProgram();

    QString appFolder_;
    std::unique_ptr<DOSOutputs> objDOS;
    QString newfilename;
    PickerSlot refPicker_;
    PickerSlot corPicker_;
    QString runCorruptPath_; // the broken video of the run in progress or last run
    bool running_ = false;
    bool closing_ = false; // closed during a run: end once the run has stopped

    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QButtonGroup* Frame1Options = nullptr;
    QButtonGroup* Frame4Options = nullptr;
    QRadioButton* Optlognone = nullptr;
    QRadioButton* Optlogdefault = nullptr;
    QRadioButton* Optlogverbose = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    SpinScrollBar* VScroll1 = nullptr;
    SpinScrollBar* VScroll2 = nullptr;
    SpinScrollBar* VScroll3 = nullptr;
    QLineEdit* Txtgopm = nullptr;
    QLineEdit* Txtgopl = nullptr;
    QLineEdit* Txtsmpltrk = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    ClickLabel* Label5 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* cmdExecute = nullptr;
    QPushButton* cmdExit = nullptr;
    QLineEdit* TxtRef = nullptr;
    QLineEdit* TxtCor = nullptr;
    QLineEdit* txtCommand = nullptr;
    LogTextBox* txtOutputs = nullptr;
};
