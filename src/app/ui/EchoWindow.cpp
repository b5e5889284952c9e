#include "app/ui/EchoWindow.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tarvelo::ui {

EchoWindow::EchoWindow(const DesktopHost& host) : host_(host) {
    setWindowTitle(QString::fromLatin1(kTraceCaption));
    label6_ = new QLabel(QString::fromLatin1(kTraceLabel), this);
    openStatus_ = new QLabel(this);
    freeze_ = new QCheckBox(QString::fromLatin1(kTraceFreeze), this);
    commData_ = new QPlainTextEdit(this);
    commData_->setReadOnly(true);
    // Lines can be picked and copied with the keyboard too.
    commData_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    commData_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Received lines are padded to a fixed width: only a fixed font lines up their stamps.
    commData_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* top = new QHBoxLayout;
    top->addWidget(label6_, 1);
    top->addWidget(openStatus_);
    top->addWidget(freeze_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(commData_, 1);
    resize(900, 420);

    QObject::connect(freeze_, &QCheckBox::toggled, this, [this](bool on) {
        host_.setTraceFrozen(on);
        if (!on) ScrollToEnd();
    });
}

void EchoWindow::TraceChanged(bool scroll) {
    scrollPending_ = scrollPending_ || scroll;
    if (refreshPosted_ || !isVisible()) return;
    refreshPosted_ = true;
    QTimer::singleShot(0, this, [this] { Refresh(); });
}

void EchoWindow::Refresh() {
    refreshPosted_ = false;
    freeze_->setChecked(host_.traceFrozen());
    openStatus_->setText(QString::fromLatin1(host_.traceStatus()));
    const std::string text = host_.traceText();
    QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (shown != commData_->toPlainText()) {
        QScrollBar* bar = commData_->verticalScrollBar();
        const int at = bar->value();
        commData_->setPlainText(shown);
        bar->setValue(at);
    }
    if (scrollPending_) ScrollToEnd();
    scrollPending_ = false;
}

void EchoWindow::ScrollToEnd() {
    if (freeze_->isChecked()) return;
    QScrollBar* bar = commData_->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void EchoWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    scrollPending_ = true;
    Refresh();
}

void EchoWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ScrollToEnd();
}

} // namespace tarvelo::ui
