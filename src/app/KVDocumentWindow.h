#pragma once

#include <QMainWindow>

class QTabWidget;

namespace orvex {

// The editor window of one document: three tabs (input overview, analysis editor, master
// output) above the transport and tool controls. The views of each tab are plugged in with
// setTabView(). GUI thread only.
class KVDocumentWindow : public QMainWindow {
    Q_OBJECT
public:
    enum Tab { kInputTab = 0, kAnalysisTab = 1, kOutputTab = 2 };

    explicit KVDocumentWindow(QWidget* parent = nullptr);

    // Puts view (owned from now on) into tab index, replacing what was there.
    void setTabView(int index, QWidget* view);
    QWidget* tabView(int index) const;
    QTabWidget* tabs() const { return mTabs; }

    static QString tabTitle(int index);

private:
    QTabWidget* mTabs;
};

}  // namespace orvex
