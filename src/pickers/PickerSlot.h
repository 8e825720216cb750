#pragma once

#include "FilePicker.h"

#include <QPointer>

// Holds the one window of a picker kind for the main window: loads it on first opening,
// shows the same window again afterwards, and forgets it when the user closes it.
class PickerSlot {
public:
    PickerSlot(PickerKind kind, FilePicker::Writer writeTarget);
    ~PickerSlot();
    PickerSlot(const PickerSlot&) = delete;
    PickerSlot& operator=(const PickerSlot&) = delete;

    // Shows the picker modeless: the first time loaded, on the home folder and centred;
    // later where and as it was left.
    void Open();

    // Destroys the picker if it is loaded, writing nothing (the program is ending).
    void Close();

    // The loaded window, hidden or shown; nullptr when not loaded.
    FilePicker* loaded() const { return picker_; }

private:
    PickerKind kind_;
    FilePicker::Writer writeTarget_;
    QPointer<FilePicker> picker_;
};
