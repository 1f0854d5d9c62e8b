#pragma once

#include <QMainWindow>

#include <functional>

class QMenu;
class QPushButton;

namespace orvex {

// The small window shown while no document is open, so that the application does not quit
// with its last document window: Open... and an Open Recent menu of the stored list.
// GUI thread only.
class StartWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit StartWindow(QWidget* parent = nullptr);

    // Rebuilds the Open Recent menu from the stored list (existing files only).
    void refreshRecent();
    // Fills menu with one item per stored recent document, each calling open with its path.
    static void fillRecentMenu(QMenu* menu, const std::function<void(const QString&)>& open);
    QPushButton* uiOpenButton() const { return mOpenButton; }
    QPushButton* uiOpenRecentButton() const { return mRecentButton; }
    QMenu* recentMenu() const { return mRecentMenu; }

protected:
    // Sound files dropped on the window open like files chosen with Open...
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

signals:
    void openRequested();
    void openFileRequested(const QString& path);
    // The user closed the window.
    void closed();

private:
    QPushButton* mOpenButton;
    QPushButton* mRecentButton;
    QMenu* mRecentMenu;
};

}  // namespace orvex
