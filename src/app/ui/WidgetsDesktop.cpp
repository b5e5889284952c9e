#include "app/ui/WidgetsDesktop.h"

#include <QColor>
#include <QDesktopServices>
#include <QFont>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

namespace tarvelo::ui {

namespace {

// The icon: "UPB" on a dark blue tile, drawn so that no image file has to ship.
QIcon TrayPicture() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x1f, 0x4e, 0x8c));
        painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        painter.setBrush(QColor(0xf2, 0xb1, 0x34));
        painter.drawRect(QRectF(size * 0.12, size * 0.74, size * 0.76, size * 0.08));  // the powerline
        QFont font;
        font.setBold(true);
        font.setPixelSize(std::max(6, size * 5 / 16));
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size * 3 / 4), Qt::AlignCenter, QStringLiteral("UPB"));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

WidgetsDesktop::WidgetsDesktop(DesktopHost host)
    : host_(std::move(host)),
      menu_(std::make_unique<QMenu>(QString::fromLatin1(kTrayMenuTitle))),
      echo_(std::make_unique<EchoWindow>(host_)),
      setup_(std::make_unique<SetupForm>(host_)) {
    for (size_t i = 0; i < kTrayMenuCaptions.size(); ++i) {
        if (std::string_view(kTrayMenuCaptions[i]) == "-") {
            menu_->addSeparator();
            continue;
        }
        QAction* action = menu_->addAction(QString::fromLatin1(kTrayMenuCaptions[i]));
        action->setObjectName(QStringLiteral("MenuArray%1").arg(i));
        // Posted: "Exit" tears down the icon and its menu, which must not
        // happen inside the menu's own signal.
        QObject::connect(action, &QAction::triggered, menu_.get(), [this, i] {
            QTimer::singleShot(0, menu_.get(), [this, i] { host_.menuChosen(static_cast<int>(i)); });
        });
    }
}

WidgetsDesktop::~WidgetsDesktop() {
    if (icon_) icon_->hide();
}

void WidgetsDesktop::ShowTrayIcon() {
    if (!icon_) {
        icon_ = std::make_unique<QSystemTrayIcon>(TrayPicture());
        icon_->setToolTip(QString::fromLatin1(kTrayToolTip));
        icon_->setContextMenu(menu_.get());  // the right button
        // The left button opens the same menu.
        QObject::connect(icon_.get(), &QSystemTrayIcon::activated, menu_.get(),
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             if (reason == QSystemTrayIcon::Trigger) menu_->popup(QCursor::pos());
                         });
    }
    icon_->show();
}

void WidgetsDesktop::RemoveTrayIcon() {
    if (icon_) icon_->hide();
}

void WidgetsDesktop::ShowTraceWindow() {
    echo_->show();
    echo_->raise();
    echo_->activateWindow();
}

void WidgetsDesktop::ShowSettingsForm() { setup_->Open(); }

void WidgetsDesktop::OpenBrowser(const std::string& url) {
    if (!QDesktopServices::openUrl(QUrl(QString::fromStdString(url))))
        host_.log("Could not start a browser for " + url);
}

void WidgetsDesktop::TraceChanged(bool scroll) { echo_->TraceChanged(scroll); }

void WidgetsDesktop::UnloadForms() {
    setup_->hide();
    echo_->hide();
}

} // namespace tarvelo::ui
