#include "app/KVProgressSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "views/KVProgressSubview.h"
#include "views/ThemedButton.h"

namespace orvex {

KVProgressSheet::KVProgressSheet(QWidget* window)
    : QDialog(window), mBox(new KVProgressSubview), mPercent(new QLabel("Idle")),
      mCancel(new ThemedButton("Cancel")) {
    setObjectName("uiProgressSheet");
    setAccessibleName("Progress");
    setWindowModality(Qt::WindowModal);
    mBox->setObjectName("uiProgressPanel");
    mBox->hide();
    mPercent->setObjectName("uiProgressPercentField");
    mPercent->setAccessibleName("Percent complete");
    mPercent->setMinimumWidth(48);
    mCancel->setObjectName("uiCancelProcessingButton");
    mCancel->setToolTip("Stop the running operation");
    mCancel->setAccessibleName("Cancel");
    static_cast<ThemedButton*>(mCancel)->setAutoDefault(false);
    auto* column = new QVBoxLayout(this);
    column->addWidget(mBox);
    auto* row = new QHBoxLayout;
    row->addWidget(mPercent);
    row->addStretch(1);
    row->addWidget(mCancel);
    column->addLayout(row);
}

void KVProgressSheet::begin(const QString& text) {
    mRunning = true;
    mShown = 0;
    mBox->setString(text);
    mBox->setFloatValue(0);
    mPercent->setText("0%");
    mBox->show();
    adjustSize();  // to this command's text
    show();
    raise();
}

void KVProgressSheet::setValue(int percent) {
    if (percent < 0) {
        mRunning = false;
        mShown = 0;
        hide();
        mBox->hide();  // hidden on its own too, so the box alone tells whether something runs
        mBox->setFloatValue(0);
        mPercent->setText("Idle");
        // The keyboard goes back to the window: without a window manager to hand it on, the
        // window's keys (Ctrl+Q among them) would reach nothing once the sheet is gone.
        if (QWidget* owner = parentWidget(); owner && owner->isVisible()) owner->activateWindow();
        return;
    }
    if (percent == mShown) return;
    mShown = percent;
    mBox->setFloatValue(static_cast<float>(percent));
    mPercent->setText(QString("%1%").arg(percent));
}

}  // namespace orvex
