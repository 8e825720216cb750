#include "PickerSlot.h"

PickerSlot::PickerSlot(PickerKind kind, FilePicker::Writer writeTarget)
    : kind_(kind), writeTarget_(std::move(writeTarget)) {}

PickerSlot::~PickerSlot() {
    Close();
}

void PickerSlot::Open() {
    if (!picker_) {
        auto* picker = new FilePicker(kind_, writeTarget_);
        // Forget a closed window at once: its deletion may wait for a quieter moment.
        QObject::connect(picker, &FilePicker::unloading, picker, [this, picker] {
            if (picker_ == picker) {
                picker_ = nullptr;
            }
        });
        picker_ = picker;
        picker->Form_Load();
    }
    if (picker_->isVisible()) {
        // Already up, perhaps behind the main window.
        picker_->raise();
        picker_->activateWindow();
    } else {
        picker_->show();
    }
}

void PickerSlot::Close() {
    if (FilePicker* picker = picker_) {
        picker_ = nullptr;
        delete picker;
    }
}
