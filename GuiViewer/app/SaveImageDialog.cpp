#include "GuiViewer/app/SaveImageDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "output/OutputSettings.h"
#include "viewer/RasterFrame.h"
#include "viewer/vkoViewer.h"

namespace {

const char* TypeLabel(int type) {
    switch (type) {
        case OUTPUT_PNG: return "PNG image";
        case OUTPUT_JPG: return "JPEG image";
        case OUTPUT_BMP: return "BMP image";
        case OUTPUT_PPM: return "PPM image";
        case OUTPUT_PS: return "PostScript";
        case OUTPUT_EPS: return "Encapsulated PostScript";
        case OUTPUT_VRML: return "VRML world";
    }
    return "";
}

bool IsPostScript(int type) { return type == OUTPUT_PS || type == OUTPUT_EPS; }

// The name with the extension of type in place of a known one (any case,
// ".jpeg" too); a name without one gets it appended.
QString WithExtension(const QString& name, int type) {
    const int known = rasterframe::OutputTypeOfFile(name.toStdString());
    if (name.isEmpty() || known == type) return name;
    const QString base = known >= 0 ? name.left(name.lastIndexOf('.')) : name;
    return base + "." + OutputSettings::kExtensions[type];
}

}  // namespace

const QList<int>& SaveImageDialog::offeredTypes() {
    static const QList<int> types{OUTPUT_PNG, OUTPUT_JPG, OUTPUT_BMP, OUTPUT_PPM, OUTPUT_PS, OUTPUT_EPS, OUTPUT_VRML};
    return types;
}

ImageOutputRequest SaveImageDialog::currentRequest(const vkoViewer& viewer) {
    const OutputSettings& o = viewer.output;
    ImageOutputRequest r;
    r.type = offeredTypes().contains(o.outputType) ? o.outputType : OUTPUT_PNG;
    r.fileName = WithExtension(QString::fromLocal8Bit(o.outputFileName.c_str()), r.type);
    if (o.hasRasterSize()) {
        r.width = o.rasterWidth;
        r.height = o.rasterHeight;
    } else {
        int w = 0, h = 0;
        OutputSettings::outputWindowSize(viewer.windowWidth, viewer.windowHeight, w, h);
        r.width = w * o.outputScalePercent / 100;
        r.height = h * o.outputScalePercent / 100;
    }
    r.fromScreen = viewer.printFromScreen;
    r.antialias = o.outputAntialias;
    r.quality = o.outputQuality;
    r.paper = o.paperWidth == 8268 ? "A4" : "LETTER";
    return r;
}

bool SaveImageDialog::writeImage(vkoViewer& viewer, const ImageOutputRequest& r) {
    if (r.fileName.isEmpty() || !offeredTypes().contains(r.type)) return false;
    OutputSettings& o = viewer.output;
    o.setOutputType(r.type);
    const QString name = WithExtension(r.fileName, r.type);
    o.outputFileName = name.toLocal8Bit().constData();
    const bool raster = OutputSettings::isRasterType(r.type);
    const bool fromScreen = r.fromScreen && r.type != OUTPUT_VRML;
    if (raster && !fromScreen && r.width > 9 && r.height > 9) {
        o.outputScalePercent = 100;
        o.setRasterSize(r.width, r.height);
    } else if (raster) {
        o.setScalePercent(100);  // the window's size
    }
    if (raster && !fromScreen) o.outputAntialias = r.antialias;
    if (r.type == OUTPUT_JPG) o.setQuality(r.quality);
    if (IsPostScript(r.type)) o.setPaperSize(r.paper.toLatin1().constData());
    return viewer.writeOutput(true, fromScreen, -1, -1);
}

SaveImageDialog::SaveImageDialog(vkoViewer* viewer, QWidget* parent) : QDialog(parent), viewer_(viewer) {
    setObjectName("Save Image");
    setWindowTitle("Save Image");
    auto* form = new QFormLayout;

    auto* fileRow = new QHBoxLayout;
    file_ = new QLineEdit(this);
    file_->setObjectName("file");
    file_->setMinimumWidth(280);
    auto* browse = new QPushButton("&Browse...", this);
    fileRow->addWidget(file_, 1);
    fileRow->addWidget(browse);
    // A row of several widgets gets its label's mnemonic through a buddy.
    auto* fileLabel = new QLabel("&File:", this);
    fileLabel->setBuddy(file_);
    form->addRow(fileLabel, fileRow);

    type_ = new QComboBox(this);
    type_->setObjectName("type");
    for (int t : offeredTypes())
        type_->addItem(QString("%1 (*.%2)").arg(TypeLabel(t), OutputSettings::kExtensions[t]), t);
    form->addRow("&Type:", type_);

    source_ = new QComboBox(this);
    source_->setObjectName("source");
    source_->addItem("Render off screen");
    source_->addItem("Take from the screen");
    form->addRow("&Picture:", source_);

    auto* sizeRow = new QHBoxLayout;
    width_ = new QSpinBox(this);
    height_ = new QSpinBox(this);
    width_->setObjectName("width");
    height_->setObjectName("height");
    for (QSpinBox* s : {width_, height_}) {
        s->setRange(10, 16000);
        s->setSuffix(" px");
    }
    sizeRow->addWidget(width_);
    sizeRow->addWidget(new QLabel("x", this));
    sizeRow->addWidget(height_);
    auto* windowSize = new QPushButton("&Window Size", this);
    sizeRow->addWidget(windowSize);
    sizeRow->addStretch();
    auto* sizeLabel = new QLabel("&Size:", this);
    sizeLabel->setBuddy(width_);
    form->addRow(sizeLabel, sizeRow);

    antialias_ = new QCheckBox("&Antialiased", this);
    antialias_->setObjectName("antialias");
    form->addRow("", antialias_);

    quality_ = new QSpinBox(this);
    quality_->setObjectName("quality");
    quality_->setRange(0, 100);
    form->addRow("JPEG &quality:", quality_);

    paper_ = new QComboBox(this);
    paper_->setObjectName("paper");
    paper_->addItem("Letter", "LETTER");
    paper_->addItem("A4", "A4");
    form->addRow("Pa&per:", paper_);

    note_ = new QLabel(this);
    note_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(note_);
    box->addWidget(buttons);

    connect(browse, &QPushButton::clicked, this, &SaveImageDialog::browse);
    connect(type_, qOverload<int>(&QComboBox::activated), this, &SaveImageDialog::typeChosen);
    connect(file_, &QLineEdit::textEdited, this, &SaveImageDialog::fileEdited);
    connect(source_, qOverload<int>(&QComboBox::currentIndexChanged), this, &SaveImageDialog::updateEnabled);
    connect(windowSize, &QPushButton::clicked, this, [this] {
        if (!viewer_) return;
        int w = 0, h = 0;
        OutputSettings::outputWindowSize(viewer_->windowWidth, viewer_->windowHeight, w, h);
        width_->setValue(w);
        height_->setValue(h);
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    if (viewer_) setRequest(currentRequest(*viewer_));
}

SaveImageDialog::~SaveImageDialog() = default;

ImageOutputRequest SaveImageDialog::request() const {
    ImageOutputRequest r;
    r.fileName = file_->text().trimmed();
    r.type = type_->currentData().toInt();
    r.width = width_->value();
    r.height = height_->value();
    r.fromScreen = source_->currentIndex() == 1;
    r.antialias = antialias_->isChecked();
    r.quality = quality_->value();
    r.paper = paper_->currentData().toString();
    return r;
}

void SaveImageDialog::setRequest(const ImageOutputRequest& r) {
    file_->setText(r.fileName);
    type_->setCurrentIndex(std::max(0, int(offeredTypes().indexOf(r.type))));
    source_->setCurrentIndex(r.fromScreen ? 1 : 0);
    width_->setValue(r.width);
    height_->setValue(r.height);
    antialias_->setChecked(r.antialias);
    quality_->setValue(r.quality);
    paper_->setCurrentIndex(r.paper == "A4" ? 1 : 0);
    updateEnabled();
}

void SaveImageDialog::browse() {
    const int type = type_->currentData().toInt();
    const QString filter = type_->currentText();
    const QString name = QFileDialog::getSaveFileName(this, "Save Image", file_->text(), filter);
    if (name.isEmpty()) return;
    file_->setText(WithExtension(name, type));
}

// The file name follows the chosen type, and the type a typed extension.
void SaveImageDialog::typeChosen() {
    file_->setText(WithExtension(file_->text().trimmed(), type_->currentData().toInt()));
    updateEnabled();
}

void SaveImageDialog::fileEdited() {
    const int type = rasterframe::OutputTypeOfFile(file_->text().trimmed().toStdString());
    const int index = offeredTypes().indexOf(type);
    if (index >= 0 && index != type_->currentIndex()) {
        type_->setCurrentIndex(index);
        updateEnabled();
    }
}

void SaveImageDialog::updateEnabled() {
    const int type = type_->currentData().toInt();
    const bool raster = OutputSettings::isRasterType(type);
    const bool canGrab = type != OUTPUT_VRML;
    source_->setEnabled(canGrab);
    const bool fromScreen = canGrab && source_->currentIndex() == 1;
    width_->setEnabled(raster && !fromScreen);
    height_->setEnabled(raster && !fromScreen);
    antialias_->setEnabled(raster && !fromScreen);
    quality_->setEnabled(type == OUTPUT_JPG);
    paper_->setEnabled(IsPostScript(type));
    QString note;
    if (type == OUTPUT_VRML)
        note = "A VRML world per visible viewport (the second and later are numbered).";
    else if (fromScreen)
        note = "The picture as the screen shows it, at the window's size.";
    else if (IsPostScript(type))
        note = "Vector PostScript on the chosen paper (raster where the scene has transparency or textures).";
    note_->setText(note);
}
