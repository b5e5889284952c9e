#include "app/ui/SetupForm.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tarvelo::ui {

SetupForm::SetupForm(const DesktopHost& host) : host_(host) {
    setWindowTitle(QString::fromLatin1(kSetupCaption));
    auto* form = new QFormLayout;
    for (size_t i = 0; i < kSetupBoxes; ++i) {
        aIni_[i] = new QLineEdit(this);
        aIni_[i]->setObjectName(QStringLiteral("aIni%1").arg(i));
        const QString label = QString::fromLatin1(kSetupLabels[i]);
        if (i + 1 < kSetupBoxes) {
            form->addRow(label, aIni_[i]);
            continue;
        }
        auto* row = new QHBoxLayout;
        row->addWidget(aIni_[i], 1);
        row->addWidget(new QLabel(QString::fromLatin1(kSetupUnit), this));
        form->addRow(label, row);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    QObject::connect(buttons, &QDialogButtonBox::accepted, this, [this] { Save(); });
    QObject::connect(buttons, &QDialogButtonBox::rejected, this, [this] { hide(); });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void SetupForm::Open() {
    const std::vector<std::string> boxes = host_.loadSetupForm();
    for (size_t i = 0; i < kSetupBoxes; ++i)
        aIni_[i]->setText(i < boxes.size() ? QString::fromLatin1(boxes[i]) : QString());
    show();
    raise();
    activateWindow();
}

void SetupForm::Save() {
    std::vector<std::string> boxes;
    for (QLineEdit* box : aIni_) boxes.push_back(box->text().toLatin1().toStdString());
    hide();
    // Reopening the PIM port waits for the bridge while the loop runs: not
    // from inside the button's own signal.
    QTimer::singleShot(0, this, [this, boxes = std::move(boxes)] { host_.saveSetupForm(boxes); });
}

} // namespace tarvelo::ui
