#pragma once
// "Save Image...": the output settings of one picture of the viewer (file,
// type, size, taken from the screen or rendered off screen, antialiasing,
// JPEG quality, PostScript paper) and the write through the viewer's own
// output operation.
#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class vkoViewer;

struct ImageOutputRequest {
    QString fileName;
    int type = 0;                 // OutputType: PNG, JPG, BMP, PPM, PS, EPS or VRML
    int width = -1, height = -1;  // off-screen raster size; below 10: the window's size
    bool fromScreen = false;      // the window's pixels instead of an off-screen rendering
    bool antialias = true;        // off-screen raster types only
    int quality = 90;             // JPEG
    QString paper = "LETTER";     // PS and EPS: "LETTER" or "A4"
};

class SaveImageDialog : public QDialog {
    Q_OBJECT
public:
    // Starts from the viewer's current output settings.
    SaveImageDialog(vkoViewer* viewer, QWidget* parent);
    ~SaveImageDialog() override;

    ImageOutputRequest request() const;
    void setRequest(const ImageOutputRequest& request);

    // Puts the request into the viewer's output settings (they stay for the
    // viewer's own output keys) and writes the file; false when nothing was
    // written.
    static bool writeImage(vkoViewer& viewer, const ImageOutputRequest& request);
    // The request the dialog starts with for this viewer.
    static ImageOutputRequest currentRequest(const vkoViewer& viewer);
    // The file types offered, by OutputType, in menu order.
    static const QList<int>& offeredTypes();

private slots:
    void browse();
    void typeChosen();
    void fileEdited();
    void updateEnabled();

private:
    vkoViewer* viewer_;
    QLineEdit* file_ = nullptr;
    QComboBox* type_ = nullptr;
    QComboBox* source_ = nullptr;
    QSpinBox* width_ = nullptr;
    QSpinBox* height_ = nullptr;
    QCheckBox* antialias_ = nullptr;
    QSpinBox* quality_ = nullptr;
    QComboBox* paper_ = nullptr;
    QLabel* note_ = nullptr;
};
