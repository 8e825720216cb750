#include "frmDOSOutput.h"

#include "CommandAssembly.h"
#include "FileDrop.h"
#include "HelpText.h"
#include "Preview.h"
#include "RepairedFileMove.h"
#include "RunOutcome.h"
#include "platform/ClickLabel.h"
#include "platform/Failure.h"
#include "platform/Launch.h"
#include "platform/LogTextBox.h"
#include "platform/MessageBox.h"
#include "platform/Screen.h"
#include "platform/SpinScrollBar.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

frmDOSOutput::frmDOSOutput(QString appFolder, QWidget* parent)
    : QWidget(parent), appFolder_(std::move(appFolder)),
      refPicker_(PickerKind::RefFile, boxWriter(&frmDOSOutput::TxtRef)),
      corPicker_(PickerKind::CorFile, boxWriter(&frmDOSOutput::TxtCor)) {
    setObjectName(QStringLiteral("frmDOSOutput"));
    setWindowTitle(QStringLiteral("Kestrel - Untrunc-w GUI"));
    setFixedSize(488, 444);
    createControls();
    // A video dropped on a file box lands there as its picker would write it.
    new FileDropTarget(TxtRef, boxWriter(&frmDOSOutput::TxtRef));
    new FileDropTarget(TxtCor, boxWriter(&frmDOSOutput::TxtCor));
    connectHandlers();
    Form_Load();
    cmdExecute->setFocus();
    CentreOnScreen(this);
}

frmDOSOutput::~frmDOSOutput() = default;

FilePicker::Writer frmDOSOutput::boxWriter(QLineEdit* frmDOSOutput::*box) {
    return [this, box](const QString& path) { (this->*box)->setText(path); };
}

void frmDOSOutput::connectHandlers() {
    connect(cmdExecute, &QPushButton::clicked, this, &frmDOSOutput::cmdExecute_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmDOSOutput::cmdExit_Click);
    connect(Command1, &QPushButton::clicked, this, &frmDOSOutput::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmDOSOutput::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmDOSOutput::Command3_Click);
    connect(Label5, &ClickLabel::Click, this, &frmDOSOutput::Label5_Click);
    connect(txtOutputs, &LogTextBox::Change, this, &frmDOSOutput::txtOutputs_Change);
    connect(VScroll1, &SpinScrollBar::Change, this, &frmDOSOutput::VScroll1_Change);
    connect(VScroll2, &SpinScrollBar::Change, this, &frmDOSOutput::VScroll2_Change);
    connect(VScroll3, &SpinScrollBar::Change, this, &frmDOSOutput::VScroll3_Change);
    // Execute is the default button: Enter anywhere in the window presses it.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* enter = new QShortcut(QKeySequence(key), this);
        enter->setObjectName(QStringLiteral("defaultButtonShortcut"));
        connect(enter, &QShortcut::activated, this, [this] {
            if (cmdExecute->isEnabled()) {
                cmdExecute->click();
            }
        });
    }
}

void frmDOSOutput::Form_Load() {
    objDOS = std::make_unique<DOSOutputs>(this);
    connect(objDOS.get(), &DOSOutputs::ReceiveOutputs, this, &frmDOSOutput::objDOS_ReceiveOutputs,
            Qt::DirectConnection);
    txtOutputs->setText(HelpText());
}

bool frmDOSOutput::logNoneSelected() const {
    return Optlognone->isChecked();
}

bool frmDOSOutput::logDefaultOrVerboseSelected() const {
    return Optlogdefault->isChecked() || Optlogverbose->isChecked();
}

void frmDOSOutput::VScroll1_Change() {
    Txtgopm->setText(QString::number(VScroll1->Value()));
}

void frmDOSOutput::VScroll2_Change() {
    Txtgopl->setText(QString::number(VScroll2->Value()));
}

void frmDOSOutput::VScroll3_Change() {
    Txtsmpltrk->setText(QString::number(VScroll3->Value()));
}

void frmDOSOutput::objDOS_ReceiveOutputs(const QString& CommandOutputs) {
    txtOutputs->appendText(CommandOutputs);
}

void frmDOSOutput::txtOutputs_Change() {
    txtOutputs->setSelStart(txtOutputs->TextLength());
}

RepairInputs frmDOSOutput::readRepairInputs() const {
    RepairInputs in;
    in.gopm = Txtgopm->text();
    in.gopl = Txtgopl->text();
    in.smpltrk = Txtsmpltrk->text();
    in.samplesPerChunk = Option1->isChecked();
    in.interleave = Option2->isChecked();
    in.logVerbose = Optlogverbose->isChecked();
    in.reference = TxtRef->text();
    in.corrupt = TxtCor->text();
    in.appFolder = appFolder_;
    return in;
}

void frmDOSOutput::setRunButtonsEnabled(bool enabled) {
    for (QPushButton* button : {cmdExecute, cmdExit, Command1, Command2}) {
        button->setEnabled(enabled);
    }
}

void frmDOSOutput::cmdExecute_Click() {
    txtOutputs->setText(QString());
    setRunButtonsEnabled(false);
    const RepairInputs inputs = readRepairInputs();
    running_ = true;
    try {
        txtCommand->setText(AssembleCommandLine(inputs));
        txtCommand->setCursorPosition(0);
        objDOS->setCommandLine(txtCommand->text());
        runCorruptPath_ = inputs.corrupt;
        objDOS->ExecuteCommand();
        running_ = false;
        if (closing_) {
            // The result of a stopped run is incomplete: leave it as the tool left it.
            endProgram();
            return;
        }
        ReportOutcome();
    } catch (const Failure& failure) {
        running_ = false;
        ShowMessage(failure.userText());
        if (closing_) {
            endProgram();
            return;
        }
    }
    setRunButtonsEnabled(true);
}

// Renames the result and tells how the run went. After a start failure the runner has
// told the user already. Whatever the tool wrote after the log's last sample (its
// summary, or its last words when it failed) goes into the log after every run.
void frmDOSOutput::ReportOutcome() {
    const PlacedResult result = RenameRepairedFile();
    const RunEnding ending = objDOS->Ending();
    if (ending.kind == RunEnding::NotStarted) {
        appendLogLine(result.logLine);
        return;
    }
    constexpr qsizetype lastLineBytes = 4096;
    const RunOutcome outcome =
        JudgeRun(ending, result.path, LastLine(objDOS->Outputs().TailText(lastLineBytes)));
    appendLogLine(objDOS->UnreportedOutput());
    appendLogLine(result.logLine);
    ShowMessage(outcome.message, outcome.succeeded ? MessageIcon::None : MessageIcon::Critical);
}

PlacedResult frmDOSOutput::RenameRepairedFile() {
    const RepairedFileNames names = DeriveRepairedFileNames(runCorruptPath_);
    newfilename = names.finalName;
    const MoveOutcome outcome = MoveIntoPlace(names);
    PlacedResult placed = DescribePlacement(names, outcome);
    if (outcome.kind == MoveOutcome::KeptUnderToolName) {
        newfilename = placed.path;
    }
    return placed;
}

// Puts text of our own, or the tool's, on a fresh line of the log, ending the line.
void frmDOSOutput::appendLogLine(const QString& line) {
    if (line.isEmpty()) {
        return;
    }
    const auto endsLine = [](const QString& text) {
        return text.isEmpty() || text.endsWith(u'\n') || text.endsWith(u'\r');
    };
    const QString logEnd = txtOutputs->TextRange(txtOutputs->TextLength() - 1, 1);
    txtOutputs->appendText((endsLine(logEnd) ? QString() : QStringLiteral("\n")) + line +
                           (endsLine(line) ? QString() : QStringLiteral("\n")));
}

void frmDOSOutput::cmdExit_Click() {
    objDOS.reset();
    endProgram();
}

void frmDOSOutput::Command1_Click() {
    refPicker_.Open();
}

void frmDOSOutput::Command2_Click() {
    corPicker_.Open();
}

void frmDOSOutput::Command3_Click() {
    ShowMessage(PlayerCommandLine(appFolder_, newfilename));
    if (!StartDetached(PlayerCommandLine(appFolder_, newfilename))) {
        ShowMessage(PlayerNotStartedMessage(appFolder_), MessageIcon::Critical);
    }
}

void frmDOSOutput::Label5_Click() {
    OpenWebAddress(Label5->text());
}

// Ends at once: no picker, shown or hidden, outlives the main window.
void frmDOSOutput::endProgram() {
    refPicker_.Close();
    corPicker_.Close();
    QApplication::exit(0);
}

void frmDOSOutput::closeEvent(QCloseEvent* event) {
    event->accept();
    if (!running_) {
        endProgram();
        return;
    }
    // Stop the tool; the Execute handler ends the program once its read loop is over.
    // Until then nothing more reaches this window.
    closing_ = true;
    refPicker_.Close();
    corPicker_.Close();
    disconnect(objDOS.get(), &DOSOutputs::ReceiveOutputs, this, nullptr);
    objDOS->Terminate();
}
