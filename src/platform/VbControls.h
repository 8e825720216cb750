#pragma once

#include <QString>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

// Thin makers for the classic control kinds. Each names the widget (object name =
// control name), places it in twips relative to its container and sets its caption.

QGroupBox* MakeFrame(QWidget* container, const QString& name, const QString& caption, int left,
                     int top, int width, int height);

// Option buttons are grouped by their container: pass the container's own group.
QRadioButton* MakeOption(QWidget* container, QButtonGroup* group, const QString& name,
                         const QString& caption, int left, int top, int width, int height);

// A text box the user can select and copy from but not type into.
QLineEdit* MakeReadOnlyTextBox(QWidget* container, const QString& name, const QString& text,
                               int left, int top, int width, int height);

class LogTextBox;

LogTextBox* MakeReadOnlyLogBox(QWidget* container, const QString& name, int left, int top,
                               int width, int height);

QPushButton* MakeCommandButton(QWidget* container, const QString& name, const QString& caption,
                               int left, int top, int width, int height);

QLabel* MakeLabel(QWidget* container, const QString& name, const QString& caption, int left,
                  int top, int width, int height);

class SpinScrollBar;

SpinScrollBar* MakeVScroll(QWidget* container, const QString& name, int left, int top, int width,
                           int height);

// An exclusive button group owned by its container, so that option buttons in a nested
// container never clear those of an outer one.
QButtonGroup* MakeOptionGroup(QWidget* container, const QString& name);

// Stacks the children of container (and of its frames) so that the first created lies on
// top, as the classic designer stacks controls that overlap.
void StackFirstCreatedOnTop(QWidget* container);
