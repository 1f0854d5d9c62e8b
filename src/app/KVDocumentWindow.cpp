#include "app/KVDocumentWindow.h"

#include <QTabWidget>

namespace orvex {

KVDocumentWindow::KVDocumentWindow(QWidget* parent) : QMainWindow(parent), mTabs(new QTabWidget(this)) {
    mTabs->setAccessibleName("Document tabs");
    for (int index = kInputTab; index <= kOutputTab; ++index) {
        auto* placeholder = new QWidget;
        placeholder->setAccessibleName(tabTitle(index));
        mTabs->addTab(placeholder, tabTitle(index));
    }
    setCentralWidget(mTabs);
    setAttribute(Qt::WA_DeleteOnClose);
}

QString KVDocumentWindow::tabTitle(int index) {
    switch (index) {
        case kInputTab: return "Input Overview";
        case kAnalysisTab: return "Analysis Editor";
        default: return "Master Output";
    }
}

void KVDocumentWindow::setTabView(int index, QWidget* view) {
    QWidget* old = mTabs->widget(index);
    const bool wasCurrent = mTabs->currentIndex() == index;
    mTabs->removeTab(index);
    mTabs->insertTab(index, view, tabTitle(index));
    if (view->accessibleName().isEmpty()) view->setAccessibleName(tabTitle(index));
    if (wasCurrent) mTabs->setCurrentIndex(index);
    delete old;
}

QWidget* KVDocumentWindow::tabView(int index) const { return mTabs->widget(index); }

}  // namespace orvex
