#pragma once
// The trace window: the PIM traffic as text, the Freeze box, the connection
// state and a caption. The text lives in the gateway's trace, which is
// written whether this window is shown or not; the window redraws it.

#include <QWidget>

#include "gateway/Desktop.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;

namespace tarvelo::ui {

class EchoWindow : public QWidget {
public:
    explicit EchoWindow(const DesktopHost& host);

    // The trace changed. Only notes it: the redraw is posted to the loop, so
    // a writer inside the PIM handler never runs other events from here.
    void TraceChanged(bool scroll);
    // Redraws at once from the trace (also what the posted redraw runs).
    void Refresh();

    QPlainTextEdit& commData() { return *commData_; }
    QCheckBox& freeze() { return *freeze_; }
    QLabel& openStatus() { return *openStatus_; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ScrollToEnd();

    const DesktopHost& host_;
    QPlainTextEdit* commData_;
    QCheckBox* freeze_;
    QLabel* openStatus_;
    QLabel* label6_;
    bool refreshPosted_ = false;
    bool scrollPending_ = false;
};

} // namespace tarvelo::ui
