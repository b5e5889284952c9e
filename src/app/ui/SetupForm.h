#pragma once
// The settings form: eleven boxes of the [UPB] settings, loaded when it
// opens and written by Save (Cancel or closing the window keeps them).

#include <QDialog>

#include <array>

#include "gateway/Desktop.h"

class QLineEdit;

namespace tarvelo::ui {

class SetupForm : public QDialog {
public:
    explicit SetupForm(const DesktopHost& host);

    // Loads the boxes from the settings and shows the form.
    void Open();
    // Hides the form and hands its boxes to the gateway.
    void Save();

    QLineEdit& box(size_t index) { return *aIni_.at(index); }

private:
    const DesktopHost& host_;
    std::array<QLineEdit*, kSetupBoxes> aIni_{};
};

} // namespace tarvelo::ui
