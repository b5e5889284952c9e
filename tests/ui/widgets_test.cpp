// The Qt Widgets desktop on the offscreen platform: the trace window redraws
// only from the loop (a writer never runs other events), keeps its place
// while frozen and follows the last line otherwise; the settings form hands
// its boxes over on Save only; the tray menu's items and their order.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>

#include "app/ui/WidgetsDesktop.h"

using namespace tarvelo;
using namespace tarvelo::ui;

// fontconfig keeps a cache for the life of the process that it never frees;
// the leak checker of the sanitizer build is told so.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "tarvelo-ui-test";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: at exit Qt's own globals may already be gone.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

struct Host {
    std::string text;
    std::string status = "Port Open / 0 tries";
    bool frozen = false;
    std::vector<int> chosen;
    std::vector<std::vector<std::string>> saved;
    DesktopHost host{
        .menuChosen = [this](int item) { chosen.push_back(item); },
        .traceText = [this] { return text; },
        .traceStatus = [this] { return status; },
        .traceFrozen = [this] { return frozen; },
        .setTraceFrozen = [this](bool f) { frozen = f; },
        .loadSetupForm = [] { return std::vector<std::string>{"2101", "192.168.1.50", "8016", "False", "Black",
                                                              "StyleNoBody.css", "FF.0002:00", "false", "0", "false", "60"}; },
        .saveSetupForm = [this](const std::vector<std::string>& boxes) { saved.push_back(boxes); },
        .log = [](const std::string&) {},
    };
    void addLines(int n) {
        for (int i = 0; i < n; ++i) text += "PU8904010206" + std::to_string(i) + std::string(70, ' ') + "<07:00:00 25200>\r\n";
    }
};

class Widgets : public ::testing::Test {
protected:
    void SetUp() override { App(); }
    static void Settle() {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
    }
};

TEST_F(Widgets, TheTraceWindowRedrawsFromTheLoopOnlyAndFollowsTheLastLine) {
    Host h;
    EchoWindow w(h.host);
    w.show();
    Settle();
    EXPECT_EQ(w.windowTitle(), "UPB Data Monitor Window");
    EXPECT_EQ(w.openStatus().text(), "Port Open / 0 tries");

    // A write inside the PIM handler must not run events queued before it.
    bool otherEventRan = false;
    QTimer::singleShot(0, [&] { otherEventRan = true; });
    h.addLines(200);
    for (int i = 0; i < 50; ++i) w.TraceChanged(true);
    EXPECT_FALSE(otherEventRan);
    EXPECT_TRUE(w.commData().toPlainText().isEmpty());
    Settle();
    EXPECT_TRUE(otherEventRan);
    EXPECT_TRUE(w.commData().toPlainText().endsWith("<07:00:00 25200>\n"));
    QScrollBar* bar = w.commData().verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    w.resize(w.width(), w.height() / 2);
    Settle();
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(Widgets, FrozenTheTraceWindowKeepsItsPlace) {
    Host h;
    EchoWindow w(h.host);
    h.addLines(200);
    w.show();
    Settle();
    w.freeze().setChecked(true);
    EXPECT_TRUE(h.frozen);
    QScrollBar* bar = w.commData().verticalScrollBar();
    bar->setValue(10);
    h.text += "\r\nSent to PIM <14>07 10 01 05 FF 30 B4 <0D>    <2026-12-06 07:00:00 25200>\r\n";
    w.TraceChanged(false);  // the trace never asks to scroll while frozen
    w.resize(w.width() + 40, w.height() + 40);
    Settle();
    EXPECT_TRUE(w.commData().toPlainText().contains("Sent to PIM"));
    EXPECT_EQ(bar->value(), 10);

    w.freeze().setChecked(false);
    EXPECT_FALSE(h.frozen);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(Widgets, TheSettingsFormHandsItsBoxesOverOnSaveOnly) {
    Host h;
    SetupForm f(h.host);
    f.Open();
    Settle();
    EXPECT_EQ(f.windowTitle(), "UPB Setup");
    EXPECT_EQ(f.box(0).text(), "2101");
    EXPECT_EQ(f.box(10).text(), "60");
    // Each box sits beside its label, the interval with its unit.
    QStringList labels;
    for (QLabel* l : f.findChildren<QLabel*>()) labels << l->text();
    for (const char* label : kSetupLabels) EXPECT_TRUE(labels.contains(QString::fromLatin1(label))) << label;
    EXPECT_TRUE(labels.contains("seconds"));

    f.box(0).setText("2102");
    f.reject();
    Settle();
    EXPECT_TRUE(h.saved.empty());

    f.Open();
    EXPECT_EQ(f.box(0).text(), "2101");  // reloaded: the cancelled edit is gone
    f.box(0).setText("2102");
    f.box(10).setText("90");
    f.Save();
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(h.saved.empty());  // handed over from the loop, not from inside the button
    Settle();
    ASSERT_EQ(h.saved.size(), 1u);
    EXPECT_EQ(h.saved[0][0], "2102");
    EXPECT_EQ(h.saved[0][10], "90");
    EXPECT_EQ(h.saved[0][1], "192.168.1.50");
}

TEST_F(Widgets, TheTrayMenuHasItsItemsInOrderAndChoosingOneIsPosted) {
    Host h;
    WidgetsDesktop d(h.host);
    QStringList captions;
    for (QAction* a : d.menu().actions()) captions << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(captions, QStringList({"Browser", "GUI", "System Config", "System Status", "IO Window", "Help", "-", "Exit"}));
    QAction* exit = d.menu().actions().last();
    exit->trigger();
    EXPECT_TRUE(h.chosen.empty());  // "Exit" removes the menu: never from inside its own signal
    Settle();
    EXPECT_EQ(h.chosen, std::vector<int>{kMenuExit});
    d.menu().actions().at(kMenuSystemConfig)->trigger();
    Settle();
    EXPECT_EQ(h.chosen, (std::vector<int>{kMenuExit, kMenuSystemConfig}));  // the gateway decides it does nothing
}

} // namespace
