#pragma once
// The non-modal window "Viewer Key Mapping" that lists the viewer's keyboard
// keys and what they do.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

class QLabel;

class ViewerHelpDialog : public QDialog {
    Q_OBJECT
public:
    explicit ViewerHelpDialog(QWidget* parent = nullptr, const char* name = nullptr);
    ~ViewerHelpDialog() override;

    // The rows of the key list in order: key, meaning.
    static const std::vector<std::pair<QString, QString>>& keyRows();
    // The table of those rows that the dialog shows (rich text).
    static QString helpText();

    QLabel* textLabel() const { return label; }

private:
    QLabel* label = nullptr;
};
