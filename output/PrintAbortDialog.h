#pragma once
// The small modeless dialog shown while a page is printed: its cancel
// control (or closing the dialog) sets the job's abort flag and tells the
// user, once, that the job has been aborted.
#include <QDialog>

class QPushButton;

class PrintAbortDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Print Abort";
    static constexpr const char* kAbortedText = "Print job has been aborted.";

    // abortFlag is set on cancel; it must outlive the dialog.
    explicit PrintAbortDialog(bool* abortFlag, QWidget* parent = nullptr);

    QPushButton* cancelButton() const { return cancel_; }

public slots:
    void reject() override;  // Esc, the close button and the cancel control

private:
    bool* abortFlag_;
    QPushButton* cancel_;
};
