#pragma once

#include <QDialog>

class QAbstractButton;
class QLabel;

namespace orvex {

class KVProgressSubview;

// The progress sheet of a long command: a window-modal dialog on the editor window holding the
// progress box (text and bar), the percent field and Cancel. begin() shows it at 0 %; each new
// percent value moves the bar and the field ("%d%%"); a negative value ends it: the sheet
// hides, the bar returns to 0 and the field reads "Idle". A value equal to the one shown is
// ignored. The owner connects Cancel. GUI thread only.
class KVProgressSheet : public QDialog {
    Q_OBJECT
public:
    explicit KVProgressSheet(QWidget* window);

    void begin(const QString& text);
    void setValue(int percent);

    KVProgressSubview* box() const { return mBox; }
    QLabel* percentField() const { return mPercent; }
    QAbstractButton* cancelButton() const { return mCancel; }
    // Whether begin() was called and the end has not come yet.
    bool isRunning() const { return mRunning; }

protected:
    // Escape and closing from the window system do not end a running command's sheet.
    void reject() override {}

private:
    KVProgressSubview* mBox;
    QLabel* mPercent;
    QAbstractButton* mCancel;
    int mShown = 0;
    bool mRunning = false;
};

}  // namespace orvex
