#include "output/PrintAbortDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/MessageSink.h"

PrintAbortDialog::PrintAbortDialog(bool* abortFlag, QWidget* parent) : QDialog(parent), abortFlag_(abortFlag) {
    setWindowTitle("Printing");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Printing the current view...", this));
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setAutoDefault(false);
    layout->addWidget(cancel_, 0, Qt::AlignHCenter);
    connect(cancel_, &QPushButton::clicked, this, &PrintAbortDialog::reject);
}

void PrintAbortDialog::reject() {
    // The dialog stays up until the job ends; a second cancel changes nothing.
    if (*abortFlag_) return;
    *abortFlag_ = true;
    cancel_->setEnabled(false);
    platform::ShowMessage(platform::MessageIcon::Warning, kCaption, kAbortedText);
}
