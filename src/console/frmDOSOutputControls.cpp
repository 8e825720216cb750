// The main window's controls: kinds, containers, captions, places (in twips) and the
// tab order.
#include "MakerSite.h"
#include "frmDOSOutput.h"
#include "platform/ClassicFont.h"
#include "platform/ClickLabel.h"
#include "platform/LogTextBox.h"
#include "platform/SpinScrollBar.h"
#include "platform/Twips.h"
#include "platform/VbControls.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

} // namespace

void frmDOSOutput::createControls() {
    setFont(ClassicWindowFont());
    createFrames();
    createTopRow();
    createBottomRow();
    StackFirstCreatedOnTop(this);
    setTabChain();
}

void frmDOSOutput::createFrames() {
    Frame1 = MakeFrame(this, "Frame1", " Options ", 135, 1170, 7065, 2025);
    Frame1Options = MakeOptionGroup(Frame1, "Frame1Options");
    Frame4 = MakeFrame(Frame1, "Frame4", "   Logging  (more is slower)   ", 135, 1140, 6705, 705);
    Frame4Options = MakeOptionGroup(Frame4, "Frame4Options");
    Optlognone =
        MakeOption(Frame4, Frame4Options, "Optlognone", "None (fastest)", 240, 330, 1335, 195);
    Optlogverbose =
        MakeOption(Frame4, Frame4Options, "Optlogverbose", "Verbose", 4575, 330, 1230, 270);
    Optlogdefault =
        MakeOption(Frame4, Frame4Options, "Optlogdefault", "Default", 2565, 330, 1350, 270);
    Option2 =
        MakeOption(Frame1, Frame1Options, "Option2", "Interleave settings", 3285, 285, 1830, 225);
    Frame3 = MakeFrame(Frame1, "Frame3", QString(42, u' '), 3030, 285, 3795, 765);
    VScroll2 = MakeVScroll(Frame3, "VScroll2", 3120, 285, 255, 300);
    VScroll1 = MakeVScroll(Frame3, "VScroll1", 1380, 285, 255, 300);
    Txtgopm = MakeReadOnlyTextBox(Frame3, "Txtgopm", "1", 750, 255, 900, 360);
    Txtgopl = MakeReadOnlyTextBox(Frame3, "Txtgopl", "1", 2505, 255, 900, 360);
    Label1 = MakeLabel(Frame3, "Label1", "gopm", 270, 315, 510, 255);
    Label2 = MakeLabel(Frame3, "Label2", "gopl", 1935, 330, 390, 225);
    Option1 =
        MakeOption(Frame1, Frame1Options, "Option1", "Samples per chunk", 360, 285, 1830, 195);
    Frame2 = MakeFrame(Frame1, "Frame2", QString(41, u' '), 150, 285, 2415, 765);
    VScroll3 = MakeVScroll(Frame2, "VScroll3", 1740, 285, 255, 300);
    Txtsmpltrk = MakeReadOnlyTextBox(Frame2, "Txtsmpltrk", "0", 1125, 255, 900, 360);
    Label3 = MakeLabel(Frame2, "Label3", "smpltrk", 345, 330, 570, 270);

    Optlognone->setChecked(true);
    Option2->setChecked(true);
    VScroll1->setSpinRange(64, 1, 1);
    VScroll2->setSpinRange(64, 1, 1);
    VScroll3->setSpinRange(100, 0, 0);
}

void frmDOSOutput::createTopRow() {
    Command3 = MakeCommandButton(this, "Command3", ">", 6825, 5655, 330, 330);
    TxtCor = MakeReadOnlyTextBox(this, "TxtCor", "Select corrupt file", 120, 450, 6720, 330);
    TxtRef = MakeReadOnlyTextBox(this, "TxtRef", "Select reference file", 120, 105, 6720, 330);
    Command2 = MakeCommandButton(this, "Command2", "...", 6870, 450, 330, 330);
    Command1 = MakeCommandButton(this, "Command1", "...", 6870, 105, 330, 330);
    txtCommand = MakeReadOnlyTextBox(this, "txtCommand", QString(), 120, 810, 7065, 330);
}

void frmDOSOutput::createBottomRow() {
    cmdExit = MakeCommandButton(this, "cmdExit", "Exit", 5265, 6195, 1875, 375);
    txtOutputs = MakeReadOnlyLogBox(this, "txtOutputs", 135, 3345, 7065, 2220);
    txtOutputs->setFont(ClassicFont("Courier New", 8.25));
    setTextColour(txtOutputs, Qt::black);
    cmdExecute = MakeCommandButton(this, "cmdExecute", "Execute", 3285, 6195, 1875, 375);
    Label5 = new ClickLabel(makerHost(), this);
    Label5->setObjectName("Label5");
    Label5->setGeometry(twipsRect(180, 6285, 1425, 240));
    Label5->setFont(ClassicFont("MS Sans Serif", 8.25, true));
    setTextColour(Label5, QColor(0, 0, 255));
    Label5->setCursor(Qt::PointingHandCursor);
    Label4 = MakeLabel(this, "Label4",
                       "Play video; ESC to quit, press 'p' to pause and 'm' to mute sound. use < "
                       "and > to seek",
                       120, 5715, 6210, 270);
}

// Tab indices of the controls that take the focus, in order; frames and labels take none.
void frmDOSOutput::setTabChain() {
    const QList<QWidget*> chain = {
        cmdExecute, txtOutputs, cmdExit,  txtCommand,    Command1,      Command2,  TxtRef,
        TxtCor,     Command3,   Option1,  Txtgopl,       Txtgopm,       Option2,   Txtsmpltrk,
        VScroll3,   VScroll1,   VScroll2, Optlogdefault, Optlogverbose, Optlognone};
    for (qsizetype i = 1; i < chain.size(); ++i) {
        setTabOrder(chain.at(i - 1), chain.at(i));
    }
    for (QLabel* label : std::initializer_list<QLabel*>{Label1, Label2, Label3, Label4, Label5}) {
        label->setFocusPolicy(Qt::NoFocus);
    }
}
